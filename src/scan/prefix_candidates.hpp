// Shared by the vector searches.
//
// A vector step compares the bytes one and two places after each position p
// with 00 and 01, and sets bit k of a mask when position p + k passes both.
// Only the byte at the position itself is then left to check, and only at
// the few positions that passed: most data has no 00 01 pair at all.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t NO_PREFIX = SIZE_MAX;

// The first position p + k with bit k set in `candidates` whose own byte is
// 00, or NO_PREFIX.
inline std::size_t first_prefix_among(const std::uint8_t* data, std::size_t p,
                                      std::uint64_t candidates) {
    while (candidates != 0) {
        std::size_t i = p + static_cast<std::size_t>(__builtin_ctzll(candidates));
        if (data[i] == 0) return i;
        candidates &= candidates - 1;
    }
    return NO_PREFIX;
}
