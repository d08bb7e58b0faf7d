// The header fields a rewrite can set in place, as plain constant data: where
// each one's bits lie, which values it takes, and the names those values go
// by in the report.
#pragma once

#include <cstdint>
#include <cstdio>

// The headers that hold the fields.
enum class ElementHeader : std::uint8_t {
    SEQUENCE_HEADER,
    SEQUENCE_EXTENSION,
    SEQUENCE_DISPLAY_EXTENSION,
};

// One run of an element's bits inside one header: `width` bits from bit
// `first_bit`, counting from bit 7 of the first byte (00) of the start code.
// They hold bits value_shift .. value_shift + width - 1 of the value. A field
// of the sequence display extension marked `after_colour` moves 24 bits on
// when colour_description is 1.
struct ElementField {
    ElementHeader header;
    std::uint8_t first_bit;
    std::uint8_t width;
    std::uint8_t value_shift;
    bool after_colour;
};

// A value's name as the report prints it.
struct ValueName {
    const char* name;
    std::uint32_t value;
};

// What a sequence without a sequence extension (MPEG-1) takes.
enum class WithoutExtension : std::uint8_t {
    TAKES,          // the field means the same there
    TAKES_IF_FITS,  // the part in the sequence header, when the value fits it
    TAKES_IF_FITS_NOT_ALL_ONES,  // the same, when that part is not all ones (the
                                 // bit rate: 0x3FFFF is MPEG-1's variable rate)
    NEVER,          // the field means something else there, or lives in the extension
};

struct Element {
    const char* name;  // the syntax element's name, as --set takes it
    ElementField fields[2];
    unsigned field_count;
    std::uint32_t minimum;
    std::uint32_t maximum;
    std::uint32_t reserved;  // bit v set: value v (below 32) is reserved
    const ValueName* names;
    unsigned name_count;
    WithoutExtension without_extension;
    bool needs_colour_description;
    const char* help;  // the values, for --help
};

inline constexpr unsigned ELEMENT_COUNT = 12;
extern const Element element_rows[ELEMENT_COUNT];

// The row of --set bit_rate: the nominal bit rate in units of 400 bit/s,
// given in bit/s (parse_rate), in MPEG-1 sequences too.
inline constexpr unsigned BIT_RATE_ROW = 11;

// The nominal bit rate of the positional BITRATE argument, in units of
// 400 bit/s: MPEG-2 sequences only, as it has always been.
extern const Element bit_rate_element;

// The --set options of one run, by row of element_rows; a later --set of the
// same element replaces the earlier one.
struct ElementSettings {
    bool requested[ELEMENT_COUNT] = {};
    std::uint32_t value[ELEMENT_COUNT] = {};
    bool bit_rate_auto = false;  // --set bit_rate=auto: the row is filled after measuring
};

// Reads "ELEMENT=VALUE" into `settings`: a known element and a value in its
// range that is not reserved, given as a decimal number or as one of its
// names (names first: frame_rate_code=25 is 25 frames per second); for
// bit_rate, a rate parse_rate reads, rounded down to a multiple of 400 and
// at least 400, or `auto`. False otherwise.
bool parse_element_setting(const char* text, ElementSettings* settings);

// True when any element is requested (bit_rate=auto included).
bool any_element(const ElementSettings& settings);

// The elements and their values, for --help.
void print_element_help(std::FILE* out);
