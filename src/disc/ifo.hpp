// The IFO tables of a disc as far as they state video attributes, read from
// the bytes of an IFO file or of its .BUP backup (the same layout).
//
// VIDEO_TS.IFO, the video manager's information (VMGI):
//   0x000  vmg_identifier "DVDVIDEO-VMG"
//   0x03E  vmg_nr_of_title_sets (16 bits)
//   0x0D0  vts_atrt: sector of the title set attribute table
//   0x100  vmgm_video_attr: the VMG menus' video attributes
// The title set attribute table (vts_atrt), at its sector:
//   +0 nr_of_vtss (16)  +4 last_byte (32)  +8 one 32-bit offset per title set,
//   from the table's start, to its vts_attributes:
//     +0x008 vtsm_vobs_attr         a copy of that title set's menu attributes
//     +0x108 vtstt_vobs_video_attr  a copy of its titles' attributes
// VTS_nn_0.IFO, a title set's information (VTSI):
//   0x000  vts_identifier "DVDVIDEO-VTS"
//   0x100  vtsm_video_attr: the menus' video attributes
//   0x200  vts_video_attr: the titles' video attributes
// Numbers are big-endian; a sector is 2048 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Which statement of video attributes.
enum class AttrField : unsigned char {
    vmgm_video_attr,
    vtsm_video_attr,
    vts_video_attr,
    vtsm_vobs_attr,         // in VIDEO_TS's title set attribute table
    vtstt_vobs_video_attr,  // in VIDEO_TS's title set attribute table
};
extern const char* const attr_field_names[5];

// One statement of video attributes: where it lies, and its two bytes.
struct VideoAttrSite {
    AttrField field = AttrField::vmgm_video_attr;
    unsigned title_set = 0;  // the title set it describes; 0: the VMG menus
    std::string file;
    std::uint64_t offset = 0;
    std::uint8_t bytes[2] = {};
};

inline constexpr std::size_t IFO_SECTOR = 2048;
inline constexpr std::uint64_t VMG_NR_OF_TITLE_SETS = 0x03E;
inline constexpr std::uint64_t VMGM_VIDEO_ATTR = 0x100;
inline constexpr std::uint64_t VTSM_VIDEO_ATTR = 0x100;
inline constexpr std::uint64_t VTS_VIDEO_ATTR = 0x200;
inline constexpr std::uint64_t ATRT_VTSM_VOBS_ATTR = 0x008;
inline constexpr std::uint64_t ATRT_VTSTT_VOBS_VIDEO_ATTR = 0x108;
// A larger file is no IFO: the tables these files hold stay far below it.
inline constexpr std::uint64_t IFO_MAX_SIZE = 4u << 20;

enum class IfoFault {
    NONE,
    MISSING,              // the disc has no such file
    OPEN_FAILED,          // (`error`)
    READ_FAILED,          // (`error`)
    TOO_LARGE,            // over IFO_MAX_SIZE
    WRONG_IDENTIFIER,     // not "DVDVIDEO-VMG" / "DVDVIDEO-VTS"
    CUT_SHORT,            // ends before the attributes (`fault_offset`: the size needed)
    NO_ATRT,              // VMGI with no title set attribute table (sector 0)
    ATRT_PAST_END,        // the table runs past the file's end (`fault_offset`: its end)
    ATRT_ENTRY_PAST_END,  // an entry runs past the table's end (`fault_offset`: the entry's)
};

struct AtrtEntry {
    VideoAttrSite vtsm_vobs_attr;
    VideoAttrSite vtstt_vobs_video_attr;
};

struct IfoVmg {
    IfoFault fault = IfoFault::MISSING;
    int error = 0;
    std::uint64_t fault_offset = 0;
    std::string file;
    unsigned vmg_nr_of_title_sets = 0;
    unsigned nr_of_vtss = 0;            // of the title set attribute table
    std::uint64_t vts_atrt_offset = 0;  // where that table starts
    VideoAttrSite vmgm_video_attr;
    std::vector<AtrtEntry> vts_atrt;  // entry i: title set i + 1
};

struct IfoVts {
    IfoFault fault = IfoFault::MISSING;
    int error = 0;
    std::uint64_t fault_offset = 0;
    std::string file;
    unsigned title_set = 0;
    VideoAttrSite vtsm_video_attr;
    VideoAttrSite vts_video_attr;
};

// The tables of the VMGI / VTSI in `data` (the whole of `file`).
IfoVmg ifo_parse_vmg(const std::uint8_t* data, std::size_t size, const std::string& file);
IfoVts ifo_parse_vts(const std::uint8_t* data, std::size_t size, const std::string& file,
                     unsigned title_set);

// The whole of the file at `path`, through the platform's file operations.
IfoFault ifo_load(const std::string& path, std::vector<std::uint8_t>* bytes, int* error);

IfoVmg ifo_read_vmg(const std::string& path);
IfoVts ifo_read_vts(const std::string& path, unsigned title_set);
