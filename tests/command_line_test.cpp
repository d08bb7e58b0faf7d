// Arguments, opening the file, exit statuses and the closing progress line,
// through the real binary where the process matters.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "tool_runner.hpp"

namespace {

const std::string kUsage = "引数が不正です。\nusage: %s [input file] {bitrate(bit)}\n";

std::string usage_for(const std::string& program) {
    std::string text = sjis(kUsage);
    return text.replace(text.find("%s"), 2, program);
}

TEST(CommandLine, WrongArgumentCountPrintsUsage) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{"m2vhdr"}, {"m2vhdr", "a", "1", "x"}, {"./tool", "a", "1", "c", "d"}}) {
        RunResult r = run_tool(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, usage_for(tool_name(args[0])));
    }
}

TEST(CommandLine, BinaryNamesItselfAsInvoked) {
    RunResult r = run_binary({"m2vhdr"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, usage_for(binary_name()));
}

struct RateCase {
    const char* text;
    bool accepted;
    unsigned long long q;  // expected bit_rate_value after a rewrite
    bool unit = false;     // refused for its unit of bit rate
    bool file = false;     // no rate: a second FILE, which does not exist
    friend void PrintTo(const RateCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class BitRateArgument : public ::testing::TestWithParam<RateCase> {};

// A rejected rate is a usage error and the file is left untouched; an
// accepted one lands in the sequence header as rate / 400.
TEST_P(BitRateArgument, IsAcceptedOnlyAsAPlainDecimal) {
    const RateCase& c = GetParam();
    ScratchDir dir;
    SequenceHeader h;
    h.bit_rate_value = 1;
    Bytes original = concat({sequence_header(h), sequence_extension({})});
    std::string path = dir.write("s.m2v", original);
    RunResult r = run_tool({"m2vhdr", path, c.text});
    Bytes after = read_file(path);
    if (c.file) {
        // Reported after the first file, and named as it fails.
        EXPECT_EQ(r.status, 1);
        const std::string opening = sjis(std::string("m2vhdr: '") + c.text + "' を開けません: ");
        const std::string failed = sjis(std::string("m2vhdr: '") + c.text + "' の処理は失敗しました\n");
        // The system's reason between them (tests/windows: Wine's).
        if (!external_tool()) {
            EXPECT_EQ(r.err, opening + system_reason(ENOENT, "C") + "\n" + failed);
        }
        EXPECT_EQ(r.err.compare(0, opening.size(), opening), 0) << r.err;
        ASSERT_GE(r.err.size(), failed.size());
        EXPECT_EQ(r.err.substr(r.err.size() - failed.size()), failed);
        EXPECT_EQ(after, original);
        return;
    }
    if (!c.accepted) {
        // In the C locale the usage text this command line has always
        // printed; elsewhere the argument, named with its reason. "-1"
        // reads as an option, which no original command line has.
        const bool option = std::string(c.text) == "-1";
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, option ? sjis("m2vhdr: 不明なオプションです '-1'\n詳しくは 'm2vhdr --help' を実行してください。\n")
                                : usage_for(tool_name("m2vhdr")));
        EnglishMessages english;
        RunResult named = run_tool({"m2vhdr", path, c.text});
        const std::string reason = option   ? "unknown option '"
                                   : c.unit ? "BITRATE is a whole number of bit/s, without a unit '"
                                            : "BITRATE must be a whole number from 0 to 4294967295 '";
        EXPECT_EQ(named.status, 2);
        EXPECT_EQ(named.err, "m2vhdr: " + reason + c.text + "'\nTry 'm2vhdr --help'.\n");
        EXPECT_EQ(after, original);
        return;
    }
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    unsigned long long value = 0u + (after[8] * 1024u) + (after[9] * 4u) + (after[10] / 64u);
    unsigned long long ext = (after[12 + 6] & 0x1Fu) * 128u + after[12 + 7] / 2u;
    EXPECT_EQ(value | ext << 18, c.q);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BitRateArgument,
    ::testing::Values(RateCase{"8000000", true, 20000}, RateCase{"  \t+8000000", true, 20000},
                      RateCase{"0", true, 0}, RateCase{"399", true, 0},
                      RateCase{"4294967295", true, 10737418},
                      RateCase{"0004294967295", true, 10737418}, RateCase{"abc", false, 0, false, true},
                      RateCase{"8M", false, 0, true}, RateCase{"8000000xyz", false, 0},
                      RateCase{"-1", false, 0}, RateCase{"4294967296", false, 0},
                      RateCase{"99999999999999999999", false, 0}, RateCase{"", false, 0, false, true},
                      RateCase{"+", false, 0}, RateCase{" ", false, 0, false, true},
                      RateCase{"8000000 ", false, 0}, RateCase{"++8", false, 0},
                      RateCase{"0x10", false, 0}, RateCase{"5Mbps", false, 0, true},
                      RateCase{"800k", false, 0, true}, RateCase{"1.5 Mbit/s", false, 0, true},
                      RateCase{"5MB", false, 0, true}, RateCase{"M", false, 0, false, true}));

TEST(CommandLine, MissingFileFailsInBothModesAndCreatesNothing) {
    ScratchDir dir;
    std::string path = dir.path() + "/missing.m2v";
    for (std::vector<std::string> args :
         {std::vector<std::string>{"m2vhdr", path}, {"m2vhdr", path, "8000000"}}) {
        RunResult r = run_tool(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, sjis("読み取りファイルが開けませんでした。\n"));
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

// A folder is read through for its video files, but not by the rewrite of
// one file.
TEST(CommandLine, DirectoryCannotBeOpened) {
    ScratchDir dir;
    RunResult r = run_tool({"m2vhdr", dir.path(), "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, sjis("読み取りファイルが開けませんでした。\n"));
    r = run_tool({"m2vhdr", dir.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, sjis("m2vhdr: フォルダ '" + dir.path() +
                          "' に映像ファイルがありません (.m2v .mpg .vob .ts など)\n"));
}

// Root ignores permission bits, so these run as an unprivileged user.
constexpr const char* kNeedsUnprivilegedUser =
    "runs this build's binary as an unprivileged user (setpriv); another build "
    "runs as the tests' own user, and root ignores permission bits";

TEST(CommandLine, ReadOnlyFileRefusesTheRewriteButIsReported) {
    if (external_tool()) GTEST_SKIP() << kNeedsUnprivilegedUser;
    ScratchDir dir;
    Bytes s = concat({sequence_end()});
    std::string path = dir.write("ro.m2v", s);
    chmod(path.c_str(), 0444);
    RunResult rewrite = run_binary({"m2vhdr", path, "8000000"}, true);
    EXPECT_EQ(rewrite.status, 1);
    EXPECT_EQ(rewrite.out, "");
    EXPECT_EQ(rewrite.err, sjis("読み取りファイルが開けませんでした。\n"));
    RunResult report = run_binary({"m2vhdr", path}, true);
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.out, "00000000: SEQUENCE_END_CODE\n");
    EXPECT_EQ(read_file(path), s);
}

TEST(CommandLine, UnreadableFileCannotBeOpened) {
    if (external_tool()) GTEST_SKIP() << kNeedsUnprivilegedUser;
    ScratchDir dir;
    std::string path = dir.write("secret.m2v", sequence_end());
    chmod(path.c_str(), 0200);
    RunResult r = run_binary({"m2vhdr", path}, true);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, sjis("読み取りファイルが開けませんでした。\n"));
}

TEST(ClosingLine, ZeroFileEndsThreeBytesShort) {
    ScratchDir dir;
    RunResult r = run_binary({"m2vhdr", dir.write("z", Bytes(1000, 0)), "8000000"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, progress_line(997, 1000, 99, "\n"));
}

struct ClosingCase {
    const char* name;
    Bytes stream;
    unsigned long long done, total, percent;
    friend void PrintTo(const ClosingCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }
};

class ClosingLine : public ::testing::TestWithParam<ClosingCase> {};

TEST_P(ClosingLine, ShowsHowFarTheScanWent) {
    const ClosingCase& c = GetParam();
    ScratchDir dir;
    RunResult r = run_tool({"m2vhdr", dir.write("s", c.stream), "8000000"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, progress_line(c.done, c.total, c.percent, "\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClosingLine,
    ::testing::Values(
        ClosingCase{"empty", {}, 0, 0, 100},
        ClosingCase{"two_bytes", {0, 0}, 0, 2, 0},
        ClosingCase{"short", filler(50), 47, 50, 94},
        // A final sequence end code is consumed whole: 100%.
        ClosingCase{"ends_in_sequence_end", concat({filler(996), sequence_end()}), 1000, 1000, 100},
        // 199 bytes: 196 / (199 / 100) would be 196%.
        ClosingCase{"never_above_100", filler(199), 196, 199, 100},
        // A header cut short leaves the scan past the end: shown as the end.
        ClosingCase{"cut_header", concat({filler(300), start_code(0xB3)}), 304, 304, 100}),
    [](const auto& info) { return std::string(info.param.name); });

// Two processes on the same file: reports may share it, a rewrite may not
// share it with anything.
TEST(Sharing, RewriteIsRefusedWhileAnotherProcessHoldsTheFile) {
    if (external_tool())
        GTEST_SKIP() << "holds the file with fcntl locks, which only this system's backend "
                        "takes; the Windows suite holds it with a Windows process instead";
    ScratchDir dir;
    Bytes s = concat({sequence_header({}), sequence_extension({})});
    std::string path = dir.write("s.m2v", s);
    std::string refused = sjis("読み取りファイルが開けませんでした。\n");

    for (int holder_type : {F_RDLCK, F_WRLCK}) {
        int ready[2];
        int release[2];
        ASSERT_EQ(pipe(ready), 0);
        ASSERT_EQ(pipe(release), 0);
        pid_t child = fork();
        if (child == 0) {
            // Hold the file the way a running report (shared) or rewrite
            // (exclusive) does, until told to let go.
            int fd = open(path.c_str(), holder_type == F_WRLCK ? O_RDWR : O_RDONLY);
            struct flock lock = {};
            lock.l_type = static_cast<short>(holder_type);
            lock.l_whence = SEEK_SET;
            int ok = fcntl(fd, F_OFD_SETLK, &lock) == 0;
            char c = static_cast<char>(ok);
            (void)!write(ready[1], &c, 1);
            (void)!read(release[0], &c, 1);
            _exit(0);
        }
        char c = 0;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
        ASSERT_EQ(c, 1);

        RunResult rewrite = run_binary({"m2vhdr", path, "1000000"});
        EXPECT_EQ(rewrite.status, 1);
        EXPECT_EQ(rewrite.err, refused);
        EXPECT_EQ(read_file(path), s);

        RunResult report = run_binary({"m2vhdr", path});
        if (holder_type == F_RDLCK) {
            EXPECT_EQ(report.status, 0);
            EXPECT_EQ(report.err, "");
        } else {
            EXPECT_EQ(report.status, 1);
            EXPECT_EQ(report.err, refused);
            EXPECT_EQ(report.out, "");
        }
        (void)!write(release[1], &c, 1);
        waitpid(child, nullptr, 0);
        for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
    }
    // Once the holder is gone the rewrite goes through.
    EXPECT_EQ(run_binary({"m2vhdr", path, "1000000"}).status, 0);
}

}  // namespace

namespace {

// A file that opens but cannot be read: the memory file of the process
// itself fails at offset 0 with an I/O error.
TEST(CommandLine, ReadErrorStopsTheRun) {
    RunResult r = run_binary({"m2vhdr", "/proc/self/mem"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, sjis("読み取りエラーです\n"));
}

}  // namespace

namespace {

// A report that could not be written out is not a success.
TEST(CommandLine, LostOutputIsAFailure) {
    ScratchDir dir;
    std::string path = dir.write("s.m2v", concat({sequence_header({}), sequence_extension({})}));
    std::vector<std::string> tool =
        external_tool() ? external_tool_command() : std::vector<std::string>{tool_binary()};
    std::string command;
    for (const std::string& word : tool) command += "'" + word + "' ";
    command += "'" + path + "' >/dev/full 2>/dev/null";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

// Names outside any ANSI code page open in both modes (on Windows through
// the UTF-16 arguments and CreateFileW), and a rate in fullwidth digits is
// refused on every system. The tool runs in a UTF-8 locale, in which Wine
// hands such names on to a Windows program whole.
TEST(CommandLine, UnicodeFileNamesWorkInBothModes) {
    Bytes expected = read_file(std::string(M2VHDR_TEST_DATA) + "/mpeg1_qcif.report");
    std::string report(expected.begin(), expected.end());
    Bytes sample = read_file(std::string(M2VHDR_TEST_DATA) + "/mpeg1_qcif.m1v");
    SequenceHeader h;
    h.bit_rate_value = 1;
    Bytes original = concat({sequence_header(h), sequence_extension({})});
    h.bit_rate_value = 20000;  // 8000000 / 400
    Bytes rewritten = concat({sequence_header(h), sequence_extension({})});
    // C.UTF-8 is a C locale: a rate that is no plain number gets the usage
    // text the original command line has always printed.
    std::string refused = "引数が不正です。\nusage: " + binary_name() + " [input file] {bitrate(bit)}\n";
    if (external_tool()) refused = sjis(refused);

    ScratchDir dir;
    for (const char* name : {"日本語の名前.m2v", "\xF0\x9F\x8E\xAC clip.m2v"}) {
        SCOPED_TRACE(name);
        RunResult r = run_binary({"m2vhdr", dir.write(name, sample)}, false, "C.UTF-8");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, report);
        EXPECT_EQ(r.err, "");

        std::string path = dir.write(std::string("rw-") + name, original);
        r = run_binary({"m2vhdr", path, "８０００"}, false, "C.UTF-8");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, refused);
        EXPECT_EQ(read_file(path), original);
        r = run_binary({"m2vhdr", path, "8000000"}, false, "C.UTF-8");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read_file(path), rewritten);
    }
}

}  // namespace
