// The element table and the reading of --set ELEMENT=VALUE.
//
// Bit positions count from bit 7 of the start code's first byte:
//   sequence_header           aspect_ratio_information 56 (4) | frame_rate_code 60 (4) |
//                             bit_rate_value 64 (18) | marker | vbv_buffer_size_value 83 (10)
//   sequence_extension        bit_rate_extension 51 (12) | marker | vbv_buffer_size_extension
//                             64 (8) | low_delay | frame_rate_extension_n 73 (2) |
//                             frame_rate_extension_d 75 (5)
//   sequence_display_extension video_format 36 (3) | colour_description |
//                             colour_primaries 40 | transfer_characteristics 48 |
//                             matrix_coefficients 56 (8 each, with colour_description) |
//                             display_horizontal_size 40 (14) | marker |
//                             display_vertical_size 55 (14), both 24 bits on after the
//                             colour fields
#include "rewrite/elements.hpp"

#include <cstring>

#include "rewrite/parse_rate.hpp"

namespace {

constexpr ElementHeader SH = ElementHeader::SEQUENCE_HEADER;
constexpr ElementHeader SE = ElementHeader::SEQUENCE_EXTENSION;
constexpr ElementHeader SDE = ElementHeader::SEQUENCE_DISPLAY_EXTENSION;
constexpr ElementField NONE = {SH, 0, 0, 0, false};

constexpr ValueName aspect_ratio_names[] = {{"1:1", 1}, {"4:3", 2}, {"16:9", 3}, {"2.21:1", 4}};
constexpr ValueName frame_rate_names[] = {{"23.976", 1}, {"24", 2},    {"25", 3},    {"29.97", 4},
                                          {"30", 5},     {"50", 6},    {"59.94", 7}, {"60", 8}};
constexpr ValueName video_format_names[] = {{"component", 0}, {"PAL", 1}, {"NTSC", 2},
                                            {"SECAM", 3},     {"MAC", 4}, {"unspecified", 5}};
constexpr ValueName colour_primaries_names[] = {
    {"ITU-R BT.709", 1},     {"unspecified", 2},
    {"ITU-R BT.470-2 System M", 4}, {"ITU-R BT.470-2 System B, G", 5},
    {"SMPTE 170M", 6},       {"SMPTE 240M (1987)", 7}};
constexpr ValueName transfer_characteristics_names[] = {
    {"ITU-R BT.709", 1},     {"unspecified", 2},
    {"ITU-R BT.470-2 System M", 4}, {"ITU-R BT.470-2 System B, G", 5},
    {"SMPTE 170M", 6},       {"SMPTE 240M (1987)", 7}, {"linear", 8}};
constexpr ValueName matrix_coefficients_names[] = {
    {"ITU-R BT.709", 1}, {"unspecified", 2}, {"FCC", 4}, {"ITU-R BT.470-2 System B, G", 5},
    {"SMPTE 170M", 6},   {"SMPTE 240M (1987)", 7}};

template <unsigned N>
constexpr unsigned count_of(const ValueName (&)[N]) {
    return N;
}

constexpr std::uint32_t RESERVED_3 = 1u << 3;  // the colour tables' "reserved" row

}  // namespace

// Value 0 of aspect_ratio_information, frame_rate_code and the colour
// fields is forbidden; the maximum of each table is its last named value.
const Element element_rows[ELEMENT_COUNT] = {
    {"aspect_ratio_information", {{SH, 56, 4, 0, false}, NONE}, 1, 1, 4, 0,
     aspect_ratio_names, count_of(aspect_ratio_names), WithoutExtension::NEVER, false,
     "1 to 4, or 1:1, 4:3, 16:9, 2.21:1"},
    {"frame_rate_code", {{SH, 60, 4, 0, false}, NONE}, 1, 1, 8, 0,
     frame_rate_names, count_of(frame_rate_names), WithoutExtension::TAKES, false,
     "1 to 8, or 23.976, 24, 25, 29.97, 30, 50, 59.94, 60"},
    {"frame_rate_extension_n", {{SE, 73, 2, 0, false}, NONE}, 1, 0, 3, 0,
     nullptr, 0, WithoutExtension::NEVER, false, "0 to 3"},
    {"frame_rate_extension_d", {{SE, 75, 5, 0, false}, NONE}, 1, 0, 31, 0,
     nullptr, 0, WithoutExtension::NEVER, false, "0 to 31"},
    {"vbv_buffer_size", {{SH, 83, 10, 0, false}, {SE, 64, 8, 10, false}}, 2, 0, 262143, 0,
     nullptr, 0, WithoutExtension::TAKES_IF_FITS, false,
     "0 to 262143, in units of 16384 bits (MPEG-1: below 1024)"},
    {"video_format", {{SDE, 36, 3, 0, false}, NONE}, 1, 0, 5, 0,
     video_format_names, count_of(video_format_names), WithoutExtension::NEVER, false,
     "0 to 5, or component, PAL, NTSC, SECAM, MAC, unspecified"},
    {"colour_primaries", {{SDE, 40, 8, 0, false}, NONE}, 1, 1, 7, RESERVED_3,
     colour_primaries_names, count_of(colour_primaries_names), WithoutExtension::NEVER, true,
     "1, 2, 4 to 7, or the name the report prints"},
    {"transfer_characteristics", {{SDE, 48, 8, 0, false}, NONE}, 1, 1, 8, RESERVED_3,
     transfer_characteristics_names, count_of(transfer_characteristics_names),
     WithoutExtension::NEVER, true, "1, 2, 4 to 8, or the name the report prints"},
    {"matrix_coefficients", {{SDE, 56, 8, 0, false}, NONE}, 1, 1, 7, RESERVED_3,
     matrix_coefficients_names, count_of(matrix_coefficients_names), WithoutExtension::NEVER,
     true, "1, 2, 4 to 7, or the name the report prints"},
    {"display_horizontal_size", {{SDE, 40, 14, 0, true}, NONE}, 1, 0, 16383, 0,
     nullptr, 0, WithoutExtension::NEVER, false, "0 to 16383"},
    {"display_vertical_size", {{SDE, 55, 14, 0, true}, NONE}, 1, 0, 16383, 0,
     nullptr, 0, WithoutExtension::NEVER, false, "0 to 16383"},
    // Value 0 is forbidden; MPEG-1 keeps 0x3FFFF for a variable rate.
    {"bit_rate", {{SH, 64, 18, 0, false}, {SE, 51, 12, 18, false}}, 2, 1, 0x3FFFFFFF, 0,
     nullptr, 0, WithoutExtension::TAKES_IF_FITS_NOT_ALL_ONES, false,
     "bit/s: 1150000, 800k, 9.8M, 5Mbps (rounded down to a\n"
     "                             multiple of 400; MPEG-1: 400 to 104856800), or\n"
     "                             auto: the lowest rate the VBV takes"},
};

// An MPEG-1 sequence keeps today's rule: its bit rate is left alone.
const Element bit_rate_element = {
    "bit_rate", {{SH, 64, 18, 0, false}, {SE, 51, 12, 18, false}}, 2, 0, 0x3FFFFFFF, 0,
    nullptr, 0, WithoutExtension::NEVER, false, ""};

namespace {

bool same_name(const char* a, const char* b, std::size_t length) {
    // The names as the report prints them, in any case.
    for (std::size_t i = 0; i < length; ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y || y == '\0') return false;
    }
    return b[length] == '\0';
}

// True when `text` is `name` without its first word, the body that issued
// it ("BT.709" of "ITU-R BT.709").
bool ends_name(const char* text, const char* name) {
    const char* space = std::strchr(name, ' ');
    return space && same_name(text, space + 1, std::strlen(text));
}

bool parse_value(const Element& e, const char* text, std::uint32_t* value) {
    for (unsigned i = 0; i < e.name_count; ++i) {
        if (same_name(text, e.names[i].name, std::strlen(text))) {
            *value = e.names[i].value;
            return true;
        }
    }
    // A name without its first word, where no other name ends the same.
    unsigned endings = 0;
    for (unsigned i = 0; i < e.name_count; ++i) {
        if (*text != '\0' && ends_name(text, e.names[i].name)) {
            *value = e.names[i].value;
            ++endings;
        }
    }
    if (endings == 1) return true;
    if (*text == '\0') return false;
    std::uint64_t v = 0;
    for (const char* s = text; *s; ++s) {
        if (*s < '0' || *s > '9') return false;
        v = v * 10 + static_cast<unsigned>(*s - '0');
        if (v > e.maximum) return false;
    }
    if (v < e.minimum || (v < 32 && (e.reserved >> v & 1u))) return false;
    *value = static_cast<std::uint32_t>(v);
    return true;
}

// A rate in bit/s, stored in units of 400 bit/s; `auto` is chosen later.
bool parse_bit_rate_setting(const char* text, ElementSettings* settings) {
    const Element& e = element_rows[BIT_RATE_ROW];
    std::uint64_t rate = 0;
    bool is_auto = std::strcmp(text, "auto") == 0;
    if (!is_auto && !parse_rate(text, &rate)) return false;
    std::uint64_t value = rate / 400;
    if (!is_auto && (value < e.minimum || value > e.maximum)) return false;
    settings->bit_rate_auto = is_auto;
    settings->requested[BIT_RATE_ROW] = !is_auto;
    settings->value[BIT_RATE_ROW] = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace

bool parse_element_setting(const char* text, ElementSettings* settings) {
    const char* equals = std::strchr(text, '=');
    if (!equals) return false;
    std::size_t length = static_cast<std::size_t>(equals - text);
    for (unsigned i = 0; i < ELEMENT_COUNT; ++i) {
        const Element& e = element_rows[i];
        if (std::strlen(e.name) != length || std::strncmp(e.name, text, length) != 0) continue;
        if (i == BIT_RATE_ROW) return parse_bit_rate_setting(equals + 1, settings);
        if (!parse_value(e, equals + 1, &settings->value[i])) return false;
        settings->requested[i] = true;
        return true;
    }
    return false;
}

bool any_element(const ElementSettings& settings) {
    if (settings.bit_rate_auto) return true;
    for (bool requested : settings.requested)
        if (requested) return true;
    return false;
}

void print_element_help(std::FILE* out) {
    std::fputs("\nELEMENT=VALUE: VALUE is a number or the name the report prints for it,\n"
               "also without its first word where that is unambiguous (BT.709).\n",
               out);
    for (const Element& e : element_rows) std::fprintf(out, "  %-26s %s\n", e.name, e.help);
}
