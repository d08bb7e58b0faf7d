// Reading the video attributes out of a VMGI or VTSI, bounds-checked: a
// table or pointer that lies past the end is a fault with its offset, never
// a read past the buffer.
#include "disc/ifo.hpp"

#include <cstring>

const char* const attr_field_names[5] = {"vmgm_video_attr", "vtsm_video_attr", "vts_video_attr",
                                         "vtsm_vobs_attr", "vtstt_vobs_video_attr"};

namespace {

std::uint32_t be16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] << 8 | p[1]); }

std::uint32_t be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

VideoAttrSite site(AttrField field, unsigned title_set, const std::string& file,
                   const std::uint8_t* data, std::uint64_t offset) {
    VideoAttrSite s;
    s.field = field;
    s.title_set = title_set;
    s.file = file;
    s.offset = offset;
    s.bytes[0] = data[offset];
    s.bytes[1] = data[offset + 1];
    return s;
}

// The identifier check first (a file that is no IFO at all says so, even
// when short), then the size.
IfoFault check_start(const std::uint8_t* data, std::size_t size, const char* identifier,
                     std::size_t needed, std::uint64_t* fault_offset) {
    if (size >= 12 && std::memcmp(data, identifier, 12) != 0) return IfoFault::WRONG_IDENTIFIER;
    if (size < needed) {
        *fault_offset = needed;
        return IfoFault::CUT_SHORT;
    }
    return IfoFault::NONE;
}

}  // namespace

IfoVmg ifo_parse_vmg(const std::uint8_t* data, std::size_t size, const std::string& file) {
    IfoVmg vmg;
    vmg.file = file;
    vmg.fault = check_start(data, size, "DVDVIDEO-VMG", VMGM_VIDEO_ATTR + 2, &vmg.fault_offset);
    if (vmg.fault != IfoFault::NONE) return vmg;
    vmg.vmg_nr_of_title_sets = be16(data + VMG_NR_OF_TITLE_SETS);
    vmg.vmgm_video_attr = site(AttrField::vmgm_video_attr, 0, file, data, VMGM_VIDEO_ATTR);

    std::uint64_t atrt = std::uint64_t{be32(data + 0xD0)} * IFO_SECTOR;
    if (atrt == 0) {
        vmg.fault = IfoFault::NO_ATRT;
        return vmg;
    }
    if (atrt + 8 > size) {
        vmg.fault = IfoFault::ATRT_PAST_END;
        vmg.fault_offset = atrt + 8;
        return vmg;
    }
    vmg.vts_atrt_offset = atrt;
    vmg.nr_of_vtss = be16(data + atrt);
    std::uint64_t table_size = std::uint64_t{be32(data + atrt + 4)} + 1;  // last_byte + 1
    std::uint64_t offsets_end = 8 + 4 * std::uint64_t{vmg.nr_of_vtss};
    if (atrt + table_size > size || offsets_end > table_size) {
        vmg.fault = IfoFault::ATRT_PAST_END;
        vmg.fault_offset = atrt + (offsets_end > table_size ? offsets_end : table_size);
        return vmg;
    }
    for (unsigned i = 0; i < vmg.nr_of_vtss; ++i) {
        std::uint64_t entry = be32(data + atrt + 8 + 4 * i);
        if (entry + ATRT_VTSTT_VOBS_VIDEO_ATTR + 2 > table_size) {
            vmg.fault = IfoFault::ATRT_ENTRY_PAST_END;
            vmg.fault_offset = atrt + entry;
            vmg.vts_atrt.clear();
            return vmg;
        }
        AtrtEntry e;
        e.vtsm_vobs_attr =
            site(AttrField::vtsm_vobs_attr, i + 1, file, data, atrt + entry + ATRT_VTSM_VOBS_ATTR);
        e.vtstt_vobs_video_attr = site(AttrField::vtstt_vobs_video_attr, i + 1, file, data,
                                       atrt + entry + ATRT_VTSTT_VOBS_VIDEO_ATTR);
        vmg.vts_atrt.push_back(e);
    }
    return vmg;
}

IfoVts ifo_parse_vts(const std::uint8_t* data, std::size_t size, const std::string& file,
                     unsigned title_set) {
    IfoVts vts;
    vts.file = file;
    vts.title_set = title_set;
    vts.fault = check_start(data, size, "DVDVIDEO-VTS", VTS_VIDEO_ATTR + 2, &vts.fault_offset);
    if (vts.fault != IfoFault::NONE) return vts;
    vts.vtsm_video_attr = site(AttrField::vtsm_video_attr, title_set, file, data, VTSM_VIDEO_ATTR);
    vts.vts_video_attr = site(AttrField::vts_video_attr, title_set, file, data, VTS_VIDEO_ATTR);
    return vts;
}
