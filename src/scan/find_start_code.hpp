// The search for the next start-code prefix 00 00 01 in the window.
//
// find_start_code is what the scanner calls: on x86-64 it runs the AVX2
// search where the processor and the system support it and the SSE2 search
// otherwise (every x86-64 processor has SSE2); elsewhere it runs the plain
// byte loop. All of them return the same index for the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)
#define M2VHDR_X86_64_SEARCH 1
#endif

// Index of the first start-code prefix 00 00 01 that begins in [from, limit),
// or `limit` when there is none. Reads only bytes from..limit + 1.
std::size_t find_start_code(const std::uint8_t* data, std::size_t from,
                            std::size_t limit);

// The individual searches, same contract, for the tests and the benchmark.
std::size_t find_start_code_scalar(const std::uint8_t* data, std::size_t from,
                                   std::size_t limit);
#ifdef M2VHDR_X86_64_SEARCH
std::size_t find_start_code_sse2(const std::uint8_t* data, std::size_t from,
                                 std::size_t limit);
// Only to be called where start_code_search_has_avx2() is true.
std::size_t find_start_code_avx2(const std::uint8_t* data, std::size_t from,
                                 std::size_t limit);
bool start_code_search_has_avx2();
#endif
