// Several files in one run: which argument is what, the line that names
// each file, failures that do not stop the rest, the combined status,
// JSON Lines, folders in name order, standard input, and --jobs giving the
// bytes of one job.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <regex>

#include "batch/batch.hpp"
#include "batch/batch_inputs.hpp"
#include "child_process.hpp"
#include "exit_status.hpp"
#include "tool_runner.hpp"

namespace {

const std::string kTry = "Try 'm2vhdr --help'.\n";

// A stream of `pictures` pictures in one GOP, with `rate` as its nominal
// bit rate (units of 400 bit/s).
Bytes stream_of(unsigned pictures, unsigned rate = 20000) {
    SequenceHeader h;
    h.bit_rate_value = rate;
    Bytes s = concat({sequence_header(h), sequence_extension({}), group_header({})});
    for (unsigned i = 0; i < pictures; ++i) append(s, picture_header({}));
    append(s, sequence_end());
    return s;
}

// The start of an MPEG-2 program stream: a pack header.
Bytes pack_header() {
    return {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8};
}

std::string header_line(const std::string& path) { return "==> " + path + " <==\n"; }

// What the tool prints for one file alone, run as `args` + path.
RunResult alone(std::vector<std::string> args, const std::string& path) {
    args.push_back(path);
    return run_tool(args);
}

// Which argument is what: the exact output of each command line.
struct ClassifyCase {
    std::vector<std::string> args;  // A and B stand for streams, M for a missing file
    int status;
    std::string err;  // A, B, M replaced by their paths
    const char* out;  // "A+B": both reports, each after its name line; "" nothing
};

class Classify : public ::testing::TestWithParam<ClassifyCase> {};

std::string with_paths(std::string text, const std::string& dir) {
    for (const char* name : {"A", "B", "M"}) {
        std::string token = std::string("{") + name + "}";
        for (std::size_t at; (at = text.find(token)) != std::string::npos;)
            text.replace(at, token.size(), dir + "/" + name + ".m2v");
    }
    return text;
}

TEST_P(Classify, ExactOutputAndStatus) {
    if (external_tool() && GetParam().err.find("cannot open") != std::string::npos)
        GTEST_SKIP() << "POSIX reasons";
    EnglishMessages english;
    ScratchDir dir;
    std::string a = dir.write("A.m2v", stream_of(2));
    std::string b = dir.write("B.m2v", stream_of(3, 30000));
    std::vector<std::string> argv = {"m2vhdr"};
    for (const std::string& arg : GetParam().args)
        argv.push_back(arg.size() == 1 && std::isupper(static_cast<unsigned char>(arg[0]))
                           ? dir.path() + "/" + arg + ".m2v"
                           : arg);
    RunResult r = run_tool(argv);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_EQ(r.err, with_paths(GetParam().err, dir.path()));
    std::string out = GetParam().out;
    if (out == "A+B") {
        out = header_line(a) + alone({"m2vhdr"}, a).out + header_line(b) + alone({"m2vhdr"}, b).out;
    } else if (out == "A+B+M") {
        out = header_line(a) + alone({"m2vhdr"}, a).out + header_line(b) +
              alone({"m2vhdr"}, b).out + header_line(dir.path() + "/M.m2v");
    }
    EXPECT_EQ(r.out, out);
    // The streams are left as they were, but by a rewrite of A.
    EXPECT_EQ(read_file(b), stream_of(3, 30000));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Classify,
    ::testing::Values(
        ClassifyCase{{"A", "B"}, 0, "", "A+B"},
        ClassifyCase{{"A", "--", "B"}, 0, "", "A+B"},
        // A rate second: the rewrite of the one file before it.
        ClassifyCase{{"A", "8000000", "B"}, 2, "m2vhdr: extra argument '{B}'\n" + kTry, ""},
        ClassifyCase{{"A", "auto", "B"}, 2, "m2vhdr: extra argument '{B}'\n" + kTry, ""},
        ClassifyCase{{"A", "5M", "B"}, 2, "m2vhdr: extra argument '{B}'\n" + kTry, ""},
        ClassifyCase{{"A", "5M"}, 2,
                     "m2vhdr: BITRATE is a whole number of bit/s, without a unit '5M'\n" + kTry,
                     ""},
        ClassifyCase{{"A", "1.5 Mbit/s"}, 2,
                     "m2vhdr: BITRATE is a whole number of bit/s, without a unit '1.5 Mbit/s'\n" +
                         kTry,
                     ""},
        ClassifyCase{{"A", "99999999999"}, 2,
                     "m2vhdr: BITRATE must be a whole number from 0 to 4294967295 "
                     "'99999999999'\n" +
                         kTry,
                     ""},
        // A rate third is a file like any other.
        ClassifyCase{{"A", "B", "M"}, 1,
                     "m2vhdr: cannot open '{M}': No such file or directory\nm2vhdr: '{M}' failed\n",
                     "A+B+M"},
        ClassifyCase{{"--stats", "--plot", "p.svg", "A", "B"}, 2,
                     "m2vhdr: only valid with one FILE '--plot'\n" + kTry, ""},
        ClassifyCase{{"--set", "video_format=1", "-"}, 2,
                     "m2vhdr: standard input cannot be rewritten in place (name a file called - "
                     "as ./-) '-'\n" +
                         kTry,
                     ""},
        ClassifyCase{{"A", "auto", "--", "-"}, 2, "m2vhdr: extra argument '-'\n" + kTry, ""},
        ClassifyCase{{"--pulldown", "3:2", "A", "-"}, 2,
                     "m2vhdr: standard input cannot be rewritten in place (name a file called - "
                     "as ./-) '-'\n" +
                         kTry,
                     ""},
        ClassifyCase{{"-j", "0", "A", "B"}, 2,
                     "m2vhdr: invalid value for --jobs (accepted: 1 to 64) '0'\n" + kTry, ""},
        ClassifyCase{{"--jobs=65", "A"}, 2,
                     "m2vhdr: invalid value for --jobs (accepted: 1 to 64) '65'\n" + kTry, ""},
        ClassifyCase{{"-j", "2", "A", "B"}, 0, "", "A+B"},
        ClassifyCase{{"--jobs=64", "A", "B"}, 0, "", "A+B"}));

// A rate-like word names a file only after the first two arguments; a name
// that merely starts with digits is a file.
TEST(Classify, NamesThatStartWithDigitsAreFiles) {
    EnglishMessages english;
    ScratchDir dir;
    std::string a = dir.write("A.m2v", stream_of(2));
    std::string year = dir.write("2023.ts", stream_of(1));
    std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    RunResult r = run_tool({"m2vhdr", "A.m2v", "2023.ts"});
    std::filesystem::current_path(here);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, header_line("A.m2v") + alone({"m2vhdr"}, a).out + header_line("2023.ts") +
                         alone({"m2vhdr"}, year).out);
}

// One file that cannot be opened and one program stream, between good
// ones: each says what is wrong and names itself, the rest go on; the run
// exits with the most serious status.
TEST(SeveralFiles, FailuresNameTheFileAndTheRunGoesOn) {
    if (external_tool()) GTEST_SKIP() << "POSIX reasons";
    EnglishMessages english;
    ScratchDir dir;
    std::string good = dir.write("good.m2v", stream_of(2));
    std::string missing = dir.path() + "/missing.m2v";
    std::string system = dir.write("system.mpg", concat({pack_header(), stream_of(1)}));
    std::string last = dir.write("last.m2v", stream_of(1, 30000));
    const std::string refused =
        "Found an MPEG System header. MPEG System files cannot be handled.\n"
        "m2vhdr: the video in a program or transport stream can be read with --demux\n";

    RunResult r = run_tool({"m2vhdr", good, missing, system, last});
    EXPECT_EQ(r.status, EXIT_FAILED);
    EXPECT_EQ(r.out, header_line(good) + alone({"m2vhdr"}, good).out + header_line(missing) +
                         header_line(system) + header_line(last) + alone({"m2vhdr"}, last).out);
    EXPECT_EQ(r.err, "m2vhdr: cannot open '" + missing +
                         "': No such file or directory\nm2vhdr: '" + missing + "' failed\n" +
                         refused + "m2vhdr: '" + system + "' failed\n");

    // The check: a stream that breaks a rule (3) yields to one that failed (1).
    std::string broken = dir.write("broken.m2v", stream_of(2, 0x3FFFF));
    RunResult check = run_tool({"m2vhdr", "--check", "dvd", good, broken});
    EXPECT_EQ(check.status, EXIT_RULE_BROKEN);
    EXPECT_EQ(check.err, "");
    RunResult worst = run_tool({"m2vhdr", "--check", "dvd", broken, missing, good});
    EXPECT_EQ(worst.status, EXIT_FAILED);
}

TEST(SeveralFiles, StatusIsTheMostSerious) {
    const struct {
        int a, b, worst;
    } cases[] = {{0, 0, 0}, {0, 3, 3}, {3, 0, 3}, {3, 1, 1}, {1, 3, 1}, {0, 1, 1}, {1, 0, 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(more_serious_status(c.a, c.b), c.worst) << c.a << " " << c.b;
    }
}

// --set on several files: each rewritten in turn, as it would be alone,
// with its own closing lines after the line that names it; a file that
// cannot be opened is named and the rest are still rewritten.
TEST(SeveralFiles, SetRewritesEachInTurn) {
    if (external_tool()) GTEST_SKIP() << "POSIX reasons";
    EnglishMessages english;
    ScratchDir dir;
    ScratchDir single;
    const std::vector<Bytes> streams = {stream_of(2), stream_of(4, 30000), stream_of(1, 0x3FFFF)};
    std::vector<std::string> argv = {"m2vhdr", "--set", "aspect_ratio_information=16:9", "--set",
                                     "bit_rate=6000000"};
    std::string out;
    std::string err;
    std::vector<Bytes> rewritten;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        std::string name = "s" + std::to_string(i) + ".m2v";
        std::string path = dir.write(name, streams[i]);
        std::string alone_path = single.write(name, streams[i]);
        RunResult one = alone({"m2vhdr", "--set", "aspect_ratio_information=16:9", "--set", "bit_rate=6000000"},
                              alone_path);
        ASSERT_EQ(one.status, 0) << one.err;
        ASSERT_NE(read_file(alone_path), streams[i]);
        rewritten.push_back(read_file(alone_path));
        out += header_line(path) + one.out;
        err += one.err;
        argv.push_back(path);
        if (i == 0) {
            std::string missing = dir.path() + "/missing.m2v";
            argv.push_back(missing);
            out += header_line(missing);
            err += "m2vhdr: cannot open '" + missing + "': No such file or directory\nm2vhdr: '" +
                   missing + "' failed\n";
        }
    }
    RunResult r = run_tool(argv);
    EXPECT_EQ(r.status, EXIT_FAILED);
    EXPECT_EQ(r.out, out);
    EXPECT_EQ(r.err, err);
    for (std::size_t i = 0; i < streams.size(); ++i)
        EXPECT_EQ(read_file(dir.path() + "/s" + std::to_string(i) + ".m2v"), rewritten[i]) << i;
}

// The pretty document of one file laid out on one line, as JSON Lines has
// it: the line breaks and indentation of the two outer levels dropped,
// members apart by ", ".
std::string on_one_line(const std::string& pretty) {
    std::string s = std::regex_replace(pretty, std::regex(",\n *"), ", ");
    s = std::regex_replace(s, std::regex("([\\[{])\n *"), "$1");
    s = std::regex_replace(s, std::regex("\n *([\\]}])"), "$1");
    return s;
}

// --json of several files: one document per line, each the same as the
// file's own document; a file that fails has its line with its status.
TEST(SeveralFiles, JsonLinesOneDocumentPerFile) {
    EnglishMessages english;
    ScratchDir dir;
    std::string a = dir.write("a.m2v", stream_of(2));
    std::string b = dir.write("b.m2v", stream_of(3, 30000));
    std::string missing = dir.path() + "/missing.m2v";
    for (std::vector<std::string> mode : {std::vector<std::string>{"--json"},
                                          {"--json", "--stats"},
                                          {"--json", "--check", "dvd"},
                                          {"--json", "--set", "video_format=2", "--dry-run"}}) {
        SCOPED_TRACE(mode.back());
        std::vector<std::string> argv = {"m2vhdr"};
        argv.insert(argv.end(), mode.begin(), mode.end());
        mode.insert(mode.begin(), "m2vhdr");
        std::string expected;
        for (const std::string& f : {a, missing, b}) {
            std::string pretty = alone(mode, f).out;
            ASSERT_NE(pretty.find('\n'), pretty.size() - 1) << "a pretty document";
            expected += on_one_line(pretty);
            argv.push_back(f);
        }
        RunResult r = run_tool(argv);
        EXPECT_EQ(r.status, EXIT_FAILED);
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
        // The second line is the missing file's, with its status.
        std::size_t second = r.out.find('\n') + 1;
        const std::string opening = "{\"file\": \"" + missing + "\", ";
        EXPECT_EQ(r.out.compare(second, opening.size(), opening), 0);
        EXPECT_NE(r.out.find("\"status\": \"error\"", second), std::string::npos);
    }
}

// A folder: its video files and those of its subfolders, in the byte order
// of the names; other files left; a link back up not followed again.
TEST(Folders, ReadInNameOrder) {
    EnglishMessages english;
    ScratchDir dir;
    std::string top = dir.path() + "/clips";
    std::filesystem::create_directories(top + "/b_sub/deeper");
    std::filesystem::create_directories(top + "/empty");
    const Bytes s = stream_of(1);
    const char* const video[] = {"b_sub/deeper/z.VOB", "b_sub/y.ts", "B.m2v",    "a.mpg",
                                 "b.M2TS",             "b_sub/x.trp", "c.mpeg", "d.m1v", "e.mpv",
                                 "f.m2t",              "g.mts",      "h.tp",     "a.m2v"};
    for (const char* name : video) dir.write(std::string("clips/") + name, s);
    for (const char* name : {"notes.txt", "a.m2v.bak", "mpg", ".ts"})
        dir.write(std::string("clips/") + name, s);
    symlink("..", (top + "/b_sub/up").c_str());

    BatchInputs inputs = expand_inputs({top.c_str()});
    EXPECT_TRUE(inputs.several);
    std::vector<std::string> paths;
    for (const BatchInput& in : inputs.list) {
        EXPECT_EQ(in.problem, InputProblem::NONE) << in.path;
        paths.push_back(in.path.substr(top.size() + 1));
    }
    const std::vector<std::string> expected = {
        "B.m2v", "a.m2v", "a.mpg", "b.M2TS", "b_sub/deeper/z.VOB", "b_sub/x.trp", "b_sub/y.ts",
        "c.mpeg", "d.m1v", "e.mpv", "f.m2t", "g.mts", "h.tp"};
    EXPECT_EQ(paths, expected);

    // A folder with no video file in it, one that does not exist.
    RunResult r = run_tool({"m2vhdr", "--stats", top + "/empty"});
    EXPECT_EQ(r.status, EXIT_FAILED);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "m2vhdr: no video file in the folder '" + top +
                         "/empty' (.m2v, .mpg, .vob, .ts, ...)\n");
}

TEST(Folders, UnreadableFolderIsNamedAndTheRestGoesOn) {
    if (external_tool()) GTEST_SKIP() << "POSIX permissions";
    ScratchDir dir;
    std::filesystem::create_directories(dir.path() + "/top/closed");
    std::string a = dir.write("top/a.m2v", stream_of(1));
    std::string z = dir.write("top/z.m2v", stream_of(1));
    chmod((dir.path() + "/top/closed").c_str(), 0);
    chmod(dir.path().c_str(), 0755);
    RunResult r = run_binary({tool_binary(), "--stats", dir.path() + "/top"}, true, "en_US.UTF-8");
    chmod((dir.path() + "/top/closed").c_str(), 0755);
    EXPECT_EQ(r.status, EXIT_FAILED);
    EXPECT_EQ(r.err, "m2vhdr: cannot read the folder '" + dir.path() + "/top/closed': " +
                         system_reason(EACCES, "en_US.UTF-8") + "\n");
    EXPECT_NE(r.out.find(header_line(dir.path() + "/top/z.m2v")), std::string::npos);
    EXPECT_LT(r.out.find(header_line(a)), r.out.find(header_line(z)));
}

// Standard input through a pipe, in each read-only mode: the same bytes as
// the file, but for its name.
TEST(StandardInput, PipeReadsAsTheFile) {
    if (external_tool()) GTEST_SKIP() << "a POSIX pipe";
    ScratchDir dir;
    Bytes stream = stream_of(40);
    std::string path = dir.write("s.m2v", stream);
    for (std::vector<std::string> mode :
         {std::vector<std::string>{}, {"--stats"}, {"--check", "dvd"}, {"--json"}}) {
        std::vector<std::string> argv = {tool_binary()};
        argv.insert(argv.end(), mode.begin(), mode.end());
        argv.push_back("-");
        int in[2], out[2];
        ASSERT_EQ(pipe(in), 0);
        ASSERT_EQ(pipe(out), 0);
        pid_t child = start_child(argv, in[0], out[1], -1);
        close(in[0]);
        close(out[1]);
        ASSERT_EQ(write(in[1], stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
        close(in[1]);
        std::string printed = read_all(out[0]);
        close(out[0]);
        int status = wait_child(child, 30);
        argv.back() = path;
        RunResult file = run_binary(argv);
        EXPECT_EQ(status, file.status);
        std::string expected = file.out;
        for (std::size_t at; (at = expected.find(path)) != std::string::npos;)
            expected.replace(at, path.size(), "-");
        // A pipe has no size known in advance.
        std::string size = "\"size\": " + std::to_string(stream.size());
        if (expected.find(size) != std::string::npos)
            expected.replace(expected.find(size), size.size(), "\"size\": null");
        EXPECT_EQ(printed, expected) << (mode.empty() ? "report" : mode[0]);
    }
}

// --jobs: the same bytes on each stream as one job, whatever the files; a
// file that fails and one that prints several MB included.
TEST(Jobs, SameBytesAsOneJob) {
    if (external_tool()) GTEST_SKIP() << "run by tests/windows with its own files";
    ScratchDir dir;
    dir.write("a.m2v", stream_of(3));
    dir.write("b.m2v", stream_of(200000));  // a report of several MB
    dir.write("c.mpg", concat({pack_header(), stream_of(1)}));
    dir.write("d.m2v", Bytes{});
    dir.write("e.m2v", stream_of(5, 0x3FFFF));
    std::string closed = dir.write("f.m2v", stream_of(2));
    chmod(closed.c_str(), 0);
    for (unsigned i = 0; i < 12; ++i) dir.write("g" + std::to_string(i) + ".m2v", stream_of(7 * i + 1));
    for (std::vector<std::string> mode :
         {std::vector<std::string>{}, {"--stats"}, {"--check", "dvd"}, {"--json"}}) {
        SCOPED_TRACE(mode.empty() ? "report" : mode[0]);
        std::vector<std::string> argv = {tool_binary()};
        argv.insert(argv.end(), mode.begin(), mode.end());
        argv.push_back(dir.path());
        argv.push_back(closed);
        RunResult one = run_binary(argv, true, "en_US.UTF-8");
        argv.insert(argv.begin() + 1, {"-j", "2"});
        RunResult two = run_binary(argv, true, "en_US.UTF-8");
        argv[2] = "5";
        RunResult five = run_binary(argv, true, "en_US.UTF-8");
        EXPECT_GT(one.out.size(), mode.empty() ? 4u << 20 : 0u);
        EXPECT_EQ(one.status, EXIT_FAILED);
        EXPECT_NE(one.err.find("f.m2v' failed\n"), std::string::npos);
        for (const RunResult* r : {&two, &five}) {
            EXPECT_EQ(r->status, one.status);
            EXPECT_TRUE(r->out == one.out) << "standard output differs";
            EXPECT_EQ(r->err, one.err);
        }
    }
}

}  // namespace
