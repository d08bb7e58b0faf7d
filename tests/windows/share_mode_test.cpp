// The share mode of m2vhdr.exe's open, against a second Windows process
// (hold_file.exe) that holds the file.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "windows/exe_runner.hpp"

extern char** environ;

namespace {

const std::string kOpenFailed = "読み取りファイルが開けませんでした。\n";

// hold_file.exe under Wine, holding `path` until release() or destruction.
class Holder {
public:
    Holder(const std::string& path, const std::string& access, const std::string& share) {
        std::vector<std::string> command = command_from("M2VHDR_HOLD_COMMAND");
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

using WindowsShareMode = NeedsWindowsBuild<::testing::TestWithParam<HoldCase>>;

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

}  // namespace
