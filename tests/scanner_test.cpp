// The window: start codes are found once each, at their true file offsets,
// wherever they fall relative to the lookahead limit and the window slide.
#include <gtest/gtest.h>

#include <cstdio>

#include "tool_runner.hpp"

namespace {

constexpr std::size_t WINDOW = 1u << 20;
constexpr std::size_t LOOK = 197;

std::string line(unsigned long long offset, const char* name) {
    char text[64];
    std::snprintf(text, sizeof text, "%08llx: %s\n", offset, name);
    return text;
}

std::string report(const Bytes& stream) {
    RunResult r = run_on(stream);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    return r.out;
}

// A user-data start code at `at` in a file of `size` bytes of 0xFF.
Bytes user_data_at(std::size_t at, std::size_t size) {
    Bytes b = filler(size);
    Bytes code = start_code(0xB2);
    std::copy(code.begin(), code.end(), b.begin() + static_cast<long>(at));
    return b;
}

class StartCodeAt : public ::testing::TestWithParam<std::size_t> {};

// Around the lookahead limit of the first window and around the first and
// second window slides of a 3 MiB file: each code is reported exactly once.
TEST_P(StartCodeAt, IsReportedOnceWithItsOffset) {
    std::size_t at = GetParam();
    EXPECT_EQ(report(user_data_at(at, 3 * WINDOW)), line(at, "USER_DATA_START_CODE"));
}

std::vector<std::size_t> offsets_around_boundaries() {
    std::vector<std::size_t> v;
    // The second window starts at WINDOW - 196 (the tail kept by the slide).
    for (std::size_t edge : {WINDOW - LOOK, WINDOW - 196 + WINDOW - LOOK, WINDOW, 2 * WINDOW - 196})
        for (std::size_t d = 0; d < 12; ++d) v.push_back(edge - 6 + d);
    return v;
}

INSTANTIATE_TEST_SUITE_P(WindowEdges, StartCodeAt, ::testing::ValuesIn(offsets_around_boundaries()));

TEST(Scanner, FindsCodesNearTheEndOfAShortFile) {
    // Fewer than 197 bytes: scanned only once the end of the file is known.
    EXPECT_EQ(report(user_data_at(0, 4)), line(0, "USER_DATA_START_CODE"));
    EXPECT_EQ(report(user_data_at(96, 100)), line(96, "USER_DATA_START_CODE"));
    // A code whose four bytes end at the end of the file is handled; one that
    // starts in the last three bytes is not.
    EXPECT_EQ(report(user_data_at(1000 - 4, 1000)), line(996, "USER_DATA_START_CODE"));
    Bytes cut = filler(1000);
    cut[997] = 0;
    cut[998] = 0;
    cut[999] = 1;
    EXPECT_EQ(report(cut), "");
    EXPECT_EQ(report({}), "");
    EXPECT_EQ(report({0, 0}), "");
}

TEST(Scanner, ResumesRightAfterUserDataAndSequenceEnd) {
    Bytes s = concat({user_data(""), sequence_end(), user_data("x"), sequence_end()});
    EXPECT_EQ(report(s), line(0, "USER_DATA_START_CODE") + line(4, "SEQUENCE_END_CODE") +
                             line(8, "USER_DATA_START_CODE") + line(13, "SEQUENCE_END_CODE"));
}

TEST(Scanner, OverlappingPrefixesAndZeroRuns) {
    // 00 00 00 01 B2: the prefix starts one byte in.
    Bytes s = concat({{0, 0, 0, 1, 0xB2}, filler(3, 0), {1, 0xB7}, filler(400, 0)});
    EXPECT_EQ(report(s), line(1, "USER_DATA_START_CODE") + line(6, "SEQUENCE_END_CODE"));
}

TEST(Scanner, PassesOverSlicesAndOtherCodesButSeesWhatFollows) {
    Bytes s = concat({start_code(0x01), start_code(0xB9), start_code(0xE0), start_code(0xB4),
                      user_data("")});
    EXPECT_EQ(report(s), line(16, "USER_DATA_START_CODE"));
}

TEST(Scanner, OffsetsBeyondTheFirstWindowAreExact) {
    Bytes s = filler(5 * WINDOW + 12345);
    std::string expected;
    for (std::size_t at : {std::size_t{7}, WINDOW + 3, 3 * WINDOW - 100, 5 * WINDOW + 12341}) {
        Bytes code = start_code(0xB7);
        std::copy(code.begin(), code.end(), s.begin() + static_cast<long>(at));
        expected += line(at, "SEQUENCE_END_CODE");
    }
    EXPECT_EQ(report(s), expected);
}

struct SystemCase {
    const char* name;
    Bytes stream;
    friend void PrintTo(const SystemCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }
};

class SystemStream : public ::testing::TestWithParam<SystemCase> {};

TEST_P(SystemStream, IsRefusedInBothModes) {
    ScratchDir dir;
    std::string path = dir.write("s.mpg", GetParam().stream);
    RunResult report = run_tool({"m2vhdr", path});
    std::string refused = sjis(
        "MPEG System ヘッダが見つかりました。MPEG System ファイルは取り扱えません。\n");
    EXPECT_EQ(report.err, refused);
    EXPECT_EQ(report.status, 1);

    RunResult rewrite = run_tool({"m2vhdr", path, "8000000"});
    EXPECT_EQ(rewrite.err, refused);
    EXPECT_EQ(rewrite.out, "");  // no closing progress line after a stop
    EXPECT_EQ(rewrite.status, 1);
    EXPECT_EQ(read_file(path), GetParam().stream);
}

Bytes transport_packets(std::size_t packet, std::size_t first) {
    Bytes b = filler(first + 4 * packet, 0x00);
    for (std::size_t i = first; i < b.size(); i += packet) b[i] = 0x47;
    // The video inside would otherwise be reported (and patched).
    append(b, concat({sequence_header({}), sequence_extension({})}));
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Refused, SystemStream,
    ::testing::Values(SystemCase{"pack", concat({start_code(0xBA), filler(300)})},
                      SystemCase{"ts188", transport_packets(188, 0)},
                      SystemCase{"ts192", transport_packets(192, 4)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Scanner, SystemHeaderAfterVideoStopsTheRunThere) {
    ScratchDir dir;
    Bytes s = concat({user_data(""), filler(2000), start_code(0xBB), filler(10), sequence_end()});
    RunResult r = run_tool({"m2vhdr", dir.write("s.m2v", s)});
    EXPECT_EQ(r.out, line(0, "USER_DATA_START_CODE"));
    EXPECT_EQ(r.err, sjis("MPEG System ヘッダが見つかりました。MPEG System ファイルは取り扱えません。\n"));
    EXPECT_EQ(r.status, 1);
}

TEST(Scanner, QuantMatrixExtensionLongerThanTheLookaheadAtAWindowEdge) {
    // All four matrices: 261 bytes, so the handler skips past the valid data
    // of the window. The scan must go on right after the extension.
    Bytes qm = quant_matrix_extension(true, true, true, true, 0x01);
    for (std::size_t start = WINDOW - 300; start < WINDOW - 190; start += 7) {
        Bytes s = filler(start);
        append(s, concat({picture_header({}), qm, user_data("after"), filler(500)}));
        std::string out = report(s);
        unsigned long long ud = start + 8 + qm.size();
        EXPECT_NE(out.find(line(ud, "USER_DATA_START_CODE")), std::string::npos)
            << "start " << start << "\n" << out;
    }
}

}  // namespace
