// The start-code searches against a plain byte-by-byte search.
//
// Every buffer handed to a search is allocated at exactly the size the
// search may read (limit + 2 bytes), so that under AddressSanitizer a read
// past it fails the run; the bytes before `from` are poisoned where the
// sanitizer allows it, and hold prefixes that must not be reported.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "scan/find_start_code.hpp"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define M2VHDR_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define M2VHDR_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define M2VHDR_POISON(p, n) ((void)(p), (void)(n))
#define M2VHDR_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;
using SearchFunction = std::size_t (*)(const std::uint8_t*, std::size_t, std::size_t);

// The definition itself: the first i in [from, limit) where 00 00 01 starts.
std::size_t reference_search(const Bytes& b, std::size_t from, std::size_t limit) {
    for (std::size_t i = from; i < limit; ++i)
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) return i;
    return limit;
}

struct Search {
    const char* name;
    SearchFunction function;
    bool available;
    friend void PrintTo(const Search& s, std::ostream* os) { *os << s.name; }
};

std::vector<Search> searches() {
    std::vector<Search> v = {{"scalar", find_start_code_scalar, true},
                             {"dispatched", find_start_code, true}};
#ifdef M2VHDR_X86_64_SEARCH
    v.push_back({"sse2", find_start_code_sse2, true});
    v.push_back({"avx2", find_start_code_avx2, start_code_search_has_avx2()});
#endif
    return v;
}

std::string hex(const Bytes& b, std::size_t size) {
    std::ostringstream os;
    for (std::size_t i = 0; i < size && i < b.size(); ++i) {
        static const char digits[] = "0123456789abcdef";
        os << digits[b[i] >> 4] << digits[b[i] & 15] << (i % 32 == 31 ? '\n' : ' ');
    }
    return os.str();
}

// Runs `search` on the first limit + 2 bytes of `bytes`, copied into a block
// of exactly that size, and compares with the reference.
::testing::AssertionResult agrees(SearchFunction search, const Bytes& bytes,
                                  std::size_t from, std::size_t limit) {
    std::size_t size = limit + 2;
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[size]);
    std::memcpy(block.get(), bytes.data(), size);
    M2VHDR_POISON(block.get(), from);
    std::size_t got = search(block.get(), from, limit);
    M2VHDR_UNPOISON(block.get(), from);
    std::size_t want = reference_search(bytes, from, limit);
    if (got == want) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "from " << from << " limit " << limit << ": found " << got << ", expected "
           << want << "\n"
           << hex(bytes, size);
}

// Every position the scanner would visit in [0, limit), in order, when each
// prefix found is skipped by `step` bytes.
std::vector<std::size_t> all_positions(SearchFunction search, const std::uint8_t* data,
                                       std::size_t limit, std::size_t step) {
    std::vector<std::size_t> found;
    for (std::size_t pos = 0; pos < limit; pos += step) {
        pos = search(data, pos, limit);
        if (pos >= limit) break;
        found.push_back(pos);
    }
    return found;
}

class FindStartCode : public ::testing::TestWithParam<Search> {
protected:
    void SetUp() override {
        if (!GetParam().available) GTEST_SKIP() << "the processor lacks " << GetParam().name;
    }
    SearchFunction search() const { return GetParam().function; }
};

// One pattern at `at`, the rest 0xFF; bytes past the end are dropped.
Bytes pattern_at(const Bytes& pattern, std::size_t at, std::size_t size) {
    Bytes b(size, 0xFF);
    for (std::size_t k = 0; k < pattern.size() && at + k < size; ++k) b[at + k] = pattern[k];
    return b;
}

// A pattern against every start and end of the range around it: before,
// across and after every 16-, 32-, 64- and 128-byte step of the searches,
// at every offset inside the first step, with the
// prefix at limit - 1 (found), at limit (not found) and at limit + 1 (only
// partly readable).
TEST_P(FindStartCode, EveryRangeAroundAPattern) {
    const std::vector<Bytes> patterns = {
        {0, 0, 1},                 // a prefix
        {0, 0, 0, 0, 0, 0, 0, 1},  // a prefix after a run of zeros
        {0xFF, 0, 1},              // 00 01 without the first 00
        {0, 0, 2},                 // wrong third byte
        {0, 1, 0, 0, 1},           // near miss, then a prefix
        {0, 0, 1, 0, 0, 1},        // two prefixes
        {1, 0, 0, 0, 1, 0, 0, 1},  // a prefix inside a zero run, then another
    };
    for (const Bytes& pattern : patterns) {
        for (std::size_t at = 160; at < 160 + 8; ++at) {
            for (std::size_t from = at - 140; from <= at + 3; ++from) {
                for (std::size_t limit = at > from + 2 ? at - 2 : from; limit <= at + 69; ++limit) {
                    Bytes b = pattern_at(pattern, at, limit + 2);
                    ASSERT_TRUE(agrees(search(), b, from, limit)) << "pattern at " << at;
                }
            }
        }
    }
}

// Prefixes just before `from` must not be reported: the search starts there.
TEST_P(FindStartCode, IgnoresPrefixesThatStartBeforeFrom) {
    for (std::size_t from = 1; from < 80; ++from) {
        for (std::size_t back = 1; back <= 2 && back <= from; ++back) {
            Bytes b = pattern_at({0, 0, 1}, from - back, from + 200);
            ASSERT_TRUE(agrees(search(), b, from, from + 100));
            ASSERT_TRUE(agrees(search(), b, from, from + 3));
        }
    }
}

// A run of n zeros ending in 01 reports the prefix at the run's last two
// zeros, for every run length and placement.
TEST_P(FindStartCode, ZeroRunsOfEveryLength) {
    for (std::size_t n = 0; n < 140; ++n) {
        for (std::size_t at = 0; at < 33; ++at) {
            Bytes run(n, 0);
            run.push_back(1);
            Bytes b = pattern_at(run, at, at + n + 80);
            ASSERT_TRUE(agrees(search(), b, 0, b.size() - 2)) << "run of " << n;
            // The same run cut by the end of the range, around its last zeros.
            for (std::size_t cut = at + n > 2 ? at + n - 2 : 0; cut <= at + n; ++cut)
                ASSERT_TRUE(agrees(search(), b, 0, cut)) << "run of " << n << " cut at " << cut;
        }
    }
    // Zeros only: nothing to find.
    for (std::size_t size = 2; size < 300; ++size)
        ASSERT_TRUE(agrees(search(), Bytes(size, 0), 0, size - 2));
}

// Random bytes that are mostly 00 and 01, so that prefixes, near misses and
// 00 01 pairs without a prefix come thick and at every alignment.
TEST_P(FindStartCode, RandomBuffersAndRanges) {
    std::mt19937 rng(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> percent(0, 99);
    for (int round = 0; round < 3000; ++round) {
        int zeros = round % 3 == 0 ? 60 : round % 3 == 1 ? 30 : 5;
        int ones = round % 2 == 0 ? 25 : 5;
        std::size_t size = 2 + static_cast<std::size_t>(byte(rng)) + static_cast<std::size_t>(byte(rng) % 64);
        Bytes b(size);
        for (std::uint8_t& x : b) {
            int r = percent(rng);
            x = r < zeros ? 0 : r < zeros + ones ? 1 : static_cast<std::uint8_t>(byte(rng));
        }
        std::uniform_int_distribution<std::size_t> pick(0, size - 2);
        for (int k = 0; k < 20; ++k) {
            std::size_t a = pick(rng), c = pick(rng);
            std::size_t from = a < c ? a : c, limit = a < c ? c : a;
            ASSERT_TRUE(agrees(search(), b, from, limit)) << "round " << round;
        }
        ASSERT_TRUE(agrees(search(), b, 0, size - 2)) << "round " << round;
    }
}

// A whole window's worth, scanned as the scanner does: every prefix found,
// in order, with nothing skipped and nothing extra. The buffer ends at
// limit + 2 exactly, as in the last window of a file.
TEST_P(FindStartCode, FindsEveryPrefixOfALargeBuffer) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::size_t size = (1u << 20) + 37;
    std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[size]);
    for (std::size_t i = 0; i < size; ++i) {
        std::uint8_t x = static_cast<std::uint8_t>(byte(rng));
        data[i] = x < 16 ? std::uint8_t{0} : x < 24 ? std::uint8_t{1} : x;  // about 6 % 00, 3 % 01
    }
    // Some planted prefixes, the last right at the end.
    for (std::size_t at = 1000; at + 3 <= size; at += 4093) {
        data[at] = 0;
        data[at + 1] = 0;
        data[at + 2] = 1;
    }
    data[size - 3] = 0;
    data[size - 2] = 0;
    data[size - 1] = 1;
    std::size_t limit = size - 2;
    for (std::size_t step : {1u, 4u}) {
        std::vector<std::size_t> want = all_positions(find_start_code_scalar, data.get(), limit, step);
        // The byte loop of the reference, checked on its own terms first.
        std::vector<std::size_t> plain;
        Bytes copy(data.get(), data.get() + size);
        for (std::size_t pos = 0; pos < limit; pos += step) {
            pos = reference_search(copy, pos, limit);
            if (pos >= limit) break;
            plain.push_back(pos);
        }
        ASSERT_EQ(want, plain);
        ASSERT_GT(want.size(), 200u);
        EXPECT_EQ(want.back(), size - 3);
        EXPECT_EQ(all_positions(search(), data.get(), limit, step), want);
    }
}

TEST_P(FindStartCode, EmptyAndTinyRanges) {
    Bytes b = {0, 0, 1, 0, 0, 1};
    for (std::size_t limit = 0; limit <= 4; ++limit)
        for (std::size_t from = 0; from <= limit; ++from)
            ASSERT_TRUE(agrees(search(), b, from, limit));
    // from past limit: nothing to search.
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[6]());
    EXPECT_EQ(search()(block.get(), 4, 2), 2u);
}

INSTANTIATE_TEST_SUITE_P(Searches, FindStartCode, ::testing::ValuesIn(searches()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
