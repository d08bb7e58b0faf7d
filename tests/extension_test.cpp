// Extension routing: layer warnings, skipped extensions and their lengths.
#include <gtest/gtest.h>

#include "headers/header_sink.hpp"
#include "headers/headers.hpp"
#include "tool_runner.hpp"

namespace {

const std::string kSequenceWarning = "警告: シーケンス層以外でシーケンス拡張コードが見つかりました。\n";
const std::string kPictureWarning = "警告: ピクチャ層以外でピクチャ拡張コードが見つかりました。\n";

struct LayerCase {
    const char* name;
    Bytes stream;
    std::string warnings;  // UTF-8
    friend void PrintTo(const LayerCase& c, std::ostream* os) { *os << c.name; }
};

class LayerWarning : public ::testing::TestWithParam<LayerCase> {};

// Warnings go to standard error in both modes; the extension is still
// handled (reported, or patched in a rewrite).
TEST_P(LayerWarning, InBothModes) {
    RunResult report = run_on(GetParam().stream);
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.err, sjis(GetParam().warnings));
    Bytes after;
    RunResult rewrite = run_on(GetParam().stream, {"8000000"}, &after);
    EXPECT_EQ(rewrite.status, 0);
    EXPECT_EQ(rewrite.err, sjis(GetParam().warnings));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LayerWarning,
    ::testing::Values(
        LayerCase{"sequence_extension_after_header",
                  concat({sequence_header({}), sequence_extension({})}), ""},
        LayerCase{"after_header_user_data_and_display",
                  concat({sequence_header({}), user_data("u"), sequence_display_extension({}),
                          sequence_extension({})}),
                  ""},
        LayerCase{"sequence_extension_after_gop",
                  concat({sequence_header({}), group_header({}), sequence_extension({})}),
                  kSequenceWarning},
        LayerCase{"display_extension_after_slice",
                  concat({sequence_header({}), slice(8), sequence_display_extension({})}),
                  kSequenceWarning},
        LayerCase{"coding_extension_after_picture_user_data_and_extension",
                  concat({picture_header({}), user_data("x"), quant_matrix_extension(false, false, false, false),
                          picture_coding_extension({})}),
                  ""},
        LayerCase{"quant_matrix_after_sequence_extension",
                  concat({sequence_header({}), sequence_extension({}),
                          quant_matrix_extension(true, false, false, false)}),
                  kPictureWarning},
        LayerCase{"coding_and_display_after_gop",
                  concat({group_header({}), picture_coding_extension({}),
                          picture_display_extension(1)}),
                  kPictureWarning + kPictureWarning},
        LayerCase{"copyright_anywhere", concat({group_header({}), copyright_extension()}), ""},
        LayerCase{"other_identifiers_anywhere",
                  concat({bare_extension(5), bare_extension(6), bare_extension(9), bare_extension(10),
                          bare_extension(0), bare_extension(15)}),
                  ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Extensions, ReportedWarnedExtensionKeepsItsBlock) {
    RunResult r = run_on(concat({group_header({}), sequence_extension({})}));
    EXPECT_EQ(r.err, sjis(kSequenceWarning));
    EXPECT_NE(r.out.find("00000008: SEQUENCE_EXTENSION\n    MP@ML "), std::string::npos) << r.out;
}

TEST(Extensions, CopyrightIsNamedAndSkippedWhole) {
    Bytes c = copyright_extension();
    ASSERT_EQ(c.size(), 15u);
    // A false start code in its last bytes is not seen; the code after it is.
    c[11] = 0;
    c[12] = 0;
    c[13] = 1;
    c[14] = 0xB7;
    RunResult r = run_on(concat({c, user_data("")}));
    EXPECT_EQ(r.out, "00000000: COPYRIGHT_EXTENSION\n0000000f: USER_DATA_START_CODE\n");
    EXPECT_EQ(r.err, "");
}

// Identifiers without a handler leave the scan at the second byte of their
// start code, so a start code right after the identifier byte is found.
TEST(Extensions, OtherIdentifiersAreWalkedByteByByte) {
    for (unsigned id : {0u, 5u, 6u, 9u, 10u, 11u, 15u}) {
        Bytes s = concat({start_code(0xB5), {static_cast<std::uint8_t>(id << 4)}, sequence_end()});
        RunResult r = run_on(s);
        EXPECT_EQ(r.out, "00000005: SEQUENCE_END_CODE\n") << id;
        EXPECT_EQ(r.err, "") << id;
    }
}

struct DisplayCase {
    std::uint8_t progressive_sequence, picture_structure, top_field_first, repeat_first_field;
    std::uint32_t offsets;  // number_of_frame_centre_offsets
};

class PictureDisplayLength : public ::testing::TestWithParam<DisplayCase> {};

// The extension's length follows from the latest sequence and picture coding
// extensions; the handler leaves pos on byte 4 * n + 3 of it.
TEST_P(PictureDisplayLength, FollowsTheFieldFlags) {
    const DisplayCase& c = GetParam();
    Bytes ext = picture_display_extension(c.offsets);
    ext.resize(ext.size() + 300);
    StreamContext ctx;
    ctx.sink = &report_text_sink;
    ctx.win.bytes = ext.data();
    ctx.win.held = static_cast<std::uint32_t>(ext.size());
    ctx.decoded.progressive_sequence = c.progressive_sequence;
    ctx.decoded.picture_structure = c.picture_structure;
    ctx.decoded.top_field_first = c.top_field_first;
    ctx.decoded.repeat_first_field = c.repeat_first_field;
    EXPECT_EQ(skip_picture_display_extension(ctx), CONTINUE);
    EXPECT_EQ(ctx.win.pos, 4 * c.offsets + 3);
}

std::vector<DisplayCase> display_cases() {
    std::vector<DisplayCase> v;
    for (std::uint8_t ps = 0; ps < 2; ++ps)
        for (std::uint8_t st = 0; st < 4; ++st)
            for (std::uint8_t tff = 0; tff < 2; ++tff)
                for (std::uint8_t rff = 0; rff < 2; ++rff) {
                    std::uint32_t n;
                    if (ps)  // progressive: repeated frames
                        n = rff ? (tff ? 3 : 2) : 1;
                    else if (st == 3)  // interlaced frame picture: two fields, or three
                        n = rff ? 3 : 2;
                    else  // a field picture
                        n = 1;
                    v.push_back({ps, st, tff, rff, n});
                }
    return v;
}

INSTANTIATE_TEST_SUITE_P(AllFlags, PictureDisplayLength, ::testing::ValuesIn(display_cases()));

// The same, end to end: a false sequence extension hidden in the frame-centre
// offsets must not be seen, even in a rewrite, where it would be patched.
TEST(Extensions, PictureDisplaySizedFromTheStreamInRewriteMode) {
    PictureCodingExtension frame_rff;
    frame_rff.picture_structure = 3;
    frame_rff.repeat_first_field = 1;  // interlaced frame, three offsets: 18 bytes
    Bytes pde = picture_display_extension(3);
    ASSERT_EQ(pde.size(), 18u);
    // With one offset the scan would resume at byte 8 and meet this.
    const std::uint8_t hidden[] = {0, 0, 1, 0xB5, 0x14, 0x8A, 0x00, 0x01, 0x00, 0x00};
    std::copy(std::begin(hidden), std::end(hidden), pde.begin() + 8);
    auto stream = [&](const SequenceHeader& h, const SequenceExtension& e) {
        return concat({sequence_header(h), sequence_extension(e), picture_header({}),
                       picture_coding_extension(frame_rff), pde, filler(40)});
    };
    Bytes s = stream({}, {});
    // 120000000 / 400 = 300000 = 1 << 18 | 37856.
    SequenceHeader h;
    h.bit_rate_value = 37856;
    SequenceExtension e;
    e.bit_rate_extension = 1;
    Bytes after;
    RunResult r = run_on(s, {"120000000"}, &after);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(after, stream(h, e));

    RunResult report = run_on(s);
    EXPECT_EQ(report.out.find("SEQUENCE_EXTENSION", report.out.find("PICTURE_START_CODE")),
              std::string::npos)
        << report.out;
}

TEST(Extensions, QuantMatrixLengthForEveryFlagCombination) {
    for (unsigned flags = 0; flags < 16; ++flags) {
        Bytes ext = quant_matrix_extension(flags & 8, flags & 4, flags & 2, flags & 1, 0xFF);
        Bytes window = ext;
        window.resize(ext.size() + 300);
        StreamContext ctx;
        ctx.sink = &report_text_sink;
        ctx.win.bytes = window.data();
        ctx.win.held = static_cast<std::uint32_t>(window.size());
        EXPECT_EQ(skip_quant_matrix_extension(ctx), CONTINUE);
        EXPECT_EQ(ctx.win.pos, ext.size() - 1) << flags;
    }
}

}  // namespace
