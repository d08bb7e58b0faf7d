// Inputs kept under fuzz/regressions/, replayed through the real tool in both
// modes with the fuzzers' checks; and the check itself, on damage it must
// catch.
#include <gtest/gtest.h>

#include <filesystem>

#include "rewrite_invariants.hpp"
#include "tool_runner.hpp"

namespace {

std::vector<std::string> regression_files() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(M2VHDR_FUZZ_REGRESSIONS))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FuzzRegressions, ReplayInBothModes) {
    std::vector<std::string> files = regression_files();
    if (files.empty()) GTEST_SKIP() << "no inputs under " << M2VHDR_FUZZ_REGRESSIONS;
    ScratchDir dir;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        Bytes input = read_file(file);
        std::string copy = dir.write("input.m2v", input);
        RunResult report = run_tool({"m2vhdr", copy});
        EXPECT_TRUE(report.status == 0 || report.status == 1) << report.status;
        EXPECT_EQ(read_file(copy), input);
        for (const char* rate : {"0", "120000000", "4294967295"}) {
            copy = dir.write("input.m2v", input);
            RunResult rewrite = run_tool({"m2vhdr", copy, rate});
            EXPECT_TRUE(rewrite.status == 0 || rewrite.status == 1) << rewrite.status;
            EXPECT_EQ(check_rewrite(input, read_file(copy)), "") << "rate " << rate;
        }
    }
}

// The fuzzers' rewrite check accepts exactly the bit-rate bits.
TEST(RewriteInvariants, AcceptOnlyBitRateBits) {
    Bytes s = concat({filler(5), sequence_header({}), sequence_extension({}), filler(3)});
    const std::size_t h = 5;
    const std::size_t e = h + 12;
    EXPECT_EQ(check_rewrite(s, s), "");

    auto flipped = [&](std::size_t at, std::uint8_t bits) {
        Bytes b = s;
        b[at] ^= bits;
        return check_rewrite(s, b);
    };
    EXPECT_EQ(flipped(h + 8, 0xFF), "");
    EXPECT_EQ(flipped(h + 9, 0xFF), "");
    EXPECT_EQ(flipped(h + 10, 0xC0), "");
    EXPECT_EQ(flipped(e + 6, 0x1F), "");
    EXPECT_EQ(flipped(e + 7, 0xFE), "");
    // The marker bit and the VBV bits beside the rate, and their neighbours.
    EXPECT_NE(flipped(h + 10, 0x20), "");
    EXPECT_NE(flipped(h + 7, 0x01), "");
    EXPECT_NE(flipped(h + 11, 0x80), "");
    EXPECT_NE(flipped(e + 6, 0x20), "");
    EXPECT_NE(flipped(e + 7, 0x01), "");
    EXPECT_NE(flipped(e + 5, 0x01), "");
    EXPECT_NE(flipped(0, 0x01), "");
    Bytes longer = concat({s, {0}});
    EXPECT_NE(check_rewrite(s, longer), "");

    // Writes: inside the rate bytes only, and never past the end.
    Bytes bits = rewritable_bits(s);
    EXPECT_EQ(check_write(bits, h + 8, 3), "");
    EXPECT_EQ(check_write(bits, e + 6, 2), "");
    EXPECT_NE(check_write(bits, h + 7, 3), "");
    EXPECT_NE(check_write(bits, e + 6, 3), "");
    EXPECT_NE(check_write(bits, s.size(), 1), "");

    // With elements of --set: their bits, in the headers that hold them.
    Bytes d = concat({sequence_header({}), sequence_display_extension({})});
    EXPECT_EQ(rewritable_bits(d, {"aspect_ratio_information", "display_vertical_size"}),
              Bytes({0, 0, 0, 0, 0, 0, 0, 0xF0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0xFF, 0xF8}));
    EXPECT_EQ(rewritable_bits(d, {"colour_primaries"}), Bytes(d.size(), 0));

    // A sequence extension is known by its identifier nibble.
    Bytes display = concat({sequence_display_extension({}), filler(4)});
    EXPECT_NE(check_write(rewritable_bits(display), 6, 2), "");
}

}  // namespace
