// Two real m2vhdr processes on the same file. The first is held in the
// middle of its run by a standard output that nobody reads until the pipe is
// full; meanwhile a second one starts. A rewrite never shares the file: it
// is refused beside a running report or rewrite, and a report is refused
// beside a running rewrite. A report piped into `head` ends quietly.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "child_process.hpp"
#include "tool_runner.hpp"

namespace {

constexpr std::uint32_t HOLDER_RATE = 120000000;  // q = 300000
const char* const OPEN_FAILED = "読み取りファイルが開けませんでした。\n";

struct Held {
    pid_t pid = -1;
    int out = -1;
};

// Starts the binary and returns once it is stuck printing into a full pipe,
// with the file open and locked.
Held hold(const std::vector<std::string>& args) {
    int fds[2];
    Held h;
    if (pipe(fds) != 0) return h;
    std::vector<std::string> argv = args;
    argv.insert(argv.begin(), tool_binary());
    h.pid = start_child(argv, -1, fds[1], -1);
    close(fds[1]);
    h.out = fds[0];
    int capacity = fcntl(h.out, F_GETPIPE_SZ);
    for (int i = 0; i < 2000; ++i) {
        int queued = 0;
        ioctl(h.out, FIONREAD, &queued);
        if (queued >= capacity) return h;
        usleep(10 * 1000);
    }
    ADD_FAILURE() << "the first process never filled its output pipe";
    return h;
}

int release(Held& h) {
    read_all(h.out);
    close(h.out);
    return wait_child(h.pid, 60);
}

// `count` sequences; with `target`, as a rewrite to HOLDER_RATE leaves them.
Bytes sequences(std::size_t count, bool target) {
    SequenceHeader h;
    h.bit_rate_value = 20000;
    SequenceExtension e;
    if (target) {
        h.bit_rate_value = (HOLDER_RATE / 400) & 0x3FFFF;
        e.bit_rate_extension = (HOLDER_RATE / 400) >> 18;
    }
    Bytes one = concat({sequence_header(h), sequence_extension(e)});
    Bytes s;
    for (std::size_t i = 0; i < count; ++i) append(s, one);
    return s;
}

TEST(TwoProcesses, RewriteIsRefusedWhileAReportRuns) {
    if (external_tool())
        GTEST_SKIP() << "the refusal rests on this system's advisory locks; the Windows suite "
                        "tests share modes with a second Windows process";
    ScratchDir dir;
    Bytes original = sequences(3000, false);
    std::string path = dir.write("s.m2v", original);
    Held report = hold({path});

    RunResult rewrite = run_binary({"m2vhdr", path, "8000000"});
    EXPECT_EQ(rewrite.status, 1);
    EXPECT_EQ(rewrite.out, "");
    EXPECT_EQ(rewrite.err, sjis(OPEN_FAILED));
    EXPECT_EQ(read_file(path), original);
    // Reports share the file.
    RunResult second = run_binary({"m2vhdr", path});
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.err, "");

    EXPECT_EQ(release(report), 0);
    EXPECT_EQ(read_file(path), original);
}

TEST(TwoProcesses, ReportAndRewriteAreRefusedWhileARewriteRuns) {
    if (external_tool())
        GTEST_SKIP() << "the refusal rests on this system's advisory locks; the Windows suite "
                        "tests share modes with a second Windows process";
    ScratchDir dir;
    // Enough sequences for the progress lines to fill the pipe.
    std::string path = dir.write("s.m2v", sequences(12000, false));
    Held rewrite = hold({path, std::to_string(HOLDER_RATE)});

    RunResult report = run_binary({"m2vhdr", path});
    EXPECT_EQ(report.status, 1);
    EXPECT_EQ(report.out, "");
    EXPECT_EQ(report.err, sjis(OPEN_FAILED));
    RunResult second = run_binary({"m2vhdr", path, "8000000"});
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err, sjis(OPEN_FAILED));

    // Only the first rewrite's rate is in the file.
    EXPECT_EQ(release(rewrite), 0);
    EXPECT_EQ(read_file(path), sequences(12000, true));
}

TEST(TwoProcesses, ReportPipedIntoHeadEndsQuietly) {
    ScratchDir dir;
    std::string path = dir.write("s.m2v", sequences(5000, false));
    std::string err_path = dir.path() + "/err";
    std::string status_path = dir.path() + "/status";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t shell = start_child(
        {"/bin/sh", "-c", "{ \"$0\" \"$1\" 2>\"$2\"; echo $? >\"$3\"; } | head -n 1",
         tool_binary(), path, err_path, status_path},
        -1, out[1], -1);
    close(out[1]);
    std::string printed = read_all(out[0]);
    close(out[0]);
    ASSERT_EQ(wait_child(shell, 60), 0) << "-1: hung";
    EXPECT_EQ(printed, "00000000: SEQUENCE_HEADER_CODE\n");
    Bytes err = read_file(err_path);
    EXPECT_EQ(std::string(err.begin(), err.end()), "");
    // Ended by SIGPIPE (128 + 13) as the pipe closed.
    Bytes status = read_file(status_path);
    EXPECT_EQ(std::string(status.begin(), status.end()), "141\n");
}

}  // namespace
