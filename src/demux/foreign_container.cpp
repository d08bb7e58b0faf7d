// The signatures of the containers that hold video but are not MPEG's own.
//
// Each is fixed bytes at a fixed place near the start of the file:
//   WTV       its header GUID at 0
//   ASF       the GUID of its Header Object at 0
//   MXF       the key of a header partition pack (06 0e 2b 34 02 05 01 01
//             0d 01 02 01 01 02), at 0 or after a run-in of up to 64 KiB
//   MP4/MOV   a box type at 4 (ftyp, moov, mdat, free, skip, wide, pnot),
//             behind a box size that is not a start code prefix
//   Matroska  the EBML element ID 1a 45 df a3 at 0 (WebM too)
//   AVI       "RIFF", a size, "AVI " (or "AVIX") at 0
#include "demux/foreign_container.hpp"

#include <cstring>

namespace {

struct Signature {
    const char* name;
    std::uint32_t at;
    std::uint8_t length;
    std::uint8_t bytes[16];
};

constexpr Signature signatures[] = {
    {"WTV", 0, 16, {0xb7, 0xd8, 0x00, 0x20, 0x37, 0x49, 0xda, 0x11,
                    0xa6, 0x4e, 0x00, 0x07, 0xe9, 0x5e, 0xad, 0x8d}},
    {"ASF", 0, 16, {0x30, 0x26, 0xb2, 0x75, 0x8e, 0x66, 0xcf, 0x11,
                    0xa6, 0xd9, 0x00, 0xaa, 0x00, 0x62, 0xce, 0x6c}},
    {"Matroska", 0, 4, {0x1a, 0x45, 0xdf, 0xa3}},
};

// The box types an MP4 or QuickTime file starts with.
constexpr char mp4_boxes[][5] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "pnot"};

constexpr std::uint8_t mxf_partition_key[] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x05, 0x01,
                                              0x01, 0x0d, 0x01, 0x02, 0x01, 0x01, 0x02};
constexpr std::uint32_t MXF_RUN_IN_LIMIT = 65536;

bool bytes_at(const std::uint8_t* bytes, std::uint32_t held, std::uint32_t at,
              const void* expected, std::uint32_t length) {
    return held >= length && at <= held - length && std::memcmp(bytes + at, expected, length) == 0;
}

}  // namespace

const char* foreign_container(const std::uint8_t* bytes, std::uint32_t held) {
    for (const Signature& s : signatures) {
        if (bytes_at(bytes, held, s.at, s.bytes, s.length)) return s.name;
    }
    bool start_code_first = held >= 3 && bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 1;
    for (const char* box : mp4_boxes) {
        if (!start_code_first && bytes_at(bytes, held, 4, box, 4)) return "MP4/MOV";
    }
    if (bytes_at(bytes, held, 0, "RIFF", 4) &&
        (bytes_at(bytes, held, 8, "AVI ", 4) || bytes_at(bytes, held, 8, "AVIX", 4)))
        return "AVI";
    std::uint32_t run_in_end = held < MXF_RUN_IN_LIMIT + sizeof mxf_partition_key
                                   ? held
                                   : MXF_RUN_IN_LIMIT + sizeof mxf_partition_key;
    for (std::uint32_t at = 0; at + sizeof mxf_partition_key <= run_in_end; ++at) {
        if (bytes[at] == 0x06 &&
            bytes_at(bytes, held, at, mxf_partition_key, sizeof mxf_partition_key))
            return "MXF";
    }
    return nullptr;
}
