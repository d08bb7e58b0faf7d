// The sequence header and sequence extension: stored values, header lengths
// and the sequence report. Expected texts are worked out by hand from the
// field values the streams are built with.
#include <gtest/gtest.h>

#include "tool_runner.hpp"

namespace {

std::string report(const Bytes& stream) {
    RunResult r = run_on(stream);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    return r.out;
}

// The report of one sequence header at offset 0 and its extension at 12.
std::string sequence_report(const SequenceHeader& h, const SequenceExtension& e) {
    return report(concat({sequence_header(h), sequence_extension(e)}));
}

// The second line of the sequence report, without its indent.
std::string summary_line(const SequenceHeader& h, const SequenceExtension& e) {
    std::string out = sequence_report(h, e);
    std::size_t start = out.find("\n    ", out.find("SEQUENCE_EXTENSION"));
    if (start == std::string::npos) return "(no report)";
    start += 5;
    return out.substr(start, out.find('\n', start) - start);
}

TEST(SequenceReport, WorkedExample) {
    SequenceHeader h;  // 720x480, 4:3, code 4, 20000 units, VBV 112
    EXPECT_EQ(sequence_report(h, {}),
              "00000000: SEQUENCE_HEADER_CODE\n"
              "0000000c: SEQUENCE_EXTENSION\n"
              "    MP@ML 720x480 (4:3) 29.97fps/nominal bitrate=8000000bps/VBV buffer=112\n"
              "    frame type=interlaced/chroma=4:2:0/constrained=no/low delay=no\n");
}

TEST(SequenceReport, FlagsAndHighOrderBits) {
    SequenceHeader h;
    h.horizontal_size_value = 0xFFF;
    h.vertical_size_value = 0x123;
    h.aspect_ratio_information = 3;
    h.frame_rate_code = 3;
    h.vbv_buffer_size_value = 1023;
    h.constrained_parameters_flag = 1;
    SequenceExtension e;
    e.profile_and_level_indication = 0x14;
    e.progressive_sequence = 1;
    e.chroma_format = 2;
    e.horizontal_size_extension = 3;
    e.vertical_size_extension = 2;
    e.vbv_buffer_size_extension = 255;
    e.low_delay = 1;
    // 0x3FFF = 16383, 0x2123 = 8483, VBV 255 * 1024 + 1023 = 262143.
    EXPECT_EQ(sequence_report(h, e),
              "00000000: SEQUENCE_HEADER_CODE\n"
              "0000000c: SEQUENCE_EXTENSION\n"
              "    HP@HL 16383x8483 (16:9) 25.00fps/nominal bitrate=8000000bps/VBV buffer=262143\n"
              "    frame type=progressive/chroma=4:2:2/constrained=yes/low delay=yes\n");
}

struct ProfileCase {
    unsigned code;
    const char* text;
    friend void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.code; }
};

class ProfileAndLevel : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileAndLevel, Prints) {
    SequenceExtension e;
    e.profile_and_level_indication = GetParam().code;
    std::string line = summary_line({}, e);
    EXPECT_EQ(line.substr(0, line.find(" 720x480")), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileAndLevel,
    ::testing::Values(ProfileCase{0x48, "MP@ML"}, ProfileCase{0x14, "HP@HL"},
                      ProfileCase{0x45, "MP@HL"}, ProfileCase{0x4F, "MP@unknown"},
                      ProfileCase{0x56, "SP@H-1440"}, ProfileCase{0x57, "SP@H-1440"},
                      ProfileCase{0x39, "SNR@ML"}, ProfileCase{0x2A, "Spartial@LL"},
                      ProfileCase{0x4B, "MP@unknown"}, ProfileCase{0x40, "MP@unknown"},
                      ProfileCase{0x43, "MP@unknown"}, ProfileCase{0x04, "@HL"},
                      ProfileCase{0x68, "@ML"}, ProfileCase{0x7A, "@LL"},
                      ProfileCase{0x85, "422P@ML"}, ProfileCase{0x82, "422P@HL"},
                      ProfileCase{0x8A, "MVP@HL"}, ProfileCase{0x8B, "MVP@H-1440"},
                      ProfileCase{0x8D, "MVP@ML"}, ProfileCase{0x8E, "MVP@LL"},
                      ProfileCase{0x80, "unknown profile"},
                      ProfileCase{0xFF, "unknown profile"}));

struct RateCase {
    unsigned code, n, d;
    const char* text;
    friend void PrintTo(const RateCase& c, std::ostream* os) {
        *os << c.code << "*" << c.n + 1 << "/" << c.d + 1;
    }
};

class FrameRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(FrameRate, PrintsTwoDecimalsWithHalvesAwayFromZero) {
    SequenceHeader h;
    h.frame_rate_code = GetParam().code;
    SequenceExtension e;
    e.frame_rate_extension_n = GetParam().n;
    e.frame_rate_extension_d = GetParam().d;
    std::string line = summary_line(h, e);
    std::size_t end = line.find("fps");
    std::size_t start = line.rfind(' ', end) + 1;
    EXPECT_EQ(line.substr(start, end - start), GetParam().text);
}

// Exact halves: 25/8 = 3.125, 50/16 = 3.125, 30/16 = 1.875, -1/8 = -0.125.
// The C library would print 3.12, 1.88 and -0.12 for these.
INSTANTIATE_TEST_SUITE_P(
    Table, FrameRate,
    ::testing::Values(RateCase{0, 0, 0, "0.00"}, RateCase{1, 0, 0, "23.98"},
                      RateCase{2, 0, 0, "24.00"}, RateCase{3, 0, 0, "25.00"},
                      RateCase{4, 0, 0, "29.97"}, RateCase{5, 0, 0, "30.00"},
                      RateCase{6, 0, 0, "50.00"}, RateCase{7, 0, 0, "59.94"},
                      RateCase{8, 0, 0, "60.00"}, RateCase{9, 0, 0, "-1.00"},
                      RateCase{12, 0, 0, "-1.00"}, RateCase{15, 0, 0, "-1.00"},
                      RateCase{1, 1, 0, "47.95"}, RateCase{3, 0, 7, "3.13"},
                      RateCase{6, 0, 15, "3.13"}, RateCase{5, 0, 15, "1.88"},
                      RateCase{9, 0, 7, "-0.13"}, RateCase{9, 0, 15, "-0.06"},
                      RateCase{9, 0, 31, "-0.03"}, RateCase{9, 3, 0, "-4.00"},
                      RateCase{8, 3, 0, "240.00"}, RateCase{4, 0, 1, "14.99"},
                      RateCase{7, 1, 1, "59.94"}, RateCase{3, 0, 31, "0.78"}));

struct BitRateCase {
    std::uint32_t bit_rate_value;
    unsigned bit_rate_extension;
    const char* text;
};

class NominalBitRate : public ::testing::TestWithParam<BitRateCase> {};

// bit_rate_value plus bit_rate_extension << 18, times 400, never wrapped.
TEST_P(NominalBitRate, IsTheFullProduct) {
    SequenceHeader h;
    h.bit_rate_value = GetParam().bit_rate_value;
    SequenceExtension e;
    e.bit_rate_extension = GetParam().bit_rate_extension;
    std::string line = summary_line(h, e);
    std::size_t start = line.find("bitrate=") + 8;
    EXPECT_EQ(line.substr(start, line.find('/', start) - start), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NominalBitRate,
    ::testing::Values(BitRateCase{0, 0, "0bps"}, BitRateCase{20000, 1, "112857600bps"},
                      // 10737418 = 40 << 18 | 251658: 4294967200 still fits 32 bits.
                      BitRateCase{251658, 40, "4294967200bps"},
                      // 10737419 units: 4294967600, past 32 bits.
                      BitRateCase{251659, 40, "4294967600bps"},
                      BitRateCase{0x3FFFF, 0xFFF, "429496729200bps"}));

TEST(SequenceReport, AspectRatioCodes) {
    const char* names[16] = {"",         "1:1",      "4:3",      "16:9",     "2.21:1",   "reserved",
                             "reserved", "reserved", "reserved", "reserved", "reserved", "reserved",
                             "reserved", "reserved", "reserved", "reserved"};
    for (unsigned code = 0; code < 16; ++code) {
        SequenceHeader h;
        h.aspect_ratio_information = code;
        EXPECT_NE(summary_line(h, {}).find(std::string("720x480 (") + names[code] + ") "),
                  std::string::npos)
            << code;
    }
}

TEST(SequenceReport, ChromaFormats) {
    const char* names[4] = {"", "4:2:0", "4:2:2", "4:4:4"};
    for (unsigned code = 0; code < 4; ++code) {
        SequenceExtension e;
        e.chroma_format = code;
        std::string out = sequence_report({}, e);
        EXPECT_NE(out.find(std::string("/chroma=") + names[code] + "/constrained"), std::string::npos)
            << code;
    }
}

TEST(SequenceReport, SecondExtensionReplacesTheHighOrderBits) {
    SequenceHeader h;
    h.bit_rate_value = 20000;
    SequenceExtension first;
    first.horizontal_size_extension = 1;
    first.vertical_size_extension = 1;
    first.bit_rate_extension = 1;
    first.vbv_buffer_size_extension = 1;
    SequenceExtension second;
    second.horizontal_size_extension = 2;
    second.vertical_size_extension = 2;
    second.bit_rate_extension = 2;
    second.vbv_buffer_size_extension = 2;
    std::string out = report(concat({sequence_header(h), sequence_extension(first),
                                     sequence_extension(second)}));
    // 720 + 4096 / 480 + 4096, then 720 + 8192 / 480 + 8192 (not OR-ed).
    // (20000 + 262144) * 400 = 112857600, (20000 + 524288) * 400 = 217715200.
    // VBV 112 + 1024 = 1136, 112 + 2048 = 2160.
    EXPECT_EQ(out,
              "00000000: SEQUENCE_HEADER_CODE\n"
              "0000000c: SEQUENCE_EXTENSION\n"
              "    MP@ML 4816x4576 (4:3) 29.97fps/nominal bitrate=112857600bps/VBV buffer=1136\n"
              "    frame type=interlaced/chroma=4:2:0/constrained=no/low delay=no\n"
              "00000016: SEQUENCE_EXTENSION\n"
              "    MP@ML 8912x8672 (4:3) 29.97fps/nominal bitrate=217715200bps/VBV buffer=2160\n"
              "    frame type=interlaced/chroma=4:2:0/constrained=no/low delay=no\n");
}

TEST(SequenceReport, NewHeaderClearsTheHighOrderBits) {
    SequenceExtension big;
    big.horizontal_size_extension = 3;
    big.bit_rate_extension = 7;
    Bytes mpeg1_after_mpeg2 = concat({sequence_header({}), sequence_extension(big),
                                      sequence_header({}), sequence_extension({})});
    std::string out = report(mpeg1_after_mpeg2);
    EXPECT_NE(out.find("00000016: SEQUENCE_HEADER_CODE\n"
                       "00000022: SEQUENCE_EXTENSION\n"
                       "    MP@ML 720x480 (4:3) 29.97fps/nominal bitrate=8000000bps/"),
              std::string::npos)
        << out;
}

TEST(SequenceReport, ExtensionWithoutHeaderWarnsAndUsesZeroLowBits) {
    SequenceExtension e;
    e.horizontal_size_extension = 1;
    e.bit_rate_extension = 1;
    RunResult r = run_on(sequence_extension(e));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, sjis("警告: シーケンス層以外でシーケンス拡張コードが見つかりました。\n"));
    EXPECT_EQ(r.out,
              "00000000: SEQUENCE_EXTENSION\n"
              "    MP@ML 4096x0 () 0.00fps/nominal bitrate=104857600bps/VBV buffer=0\n"
              "    frame type=interlaced/chroma=4:2:0/constrained=no/low delay=no\n");
}

TEST(SequenceReport, Mpeg1HeaderIsOnlyMarked) {
    EXPECT_EQ(report(concat({sequence_header({}), group_header({}), sequence_header({})})),
              "00000000: SEQUENCE_HEADER_CODE\n"
              "0000000c: GROUP_START_CODE\n"
              "    TC=00:00:00:00 (non drop frame)/closed GOP=yes/broken link=no\n"
              "00000014: SEQUENCE_HEADER_CODE\n");
}

// Matrix values whose bits, shifted one place by the intra matrix's position,
// spell 00 00 01 B7 in the file: a false sequence end code.
std::array<std::uint8_t, 64> matrix_with_false_start_code(bool shifted) {
    std::array<std::uint8_t, 64> m;
    m.fill(16);
    if (shifted) {
        // The intra matrix starts in the last bit of byte 11: file byte
        // 12 + j is m[j] << 1 | m[j + 1] >> 7.
        const std::uint8_t v[] = {0, 0, 0, 0xDB, 0x90};
        std::copy(std::begin(v), std::end(v), m.begin() + 20);
    } else {
        const std::uint8_t v[] = {0, 0, 1, 0xB7};
        std::copy(std::begin(v), std::end(v), m.begin() + 20);
    }
    return m;
}

struct MatrixCase {
    bool intra, non_intra;
    std::size_t length;
};

class HeaderLength : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(HeaderLength, SkipsTheMatricesWhole) {
    SequenceHeader h;
    h.load_intra_quantiser_matrix = GetParam().intra;
    h.load_non_intra_quantiser_matrix = GetParam().non_intra;
    h.intra_quantiser_matrix = matrix_with_false_start_code(true);
    h.non_intra_quantiser_matrix = matrix_with_false_start_code(false);
    Bytes header = sequence_header(h);
    ASSERT_EQ(header.size(), GetParam().length);
    // The false code really is in the file when a matrix is loaded.
    Bytes false_code = sequence_end();
    bool has_false_code =
        std::search(header.begin(), header.end(), false_code.begin(), false_code.end()) != header.end();
    EXPECT_EQ(has_false_code, GetParam().intra || GetParam().non_intra);

    char expected[64];
    std::snprintf(expected, sizeof expected, "%08zx: SEQUENCE_END_CODE\n", GetParam().length);
    EXPECT_EQ(report(concat({header, sequence_end()})),
              std::string("00000000: SEQUENCE_HEADER_CODE\n") + expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, HeaderLength,
                         ::testing::Values(MatrixCase{false, false, 12}, MatrixCase{true, false, 76},
                                           MatrixCase{false, true, 76}, MatrixCase{true, true, 140}));

}  // namespace
