// The rules of the authoring profiles (--check dvd, --check bluray), as
// plain constant data: one table of rules per profile, in the order the
// report lists them, and the limits those rules read.
#pragma once

#include <cstdint>

enum class CheckProfile : std::uint8_t { NONE, DVD, BLURAY };

// What a rule looks at. The sink evaluates each kind; a profile's table says
// which kinds apply.
enum class RuleKind : std::uint8_t {
    VIDEO,                // a sequence header and a picture at all
    PROFILE_LEVEL,        // profile_and_level_indication, or MPEG-1
    CHROMA_FORMAT,        // 4:2:0
    LOW_DELAY,            // low_delay 0
    PICTURE_SIZE,         // one of the formats' sizes
    FRAME_RATE,           // a format's frame_rate_code (and scan) for that size
    ASPECT_RATIO,         // a format's aspect_ratio_information for that size
    BIT_RATE,             // the nominal rate of every sequence
    VBV_BUFFER_SIZE,      // vbv_buffer_size of every sequence
    VBV_UNDERFLOW,        // the VBV model at the smaller of nominal and cap
    GOP_SEQUENCE_HEADER,  // a sequence header before every GOP header
    GOP_LENGTH,           // pictures a GOP, a field picture counting half
};
inline constexpr unsigned RULE_KIND_COUNT = 12;

// The short name of each kind, as the report prints it.
const char* rule_name(RuleKind kind);

// progressive_sequence that a format asks for.
enum class Scan : std::uint8_t { ANY, INTERLACED, PROGRESSIVE };

// Bit a of `aspects`: aspect_ratio_information a is allowed.
inline constexpr std::uint8_t ASPECT_4_3 = 1u << 2;
inline constexpr std::uint8_t ASPECT_16_9 = 1u << 3;

struct Format {
    std::uint16_t horizontal_size;
    std::uint16_t vertical_size;
    std::uint8_t frame_rate_code;
    Scan scan;
    std::uint8_t aspects;
};

// The largest vbv_buffer_size (units of 16384 bits) at a level (the low
// four bits of profile_and_level_indication).
struct LevelBuffer {
    std::uint8_t level;
    std::uint32_t vbv_buffer_size;
};

struct ProfileRules {
    const char* name;  // "dvd", "bluray": the last line's first word
    bool mpeg1;        // the rules of a stream whose first sequence is MPEG-1
    const RuleKind* rules;  // in the order the report lists them
    unsigned rule_count;
    const std::uint8_t* profile_levels;  // profile_and_level_indication values
    unsigned profile_level_count;
    const Format* formats;
    unsigned format_count;
    std::uint32_t max_bit_rate;  // bit/s
    const LevelBuffer* buffers;  // the first one where the level is none of them
    unsigned buffer_count;
    std::uint8_t max_gop_pictures_25;  // at 25 frame/s
    std::uint8_t max_gop_pictures_30;  // at the other rates
};

// The table of `profile` for a stream whose first sequence is MPEG-1 or not.
const ProfileRules& profile_rules(CheckProfile profile, bool mpeg1);

// The largest vbv_buffer_size at the level of profile_and_level_indication.
std::uint32_t max_vbv_buffer_size(const ProfileRules& rules, unsigned profile_and_level_indication);
