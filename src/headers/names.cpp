// Texts for coded values, indexed by the code.
#include <cmath>
#include <cstdio>
#include <iterator>

#include "headers/headers.hpp"

namespace {

template <std::size_t N>
const char* lookup(const char* const (&table)[N], unsigned code,
                   const char* beyond) {
    return code < N ? table[code] : beyond;
}

// aspect_ratio_information; 5 to 15 are reserved.
constexpr const char* aspect_ratio_names[] = {"", "1:1", "4:3", "16:9",
                                              "2.21:1"};
// chroma_format
constexpr const char* chroma_format_names[] = {"", "4:2:0", "4:2:2", "4:4:4"};
// profile_and_level_indication bits 6..4
constexpr const char* profile_names[] = {"",   "HP", "Spartial", "SNR",
                                         "MP", "SP", "",         ""};
// level codes 4, 6, 8 and 10 (odd codes share the entry below them)
constexpr const char* level_names[] = {"HL", "H-1440", "ML", "LL"};
// picture_coding_type; 4 is the D-picture of MPEG-1, 5 to 7 are reserved.
constexpr const char* picture_coding_type_names[] = {"", "I", "P", "B", "D"};
// video_format
constexpr const char* video_format_names[] = {
    "component", "PAL", "NTSC", "SECAM", "MAC", "unspecified", "", ""};
// colour_primaries
constexpr const char* colour_primaries_names[] = {
    "(forbidden)",
    "ITU-R BT.709",
    "unspecified",
    "reserved",
    "ITU-R BT.470-2 System M",
    "ITU-R BT.470-2 System B, G",
    "SMPTE 170M",
    "SMPTE 240M (1987)",
};
// transfer_characteristics
constexpr const char* transfer_characteristics_names[] = {
    "(forbidden)",
    "ITU-R BT.709",
    "unspecified",
    "reserved",
    "ITU-R BT.470-2 System M",
    "ITU-R BT.470-2 System B, G",
    "SMPTE 170M",
    "SMPTE 240M (1987)",
    "linear",
};
// matrix_coefficients
constexpr const char* matrix_coefficients_names[] = {
    "(forbidden)",
    "ITU-R BT.709",
    "unspecified",
    "reserved",
    "FCC",
    "ITU-R BT.470-2 System B, G",
    "SMPTE 170M",
    "SMPTE 240M (1987)",
};
// picture_structure
constexpr const char* picture_structure_names[] = {"", "top field",
                                                   "bottom field", "frame"};
// frame_rate_code, in frames per second; 9 to 15 are reserved.
constexpr double frame_rate_values[] = {
    0.0,  24000.0 / 1001.0, 24.0, 25.0, 30000.0 / 1001.0, 30.0, 50.0,
    60000.0 / 1001.0, 60.0, -1.0, -1.0, -1.0, -1.0, -1.0, -1.0, -1.0,
};

// The same rates as their usual names.
constexpr const char* frame_rate_names[] = {
    "forbidden", "23.976", "24", "25", "29.97", "30", "50", "59.94", "60",
};

// The same rates as exact fractions.
constexpr FrameRateFraction frame_rate_fractions[] = {
    {0, 0},  {24000, 1001}, {24, 1}, {25, 1}, {30000, 1001},
    {30, 1}, {50, 1},       {60000, 1001}, {60, 1},
};

}  // namespace

const char* yes_no(unsigned flag) { return flag ? "yes" : "no"; }

const char* aspect_ratio_name(unsigned code) {
    return lookup(aspect_ratio_names, code, "reserved");
}

const char* chroma_format_name(unsigned code) {
    return lookup(chroma_format_names, code, "");
}

const char* profile_name(unsigned code) {
    return lookup(profile_names, code, "");
}

const char* level_name(unsigned level) {
    if (level < 4 || level > 10) return "unknown";
    return level_names[level / 2 - 2];
}

const char* escape_profile_name(unsigned code) {
    switch (code) {
    case 0x82: return "422P@HL";
    case 0x85: return "422P@ML";
    case 0x8A: return "MVP@HL";
    case 0x8B: return "MVP@H-1440";
    case 0x8D: return "MVP@ML";
    case 0x8E: return "MVP@LL";
    default: return "unknown profile";
    }
}

const char* picture_coding_type_name(unsigned code) {
    return lookup(picture_coding_type_names, code, "reserved");
}

const char* video_format_name(unsigned code) {
    return lookup(video_format_names, code, "");
}

const char* colour_primaries_name(unsigned code) {
    return lookup(colour_primaries_names, code, "reserved");
}

const char* transfer_characteristics_name(unsigned code) {
    return lookup(transfer_characteristics_names, code, "reserved");
}

const char* matrix_coefficients_name(unsigned code) {
    return lookup(matrix_coefficients_names, code, "reserved");
}

const char* picture_structure_name(unsigned code) {
    return lookup(picture_structure_names, code, "");
}

double frame_rate_value(unsigned code) {
    return code < 16 ? frame_rate_values[code] : -1.0;
}

const char* frame_rate_name(unsigned code) { return lookup(frame_rate_names, code, "reserved"); }

FrameRateFraction frame_rate_fraction(unsigned code) {
    return code < std::size(frame_rate_fractions) ? frame_rate_fractions[code]
                                                  : FrameRateFraction{0, 0};
}

void format_two_decimals(double value, char* text, std::size_t size) {
    // printf rounds an exact half to even; here it goes away from zero. For
    // the single-precision values printed here value * 100 is exact in
    // double precision, so std::round sees the true tie.
    double hundredths = std::round(value * 100.0);
    double whole = std::fabs(hundredths);
    unsigned long long units = static_cast<unsigned long long>(whole);
    std::snprintf(text, size, "%s%llu.%02llu", std::signbit(value) ? "-" : "",
                  units / 100, units % 100);
}
