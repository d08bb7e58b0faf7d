// libFuzzer entry point: arbitrary bytes as a VIDEO_TS.IFO (VMGI) and as a
// VTS_nn_0.IFO (VTSI).
//
// Checked after every input, aborting on a violation:
// - a table read whole names two bytes that lie inside the input, and they
//   are the input's bytes there;
// - a fault's offset is set for the faults that carry one;
// - the title set attribute table has one entry per title set it counts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "disc/ifo.hpp"

namespace {

void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

void check_site(const VideoAttrSite& s, const std::uint8_t* data, std::size_t size) {
    if (s.offset + 2 > size) fail("an attribute lies past the end of the IFO");
    if (s.bytes[0] != data[s.offset] || s.bytes[1] != data[s.offset + 1])
        fail("an attribute's bytes are not the IFO's bytes at its offset");
}

bool carries_offset(IfoFault f) {
    return f == IfoFault::CUT_SHORT || f == IfoFault::ATRT_PAST_END ||
           f == IfoFault::ATRT_ENTRY_PAST_END;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file = "VIDEO_TS.IFO";
    IfoVmg vmg = ifo_parse_vmg(data, size, file);
    if (vmg.fault == IfoFault::NONE) {
        check_site(vmg.vmgm_video_attr, data, size);
        if (vmg.vts_atrt.size() != vmg.nr_of_vtss) fail("vts_atrt entries differ from its count");
        for (const AtrtEntry& e : vmg.vts_atrt) {
            check_site(e.vtsm_vobs_attr, data, size);
            check_site(e.vtstt_vobs_video_attr, data, size);
        }
    } else if (carries_offset(vmg.fault) && vmg.fault_offset == 0) {
        fail("a VMGI fault without its offset");
    }

    IfoVts vts = ifo_parse_vts(data, size, "VTS_01_0.IFO", 1);
    if (vts.fault == IfoFault::NONE) {
        check_site(vts.vtsm_video_attr, data, size);
        check_site(vts.vts_video_attr, data, size);
    } else if (carries_offset(vts.fault) && vts.fault_offset == 0) {
        fail("a VTSI fault without its offset");
    }
    return 0;
}
