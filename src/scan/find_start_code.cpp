// The byte loop, and the choice of search for this processor.
#include "scan/find_start_code.hpp"

#include <atomic>

std::size_t find_start_code_scalar(const std::uint8_t* data, std::size_t from,
                                   std::size_t limit) {
    for (std::size_t i = from; i < limit; ++i) {
        if (data[i + 2] > 1) {
            i += 2;  // no prefix can start at i, i + 1 or i + 2
        } else if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            return i;
        }
    }
    return limit;
}

#ifdef M2VHDR_X86_64_SEARCH

bool start_code_search_has_avx2() {
    // The feature bit is reported only when the system also saves the
    // 256-bit registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

namespace {

using SearchFunction = std::size_t (*)(const std::uint8_t*, std::size_t, std::size_t);

std::size_t choose_and_search(const std::uint8_t* data, std::size_t from,
                              std::size_t limit);

// The search in use: set on the first call, read with a plain load on every
// later one (the scanner calls it once per start code).
std::atomic<SearchFunction> chosen_search{choose_and_search};

std::size_t choose_and_search(const std::uint8_t* data, std::size_t from,
                              std::size_t limit) {
    SearchFunction search =
        start_code_search_has_avx2() ? find_start_code_avx2 : find_start_code_sse2;
    chosen_search.store(search, std::memory_order_relaxed);
    return search(data, from, limit);
}

}  // namespace

std::size_t find_start_code(const std::uint8_t* data, std::size_t from,
                            std::size_t limit) {
    return chosen_search.load(std::memory_order_relaxed)(data, from, limit);
}

#else

std::size_t find_start_code(const std::uint8_t* data, std::size_t from,
                            std::size_t limit) {
    return find_start_code_scalar(data, from, limit);
}

#endif
