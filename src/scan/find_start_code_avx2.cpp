// The AVX2 search: 32 positions per vector, 128 per step.
//
// Compiled for AVX2 function by function, so the rest of the tool runs on any
// x86-64 processor; find_start_code calls it only where the processor has
// AVX2. The bounds are kept as in the SSE2 search: a step over [p, p + n)
// reads bytes p + 1 .. p + n + 1, and the last step ends exactly at `limit`.
//
// The helpers are forced inline so that no 256-bit value is passed through
// memory: Windows x64 aligns the stack to 16 bytes only.
#include "scan/find_start_code.hpp"

#ifdef M2VHDR_X86_64_SEARCH

#include <immintrin.h>

#include "scan/prefix_candidates.hpp"

#define M2VHDR_AVX2 __attribute__((target("avx2")))
#define M2VHDR_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace {

// Lanes k set where data[p + k + 1] is 00 and data[p + k + 2] is 01.
M2VHDR_AVX2_INLINE __m256i candidates32(const std::uint8_t* data, std::size_t p) {
    __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + p + 1));
    __m256i third = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + p + 2));
    return _mm256_and_si256(_mm256_cmpeq_epi8(second, _mm256_setzero_si256()),
                            _mm256_cmpeq_epi8(third, _mm256_set1_epi8(1)));
}

M2VHDR_AVX2_INLINE std::uint64_t lane_bits(__m256i lanes) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(lanes));
}

M2VHDR_AVX2_INLINE std::size_t search32(const std::uint8_t* data, std::size_t p) {
    std::uint64_t bits = lane_bits(candidates32(data, p));
    return bits != 0 ? first_prefix_among(data, p, bits) : NO_PREFIX;
}

}  // namespace

M2VHDR_AVX2 std::size_t find_start_code_avx2(const std::uint8_t* data,
                                             std::size_t from, std::size_t limit) {
    if (from >= limit) return limit;
    if (limit - from < 32) return find_start_code_sse2(data, from, limit);

    std::size_t p = from;
    for (; limit - p >= 128; p += 128) {
        __m256i c0 = candidates32(data, p);
        __m256i c1 = candidates32(data, p + 32);
        __m256i c2 = candidates32(data, p + 64);
        __m256i c3 = candidates32(data, p + 96);
        __m256i any = _mm256_or_si256(_mm256_or_si256(c0, c1), _mm256_or_si256(c2, c3));
        if (!_mm256_testz_si256(any, any)) {
            std::size_t i = first_prefix_among(data, p, lane_bits(c0) | lane_bits(c1) << 32);
            if (i != NO_PREFIX) return i;
            i = first_prefix_among(data, p + 64, lane_bits(c2) | lane_bits(c3) << 32);
            if (i != NO_PREFIX) return i;
        }
    }
    for (; limit - p >= 32; p += 32) {
        std::size_t i = search32(data, p);
        if (i != NO_PREFIX) return i;
    }
    if (p < limit) {
        std::size_t i = search32(data, limit - 32);
        if (i != NO_PREFIX) return i;
    }
    return limit;
}

#endif
