// m2vhdr.exe under Wine, for what only the Windows build has: the CR LF line
// ends of its console streams, the share mode of its open against a second
// Windows process, positions beyond 4 GiB, and the same bytes as the Linux
// build on whole streams.
//
// The environment names the .exe in M2VHDR_TOOL_COMMAND and the holder
// program (hold_file.exe) in M2VHDR_HOLD_COMMAND (tests/windows/under_wine.cmake).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "tool_runner.hpp"

extern char** environ;

namespace {

constexpr std::uint64_t WINDOW = 1u << 20;
constexpr std::uint64_t LOOK = 197;

const std::string kOpenFailed = "読み取りファイルが開けませんでした。\n";

// The .exe with its output exactly as it reached the files.
RunResult run_exe_raw(const std::vector<std::string>& args) {
    std::vector<std::string> command = external_tool_command();
    command.insert(command.end(), args.begin() + 1, args.end());
    return run_command(command);
}

// The Linux build's binary.
RunResult run_linux(const std::vector<std::string>& args) {
    std::vector<std::string> command = {tool_binary()};
    command.insert(command.end(), args.begin() + 1, args.end());
    return run_command(command);
}

std::vector<std::string> words_of(const char* variable) {
    std::vector<std::string> words;
    std::string word;
    for (const char* c = std::getenv(variable); c && *c; ++c) {
        if (*c != ' ') {
            word += *c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

class WindowsExe : public ::testing::Test {
protected:
    void SetUp() override {
        if (!external_tool()) GTEST_SKIP() << "M2VHDR_TOOL_COMMAND names no Windows build";
    }
};

// --- line ends ---------------------------------------------------------

// Each "\n" of the output reaches the redirected file as CR LF; the "\r"
// that ends a progress line stays alone.
TEST_F(WindowsExe, ReportLinesEndInCrLf) {
    ScratchDir dir;
    std::string path = dir.write("s.m2v", concat({sequence_end(), user_data("x")}));
    RunResult r = run_exe_raw({"m2vhdr", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "00000000: SEQUENCE_END_CODE\r\n00000004: USER_DATA_START_CODE\r\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(WindowsExe, ProgressLinesKeepTheirLoneCarriageReturn) {
    ScratchDir dir;
    Bytes pair = concat({sequence_header({}), sequence_extension({})});
    std::string path = dir.write("s.m2v", concat({pair, pair}));
    RunResult r = run_exe_raw({"m2vhdr", path, "8000000"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // 44 bytes: scanned at the end of the file, within the first window, so
    // both patches show 0 done; the closing line shows the whole file.
    EXPECT_EQ(r.out, progress_line(0, 44, 0, "\r") + progress_line(0, 44, 0, "\r") +
                         progress_line(44, 44, 100, "\r\n"));
}

TEST_F(WindowsExe, MessagesEndInCrLf) {
    RunResult usage = run_exe_raw({"m2vhdr"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(usage.err, sjis("引数が不正です。\r\nusage: ") + binary_name() +
                             " [input file] {bitrate(bit)}\r\n");

    ScratchDir dir;
    RunResult missing = run_exe_raw({"m2vhdr", dir.path() + "/missing.m2v"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, sjis("読み取りファイルが開けませんでした。\r\n"));
}

// --- share mode against a second process ------------------------------

// hold_file.exe under Wine, holding `path` until release() or destruction.
class Holder {
public:
    Holder(const std::string& path, const std::string& access, const std::string& share) {
        std::vector<std::string> command = words_of("M2VHDR_HOLD_COMMAND");
        command.insert(command.end(), {path, access, share});
        std::vector<char*> argv;
        for (std::string& a : command) argv.push_back(a.data());
        argv.push_back(nullptr);

        int to_child[2];
        int from_child[2];
        if (pipe2(to_child, O_CLOEXEC) != 0 || pipe2(from_child, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, to_child[0], 0);
        posix_spawn_file_actions_adddup2(&actions, from_child[1], 1);
        posix_spawn_file_actions_adddup2(&actions, from_child[1], 2);
        bool started =
            posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        close(to_child[0]);
        close(from_child[1]);
        release_fd_ = to_child[1];
        if (!started) {
            pid_ = -1;
            close(from_child[0]);
            return;
        }
        // "held" once the handle is open, else the reason why not.
        char c;
        while (read(from_child[0], &c, 1) == 1 && c != '\n') said_ += c;
        close(from_child[0]);
        held_ = said_ == "held\r";
    }
    ~Holder() { release(); }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    bool held() const { return held_; }
    const std::string& said() const { return said_; }

    // Closes the holder's input; it closes the file and exits. Returns its
    // exit status.
    int release() {
        if (release_fd_ >= 0) close(release_fd_);
        release_fd_ = -1;
        int status = -1;
        if (pid_ > 0) {
            int wstatus = 0;
            waitpid(pid_, &wstatus, 0);
            status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        }
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_ = -1;
    int release_fd_ = -1;
    bool held_ = false;
    std::string said_;
};

struct HoldCase {
    const char* name;
    const char* access;  // of the holder: r, w or rw
    const char* share;   // what the holder lets others do
    bool report_opens;
    bool rewrite_opens;
    friend void PrintTo(const HoldCase& c, std::ostream* os) { *os << c.name; }
};

class WindowsShareMode : public ::testing::TestWithParam<HoldCase> {
protected:
    void SetUp() override {
        if (!external_tool()) GTEST_SKIP() << "M2VHDR_TOOL_COMMAND names no Windows build";
    }
};

TEST_P(WindowsShareMode, AnotherProcessHoldingTheFile) {
    const HoldCase& c = GetParam();
    ScratchDir dir;
    SequenceHeader h;
    h.bit_rate_value = 1;
    Bytes original = concat({sequence_header(h), sequence_extension({})});
    std::string path = dir.write("s.m2v", original);
    h.bit_rate_value = 2500;  // 1000000 / 400
    Bytes patched = concat({sequence_header(h), sequence_extension({})});

    Holder holder(path, c.access, c.share);
    ASSERT_TRUE(holder.held()) << holder.said();

    RunResult report = run_tool({"m2vhdr", path});
    if (c.report_opens) {
        EXPECT_EQ(report.status, 0);
        EXPECT_EQ(report.err, "");
        EXPECT_EQ(report.out.rfind("00000000: SEQUENCE_HEADER_CODE\n", 0), 0u) << report.out;
    } else {
        EXPECT_EQ(report.status, 1);
        EXPECT_EQ(report.out, "");
        EXPECT_EQ(report.err, sjis(kOpenFailed));
    }

    RunResult rewrite = run_tool({"m2vhdr", path, "1000000"});
    if (c.rewrite_opens) {
        EXPECT_EQ(rewrite.status, 0);
        EXPECT_EQ(rewrite.err, "");
        EXPECT_EQ(read_file(path), patched);
    } else {
        EXPECT_EQ(rewrite.status, 1);
        EXPECT_EQ(rewrite.out, "");
        EXPECT_EQ(rewrite.err, sjis(kOpenFailed));
        EXPECT_EQ(read_file(path), original);
    }

    EXPECT_EQ(holder.release(), 0);
    // With the holder gone the rewrite goes through.
    EXPECT_EQ(run_tool({"m2vhdr", path, "1000000"}).status, 0);
    EXPECT_EQ(read_file(path), patched);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsShareMode,
    ::testing::Values(
        // Write access in another process keeps both modes out, even when
        // that process lets everybody in: the tool lets others only read.
        HoldCase{"writer", "w", "rwd", false, false},
        HoldCase{"reader_writer", "rw", "rwd", false, false},
        // A reader that lets others only read, as a report of this tool
        // does: another report runs beside it, a rewrite does not.
        HoldCase{"reader", "r", "r", true, false},
        // A reader that lets others write too may read along a rewrite.
        HoldCase{"reader_sharing_write", "r", "rw", true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// --- beyond 4 GiB ------------------------------------------------------

void write_at(const std::string& path, std::uint64_t offset, const Bytes& bytes) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes read_at(const std::string& path, std::uint64_t offset, std::size_t count) {
    std::ifstream f(path, std::ios::binary);
    f.seekg(static_cast<std::streamoff>(offset));
    Bytes b(count);
    f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(count));
    b.resize(static_cast<std::size_t>(f.gcount()));
    return b;
}

Bytes sequence_pair(std::uint32_t bit_rate_value, unsigned bit_rate_extension) {
    SequenceHeader h;
    h.bit_rate_value = bit_rate_value;
    SequenceExtension e;
    e.bit_rate_extension = bit_rate_extension;
    return concat({sequence_header(h), sequence_extension(e)});
}

// A sparse file just over 4 GiB with one sequence near its start and one
// just past 4 GiB, where a 32-bit offset wraps to 4: a wrapped patch would
// land in the zeros in front of the first sequence.
TEST_F(WindowsExe, PatchesBeyondFourGiBAtTheRightPlace) {
    ScratchDir dir;
    const std::uint64_t low = 0x100;
    const std::uint64_t high = (std::uint64_t{1} << 32) + 4;
    const std::uint64_t size = high + 64 * 1024;
    std::string path = dir.write("big.m2v", {});
    std::filesystem::resize_file(path, size);
    write_at(path, low, sequence_pair(1, 0));
    write_at(path, high, sequence_pair(2, 0));

    RunResult report = run_tool({"m2vhdr", path});
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.err, "");
    std::string offsets;
    std::regex header_line("^[0-9a-f]{8,}: [A-Z_]+$");
    std::string text = report.out;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = text.substr(at, end - at);
        if (std::regex_match(line, header_line)) offsets += line + "\n";
    }
    EXPECT_EQ(offsets,
              "00000100: SEQUENCE_HEADER_CODE\n0000010c: SEQUENCE_EXTENSION\n"
              "100000004: SEQUENCE_HEADER_CODE\n100000010: SEQUENCE_EXTENSION\n");

    // 3000000000 bit/s: q = 7500000, whose bits above 17 go into the
    // extension.
    RunResult rewrite = run_tool({"m2vhdr", path, "3000000000"});
    EXPECT_EQ(rewrite.status, 0);
    EXPECT_EQ(rewrite.err, "");
    const std::uint32_t q = 7500000;
    Bytes front(0x200, 0);
    Bytes low_pair = sequence_pair(q & 0x3FFFF, q >> 18);
    std::copy(low_pair.begin(), low_pair.end(), front.begin() + low);
    EXPECT_EQ(read_at(path, 0, 0x200), front);
    Bytes back(256, 0);
    Bytes high_pair = sequence_pair(q & 0x3FFFF, q >> 18);
    std::copy(high_pair.begin(), high_pair.end(), back.begin() + 16);
    EXPECT_EQ(read_at(path, high - 16, 256), back);
    EXPECT_EQ(std::filesystem::file_size(path), size);

    // Each window moves the scan on by WINDOW - LOOKAHEAD + 1 bytes: the
    // first patch shows 0 done, the second the start of the window that
    // holds the high sequence; the file ends in zeros, whose last three
    // bytes are never examined.
    const std::uint64_t step = WINDOW - LOOK + 1;
    const std::uint64_t second = high / step * step;
    EXPECT_EQ(rewrite.out, progress_line(0, size, 0, "\r") +
                               progress_line(second, size, second / (size / 100), "\r") +
                               progress_line(size - 3, size, 100, "\n"));
}

// --- the same bytes as the Linux build ----------------------------------

// A stream with what real encoders write, over several windows: sequences
// with and without quantiser matrices, display and coding extensions, GOPs,
// I, P and B pictures, user data, slices, and a sequence header just before
// a window slide.
Bytes built_stream() {
    Bytes s;
    SequenceHeader h;
    h.bit_rate_value = 15000;
    h.load_intra_quantiser_matrix = true;
    h.intra_quantiser_matrix.fill(0x10);
    SequenceDisplayExtension d;
    d.colour_description = true;
    for (unsigned gop = 0; gop < 24; ++gop) {
        h.load_non_intra_quantiser_matrix = gop % 3 == 1;
        h.non_intra_quantiser_matrix.fill(0x01);
        if (gop == 7) {
            // The next sequence header starts 100 bytes before the end of
            // the valid data of a window.
            std::size_t target = 2 * WINDOW - 196 - 100;
            if (s.size() < target) append(s, filler(target - s.size(), 0xA5));
        }
        append(s, concat({sequence_header(h), sequence_extension({}),
                          sequence_display_extension(d), user_data("gop " + std::to_string(gop)),
                          group_header({0, 1, 2, gop % 60, 0, 1, 0})}));
        for (unsigned pic = 0; pic < 6; ++pic) {
            PictureHeader p;
            p.temporal_reference = pic;
            p.picture_coding_type = pic == 0 ? 1 : (pic % 3 == 0 ? 2 : 3);
            PictureCodingExtension c;
            c.top_field_first = pic % 2;
            c.progressive_frame = 0;
            append(s, concat({picture_header(p), picture_coding_extension(c),
                              slice(40000 + 997 * pic, 1), slice(3000, 2)}));
        }
    }
    append(s, sequence_end());
    return s;
}

struct SampleCase {
    std::string name;
    std::string path;  // empty for the built stream
    bool mpeg2;        // has sequence extensions, whose bit rate a rewrite sets
    friend void PrintTo(const SampleCase& c, std::ostream* os) { *os << c.name; }
};

std::vector<SampleCase> sample_cases() {
    std::vector<SampleCase> cases = {{"built_stream", "", true}};
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(M2VHDR_TEST_DATA, ec)) {
        std::string extension = entry.path().extension().string();
        if (extension != ".m2v" && extension != ".m1v") continue;
        std::string name = entry.path().stem().string();
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        cases.push_back({name, entry.path().string(), extension == ".m2v"});
    }
    return cases;
}

class SameBytesAsLinux : public ::testing::TestWithParam<SampleCase> {
protected:
    void SetUp() override {
        if (!external_tool()) GTEST_SKIP() << "M2VHDR_TOOL_COMMAND names no Windows build";
        stream_ = GetParam().path.empty() ? built_stream() : read_file(GetParam().path);
        ASSERT_FALSE(stream_.empty());
    }
    Bytes stream_;
};

TEST_P(SameBytesAsLinux, Report) {
    ScratchDir dir;
    std::string path = dir.write("s.m2v", stream_);
    RunResult linux_run = run_linux({"m2vhdr", path});
    RunResult windows_run = run_tool({"m2vhdr", path});
    EXPECT_EQ(linux_run.status, 0);
    EXPECT_NE(linux_run.out.find("SEQUENCE_HEADER_CODE"), std::string::npos);
    EXPECT_EQ(windows_run.status, linux_run.status);
    EXPECT_EQ(windows_run.out, linux_run.out);
    EXPECT_EQ(windows_run.err, linux_run.err);
}

TEST_P(SameBytesAsLinux, Rewrite) {
    bool changed = false;
    for (const char* rate : {"15000000", "120000000", "4294967295"}) {
        ScratchDir dir;
        std::string linux_path = dir.write("linux.m2v", stream_);
        std::string windows_path = dir.write("windows.m2v", stream_);
        RunResult linux_run = run_linux({"m2vhdr", linux_path, rate});
        RunResult windows_run = run_tool({"m2vhdr", windows_path, rate});
        EXPECT_EQ(linux_run.status, 0) << rate;
        EXPECT_EQ(windows_run.status, linux_run.status) << rate;
        EXPECT_EQ(windows_run.out, linux_run.out) << rate;
        EXPECT_EQ(windows_run.err, linux_run.err) << rate;
        Bytes linux_bytes = read_file(linux_path);
        changed = changed || linux_bytes != stream_;
        EXPECT_EQ(linux_bytes.size(), stream_.size()) << rate;
        EXPECT_TRUE(read_file(windows_path) == linux_bytes) << rate;
    }
    // A stream already at one of the rates stays as it is for that one.
    EXPECT_EQ(changed, GetParam().mpeg2);
}

INSTANTIATE_TEST_SUITE_P(Streams, SameBytesAsLinux, ::testing::ValuesIn(sample_cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
