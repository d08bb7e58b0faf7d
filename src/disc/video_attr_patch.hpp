// The IFO and BUP bytes to change when a disc's streams get a new
// aspect_ratio_information, so that the tables say what the streams say.
//
// The byte is video_attr_t's first: display_aspect_ratio and permitted_df
// become what an authoring tool writes for a source of that ratio
// (dvdauthor: 4:3 -> display_aspect_ratio 0, permitted_df 3; 16:9 -> 3, 0);
// mpeg_version and video_format are kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disc/disc_files.hpp"
#include "disc/disc_ifos.hpp"

// Which streams are patched: the titles of every title set (title_set 0)
// or of one, and with `menus` their menus too (for every title set: the VMG
// menus as well). Menus without a VOB of their own are left alone.
struct PatchChoice {
    unsigned title_set = 0;
    bool menus = false;
};

struct IfoPatch {
    std::string file;
    std::uint64_t offset = 0;
    std::uint8_t old_byte = 0;
    std::uint8_t new_byte = 0;
};

enum class PlanFault {
    NONE,
    NOT_A_DVD_ASPECT,   // aspect_ratio_information other than 2 (4:3) or 3 (16:9)
    NO_SUCH_TITLE_SET,  // PatchChoice::title_set names none of the disc's
    TABLE_UNUSABLE,     // a file to patch is missing or damaged (`file`, `ifo_fault`)
};

struct PatchPlan {
    PlanFault fault = PlanFault::NONE;
    std::string file;
    IfoFault ifo_fault = IfoFault::NONE;
    std::vector<IfoPatch> patches;  // every IFO first, then every BUP
};

// video_attr_t's first byte `old` for a stream of aspect_ratio_information
// 2 or 3.
std::uint8_t aspect_attr_byte(std::uint8_t old, unsigned aspect_ratio_information);

// Only bytes that change are listed: a plan for a disc that already says
// the new ratio is empty. A plan with a fault lists nothing.
PatchPlan aspect_patch_plan(const DiscFiles& files, const DiscIfos& ifos,
                            unsigned aspect_ratio_information, PatchChoice choice);
