#include "rewrite_invariants.hpp"

#include <cstdio>

std::vector<std::uint8_t> rewritable_bits(const std::vector<std::uint8_t>& original) {
    const std::size_t size = original.size();
    std::vector<std::uint8_t> bits(size, 0);
    auto allow = [&](std::size_t at, std::uint8_t mask) {
        if (at < size) bits[at] |= mask;
    };
    for (std::size_t i = 0; i + 4 <= size; ++i) {
        if (original[i] != 0 || original[i + 1] != 0 || original[i + 2] != 1) continue;
        if (original[i + 3] == 0xB3) {  // sequence header: bit_rate_value
            allow(i + 8, 0xFF);
            allow(i + 9, 0xFF);
            allow(i + 10, 0xC0);
        } else if (original[i + 3] == 0xB5 && i + 4 < size &&
                   (original[i + 4] >> 4) == 1) {  // sequence extension
            allow(i + 6, 0x1F);
            allow(i + 7, 0xFE);
        }
    }
    return bits;
}

std::string check_rewrite(const std::vector<std::uint8_t>& original,
                          const std::vector<std::uint8_t>& after) {
    char text[160];
    if (after.size() != original.size()) {
        std::snprintf(text, sizeof text, "length changed from %zu to %zu",
                      original.size(), after.size());
        return text;
    }
    std::vector<std::uint8_t> bits = rewritable_bits(original);
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
