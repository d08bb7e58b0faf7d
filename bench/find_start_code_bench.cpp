// The start-code searches alone, on one window's worth of bytes in memory,
// scanned as the scanner does: search, step past the prefix, search again.
//
//   build/bench/find_start_code_bench
//
// The argument is the spacing of the planted prefixes in bytes (0: none, so
// the time is the pure search); coded video has one every few hundred to a
// few thousand bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "scan/find_start_code.hpp"

namespace {

using SearchFunction = std::size_t (*)(const std::uint8_t*, std::size_t, std::size_t);

constexpr std::size_t WINDOW = 1u << 20;

// Random bytes, with 00 00 01 planted every `spacing` bytes, and zero
// padding behind them as in the window.
const std::vector<std::uint8_t>& buffer(std::size_t spacing) {
    static std::map<std::size_t, std::vector<std::uint8_t>> made;
    std::vector<std::uint8_t>& b = made[spacing];
    if (b.empty()) {
        std::mt19937 rng(12345);
        b.resize(WINDOW + 256);
        for (std::size_t i = 0; i < WINDOW; ++i) b[i] = static_cast<std::uint8_t>(rng());
        for (std::size_t at = spacing; spacing > 0 && at + 3 <= WINDOW; at += spacing) {
            b[at] = 0;
            b[at + 1] = 0;
            b[at + 2] = 1;
        }
    }
    return b;
}

void scan_window(benchmark::State& state, SearchFunction search, bool usable) {
    if (!usable) {
        state.SkipWithError("the processor lacks this instruction set");
        return;
    }
    const std::vector<std::uint8_t>& b = buffer(static_cast<std::size_t>(state.range(0)));
    std::size_t limit = WINDOW - 196;
    std::size_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (std::size_t pos = 0; pos < limit; pos += 4) {
            pos = search(b.data(), pos, limit);
            if (pos >= limit) break;
            ++found;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(limit));
    state.counters["prefixes"] = static_cast<double>(found);
}

#define SPACINGS Arg(0)->Arg(4096)->Arg(1024)->Arg(128)

BENCHMARK_CAPTURE(scan_window, scalar, find_start_code_scalar, true)->SPACINGS;
#ifdef M2VHDR_X86_64_SEARCH
BENCHMARK_CAPTURE(scan_window, sse2, find_start_code_sse2, true)->SPACINGS;
BENCHMARK_CAPTURE(scan_window, avx2, find_start_code_avx2, start_code_search_has_avx2())->SPACINGS;
#endif
BENCHMARK_CAPTURE(scan_window, dispatched, find_start_code, true)->SPACINGS;

}  // namespace
