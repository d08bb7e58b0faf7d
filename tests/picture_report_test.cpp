// GOP and picture headers, the sequence display and picture coding
// extensions: report blocks and lengths, worked out by hand from the fields.
#include <gtest/gtest.h>

#include "tool_runner.hpp"

namespace {

std::string report(const Bytes& stream) {
    RunResult r = run_on(stream);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    return r.out;
}

struct GopCase {
    GroupHeader gop;
    const char* line;
};

class GopReport : public ::testing::TestWithParam<GopCase> {};

TEST_P(GopReport, PrintsTheTimeCodeAndFlags) {
    EXPECT_EQ(report(group_header(GetParam().gop)),
              std::string("00000000: GROUP_START_CODE\n    ") + GetParam().line + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GopReport,
    ::testing::Values(
        GopCase{{0, 0, 0, 0, 0, 1, 0}, "TC=00:00:00:00 (non drop frame)/closed GOP=yes/broken link=no"},
        GopCase{{1, 1, 2, 3, 4, 0, 1}, "TC=01:02:03:04 (drop frame)/closed GOP=no/broken link=yes"},
        // Printed as coded, beyond the legal ranges.
        GopCase{{1, 31, 63, 63, 63, 1, 1}, "TC=31:63:63:63 (drop frame)/closed GOP=yes/broken link=yes"},
        GopCase{{0, 23, 59, 59, 29, 0, 0}, "TC=23:59:59:29 (non drop frame)/closed GOP=no/broken link=no"}));

struct PictureCase {
    PictureHeader picture;
    const char* line;
};

class PictureReport : public ::testing::TestWithParam<PictureCase> {};

TEST_P(PictureReport, PrintsTypeAndDelay) {
    EXPECT_EQ(report(picture_header(GetParam().picture)),
              std::string("00000000: PICTURE_START_CODE\n    ") + GetParam().line + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PictureReport,
    ::testing::Values(PictureCase{{0, 1, 0xFFFF}, "temporal reference=0/picture type=I/VBV delay=VBR"},
                      PictureCase{{2, 1, 0xFFFF}, "temporal reference=2/picture type=I/VBV delay=VBR"},
                      PictureCase{{1023, 2, 0xFFFE}, "temporal reference=1023/picture type=P/VBV delay=65534"},
                      PictureCase{{5, 3, 0}, "temporal reference=5/picture type=B/VBV delay=0"},
                      PictureCase{{7, 0, 12345}, "temporal reference=7/picture type=/VBV delay=12345"},
                      PictureCase{{1, 4, 1}, "temporal reference=1/picture type=D/VBV delay=1"},
                      PictureCase{{1, 5, 2}, "temporal reference=1/picture type=reserved/VBV delay=2"},
                      PictureCase{{1, 7, 3}, "temporal reference=1/picture type=reserved/VBV delay=3"}));

// A B picture's header runs past byte 7; the scan walks the rest and finds
// the coding extension right after it.
TEST(PictureReport, LongHeaderIsFollowedByItsExtension) {
    Bytes b = picture_header({3, 3, 100});
    ASSERT_EQ(b.size(), 9u);
    std::string out = report(concat({b, picture_coding_extension({})}));
    std::string expected = "00000000: PICTURE_START_CODE\n"
                           "    temporal reference=3/picture type=B/VBV delay=100\n"
                           "00000009: PICTURE_CODING_EXTENSION\n";
    EXPECT_EQ(out.substr(0, expected.size()), expected);
}

TEST(SequenceDisplay, WithColourDescription) {
    SequenceDisplayExtension e;
    e.colour_description = true;
    Bytes ext = sequence_display_extension(e);
    ASSERT_EQ(ext.size(), 12u);
    EXPECT_EQ(report(concat({sequence_header({}), ext, sequence_end()})),
              "00000000: SEQUENCE_HEADER_CODE\n"
              "0000000c: SEQUENCE_DISPLAY_EXTENSION\n"
              "    video format=NTSC/display size=720x480/color description=yes\n"
              "    color primaries=SMPTE 170M\n"
              "    transfer characteristics=SMPTE 170M\n"
              "    matrix coefficients=SMPTE 170M\n"
              "00000018: SEQUENCE_END_CODE\n");
}

TEST(SequenceDisplay, WithoutColourDescription) {
    SequenceDisplayExtension e;
    e.video_format = 1;
    e.display_horizontal_size = 16383;
    e.display_vertical_size = 8193;  // bit 13 sits before the second marker
    Bytes ext = sequence_display_extension(e);
    ASSERT_EQ(ext.size(), 9u);
    EXPECT_EQ(report(concat({sequence_header({}), ext, sequence_end()})),
              "00000000: SEQUENCE_HEADER_CODE\n"
              "0000000c: SEQUENCE_DISPLAY_EXTENSION\n"
              "    video format=PAL/display size=16383x8193/color description=no\n"
              "00000015: SEQUENCE_END_CODE\n");
}

TEST(SequenceDisplay, VideoFormatNames) {
    const char* names[8] = {"component", "PAL", "NTSC", "SECAM", "MAC", "unspecified", "", ""};
    for (unsigned code = 0; code < 8; ++code) {
        SequenceDisplayExtension e;
        e.video_format = code;
        std::string out = report(concat({sequence_header({}), sequence_display_extension(e)}));
        EXPECT_NE(out.find(std::string("    video format=") + names[code] + "/display size=720x480/"),
                  std::string::npos)
            << code;
    }
}

struct ColourCase {
    unsigned code;
    const char* primaries;
    const char* transfer;
    const char* matrix;
};

class ColourNames : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ColourNames, PrintEachTable) {
    SequenceDisplayExtension e;
    e.colour_description = true;
    e.colour_primaries = e.transfer_characteristics = e.matrix_coefficients = GetParam().code;
    std::string out = report(concat({sequence_header({}), sequence_display_extension(e)}));
    EXPECT_NE(out.find(std::string("    color primaries=") + GetParam().primaries +
                       "\n    transfer characteristics=" + GetParam().transfer +
                       "\n    matrix coefficients=" + GetParam().matrix + "\n"),
              std::string::npos)
        << out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ColourNames,
    ::testing::Values(
        ColourCase{0, "(forbidden)", "(forbidden)", "(forbidden)"},
        ColourCase{1, "ITU-R BT.709", "ITU-R BT.709", "ITU-R BT.709"},
        ColourCase{2, "unspecified", "unspecified", "unspecified"},
        ColourCase{3, "reserved", "reserved", "reserved"},
        ColourCase{4, "ITU-R BT.470-2 System M", "ITU-R BT.470-2 System M", "FCC"},
        ColourCase{5, "ITU-R BT.470-2 System B, G", "ITU-R BT.470-2 System B, G",
                   "ITU-R BT.470-2 System B, G"},
        ColourCase{6, "SMPTE 170M", "SMPTE 170M", "SMPTE 170M"},
        ColourCase{7, "SMPTE 240M (1987)", "SMPTE 240M (1987)", "SMPTE 240M (1987)"},
        ColourCase{8, "reserved", "linear", "reserved"},
        ColourCase{9, "reserved", "reserved", "reserved"},
        ColourCase{255, "reserved", "reserved", "reserved"}));

TEST(PictureCoding, AllFlagsClear) {
    PictureCodingExtension e;
    e.picture_structure = 0;
    e.frame_pred_frame_dct = 0;
    e.chroma_420_type = 0;
    e.progressive_frame = 0;
    Bytes ext = picture_coding_extension(e);
    ASSERT_EQ(ext.size(), 9u);
    EXPECT_EQ(report(concat({picture_header({}), ext, sequence_end()})),
              "00000000: PICTURE_START_CODE\n"
              "    temporal reference=0/picture type=I/VBV delay=VBR\n"
              "00000008: PICTURE_CODING_EXTENSION\n"
              "    DC precision=8/picture structure=/top field first=no/DCT type=field\n"
              "    MV in intra MB=no/quant scale type=0/intra vlc format=0/scan type=zigzag\n"
              "    repeat first field=no/chroma420 type=no/progressive frame=no\n"
              "    composite display flag=no\n"
              "00000011: SEQUENCE_END_CODE\n");
}

TEST(PictureCoding, AllFlagsSetWithCompositeFields) {
    PictureCodingExtension e;
    e.intra_dc_precision = 3;
    e.picture_structure = 1;
    e.top_field_first = 1;
    e.frame_pred_frame_dct = 1;
    e.concealment_motion_vectors = 1;
    e.q_scale_type = 1;
    e.intra_vlc_format = 1;
    e.alternate_scan = 1;
    e.repeat_first_field = 1;
    e.chroma_420_type = 1;
    e.progressive_frame = 1;
    e.composite_display_flag = 1;
    e.v_axis = 1;
    e.field_sequence = 7;
    e.sub_carrier = 1;
    e.burst_amplitude = 127;
    e.sub_carrier_phase = 255;
    Bytes ext = picture_coding_extension(e);
    ASSERT_EQ(ext.size(), 11u);
    EXPECT_EQ(report(concat({picture_header({}), ext, sequence_end()})),
              "00000000: PICTURE_START_CODE\n"
              "    temporal reference=0/picture type=I/VBV delay=VBR\n"
              "00000008: PICTURE_CODING_EXTENSION\n"
              "    DC precision=11/picture structure=top field/top field first=yes/DCT type=frame\n"
              "    MV in intra MB=yes/quant scale type=1/intra vlc format=1/scan type=alternate\n"
              "    repeat first field=yes/chroma420 type=yes/progressive frame=yes\n"
              "    composite display flag=yes\n"
              "    v_axis=yes/field sequence=7/sub carrier=yes/burst amp.=127/sub carrier phase=255\n"
              "00000013: SEQUENCE_END_CODE\n");
}

TEST(PictureCoding, CompositeFieldsAreNotMixedUp) {
    PictureCodingExtension e;
    e.intra_dc_precision = 1;
    e.picture_structure = 2;
    e.composite_display_flag = 1;
    e.field_sequence = 5;
    e.burst_amplitude = 64;
    e.sub_carrier_phase = 129;
    std::string out = report(concat({picture_header({}), picture_coding_extension(e)}));
    EXPECT_NE(out.find("    DC precision=9/picture structure=bottom field/"), std::string::npos);
    EXPECT_NE(out.find("    v_axis=no/field sequence=5/sub carrier=no/burst amp.=64/sub carrier phase=129\n"),
              std::string::npos)
        << out;
}

}  // namespace
