// The tables of --check: DVD-Video (MPEG-2 and MPEG-1) and BD-ROM (MPEG-2).
#include "check/rules.hpp"

#include <iterator>

namespace {

constexpr std::uint8_t MP_AT_ML = 0x48;
constexpr std::uint8_t MP_AT_HL = 0x44;
constexpr std::uint8_t LEVEL_HL = 0x4;
constexpr std::uint8_t LEVEL_ML = 0x8;
constexpr std::uint8_t ANY_SD_ASPECT = ASPECT_4_3 | ASPECT_16_9;

// By RuleKind.
constexpr const char* rule_names[RULE_KIND_COUNT] = {
    "video",           "profile_level", "chroma_format",   "low_delay",
    "picture_size",    "frame_rate",    "aspect_ratio",    "bit_rate",
    "vbv_buffer_size", "vbv_underflow", "gop_sequence_header", "gop_length",
};

constexpr RuleKind dvd_mpeg2_rules[] = {
    RuleKind::VIDEO, RuleKind::PROFILE_LEVEL, RuleKind::CHROMA_FORMAT, RuleKind::LOW_DELAY,
    RuleKind::PICTURE_SIZE, RuleKind::FRAME_RATE, RuleKind::ASPECT_RATIO, RuleKind::BIT_RATE,
    RuleKind::VBV_BUFFER_SIZE, RuleKind::VBV_UNDERFLOW, RuleKind::GOP_SEQUENCE_HEADER,
    RuleKind::GOP_LENGTH,
};

constexpr RuleKind dvd_mpeg1_rules[] = {
    RuleKind::VIDEO, RuleKind::PROFILE_LEVEL, RuleKind::PICTURE_SIZE, RuleKind::FRAME_RATE,
    RuleKind::BIT_RATE, RuleKind::GOP_SEQUENCE_HEADER, RuleKind::GOP_LENGTH,
};

constexpr RuleKind bluray_rules[] = {
    RuleKind::VIDEO, RuleKind::PROFILE_LEVEL, RuleKind::CHROMA_FORMAT, RuleKind::PICTURE_SIZE,
    RuleKind::FRAME_RATE, RuleKind::ASPECT_RATIO, RuleKind::BIT_RATE, RuleKind::VBV_BUFFER_SIZE,
    RuleKind::VBV_UNDERFLOW,
};

constexpr std::uint8_t dvd_profile_levels[] = {MP_AT_ML};
constexpr std::uint8_t bluray_profile_levels[] = {MP_AT_ML, MP_AT_HL};

// 525 lines at 29.97 frame/s, 625 lines at 25; 16:9 only at full width.
constexpr Format dvd_mpeg2_formats[] = {
    {720, 480, 4, Scan::ANY, ANY_SD_ASPECT}, {704, 480, 4, Scan::ANY, ANY_SD_ASPECT},
    {352, 480, 4, Scan::ANY, ASPECT_4_3},    {352, 240, 4, Scan::ANY, ASPECT_4_3},
    {720, 576, 3, Scan::ANY, ANY_SD_ASPECT}, {704, 576, 3, Scan::ANY, ANY_SD_ASPECT},
    {352, 576, 3, Scan::ANY, ASPECT_4_3},    {352, 288, 3, Scan::ANY, ASPECT_4_3},
};

constexpr Format dvd_mpeg1_formats[] = {
    {352, 240, 4, Scan::ANY, 0},
    {352, 288, 3, Scan::ANY, 0},
};

constexpr Format bluray_formats[] = {
    {1920, 1080, 4, Scan::INTERLACED, ASPECT_16_9},  {1920, 1080, 3, Scan::INTERLACED, ASPECT_16_9},
    {1920, 1080, 1, Scan::PROGRESSIVE, ASPECT_16_9}, {1920, 1080, 2, Scan::PROGRESSIVE, ASPECT_16_9},
    {1440, 1080, 4, Scan::INTERLACED, ASPECT_16_9},  {1440, 1080, 3, Scan::INTERLACED, ASPECT_16_9},
    {1440, 1080, 1, Scan::PROGRESSIVE, ASPECT_16_9}, {1440, 1080, 2, Scan::PROGRESSIVE, ASPECT_16_9},
    {1280, 720, 7, Scan::PROGRESSIVE, ASPECT_16_9},  {1280, 720, 6, Scan::PROGRESSIVE, ASPECT_16_9},
    {1280, 720, 1, Scan::PROGRESSIVE, ASPECT_16_9},  {1280, 720, 2, Scan::PROGRESSIVE, ASPECT_16_9},
    {720, 480, 4, Scan::INTERLACED, ANY_SD_ASPECT},  {720, 576, 3, Scan::INTERLACED, ANY_SD_ASPECT},
};

constexpr LevelBuffer dvd_buffers[] = {{LEVEL_ML, 112}};
// 9 781 248 bits at High Level, 1 835 008 at Main Level.
constexpr LevelBuffer bluray_buffers[] = {{LEVEL_HL, 597}, {LEVEL_ML, 112}};

constexpr ProfileRules dvd_mpeg2 = {
    "dvd", false,
    dvd_mpeg2_rules, std::size(dvd_mpeg2_rules),
    dvd_profile_levels, std::size(dvd_profile_levels),
    dvd_mpeg2_formats, std::size(dvd_mpeg2_formats),
    9800000,
    dvd_buffers, std::size(dvd_buffers),
    15, 18,
};

constexpr ProfileRules dvd_mpeg1 = {
    "dvd", true,
    dvd_mpeg1_rules, std::size(dvd_mpeg1_rules),
    nullptr, 0,
    dvd_mpeg1_formats, std::size(dvd_mpeg1_formats),
    1856000,
    dvd_buffers, std::size(dvd_buffers),
    15, 18,
};

constexpr ProfileRules bluray = {
    "bluray", false,
    bluray_rules, std::size(bluray_rules),
    bluray_profile_levels, std::size(bluray_profile_levels),
    bluray_formats, std::size(bluray_formats),
    40000000,
    bluray_buffers, std::size(bluray_buffers),
    0, 0,
};

}  // namespace

const char* rule_name(RuleKind kind) { return rule_names[static_cast<unsigned>(kind)]; }

const ProfileRules& profile_rules(CheckProfile profile, bool mpeg1) {
    if (profile == CheckProfile::BLURAY) return bluray;
    return mpeg1 ? dvd_mpeg1 : dvd_mpeg2;
}

std::uint32_t max_vbv_buffer_size(const ProfileRules& rules, unsigned profile_and_level_indication) {
    for (unsigned i = 0; i < rules.buffer_count; ++i)
        if (rules.buffers[i].level == (profile_and_level_indication & 0x0F))
            return rules.buffers[i].vbv_buffer_size;
    return rules.buffers[0].vbv_buffer_size;
}
