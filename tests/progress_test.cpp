// The progress lines of a rewrite: which are drawn where, how often, and the
// count of sequences that ends the run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "child_process.hpp"
#include "rewrite/rewrite.hpp"
#include "tool_runner.hpp"

namespace {

std::uint64_t fake_now = 0;
std::uint64_t fake_clock() { return fake_now; }

std::string contents(std::FILE* f) {
    std::string text(static_cast<std::size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    text.resize(std::fread(text.data(), 1, text.size(), f));
    return text;
}

struct StyleCase {
    ProgressStyle style;
    const char* out;
};

// The same five calls at the times and positions below in each style. A
// terminal's line is redrawn at the header reached (base + pos), no sooner
// than 100 ms after the last; the original lines show the window's base at
// every call; the closing line reaches the whole file.
TEST(Progress, EachStyleDrawsItsLinesAtTheirTimes) {
    EnglishMessages english;
    struct Step {
        std::uint64_t ms, base;
        std::uint32_t pos;
    };
    const Step steps[] = {{1000, 0, 0}, {1050, 0, 300}, {1100, 400, 100}, {1199, 400, 200}, {1300, 900, 99}};
    const StyleCase cases[] = {
        {ProgressStyle::ORIGINAL,
         "Progress: 0/1000 bytes (0%)\rProgress: 0/1000 bytes (0%)\rProgress: 400/1000 bytes (40%)\r"
         "Progress: 400/1000 bytes (40%)\rProgress: 900/1000 bytes (90%)\r"
         "Progress: 900/1000 bytes (90%)\n"},
        {ProgressStyle::LIVE,
         "Progress: 0/1000 bytes (0%)\rProgress: 500/1000 bytes (50%)\r"
         "Progress: 999/1000 bytes (99%)\rProgress: 1000/1000 bytes (100%)\n"},
        {ProgressStyle::CLOSING_ONLY, "Progress: 1000/1000 bytes (100%)\n"},
        {ProgressStyle::NONE, ""},
    };
    for (const StyleCase& c : cases) {
        for (bool quiet_run : {false, true}) {  // a dry run, then a JSON one, print none
            SCOPED_TRACE(std::to_string(static_cast<int>(c.style)) + (quiet_run ? " dry run" : ""));
            StreamContext ctx;
            ctx.run.out = std::tmpfile();
            ASSERT_NE(ctx.run.out, nullptr);
            ctx.run.mode = Mode::REWRITE;
            stream_target(ctx).size = 1000;
            ctx.targets.count = 1;
            ctx.run.dry_run = quiet_run;
            ctx.progress.style = c.style;
            ctx.progress.clock = fake_clock;
            ctx.listener = choose_patch_listener(nullptr, quiet_run, ctx.progress);
            for (const Step& s : steps) {
                fake_now = s.ms;
                ctx.win.base_offset = s.base;
                ctx.win.pos = s.pos;
                tell_progress(ctx, ProgressPoint::PATCHED);
            }
            ctx.listener.listener->closing_progress(ctx.listener.state, ctx);
            EXPECT_EQ(contents(ctx.run.out), quiet_run ? "" : c.out);
            std::fclose(ctx.run.out);
        }
    }
}

// Where standard output goes: a terminal, a pipe or a file.
enum class Sink { TERMINAL, PIPE, FILE };

// The built binary in the C locale with its standard output on `sink`
// (a terminal in raw mode, so that its bytes come back as written).
RunResult run_into(Sink sink, const std::vector<std::string>& args) {
    std::vector<std::string> argv = args;
    argv.insert(argv.begin(), tool_binary());
    RunResult r;
    int read_fd = -1, write_fd = -1;
    ScratchDir dir;
    std::string out_path = dir.path() + "/out";
    if (sink == Sink::TERMINAL) {
        read_fd = posix_openpt(O_RDWR | O_NOCTTY);
        if (read_fd < 0 || grantpt(read_fd) != 0 || unlockpt(read_fd) != 0) return r;
        write_fd = open(ptsname(read_fd), O_RDWR | O_NOCTTY);
        termios raw = {};
        tcgetattr(write_fd, &raw);
        cfmakeraw(&raw);
        tcsetattr(write_fd, TCSANOW, &raw);
    } else if (sink == Sink::PIPE) {
        int fds[2];
        if (pipe(fds) != 0) return r;
        read_fd = fds[0];
        write_fd = fds[1];
    } else {
        write_fd = open(out_path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    }
    pid_t pid = start_child(argv, -1, write_fd, -1);
    close(write_fd);
    // A pipe is read while the child writes; a terminal holds the few
    // lines until the child is gone (then reads end in EIO).
    if (sink == Sink::PIPE) r.out = read_all(read_fd);
    r.status = wait_child(pid, 60);
    if (sink == Sink::TERMINAL) r.out = read_all(read_fd);
    if (sink == Sink::FILE) r.out = std::string(reinterpret_cast<const char*>(read_file(out_path).data()),
                                                read_file(out_path).size());
    if (read_fd >= 0) close(read_fd);
    return r;
}

// On a terminal the line is drawn at the first sequence header and then at
// most ten times a second: `out` is the 0% line, any further lines of the
// same file, then `tail`.
void expect_live(const std::string& out, std::uint64_t total, const std::string& tail) {
    std::string first = progress_line(0, total, 0, "\r");
    ASSERT_GE(out.size(), first.size() + tail.size()) << out;
    EXPECT_EQ(out.substr(0, first.size()), first);
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
    std::string middle = out.substr(first.size(), out.size() - first.size() - tail.size());
    const std::string prefix = progress_line(0, total, 0, "").substr(0, sjis("処理: ").size());
    for (std::size_t at = 0; at < middle.size();) {
        std::size_t end = middle.find('\r', at);
        ASSERT_NE(end, std::string::npos) << middle;
        std::string line = middle.substr(at, end + 1 - at);
        std::uint64_t done = std::stoull(line.substr(prefix.size()));
        EXPECT_EQ(line, progress_line(done, total, done * 100 / total, "\r"));
        at = end + 1;
    }
}

TEST(Progress, OnATerminalInAPipeAndInAFile) {
    if (external_tool()) GTEST_SKIP() << "this build's binary on a pseudo-terminal";
    ScratchDir dir;
    Bytes pair = concat({sequence_header({}), sequence_extension({})});
    const Bytes stream = concat({pair, pair, pair});
    const std::uint64_t n = stream.size();
    // C locale, the original form: its lines wherever they go, one per patch
    // (all in the first window: 0 done) and the closing one at the end.
    const std::string original = progress_line(0, n, 0, "\r") + progress_line(0, n, 0, "\r") +
                                 progress_line(0, n, 0, "\r") + progress_line(n, n, 100, "\n");
    const std::string set = "aspect_ratio_information=3";
    struct Case {
        Sink sink;
        std::vector<std::string> args;  // before the file
        std::string rate;               // after it
        std::string out;                // empty: a live terminal
    };
    const Case cases[] = {
        {Sink::TERMINAL, {}, "7000000", original},
        {Sink::PIPE, {}, "7000000", original},
        {Sink::FILE, {}, "7000000", original},
        {Sink::TERMINAL, {"--set", set}, "", ""},
        {Sink::PIPE, {"--set", set}, "", closing_line(n) + rewrite_summary(3, 0, 0)},
        {Sink::FILE, {"--set", set}, "", closing_line(n) + rewrite_summary(3, 0, 0)},
        {Sink::TERMINAL, {"-q"}, "7000000", rewrite_summary(3, 0, 0)},
        {Sink::PIPE, {"--quiet", "--set", set}, "", rewrite_summary(3, 0, 0)},
        {Sink::FILE, {"--quiet"}, "8000000", rewrite_summary(0, 3, 0)},
    };
    for (const Case& c : cases) {
        std::string path = dir.write("s.m2v", stream);
        std::vector<std::string> args = c.args;
        args.push_back(path);
        if (!c.rate.empty()) args.push_back(c.rate);
        SCOPED_TRACE(std::to_string(static_cast<int>(c.sink)) + " " + args[0]);
        RunResult r = run_into(c.sink, args);
        EXPECT_EQ(r.status, 0);
        if (c.out.empty()) expect_live(r.out, n, closing_line(n) + rewrite_summary(3, 0, 0));
        else EXPECT_EQ(r.out, c.out);
    }
}

}  // namespace
