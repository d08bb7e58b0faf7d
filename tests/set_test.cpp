// --set and --dry-run: the exact bytes left in the file and the lines
// printed. Expected files are built from field values with the new values,
// so any other changed bit shows up as a difference.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

#include "tool_runner.hpp"

namespace {

// Every settable field, with its new value as --set takes it.
struct Fields {
    SequenceHeader h;
    SequenceExtension e;
    SequenceDisplayExtension d;
};

Fields busy(bool colour) {  // ones beside the changed bits
    Fields f;
    f.h.vbv_buffer_size_value = 0x3FF;
    f.h.constrained_parameters_flag = f.e.low_delay = 1;
    f.e.vbv_buffer_size_extension = 0xFF;
    f.d.colour_description = colour;
    return f;
}

Fields with_targets(Fields f) {
    f.h.aspect_ratio_information = f.h.frame_rate_code = 3;
    f.e.frame_rate_extension_n = f.e.vbv_buffer_size_extension = f.d.video_format = 1;
    f.e.frame_rate_extension_d = 30;
    f.h.vbv_buffer_size_value = 112;
    f.d.colour_primaries = f.d.display_vertical_size = 1;
    f.d.transfer_characteristics = 8;
    f.d.matrix_coefficients = 7;
    f.d.display_horizontal_size = 16383;
    return f;
}

const std::vector<std::string> kAll = {
    "--set", "aspect_ratio_information=16:9", "--set", "frame_rate_code=25",
    "--set", "frame_rate_extension_n=1", "--set", "frame_rate_extension_d=31",
    "--set", "frame_rate_extension_d=30",  // the later one counts
    "--set", "vbv_buffer_size=1136", "--set", "video_format=pal",
    "--set", "colour_primaries=ITU-R BT.709", "--set", "transfer_characteristics=linear",
    "--set", "matrix_coefficients=7", "--set", "display_horizontal_size=16383",
    "--set", "display_vertical_size=1"};

Bytes sequence(const Fields& f, bool extension = true, bool display = true) {
    Bytes s = sequence_header(f.h);
    if (extension) append(s, sequence_extension(f.e));
    if (display) append(s, sequence_display_extension(f.d));
    return concat({s, group_header({}), picture_header({}), slice(20)});
}

std::string missed(const char* element, int count, int of) {
    return std::string(element) + ": " + std::to_string(count) + " of " + std::to_string(of) +
           " sequences could not take it\n";
}

TEST(Set, EveryElementInEverySequence) {
    EnglishMessages english;
    Bytes original = concat({sequence(busy(true)), sequence(busy(false))});
    Fields no_colour = with_targets(busy(false));
    no_colour.d.colour_primaries = no_colour.d.transfer_characteristics =
        no_colour.d.matrix_coefficients = 6;
    Bytes expected = concat({sequence(with_targets(busy(true))), sequence(no_colour)});
    // Hand-worked: aspect 2 | frame rate 4 becomes 3 | 3.
    ASSERT_EQ(original[7], 0x24);
    ASSERT_EQ(expected[7], 0x33);
    for (bool twice : {false, true}) {
        Bytes after;
        RunResult r = run_on(twice ? expected : original, kAll, &after);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(after, expected);
        // The scan ends three bytes before the end of the last slice.
        std::uint64_t n = original.size();
        // The second sequence has no colour description: not patched whole.
        EXPECT_EQ(r.out, closing_line(n) + missed("colour_primaries", 1, 2) +
                             missed("transfer_characteristics", 1, 2) +
                             missed("matrix_coefficients", 1, 2) +
                             rewrite_summary(twice ? 0 : 1, twice ? 1 : 0, 1));
    }
}

// A sequence without extension (MPEG-1) takes the frame rate, and a VBV
// size that fits its 10 bits; not the aspect ratio, whose codes mean pel
// aspect ratios there. An element that fits no sequence fails the run, and
// the others are still written.
TEST(Set, SequencesWithoutExtension) {
    EnglishMessages english;
    Fields f = busy(false);
    Bytes original = concat({sequence(f, false, false), sequence(f, false, false)});
    struct Case {
        std::vector<std::string> set;
        int status;
        SequenceHeader target;
        std::string out, err;
        std::string counts;  // in the --json document
    };
    SequenceHeader rate = f.h;
    rate.frame_rate_code = 3;
    rate.vbv_buffer_size_value = 1023;
    std::uint64_t n = original.size();
    // In a file, the closing line alone, and the count of sequences.
    std::string patched = closing_line(n) + rewrite_summary(2, 0, 0);
    for (const Case& c : {
             Case{{"frame_rate_code=25", "vbv_buffer_size=1023"}, 0, rate, patched, "",
                  "\"frame_rate_code\": 0,\n    \"vbv_buffer_size\": 0\n"},
             Case{{"vbv_buffer_size=1024", "aspect_ratio_information=1"}, 1, f.h,
                  closing_line(n) + missed("aspect_ratio_information", 2, 2) +
                      missed("vbv_buffer_size", 2, 2) + rewrite_summary(0, 0, 2),
                  "m2vhdr: aspect_ratio_information: no sequence of the file can take it\n"
                  "m2vhdr: vbv_buffer_size: no sequence of the file can take it\n",
                  "\"aspect_ratio_information\": 2,\n    \"vbv_buffer_size\": 2\n"},
         }) {
        std::vector<std::string> a;
        for (const std::string& s : c.set) a.insert(a.end(), {"--set", s});
        Bytes after;
        RunResult r = run_on(original, a, &after);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        Fields t = f;
        t.h = c.target;
        EXPECT_EQ(after, concat({sequence(t, false, false), sequence(t, false, false)}));
        // --json: the same counts, per element set, after the patches.
        a.insert(a.begin(), "--json");
        r = run_on(original, a);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        std::string counts = "\n  \"sequences\": 2,\n  \"could_not_take\": {\n    " + c.counts + "  },\n";
        EXPECT_NE(r.out.find(counts), std::string::npos) << r.out;
    }
}

// --set bit_rate: the rate in bit/s, with a decimal SI prefix, stored in
// units of 400 bit/s rounded down; in an MPEG-1 sequence header's 18 bits,
// where 0x3FFFF means a variable rate and is refused, and in MPEG-2's header
// and extension. Values worked out by hand: 1150000 / 400 = 2875 (VCD).
TEST(Set, BitRateInMpeg1AndMpeg2Sequences) {
    EnglishMessages english;
    struct Case {
        const char* rate;
        bool mpeg2;
        std::uint32_t stored;  // units of 400 bit/s; 0: refused, the file as it was
    };
    for (const Case& c : {Case{"1150000", false, 2875}, Case{"1.15M", false, 2875},
                          Case{"1150399bps", false, 2875}, Case{"800k", false, 2000},
                          Case{"104856800", false, 0x3FFFE}, Case{"104857200", false, 0},
                          Case{"104857600", false, 0}, Case{"104857600", true, 0x40000},
                          Case{"9.8Mbps", true, 24500}}) {
        Fields f = busy(false);
        Bytes original = concat({sequence(f, c.mpeg2, false), sequence(f, c.mpeg2, false)});
        Fields t = f;
        if (c.stored != 0) {
            t.h.bit_rate_value = c.stored & 0x3FFFF;
            t.e.bit_rate_extension = c.stored >> 18;
        }
        Bytes after;
        RunResult r = run_on(original, {"--set", std::string("bit_rate=") + c.rate}, &after);
        EXPECT_EQ(after, concat({sequence(t, c.mpeg2, false), sequence(t, c.mpeg2, false)})) << c.rate;
        EXPECT_EQ(r.status, c.stored != 0 ? 0 : 1) << c.rate;
        EXPECT_EQ(r.err, c.stored != 0 ? "" : "m2vhdr: bit_rate: no sequence of the file can take it\n")
            << c.rate;
        if (c.stored == 0) {
            EXPECT_NE(r.out.find(missed("bit_rate", 2, 2)), std::string::npos) << r.out;
        }
    }
}

// `m2vhdr FILE BITRATE` leaves MPEG-1 sequences alone: in the C locale with
// the bytes it has always printed, elsewhere with a line that says so.
TEST(Set, PositionalRateLeavesMpeg1AndSaysSoOutsideTheCLocale) {
    Fields f = busy(false);
    Bytes original = concat({sequence(f, false, false), sequence(f), sequence(f, false, false)});
    std::uint64_t n = original.size();
    Fields t = f;
    t.h.bit_rate_value = 12500;  // 5000000 / 400
    Bytes expected = concat({sequence(f, false, false), sequence(t), sequence(f, false, false)});
    for (bool english : {false, true}) {
        std::unique_ptr<EnglishMessages> language;
        if (english) language = std::make_unique<EnglishMessages>();
        Bytes after;
        RunResult r = run_on(original, {"5000000"}, &after);
        EXPECT_EQ(after, expected);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, english ? "m2vhdr: MPEG-1 sequences kept their bit rate (2 of 3); "
                                   "--set bit_rate=N rewrites it\n"
                                 : "");
        // The C locale's original lines; elsewhere the closing line and the
        // count: the MPEG-1 sequences are the ones not patched.
        if (english) EXPECT_EQ(r.out, closing_line(n) + rewrite_summary(1, 0, 2));
        else EXPECT_EQ(r.out.substr(r.out.rfind('\r') + 1), progress_line(n - 3, n, 100, "\n"));
    }
    // The same rate through --set reaches every sequence.
    Bytes after;
    EXPECT_EQ(run_on(original, {"--set", "bit_rate=5M"}, &after).status, 0);
    EXPECT_EQ(after, concat({sequence(t, false, false), sequence(t), sequence(t, false, false)}));
    // One rate per run.
    EXPECT_EQ(run_on(original, {"--set", "bit_rate=5M", "5000000"}).status, 2);
    EXPECT_EQ(run_on(original, {"--set", "bit_rate=auto", "auto"}).status, 2);
}

// The patches as they would be written, nothing written, and the file
// opened for reading only.
// A second sequence extension after the same header, cut short before its
// VBV byte, patches the header's bit rate again; the VBV bits the first
// extension's patch wrote into the header stay.
TEST(Set, SecondExtensionKeepsTheHeaderBitsTheFirstWrote) {
    Fields f = busy(false);
    Bytes ext = sequence_extension(f.e);
    Bytes original = concat({sequence(f), Bytes(ext.begin(), ext.begin() + 8)});
    Fields target = f;
    target.h.bit_rate_value = 20000;  // 8000000 bit/s
    target.h.vbv_buffer_size_value = 57909 & 0x3FF;
    target.e.vbv_buffer_size_extension = 57909 >> 10;
    Bytes second = sequence_extension(target.e);  // its bit-rate bytes, 6 and 7
    Bytes expected = concat({sequence(target), Bytes(ext.begin(), ext.begin() + 6),
                             Bytes(second.begin() + 6, second.begin() + 8)});
    Bytes after;
    RunResult r = run_on(original, {"--set", "vbv_buffer_size=57909", "8000000"}, &after);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(after, expected);
}

TEST(Set, DryRunListsThePatches) {
    Fields f = busy(true);
    f.h.bit_rate_value = 20000;
    Bytes original = sequence(f);
    ScratchDir dir;
    std::string path = dir.write("s.m2v", original);
    chmod(path.c_str(), 0444);
    std::vector<std::string> a = {"m2vhdr", "--dry-run", "--set", "aspect_ratio_information=16:9",
                                  "--set", "display_vertical_size=1", path, "120000000"};
    RunResult r = external_tool() ? run_tool(a) : run_binary(a, true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // Header bytes 7..10: aspect 2 -> 3, bit_rate_value 20000 -> 37856, the
    // marker and VBV bits kept. Extension bytes 6..7: bit_rate_extension 0 -> 1.
    // Display bytes 9..11 (after the colour fields): display_vertical_size
    // 480 -> 1 in bit 0 of byte 9, byte 10 and the top five bits of byte 11,
    // display_horizontal_size and the marker kept.
    EXPECT_EQ(r.out,
              "00000007: 24 13 88 3f -> 34 24 f8 3f\n"
              "00000012: 00 01 -> 00 03\n"
              "0000001f: 42 0f 00 -> 42 00 08\n");
    EXPECT_EQ(read_file(path), original);
    // A dry run of nothing is a mistyped command.
    EXPECT_EQ(run_tool({"m2vhdr", "--dry-run", path}).status, 2);
}

// A name without its first word lands as the value of the whole name,
// derived here from the field values of the table the report uses.
TEST(Set, NameWithoutItsIssuingBody) {
    const struct {
        const char* setting;
        unsigned SequenceDisplayExtension::*field;
        unsigned value;
    } cases[] = {
        {"colour_primaries=BT.709", &SequenceDisplayExtension::colour_primaries, 1},
        {"transfer_characteristics=bt.470-2 system b, g",
         &SequenceDisplayExtension::transfer_characteristics, 5},
        {"matrix_coefficients=240M (1987)", &SequenceDisplayExtension::matrix_coefficients, 7},
        {"colour_primaries=BT.470-2 System M", &SequenceDisplayExtension::colour_primaries, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        Fields target = busy(true);
        target.d.*c.field = c.value;
        Bytes after;
        RunResult r = run_on(sequence(busy(true)), {"--set", c.setting}, &after);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(after, sequence(target));
    }
}

struct ValueCase {
    const char* setting;
    bool accepted;
    friend void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.setting; }
};

class SetValue : public ::testing::TestWithParam<ValueCase> {};

// Each element's range: its ends and names accepted, the values beyond them
// and the reserved ones refused before the file is opened.
TEST_P(SetValue, RangeAndReservedValues) {
    Bytes original = sequence(busy(true));
    Bytes after;
    RunResult r = run_on(original, {"--set", GetParam().setting}, &after);
    if (GetParam().accepted) {
        EXPECT_EQ(r.status, 0) << r.err;
        return;
    }
    // The element is named when the setting names one, else the setting.
    std::string setting = GetParam().setting;
    std::size_t equals = setting.find('=');
    std::string usage =
        equals != std::string::npos && equals > 0
            ? "m2vhdr: --set で " + setting.substr(0, equals) +
                  " に使えない値です (値の一覧は m2vhdr --help) '" + setting + "'\n"
            : "m2vhdr: --set に不明な要素です (要素と値の一覧は m2vhdr --help) '" + setting + "'\n";
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, sjis(usage + "詳しくは 'm2vhdr --help' を実行してください。\n"));
    EXPECT_EQ(after, original);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SetValue,
    ::testing::ValuesIn(std::vector<ValueCase>{
        {"aspect_ratio_information=0", false}, {"aspect_ratio_information=1", true},
        {"aspect_ratio_information=4", true}, {"aspect_ratio_information=5", false},
        {"aspect_ratio_information=2.21:1", true}, {"aspect_ratio_information=16:10", false},
        {"frame_rate_code=0", false}, {"frame_rate_code=8", true}, {"frame_rate_code=9", false},
        {"frame_rate_code=23.976", true}, {"frame_rate_code=59.94", true},
        {"frame_rate_code=24.0", false}, {"frame_rate_extension_n=3", true},
        {"frame_rate_extension_n=4", false}, {"frame_rate_extension_d=0", true},
        {"frame_rate_extension_d=31", true}, {"frame_rate_extension_d=32", false},
        {"vbv_buffer_size=0", true}, {"vbv_buffer_size=262143", true},
        {"vbv_buffer_size=262144", false}, {"vbv_buffer_size=99999999999999999999", false},
        {"video_format=5", true}, {"video_format=6", false}, {"video_format=NTSC", true},
        {"colour_primaries=0", false}, {"colour_primaries=2", true}, {"colour_primaries=3", false},
        {"colour_primaries=7", true}, {"colour_primaries=8", false},
        {"colour_primaries=reserved", false}, {"transfer_characteristics=3", false},
        {"transfer_characteristics=8", true}, {"transfer_characteristics=9", false},
        {"matrix_coefficients=FCC", true}, {"matrix_coefficients=3", false},
        {"matrix_coefficients=8", false}, {"display_horizontal_size=0", true},
        {"display_horizontal_size=16383", true}, {"display_horizontal_size=16384", false},
        {"display_vertical_size=16384", false}, {"bit_rate=1", false}, {"bit_rate=399", false},
        {"bit_rate=400", true}, {"bit_rate=429496729200", true}, {"bit_rate=429496729600", false},
        {"bit_rate=5Mbps", true}, {"bit_rate=5m", false}, {"bit_rate=5Mb", false},
        {"bit_rate=1.", false}, {"bit_rate=.5M", false}, {"bit_rate=-400", false},
        {"bit_rate=AUTO", false}, {"frame_rate_code", false},
        {"frame_rate_code=", false}, {"frame_rate_code=+3", false}, {"frame_rate_code= 3", false},
        {"=3", false},
        // A name without the body that issued it (its first word), where only
        // one name ends so; not any later word.
        {"colour_primaries=BT.709", true}, {"transfer_characteristics=bt.470-2 System M", true},
        {"matrix_coefficients=170M", true}, {"colour_primaries=240M (1987)", true},
        {"colour_primaries=System", false}, {"colour_primaries=System M", false},
        {"colour_primaries=G", false}, {"matrix_coefficients=BT.470-2 System B, G", true}, {"colour_primaries=R BT.709", false},
        {"colour_primaries=TU-R BT.709", false}}));

}  // namespace
