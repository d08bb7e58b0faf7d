// The committed sample streams of a real encoder (tests/data, made by
// make_samples.sh): their reports byte for byte, and the rewrite of their bit
// rate, checked over the whole file.
//
// The expected reports (NAME.report) were written by tests/oracle/m2v_report.py,
// which parses the streams on its own, and checked against ffprobe and
// ffmpeg's decoder by tests/oracle/check_ffprobe.py; none was copied from
// this tool's output.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "tool_runner.hpp"

namespace {

struct Sample {
    const char* stream;  // file name in tests/data
    const char* report;  // its expected report, beside it
    friend void PrintTo(const Sample& s, std::ostream* os) { *os << s.stream; }
};

const Sample kSamples[] = {
    {"ntsc_43_interlaced.m2v", "ntsc_43_interlaced.report"},
    {"pal_169_progressive.m2v", "pal_169_progressive.report"},
    {"pal_422_bottom_first.m2v", "pal_422_bottom_first.report"},
    {"hd422_high_rate.m2v", "hd422_high_rate.report"},
    {"custom_matrices.m2v", "custom_matrices.report"},
    {"closed_gops_coding_tools.m2v", "closed_gops_coding_tools.report"},
    {"mpeg1_qcif.m1v", "mpeg1_qcif.report"},
};

std::string data_path(const char* name) { return std::string(M2VHDR_TEST_DATA) + "/" + name; }

std::string read_text(const char* name) {
    Bytes b = read_file(data_path(name));
    return std::string(b.begin(), b.end());
}

std::string sample_name(const ::testing::TestParamInfo<Sample>& info) {
    std::string name = info.param.stream;
    name = name.substr(0, name.find('.'));
    return name;
}

// A sequence extension and the sequence header it completes, found by a
// plain walk over the start codes. An encoder never lets 00 00 01 appear
// inside a header or slice, so every match is a real start code.
struct Sequence {
    bool has_header;
    std::size_t header;     // offset of the 00 00 01 B3
    std::size_t extension;  // offset of the 00 00 01 B5 (identifier 1)
};

std::vector<Sequence> find_sequences(const Bytes& b) {
    std::vector<Sequence> found;
    bool has_header = false;
    std::size_t header = 0;
    for (std::size_t i = 0; i + 4 < b.size(); ++i) {
        if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1) continue;
        if (b[i + 3] == 0xB3) {
            has_header = true;
            header = i;
        } else if (b[i + 3] == 0xB5 && b[i + 4] >> 4 == 1) {
            found.push_back({has_header, header, i});
        }
        i += 2;
    }
    return found;
}

// Writes `value` into `width` bits starting `first_bit` bits into `b`, most
// significant bit first.
void set_bits(Bytes& b, std::size_t first_bit, unsigned width, std::uint32_t value) {
    for (unsigned k = 0; k < width; ++k) {
        std::size_t bit = first_bit + k;
        auto mask = static_cast<std::uint8_t>(0x80u >> (bit % 8));
        if ((value >> (width - 1 - k)) & 1u)
            b[bit / 8] = static_cast<std::uint8_t>(b[bit / 8] | mask);
        else
            b[bit / 8] = static_cast<std::uint8_t>(b[bit / 8] & ~mask);
    }
}

// Bit positions of the two fields, counted from the first byte of the start
// code: bit_rate_value follows the start code, the two 12-bit sizes and the
// two 4-bit codes; bit_rate_extension follows the start code, the 4-bit
// identifier, profile_and_level_indication (8), progressive_sequence (1),
// chroma_format (2) and the two 2-bit size extensions.
constexpr std::size_t kBitRateValueBit = 32 + 12 + 12 + 4 + 4;
constexpr std::size_t kBitRateExtensionBit = 32 + 4 + 8 + 1 + 2 + 2 + 2;

// The file as it must be after a rewrite to `q` units of 400 bit/s.
Bytes patched(const Bytes& original, const std::vector<Sequence>& sequences, std::uint32_t q) {
    Bytes b = original;
    for (const Sequence& s : sequences) {
        if (s.has_header) set_bits(b, s.header * 8 + kBitRateValueBit, 18, q & 0x3FFFFu);
        set_bits(b, s.extension * 8 + kBitRateExtensionBit, 12, q >> 18);
    }
    return b;
}

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The report with every nominal bit rate replaced by `rate`.
std::string with_bit_rate(const std::string& report, unsigned long long rate) {
    const std::string key = "nominal bitrate=";
    std::string out = report;
    for (std::size_t at = out.find(key); at != std::string::npos; at = out.find(key, at + 1)) {
        std::size_t start = at + key.size();
        std::size_t end = out.find("bps/", start);
        out.replace(start, end - start, std::to_string(rate));
    }
    return out;
}

class SampleReport : public ::testing::TestWithParam<Sample> {};

TEST_P(SampleReport, MatchesTheCheckedReport) {
    const Sample& s = GetParam();
    std::string expected = read_text(s.report);
    ASSERT_FALSE(expected.empty());
    RunResult r = run_tool({"m2vhdr", data_path(s.stream)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, expected);
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleReport, ::testing::ValuesIn(kSamples), sample_name);

struct RewriteCase {
    Sample sample;
    const char* argument;           // the bit rate given on the command line
    std::uint32_t q;                // what it is in units of 400 bit/s
    unsigned long long shown;       // the rate the report then shows
    friend void PrintTo(const RewriteCase& c, std::ostream* os) {
        *os << c.sample.stream << " " << c.argument;
    }
};

class SampleRewrite : public ::testing::TestWithParam<RewriteCase> {};

// Only the bit-rate fields change, to exactly the new value; the report of
// the result differs from the original only in the nominal bit rates.
TEST_P(SampleRewrite, ChangesOnlyTheBitRateFields) {
    const RewriteCase& c = GetParam();
    const Bytes original = read_file(data_path(c.sample.stream));
    const std::string original_report = read_text(c.sample.report);
    ASSERT_FALSE(original.empty());
    // The whole file fits in the first window, and no extension lies in the
    // last 196 bytes: every patch happens before the first slide.
    ASSERT_LT(original.size(), 1u << 20);
    const std::vector<Sequence> sequences = find_sequences(original);
    ASSERT_EQ(sequences.size(), count_of(original_report, "SEQUENCE_EXTENSION\n"));
    for (const Sequence& s : sequences) {
        ASSERT_TRUE(s.has_header);
        ASSERT_LE(s.extension + 197, original.size());
    }

    ScratchDir dir;
    std::string copy = dir.write(c.sample.stream, original);
    RunResult r = run_tool({"m2vhdr", copy, c.argument});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");

    const Bytes after = read_file(copy);
    ASSERT_EQ(after.size(), original.size());
    std::set<std::size_t> allowed;
    for (const Sequence& s : sequences) {
        for (std::size_t k : {8u, 9u, 10u}) allowed.insert(s.header + k);
        for (std::size_t k : {6u, 7u}) allowed.insert(s.extension + k);
    }
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i] != original[i]) {
            EXPECT_TRUE(allowed.count(i)) << "byte " << i << " changed";
        }
    }
    const Bytes expected = patched(original, sequences, c.q);
    int shown_differences = 0;
    for (std::size_t i = 0; i < after.size() && shown_differences < 8; ++i) {
        if (after[i] != expected[i]) {
            ADD_FAILURE() << "byte " << i << " is " << unsigned{after[i]} << ", expected "
                          << unsigned{expected[i]} << " (was " << unsigned{original[i]} << ")";
            ++shown_differences;
        }
    }

    // One progress line per sequence, all while the scan is in the first
    // window (0 bytes, 0%), then the closing line: the scan consumes a final
    // sequence end code whole, otherwise it stops three bytes short.
    const unsigned long long total = original.size();
    const bool ends_in_sequence_end = total >= 4 && original[total - 4] == 0 &&
                                      original[total - 3] == 0 && original[total - 2] == 1 &&
                                      original[total - 1] == 0xB7;
    const unsigned long long done = ends_in_sequence_end ? total : total - 3;
    std::string progress;
    for (std::size_t i = 0; i < sequences.size(); ++i) progress += progress_line(0, total, 0, "\r");
    progress += progress_line(done, total, done / (total / 100), "\n");
    EXPECT_EQ(r.out, progress);

    RunResult again = run_tool({"m2vhdr", copy});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(count_of(again.out, "nominal bitrate=" + std::to_string(c.shown) + "bps/"),
              sequences.size());
    EXPECT_EQ(again.out, with_bit_rate(original_report, c.shown));
}

std::vector<RewriteCase> rewrite_cases() {
    std::vector<RewriteCase> cases;
    // 15000123 bit/s is 37500 units and 123 bit/s left over, dropped.
    for (const Sample& s : kSamples) cases.push_back({s, "15000123", 37500, 15000000});
    // 300000 units need bit_rate_extension 1.
    cases.push_back({kSamples[0], "120000000", 300000, 120000000});
    // Down from a rate that used bit_rate_extension: its bit is cleared.
    cases.push_back({kSamples[3], "0", 0, 0});
    return cases;
}

std::string rewrite_name(const ::testing::TestParamInfo<RewriteCase>& info) {
    std::string name = info.param.sample.stream;
    return name.substr(0, name.find('.')) + "_to_" + info.param.argument;
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleRewrite, ::testing::ValuesIn(rewrite_cases()), rewrite_name);

}  // namespace
