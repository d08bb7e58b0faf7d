// The bit-rate rewrite: the exact bytes left in the file and the progress
// lines. Expected files are built from the same field values with the new
// rate, so any other changed bit shows up as a difference.
#include <gtest/gtest.h>

#include <functional>

#include "tool_runner.hpp"

namespace {

constexpr std::size_t WINDOW = 1u << 20;
// Where the first window's scan stops on a stream with no start code near
// that point: the last position with 197 valid bytes after it.
constexpr std::size_t FIRST_SLIDE = WINDOW - 196;

// The rate in units of 400 bit/s, split as the two headers hold it.
struct Rate {
    std::uint32_t bit_rate_value;
    unsigned bit_rate_extension;
};

Rate split(std::uint32_t bit_rate) {
    std::uint32_t q = bit_rate / 400;
    return {q & 0x3FFFF, q >> 18};
}

SequenceHeader header_with(Rate r, SequenceHeader h = {}) {
    h.bit_rate_value = r.bit_rate_value;
    return h;
}

SequenceExtension extension_with(Rate r, SequenceExtension e = {}) {
    e.bit_rate_extension = r.bit_rate_extension;
    return e;
}

TEST(Rewrite, WorkedBytes) {
    // Byte 10 of the header: bit_rate_value bits 1..0 = 0, marker 1, VBV
    // bits 9..5 all set: 0x3F. Extension bytes 6 and 7: 00 01.
    SequenceHeader h;
    h.bit_rate_value = 0;
    h.vbv_buffer_size_value = 0x3FF;
    Bytes s = concat({sequence_header(h), sequence_extension({})});
    ASSERT_EQ(s[10], 0x3F);
    ASSERT_EQ(s[12 + 6], 0x00);
    ASSERT_EQ(s[12 + 7], 0x01);

    struct Case {
        const char* target;
        std::uint8_t header[3], extension[2];
    };
    for (const Case& c : {Case{"8000000", {0x13, 0x88, 0x3F}, {0x00, 0x01}},
                          Case{"120000000", {0x24, 0xF8, 0x3F}, {0x00, 0x03}}}) {
        Bytes expected = s;
        std::copy(std::begin(c.header), std::end(c.header), expected.begin() + 8);
        std::copy(std::begin(c.extension), std::end(c.extension), expected.begin() + 18);
        Bytes after;
        RunResult r = run_on(s, {c.target}, &after);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(after, expected) << c.target;
        // Below 100 bytes the percentage is worked out from the exact size.
        EXPECT_EQ(r.out, progress_line(0, 22, 0, "\r") + progress_line(22, 22, 100, "\n"));
    }
}

// Every other field at values whose bits neighbour the rate fields.
SequenceHeader busy_header() {
    SequenceHeader h;
    h.horizontal_size_value = 0xFFF;
    h.vertical_size_value = 0xFFF;
    h.aspect_ratio_information = 0xF;
    h.frame_rate_code = 0xF;
    h.vbv_buffer_size_value = 0x3FF;
    h.constrained_parameters_flag = 1;
    return h;
}

SequenceExtension busy_extension() {
    SequenceExtension e;
    e.profile_and_level_indication = 0xFF;
    e.progressive_sequence = 1;
    e.chroma_format = 3;
    e.horizontal_size_extension = 3;
    e.vertical_size_extension = 3;
    e.vbv_buffer_size_extension = 0xFF;
    e.low_delay = 1;
    e.frame_rate_extension_n = 3;
    e.frame_rate_extension_d = 31;
    return e;
}

struct TargetCase {
    const char* target;
    std::uint32_t value;
};

class RewriteTarget : public ::testing::TestWithParam<TargetCase> {};

// Several sequences, each header repeated before every GOP: exactly the rate
// bits change, the length stays, and a report of the result shows the new
// rate for every sequence.
TEST_P(RewriteTarget, ChangesOnlyTheRateBits) {
    Rate old_rate{0x2AAAA, 0x555};
    Rate new_rate = split(GetParam().value);
    auto build = [](Rate r, bool busy) {
        Bytes s;
        for (int gop = 0; gop < 4; ++gop) {
            append(s, sequence_header(header_with(r, busy ? busy_header() : SequenceHeader{})));
            append(s, sequence_extension(extension_with(r, busy ? busy_extension() : SequenceExtension{})));
            append(s, group_header({}));
            append(s, picture_header({}));
            append(s, picture_coding_extension({}));
            append(s, slice(100));
        }
        append(s, filler(300));  // keeps every patch in the first window
        append(s, sequence_end());
        return s;
    };
    for (bool busy : {false, true}) {
        Bytes original = build(old_rate, busy);
        Bytes after;
        RunResult r = run_on(original, {GetParam().target}, &after);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(after, build(new_rate, busy));
        std::string patch = progress_line(0, original.size(), 0, "\r");
        EXPECT_EQ(r.out, patch + patch + patch + patch +
                             progress_line(original.size(), original.size(), 100, "\n"));

        RunResult report = run_on(after);
        std::string shown = "nominal bitrate=" + std::to_string(std::uint64_t{GetParam().value} / 400 * 400) + "bps/";
        std::size_t count = 0;
        for (std::size_t at = report.out.find(shown); at != std::string::npos; at = report.out.find(shown, at + 1))
            ++count;
        EXPECT_EQ(count, 4u) << report.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, RewriteTarget,
                         ::testing::Values(TargetCase{"0", 0}, TargetCase{"15000123", 15000123},
                                           TargetCase{"104857599", 104857599},
                                           TargetCase{"104857600", 104857600},
                                           TargetCase{"120000000", 120000000},
                                           TargetCase{"4294967295", 4294967295u}));

TEST(Rewrite, Mpeg1FileIsLeftAlone) {
    Bytes s = concat({sequence_header({}), group_header({}), picture_header({}), slice(50),
                      sequence_header({}), sequence_end()});
    Bytes after;
    RunResult r = run_on(s, {"15000000"}, &after);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(after, s);
    EXPECT_EQ(r.out, progress_line(s.size(), s.size(), 100, "\n"));
}

TEST(Rewrite, ExtensionWithoutHeaderPatchesOnlyItself) {
    // Nothing is written where no sequence header is.
    Bytes prefix = filler(64, 0x00);
    Rate old_rate{0, 3};
    Rate new_rate = split(120000000);
    Bytes s = concat({prefix, sequence_extension(extension_with(old_rate)), filler(20)});
    Bytes after;
    RunResult r = run_on(s, {"120000000"}, &after);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, sjis("警告: シーケンス層以外でシーケンス拡張コードが見つかりました。\n"));
    EXPECT_EQ(after, concat({prefix, sequence_extension(extension_with(new_rate)), filler(20)}));
}

TEST(Rewrite, ExtensionCutShortByTheEndIsLeftAlone) {
    Bytes whole = concat({sequence_header({}), sequence_extension({})});
    for (std::size_t keep = 12 + 4; keep < 12 + 8; ++keep) {
        Bytes s(whole.begin(), whole.begin() + static_cast<long>(keep));
        Bytes after;
        RunResult r = run_on(s, {"120000000"}, &after);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(after, s) << keep;
        // With the start code alone the identifier reads as 0 (no extension)
        // and the scan walks on to the last four bytes.
        std::string closing = keep == 16 ? progress_line(13, 16, 81, "\n") : progress_line(keep, keep, 100, "\n");
        EXPECT_EQ(r.out, closing) << keep;
    }
    // With bytes 6 and 7 in the file the patch is made.
    Bytes s(whole.begin(), whole.begin() + 12 + 8);
    Bytes after;
    run_on(s, {"120000000"}, &after);
    EXPECT_NE(after, s);
    EXPECT_EQ(after.size(), s.size());
}

// A sequence header at the very end of the first window's scan, with its
// extension handled only after the slide: the patch lands at the header's
// own offset and keeps its own byte 10, not the one of an earlier header.
TEST(Rewrite, HeaderBeforeTheSlideExtensionAfterIt) {
    for (bool matrices : {false, true}) {
        SequenceHeader first;  // VBV bits 9..5 = 0
        first.vbv_buffer_size_value = 0x01F;
        SequenceHeader second = busy_header();  // VBV bits 9..5 all set
        second.load_intra_quantiser_matrix = matrices;
        second.load_non_intra_quantiser_matrix = matrices;
        second.intra_quantiser_matrix.fill(0xFF);
        second.non_intra_quantiser_matrix.fill(0xFF);
        std::size_t second_length = matrices ? 140 : 12;
        // The header's last byte is the last position scanned in the window.
        std::size_t second_at = FIRST_SLIDE - second_length;
        Rate old_rate{1, 0};
        Rate new_rate = split(120000000);
        auto build = [&](Rate r) {
            Bytes s = concat({sequence_header(header_with(r, first)), sequence_extension(extension_with(r))});
            append(s, filler(second_at - s.size()));
            append(s, sequence_header(header_with(r, second)));
            append(s, sequence_extension(extension_with(r)));
            append(s, filler(5000));
            return s;
        };
        Bytes original = build(old_rate);
        Bytes after;
        RunResult r = run_on(original, {"120000000"}, &after);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(after, build(new_rate)) << matrices;
        // The second patch is made in the second window, after one slide.
        std::uint64_t size = original.size();
        std::uint64_t slide = FIRST_SLIDE;
        EXPECT_EQ(r.out, progress_line(0, size, 0, "\r") +
                             progress_line(slide, size, slide / (size / 100), "\r") +
                             // (size - 3) / (size / 100) is just above 100.
                             progress_line(size - 3, size, 100, "\n"));
    }
}

// Progress moves once per window slide, not per patch.
TEST(Rewrite, ProgressLinesFollowTheWindow) {
    std::size_t size = 3 * WINDOW;
    Bytes seq = concat({sequence_header({}), sequence_extension({})});
    Bytes s = filler(size);
    for (std::size_t at : {std::size_t{0}, std::size_t{1000}, WINDOW + WINDOW / 2, 2 * WINDOW + WINDOW / 2})
        std::copy(seq.begin(), seq.end(), s.begin() + static_cast<long>(at));
    Bytes after;
    RunResult r = run_on(s, {"8000000"}, &after);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(after, s);  // the headers already say 8000000
    std::uint64_t second = FIRST_SLIDE;
    std::uint64_t third = 2 * FIRST_SLIDE;
    std::uint64_t unit = size / 100;
    EXPECT_EQ(r.out, progress_line(0, size, 0, "\r") + progress_line(0, size, 0, "\r") +
                         progress_line(second, size, second / unit, "\r") +
                         progress_line(third, size, third / unit, "\r") +
                         progress_line(size - 3, size, 100, "\n"));
}

}  // namespace
