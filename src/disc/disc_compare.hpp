// The comparisons of a disc's check: each IFO statement of video attributes
// against the stream it describes, each BUP against its IFO, and the copies
// in VIDEO_TS.IFO's title set attribute table against each title set's own
// IFO. They return findings; printing them is the caller's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disc/disc_ifos.hpp"
#include "disc/ifo.hpp"

// What the stream's sequence header and extension say.
struct StreamFacts {
    unsigned aspect_ratio_information = 0;
    unsigned frame_rate_code = 0;
    unsigned horizontal_size = 0;
    unsigned vertical_size = 0;
    bool mpeg2 = true;  // a sequence_extension follows the sequence header
};

enum class FindingKind {
    ASPECT_RATIO,     // display_aspect_ratio vs aspect_ratio_information
    TV_SYSTEM,        // video_format vs frame_rate_code
    PICTURE_SIZE,     // picture_size (for video_format) vs horizontal x vertical size
    MPEG_VERSION,     // mpeg_version vs the stream's MPEG version (1 or 2)
    BUP_DIFFERS,      // a .BUP's attribute bytes vs its .IFO's
    ATRT_DIFFERS,     // the title set attribute table's copy vs the title set's IFO
    TITLE_SET_COUNT,  // vmg_nr_of_title_sets, or the table's nr_of_vtss, vs the
                      // title sets the folder holds (`other`; `field` unused)
};

// One disagreement. `file`/`offset` is the IFO byte concerned; `value` its
// coded value (for BUP_DIFFERS and ATRT_DIFFERS: the two bytes, big-endian),
// `other` what it was compared with: the stream's coded element, or the two
// bytes at `other_file`/`other_offset` (PICTURE_SIZE: `other` is
// horizontal_size, `other_vertical` vertical_size).
struct DiscFinding {
    FindingKind kind = FindingKind::ASPECT_RATIO;
    AttrField field = AttrField::vmgm_video_attr;
    unsigned title_set = 0;
    std::string file;
    std::uint64_t offset = 0;
    unsigned value = 0;
    unsigned other = 0;
    unsigned other_vertical = 0;
    std::string other_file;
    std::uint64_t other_offset = 0;
};

// The aspect_ratio_information that display_aspect_ratio stands for (2: 4:3,
// 3: 16:9), 0 for a reserved code.
unsigned aspect_ratio_information_of(unsigned display_aspect_ratio);
// The video_format (0 NTSC, 1 PAL) of a frame_rate_code's field rate; 4 for
// a rate that is neither.
unsigned video_format_of(unsigned frame_rate_code);

void compare_with_stream(const VideoAttrSite& site, const StreamFacts& stream,
                         std::vector<DiscFinding>* findings);
void compare_bup(const IfoVmg& ifo, const IfoVmg& bup, std::vector<DiscFinding>* findings);
void compare_bup(const IfoVts& ifo, const IfoVts& bup, std::vector<DiscFinding>* findings);
// Title set `vts.title_set`'s entry of `vmg`'s table against `vts`.
void compare_atrt(const IfoVmg& vmg, const IfoVts& vts, std::vector<DiscFinding>* findings);
// VIDEO_TS.IFO's counts of title sets against the `title_sets` the folder
// holds (the highest title set number found).
void compare_title_set_count(const IfoVmg& vmg, unsigned title_sets,
                             std::vector<DiscFinding>* findings);
// Every BUP, table copy and count of the disc whose files could be read.
void compare_disc_tables(const DiscIfos& ifos, std::vector<DiscFinding>* findings);
