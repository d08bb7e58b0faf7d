// Odd files and hostile bytes, end to end: nothing crashes, hangs, reads
// outside the file's data or writes outside the patch positions.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "child_process.hpp"
#include "tool_runner.hpp"

namespace {

constexpr std::size_t WINDOW = 1u << 20;
constexpr std::uint32_t TARGET_RATE = 120000000;  // q = 300000: value 37856, extension 1
const char* const OPEN_FAILED = "読み取りファイルが開けませんでした。\n";

std::string line(unsigned long long offset, const char* name) {
    char text[80];
    std::snprintf(text, sizeof text, "%08llx: %s\n", offset, name);
    return text;
}

// The "%08llx: NAME" lines of a report, without the detail lines.
std::string header_lines(const std::string& report) {
    std::string out;
    std::size_t start = 0;
    while (start < report.size()) {
        std::size_t end = report.find('\n', start);
        end = end == std::string::npos ? report.size() : end + 1;
        if (report[start] != ' ') out += report.substr(start, end - start);
        start = end;
    }
    return out;
}

void place(Bytes& s, std::size_t at, const Bytes& part) {
    std::copy(part.begin(), part.end(), s.begin() + static_cast<long>(at));
}

// A sequence header and extension with some rate, and the same two headers
// as a rewrite to TARGET_RATE must leave them.
struct SequencePair {
    Bytes original;
    Bytes target;
};

SequencePair sequence_pair(unsigned bit_rate_value = 5000) {
    SequenceHeader h;
    h.bit_rate_value = bit_rate_value;
    h.vbv_buffer_size_value = 0x2AA;
    SequenceHeader th = h;
    th.bit_rate_value = (TARGET_RATE / 400) & 0x3FFFF;
    SequenceExtension e;
    e.marker_bit = 1;
    SequenceExtension te = e;
    te.bit_rate_extension = (TARGET_RATE / 400) >> 18;
    return {concat({sequence_header(h), sequence_extension(e)}),
            concat({sequence_header(th), sequence_extension(te)})};
}

// ---------------------------------------------------------------------------
// Files that are not plain files, and awkward paths.

TEST(OddFile, DevNullIsAnEmptyReportAndCannotBeRewritten) {
    RunResult report = run_binary({"m2vhdr", "/dev/null"});
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.out, "");
    EXPECT_EQ(report.err, "");
    RunResult rewrite = run_binary({"m2vhdr", "/dev/null", "8000000"});
    EXPECT_EQ(rewrite.status, 1);
    EXPECT_EQ(rewrite.out, "");
    EXPECT_EQ(rewrite.err, sjis(OPEN_FAILED));
}

struct Fifo {
    ScratchDir dir;
    std::string path = dir.path() + "/stream.fifo";
    Fifo() { mkfifo(path.c_str(), 0666); }
};

// Runs the binary with stdout and stderr captured, killed after 20 seconds.
RunResult run_guarded(const std::vector<std::string>& args) {
    ScratchDir dir;
    std::string out_path = dir.path() + "/out";
    std::string err_path = dir.path() + "/err";
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> argv = args;
    argv[0] = tool_binary();
    pid_t pid = start_child(argv, -1, out, err);
    close(out);
    close(err);
    RunResult r;
    r.status = wait_child(pid, 20);
    Bytes o = read_file(out_path);
    Bytes e = read_file(err_path);
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    return r;
}

TEST(OddFile, FifoWithoutWriterEndsAtOnce) {
    Fifo fifo;
    RunResult report = run_guarded({"m2vhdr", fifo.path});
    EXPECT_EQ(report.status, 0) << "-1: hung";
    EXPECT_EQ(report.out, "");
    EXPECT_EQ(report.err, "");
    // A pipe cannot be patched in place.
    RunResult rewrite = run_guarded({"m2vhdr", fifo.path, "8000000"});
    EXPECT_EQ(rewrite.status, 1) << "-1: hung";
    EXPECT_EQ(rewrite.out, "");
    EXPECT_EQ(rewrite.err, sjis(OPEN_FAILED));
}

// --demux reads a file's start twice (to tell what it is, then to read it):
// a pipe cannot go back, so its start is kept, and it reads as the same
// bytes in a file do.
TEST(OddFile, FifoWithDemuxReadsAsAFile) {
    Bytes packets;
    for (int i = 0; i < 5; ++i) append(packets, concat({{0x47, 0x1f, 0xff, 0x10}, Bytes(184, 0xff)}));
    const struct {
        const char* name;
        Bytes bytes;
        bool seek;  // else: read whole, and found to hold no video
    } cases[] = {
        {"an elementary stream", concat({sequence_header({}), sequence_extension({}), sequence_end()}), true},
        {"a transport stream", packets, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fifo fifo;
        int keep = open(fifo.path.c_str(), O_RDONLY | O_NONBLOCK);
        int writer = open(fifo.path.c_str(), O_WRONLY);
        ASSERT_GE(keep, 0);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(write(writer, c.bytes.data(), c.bytes.size()), static_cast<ssize_t>(c.bytes.size()));
        close(writer);
        RunResult r = run_guarded({"m2vhdr", "--demux", fifo.path});
        close(keep);
        ScratchDir dir;
        RunResult file = run_guarded({"m2vhdr", "--demux", dir.write("f", c.bytes)});
        EXPECT_NE(r.status, -1) << "hung";
        EXPECT_EQ(r.status, file.status);
        EXPECT_EQ(r.out, file.out);
        EXPECT_EQ(r.err, file.err);
        EXPECT_EQ(r.err.find("移動"), std::string::npos);
    }
}

TEST(OddFile, FifoIsReadUntilItsWriterCloses) {
    Fifo fifo;
    // A reader of our own keeps the pipe (and what is written into it) alive
    // until the tool has opened it.
    int keep = open(fifo.path.c_str(), O_RDONLY | O_NONBLOCK);
    int writer = open(fifo.path.c_str(), O_WRONLY);
    ASSERT_GE(keep, 0);
    ASSERT_GE(writer, 0);
    Bytes first = concat({sequence_header({}), sequence_extension({}), user_data("one")});
    Bytes second = concat({filler(300), user_data("two"), sequence_end()});
    ASSERT_EQ(write(writer, first.data(), first.size()), static_cast<ssize_t>(first.size()));

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t pid = start_child({tool_binary(), fifo.path}, -1, out[1], out[1]);
    close(out[1]);
    // The rest arrives later, from a writer that then goes away.
    usleep(200 * 1000);
    ASSERT_EQ(write(writer, second.data(), second.size()), static_cast<ssize_t>(second.size()));
    close(writer);
    std::string printed = read_all(out[0]);
    close(out[0]);
    EXPECT_EQ(wait_child(pid, 20), 0) << "-1: hung";
    close(keep);
    std::size_t two = first.size() + 300;
    EXPECT_EQ(header_lines(printed),
              line(0, "SEQUENCE_HEADER_CODE") + line(12, "SEQUENCE_EXTENSION") +
                  line(22, "USER_DATA_START_CODE") + line(two, "USER_DATA_START_CODE") +
                  line(two + 7, "SEQUENCE_END_CODE"));
}

TEST(OddFile, PathWithSpacesAndNonAsciiBytes) {
    if (external_tool())
        GTEST_SKIP() << "names as raw bytes are this system's; a Windows program sees them "
                        "through the ANSI code page";
    ScratchDir dir;
    std::string folder = dir.path() + "/two words \xe6\x97\xa5\xe6\x9c\xac";
    std::filesystem::create_directory(folder);
    SequencePair seq = sequence_pair();
    for (const char* name : {"/a b \xff\xfe.m2v", "/ \xe3\x81\x82 .m2v", "/-x.m2v"}) {
        std::string path = folder + name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(seq.original.data(), 1, seq.original.size(), f);
        std::fclose(f);
        RunResult report = run_binary({"m2vhdr", path});
        EXPECT_EQ(report.status, 0) << path;
        EXPECT_EQ(header_lines(report.out),
                  line(0, "SEQUENCE_HEADER_CODE") + line(12, "SEQUENCE_EXTENSION"));
        RunResult rewrite = run_binary({"m2vhdr", path, std::to_string(TARGET_RATE)});
        EXPECT_EQ(rewrite.status, 0) << path;
        EXPECT_EQ(rewrite.err, "");
        EXPECT_EQ(read_file(path), seq.target) << path;
    }
}

// ---------------------------------------------------------------------------
// A file that grows while the tool reads it. The tool's standard output is a
// pipe that nobody reads until it is full: the tool is then stopped in the
// middle of its first window, having read the whole file as it was.

struct Blocked {
    pid_t pid = -1;
    int out = -1;  // read end of the tool's standard output
};

// Starts the binary with its standard output on a pipe and waits until the
// pipe is full, so that the tool is stuck in a print.
Blocked start_blocked(const std::vector<std::string>& args) {
    int fds[2];
    Blocked b;
    if (pipe(fds) != 0) return b;
    std::vector<std::string> argv = args;
    argv[0] = tool_binary();
    b.pid = start_child(argv, -1, fds[1], -1);
    close(fds[1]);
    b.out = fds[0];
    int capacity = fcntl(b.out, F_GETPIPE_SZ);
    for (int i = 0; i < 2000; ++i) {
        int queued = 0;
        ioctl(b.out, FIONREAD, &queued);
        if (queued >= capacity) return b;
        usleep(10 * 1000);
    }
    ADD_FAILURE() << "the tool never filled its output pipe";
    return b;
}

// Reads the rest of the output and waits for the tool.
int finish(Blocked& b, std::string* out) {
    *out = read_all(b.out);
    close(b.out);
    return wait_child(b.pid, 60);
}

Bytes many_sequences(std::size_t count, bool target) {
    Bytes s;
    SequencePair seq = sequence_pair();
    for (std::size_t i = 0; i < count; ++i) append(s, target ? seq.target : seq.original);
    return s;
}

void append_to_file(const std::string& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
}

TEST(GrowingFile, ReportReadsOnToTheNewEnd) {
    ScratchDir dir;
    Bytes original = many_sequences(3000, false);
    std::string path = dir.write("grow.m2v", original);
    Blocked tool = start_blocked({"m2vhdr", path});
    Bytes more = concat({user_data("later"), sequence_end()});
    append_to_file(path, more);
    std::string out;
    EXPECT_EQ(finish(tool, &out), 0);
    std::string expected;
    for (std::size_t i = 0; i < 3000; ++i)
        expected += line(22 * i, "SEQUENCE_HEADER_CODE") + line(22 * i + 12, "SEQUENCE_EXTENSION");
    expected += line(original.size(), "USER_DATA_START_CODE") +
                line(original.size() + 9, "SEQUENCE_END_CODE");
    EXPECT_EQ(header_lines(out), expected);
}

TEST(GrowingFile, RewriteWritesNothingPastTheSizeItStartedWith) {
    ScratchDir dir;
    const std::size_t count = 9000;
    Bytes original = many_sequences(count, false);
    std::string path = dir.write("grow.m2v", original);
    Blocked tool = start_blocked({"m2vhdr", path, std::to_string(TARGET_RATE)});
    // The sequences added now lie beyond the size the rewrite measured, and
    // stay as they are written.
    Bytes more = many_sequences(3, false);
    append_to_file(path, more);
    std::string out;
    EXPECT_EQ(finish(tool, &out), 0);
    Bytes expected = many_sequences(count, true);
    append(expected, more);
    EXPECT_EQ(read_file(path), expected);
    EXPECT_EQ(out.substr(out.rfind('\r') + 1),
              progress_line(original.size(), original.size(), 100, "\n"));
}

// ---------------------------------------------------------------------------
// Every header cut at every byte position by the end of the file. The file
// first fills a window with 0xFF bytes, so that a handler that looked past
// the end of the data in the last window would see bytes of the first.

struct CutCase {
    const char* name;
    Bytes header;
    Bytes header_after_rewrite;  // differs for a sequence extension only
    friend void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }
};

class CutAtEnd : public ::testing::TestWithParam<CutCase> {};

Bytes cut(const Bytes& b, std::size_t length) {
    return Bytes(b.begin(), b.begin() + static_cast<long>(length));
}

// Report: a header cut short reads as if zeros followed it. Rewrite: only a
// sequence extension with its bytes 6 and 7 in the file is patched, together
// with its sequence header; the file keeps its length.
TEST_P(CutAtEnd, ReadsZerosAndWritesOnlyPatchBytes) {
    EnglishMessages english;  // the --set count below
    const CutCase& c = GetParam();
    SequencePair seq = sequence_pair();
    PictureCodingExtension pce;
    pce.picture_structure = 1;  // field picture: one display offset
    Bytes context = concat({picture_header({}), picture_coding_extension(pce)});
    Bytes prefix = filler(WINDOW + 3000);
    Bytes target_prefix = prefix;
    append(prefix, concat({seq.original, context}));
    append(target_prefix, concat({seq.target, context}));
    ScratchDir dir;

    for (std::size_t length = 0; length <= c.header.size(); ++length) {
        // Another build runs as a process per case: its cut positions are
        // those around the start code and the patch bytes, and the last two.
        // The core code behind them is the same and meets every length here.
        if (external_tool() && length > 12 && length + 2 < c.header.size()) continue;
        SCOPED_TRACE(std::string(c.name) + " cut to " + std::to_string(length) + " bytes");
        Bytes stream = concat({prefix, cut(c.header, length)});
        std::string path = dir.write("cut.m2v", stream);
        RunResult report = run_tool({"m2vhdr", path});
        EXPECT_EQ(report.status, 0);
        if (length >= 4) {
            Bytes padded = concat({stream, filler(400, 0)});
            RunResult zeros = run_tool({"m2vhdr", dir.write("padded.m2v", padded)});
            EXPECT_EQ(report.out, zeros.out);
            EXPECT_EQ(report.err, zeros.err);
        } else {
            // A start code in the last three bytes is not a header.
            RunResult without = run_tool({"m2vhdr", dir.write("without.m2v", prefix)});
            EXPECT_EQ(report.out, without.out);
            EXPECT_EQ(report.err, without.err);
        }

        RunResult rewrite = run_tool({"m2vhdr", path, std::to_string(TARGET_RATE)});
        EXPECT_EQ(rewrite.status, 0);
        EXPECT_EQ(rewrite.err, report.err);
        Bytes expected = concat({target_prefix, cut(c.header, length)});
        if (length >= 8) expected = concat({target_prefix, cut(c.header_after_rewrite, length)});
        EXPECT_EQ(read_file(path), expected);
        // The closing line, after the progress line of any patch.
        std::string closing = rewrite.out.substr(rewrite.out.rfind('\r') + 1);
        ASSERT_FALSE(closing.empty());
        EXPECT_EQ(closing.back(), '\n');

        // --set: a cut sequence header (no extension follows: MPEG-1) takes
        // frame_rate_code only with its byte 7 in the file; cut before it,
        // it is one of two sequences that could not.
        bool header = c.header[3] == 0xB3 && length >= 4;
        Bytes set_expected = concat({prefix, cut(c.header, length)});
        set_expected[WINDOW + 3000 + 7] = static_cast<std::uint8_t>((set_expected[WINDOW + 3000 + 7] & 0xF0) | 3);
        if (header && length >= 8)
            set_expected[prefix.size() + 7] = static_cast<std::uint8_t>((set_expected[prefix.size() + 7] & 0xF0) | 3);
        path = dir.write("cut.m2v", stream);
        RunResult set = run_tool({"m2vhdr", "--set", "frame_rate_code=25", path});
        EXPECT_EQ(set.status, 0);
        EXPECT_EQ(set.err, report.err);
        EXPECT_EQ(read_file(path), set_expected);
        // Then the count: a sequence whose byte 7 changed is patched, one
        // that held 25 fps already is right, the cut one is not patched.
        std::size_t first = WINDOW + 3000 + 7, second = prefix.size() + 7;
        unsigned changed = (set_expected[first] != stream[first] ? 1u : 0u) +
                           (header && length >= 8 && set_expected[second] != stream[second] ? 1u : 0u);
        unsigned sequences = header ? 2 : 1;
        unsigned left = header && length < 8 ? 1 : 0;
        EXPECT_EQ(set.out.substr(set.out.find('\n') + 1),
                  (header && length < 8 ? "frame_rate_code: 1 of 2 sequences could not take it\n" : "") +
                      rewrite_summary(changed, sequences - changed - left, left));
    }
}

CutCase same(const char* name, const Bytes& header) { return {name, header, header}; }

std::vector<CutCase> cut_cases() {
    SequenceHeader matrices;
    matrices.load_intra_quantiser_matrix = true;
    matrices.load_non_intra_quantiser_matrix = true;
    matrices.intra_quantiser_matrix.fill(0x21);
    matrices.non_intra_quantiser_matrix.fill(0x43);
    SequenceExtension ext;
    SequenceExtension ext_target = ext;
    ext_target.bit_rate_extension = (TARGET_RATE / 400) >> 18;
    SequenceDisplayExtension colour;
    colour.colour_description = true;
    PictureHeader b_picture;
    b_picture.picture_coding_type = 3;
    PictureCodingExtension composite;
    composite.composite_display_flag = 1;
    composite.burst_amplitude = 0x55;
    composite.sub_carrier_phase = 0xAA;
    GroupHeader gop;
    gop.time_code_hours = 23;
    gop.time_code_seconds = 59;
    return {
        same("sequence_header", sequence_header({})),
        same("sequence_header_with_matrices", sequence_header(matrices)),
        {"sequence_extension", sequence_extension(ext), sequence_extension(ext_target)},
        same("sequence_display_extension", sequence_display_extension(colour)),
        same("group", group_header(gop)),
        same("picture_i", picture_header({})),
        same("picture_b", picture_header(b_picture)),
        same("picture_coding_extension", picture_coding_extension(composite)),
        same("quant_matrix_extension", quant_matrix_extension(true, true, true, true, 0x31)),
        same("picture_display_extension", picture_display_extension(3)),
        same("copyright_extension", copyright_extension()),
        same("scalable_extension", bare_extension(5, 12)),
        same("user_data", user_data("text")),
        same("sequence_end", sequence_end()),
    };
}

INSTANTIATE_TEST_SUITE_P(EveryHeader, CutAtEnd, ::testing::ValuesIn(cut_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Quantiser matrices that reach past the valid data.

TEST(QuantMatrices, AllFourAtTheEndOfAWindowThenASequence) {
    // 261 bytes of extension: the handler leaves the scan beyond the data in
    // the window, and it resumes right after the extension, in both modes.
    Bytes qm = quant_matrix_extension(true, true, true, true, 0x20);
    SequencePair seq = sequence_pair();
    ScratchDir dir;
    for (std::size_t start = WINDOW - 300; start < WINDOW - 190; start += 11) {
        SCOPED_TRACE("extension at " + std::to_string(start));
        Bytes head = concat({filler(start - 8), picture_header({}), qm});
        Bytes stream = concat({head, seq.original, filler(2000)});
        std::string path = dir.write("qm.m2v", stream);
        RunResult report = run_tool({"m2vhdr", path});
        EXPECT_EQ(report.status, 0);
        EXPECT_EQ(report.err, "");
        EXPECT_EQ(header_lines(report.out),
                  line(start - 8, "PICTURE_START_CODE") + line(head.size(), "SEQUENCE_HEADER_CODE") +
                      line(head.size() + 12, "SEQUENCE_EXTENSION"));
        RunResult rewrite = run_tool({"m2vhdr", path, std::to_string(TARGET_RATE)});
        EXPECT_EQ(rewrite.status, 0);
        EXPECT_EQ(read_file(path), concat({head, seq.target, filler(2000)}));
    }
}

TEST(QuantMatrices, AllFourEndingTheFile) {
    // The scan ends beyond the data: no negative count, the whole file shown
    // as done.
    Bytes qm = quant_matrix_extension(true, true, true, true, 0x20);
    ScratchDir dir;
    for (std::size_t lead : {std::size_t{0}, std::size_t{100}, WINDOW - 50, WINDOW + 10}) {
        SCOPED_TRACE("lead " + std::to_string(lead));
        Bytes stream = concat({filler(lead), picture_header({}), qm});
        std::string path = dir.write("qm.m2v", stream);
        RunResult report = run_tool({"m2vhdr", path});
        EXPECT_EQ(report.status, 0);
        EXPECT_EQ(header_lines(report.out), line(lead, "PICTURE_START_CODE"));
        RunResult rewrite = run_tool({"m2vhdr", path, "8000000"});
        EXPECT_EQ(rewrite.status, 0);
        EXPECT_EQ(rewrite.out, progress_line(stream.size(), stream.size(), 100, "\n"));
        EXPECT_EQ(read_file(path), stream);
    }
}

// ---------------------------------------------------------------------------
// Long runs of zeros and start-code prefixes everywhere.

TEST(HostileBytes, LongZeroRunsAroundHeaders) {
    Bytes s = filler(3 * WINDOW, 0);
    SequencePair seq = sequence_pair();
    Bytes target = s;
    std::vector<std::size_t> at = {5, WINDOW - 200, 2 * WINDOW - 190, 3 * WINDOW - 22};
    std::string expected;
    for (std::size_t a : at) {
        place(s, a, seq.original);
        place(target, a, seq.target);
        expected += line(a, "SEQUENCE_HEADER_CODE") + line(a + 12, "SEQUENCE_EXTENSION");
    }
    ScratchDir dir;
    std::string path = dir.write("zeros.m2v", s);
    RunResult report = run_tool({"m2vhdr", path});
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.err, "");
    EXPECT_EQ(header_lines(report.out), expected);
    RunResult rewrite = run_tool({"m2vhdr", path, std::to_string(TARGET_RATE)});
    EXPECT_EQ(rewrite.status, 0);
    EXPECT_EQ(read_file(path), target);
}

TEST(HostileBytes, UserDataStartCodeInEveryFourBytes) {
    Bytes s;
    for (int i = 0; i < 300000; ++i) append(s, user_data(""));
    std::string expected;
    for (std::size_t a = 0; a < s.size(); a += 4) expected += line(a, "USER_DATA_START_CODE");
    ScratchDir dir;
    std::string path = dir.write("codes.m2v", s);
    RunResult report = run_tool({"m2vhdr", path});
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.out, expected);
    RunResult rewrite = run_tool({"m2vhdr", path, "8000000"});
    EXPECT_EQ(rewrite.status, 0);
    EXPECT_EQ(rewrite.out, progress_line(s.size(), s.size(), 100, "\n"));
    EXPECT_EQ(read_file(path), s);
}

TEST(HostileBytes, PrefixInEveryThreeBytes) {
    // 00 00 01 00 00 01 ...: each prefix is followed by 00, a picture start
    // code. A picture header takes 8 bytes, so one starts every 9 bytes; its
    // bytes 4..7 are 00 01 00 00: temporal reference 0, coding type 0, VBV
    // delay 1 << 13.
    Bytes s;
    for (int i = 0; i < 400000; ++i) append(s, {0, 0, 1});
    std::string block = "    temporal reference=0/picture type=/VBV delay=8192\n";
    std::string expected;
    for (std::size_t a = 0; a + 4 <= s.size(); a += 9) expected += line(a, "PICTURE_START_CODE") + block;
    ScratchDir dir;
    std::string path = dir.write("prefixes.m2v", s);
    RunResult report = run_tool({"m2vhdr", path});
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.err, "");
    EXPECT_EQ(report.out, expected);
    RunResult rewrite = run_tool({"m2vhdr", path, "8000000"});
    EXPECT_EQ(rewrite.status, 0);
    EXPECT_EQ(read_file(path), s);
}

TEST(HostileBytes, SequenceCodesInEveryFourBytes) {
    // 00 00 01 B3 repeated: byte 11 of each sequence header (B3) sets
    // load_intra_quantiser_matrix and byte 75 (B3 again) sets
    // load_non_intra_quantiser_matrix, so each header runs 140 bytes and
    // swallows the 34 codes inside it. Without extensions the rewrite
    // changes nothing.
    Bytes headers;
    for (int i = 0; i < 50000; ++i) append(headers, start_code(0xB3));
    ScratchDir dir;
    std::string path = dir.write("b3.m2v", headers);
    RunResult rewrite = run_tool({"m2vhdr", path, "8000000"});
    EXPECT_EQ(rewrite.status, 0);
    EXPECT_EQ(read_file(path), headers);
    RunResult report = run_tool({"m2vhdr", path});
    EXPECT_EQ(report.status, 0);
    std::string expected;
    for (std::size_t a = 0; a + 4 <= headers.size(); a += 140) expected += line(a, "SEQUENCE_HEADER_CODE");
    EXPECT_EQ(report.out, expected);
}

}  // namespace
