#include "rewrite_invariants.hpp"

#include <cstdio>

namespace {

// Where each element's bits lie: a header kind (0xB3, or 0x100 + the
// extension identifier), and bit ranges counted from the first bit of the
// start code's 00 byte.
struct Range {
    unsigned header;
    unsigned first_bit;
    unsigned width;
    bool after_colour;  // display sizes: 24 bits on with colour_description
    bool colour;        // present only with colour_description
};
struct Known {
    std::string name;
    std::vector<Range> ranges;
};

constexpr unsigned SEQ = 0xB3;
constexpr unsigned EXT = 0x101;
constexpr unsigned DISPLAY = 0x102;

const std::vector<Known>& known() {
    static const std::vector<Known> table = {
        {"bit_rate", {{SEQ, 64, 18, false, false}, {EXT, 51, 12, false, false}}},
        {"aspect_ratio_information", {{SEQ, 56, 4, false, false}}},
        {"frame_rate_code", {{SEQ, 60, 4, false, false}}},
        {"frame_rate_extension_n", {{EXT, 73, 2, false, false}}},
        {"frame_rate_extension_d", {{EXT, 75, 5, false, false}}},
        {"vbv_buffer_size", {{SEQ, 83, 10, false, false}, {EXT, 64, 8, false, false}}},
        {"video_format", {{DISPLAY, 36, 3, false, false}}},
        {"colour_primaries", {{DISPLAY, 40, 8, false, true}}},
        {"transfer_characteristics", {{DISPLAY, 48, 8, false, true}}},
        {"matrix_coefficients", {{DISPLAY, 56, 8, false, true}}},
        {"display_horizontal_size", {{DISPLAY, 40, 14, true, false}}},
        {"display_vertical_size", {{DISPLAY, 55, 14, true, false}}},
    };
    return table;
}

}  // namespace

const std::vector<std::string>& invariant_elements() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const Known& k : known()) n.push_back(k.name);
        return n;
    }();
    return names;
}

std::vector<std::uint8_t> rewritable_bits(const std::vector<std::uint8_t>& original,
                                          const std::vector<std::string>& elements) {
    const std::size_t size = original.size();
    std::vector<std::uint8_t> bits(size, 0);
    std::vector<Range> ranges;
    for (const Known& k : known())
        for (const std::string& e : elements)
            if (e == k.name) ranges.insert(ranges.end(), k.ranges.begin(), k.ranges.end());
    for (std::size_t i = 0; i + 4 <= size; ++i) {
        if (original[i] != 0 || original[i + 1] != 0 || original[i + 2] != 1) continue;
        unsigned header = original[i + 3];
        if (header == 0xB5) header = i + 4 < size ? 0x100u + (original[i + 4] >> 4) : 0;
        bool colour = header == DISPLAY && (original[i + 4] & 1u);
        for (const Range& r : ranges) {
            if (r.header != header || (r.colour && !colour)) continue;
            std::size_t first = i * 8 + r.first_bit + (r.after_colour && colour ? 24 : 0);
            for (std::size_t bit = first; bit < first + r.width; ++bit)
                if (bit / 8 < size) bits[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
        }
    }
    return bits;
}

std::string check_rewrite(const std::vector<std::uint8_t>& original,
                          const std::vector<std::uint8_t>& after,
                          const std::vector<std::string>& elements) {
    return check_changed_bits(rewritable_bits(original, elements), original, after);
}

std::string check_write(const std::vector<std::uint8_t>& rewritable,
                        std::uint64_t offset, std::uint64_t count) {
    char text[160];
    for (std::uint64_t i = offset; i < offset + count; ++i) {
        if (i >= rewritable.size() || rewritable[i] == 0) {
            std::snprintf(text, sizeof text,
                          "write of %llu bytes at %llu touches byte %llu",
                          static_cast<unsigned long long>(count),
                          static_cast<unsigned long long>(offset),
                          static_cast<unsigned long long>(i));
            return text;
        }
    }
    return {};
}

std::vector<std::uint8_t> pulldown_rewritable_bits(const std::vector<std::uint8_t>& original) {
    const std::size_t size = original.size();
    std::vector<std::uint8_t> bits(size, 0);
    auto allow = [&](std::size_t at, std::uint8_t mask) {
        if (at < size) bits[at] |= mask;
    };
    for (std::size_t i = 0; i + 4 <= size; ++i) {
        if (original[i] != 0 || original[i + 1] != 0 || original[i + 2] != 1) continue;
        const std::uint8_t code = original[i + 3];
        const int identifier = i + 4 < size ? original[i + 4] >> 4 : -1;
        if (code == 0xB3) {
            allow(i + 7, 0x0F);
        } else if (code == 0xB5 && identifier == 1) {
            allow(i + 5, 0x08);
        } else if (code == 0xB5 && identifier == 8) {
            allow(i + 7, 0x82);
            allow(i + 8, 0x80);
        } else if (code == 0xB8) {
            allow(i + 4, 0xFF);
            allow(i + 5, 0xF7);
            allow(i + 6, 0xFF);
            allow(i + 7, 0x80);
        }
    }
    return bits;
}

std::string check_changed_bits(const std::vector<std::uint8_t>& bits,
                               const std::vector<std::uint8_t>& original,
                               const std::vector<std::uint8_t>& after) {
    char text[160];
    if (after.size() != original.size()) {
        std::snprintf(text, sizeof text, "length changed from %zu to %zu", original.size(),
                      after.size());
        return text;
    }
    for (std::size_t i = 0; i < original.size(); ++i) {
        std::uint8_t changed = static_cast<std::uint8_t>(original[i] ^ after[i]);
        if (changed & ~bits[i]) {
            std::snprintf(text, sizeof text,
                          "byte %zu changed from %02x to %02x (rewritable bits %02x)", i,
                          original[i], after[i], bits[i]);
            return text;
        }
    }
    return {};
}
