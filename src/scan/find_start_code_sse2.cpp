// The SSE2 search: 16 positions per vector, 64 per step.
//
// A step over the positions [p, p + n) loads bytes p + 1 .. p + n + 1, so it
// stays inside the bytes the search may read as long as p + n <= limit. The
// last few positions are covered by one more step ending exactly at `limit`,
// which looks again at positions already found empty.
#include "scan/find_start_code.hpp"

#ifdef M2VHDR_X86_64_SEARCH

#include <emmintrin.h>

#include "scan/prefix_candidates.hpp"

namespace {

// Lanes k set where data[p + k + 1] is 00 and data[p + k + 2] is 01.
inline __m128i candidates16(const std::uint8_t* data, std::size_t p) {
    __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p + 1));
    __m128i third = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p + 2));
    return _mm_and_si128(_mm_cmpeq_epi8(second, _mm_setzero_si128()),
                         _mm_cmpeq_epi8(third, _mm_set1_epi8(1)));
}

inline std::uint64_t lane_bits(__m128i lanes) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(lanes));
}

inline std::size_t search16(const std::uint8_t* data, std::size_t p) {
    std::uint64_t bits = lane_bits(candidates16(data, p));
    return bits != 0 ? first_prefix_among(data, p, bits) : NO_PREFIX;
}

}  // namespace

std::size_t find_start_code_sse2(const std::uint8_t* data, std::size_t from,
                                 std::size_t limit) {
    if (from >= limit) return limit;
    if (limit - from < 16) return find_start_code_scalar(data, from, limit);

    std::size_t p = from;
    for (; limit - p >= 64; p += 64) {
        __m128i c0 = candidates16(data, p);
        __m128i c1 = candidates16(data, p + 16);
        __m128i c2 = candidates16(data, p + 32);
        __m128i c3 = candidates16(data, p + 48);
        __m128i any = _mm_or_si128(_mm_or_si128(c0, c1), _mm_or_si128(c2, c3));
        if (_mm_movemask_epi8(any) != 0) {
            std::uint64_t bits = lane_bits(c0) | lane_bits(c1) << 16 |
                                 lane_bits(c2) << 32 | lane_bits(c3) << 48;
            std::size_t i = first_prefix_among(data, p, bits);
            if (i != NO_PREFIX) return i;
        }
    }
    for (; limit - p >= 16; p += 16) {
        std::size_t i = search16(data, p);
        if (i != NO_PREFIX) return i;
    }
    if (p < limit) {
        std::size_t i = search16(data, limit - 16);
        if (i != NO_PREFIX) return i;
    }
    return limit;
}

#endif
