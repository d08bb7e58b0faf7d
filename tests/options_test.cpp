// Options: --help, --version, `--`, unknown options, options after the file.
#include <gtest/gtest.h>

#include <filesystem>

#include "tool_runner.hpp"

namespace {

Bytes small_stream() {
    return concat({sequence_header({}), sequence_extension({}), group_header({}),
                   picture_header({}), sequence_end()});
}

// What a run must print; "HELP" stands for the help text.
struct OptionCase {
    std::vector<std::string> args;  // FILE stands for a scratch stream
    int status;
    std::string out;
    bool usage_error;
};

TEST(Options, Table) {
    const std::string version = std::string("m2vhdr ") + M2VHDR_PROJECT_VERSION + "\n";
    const std::vector<OptionCase> cases = {
        {{"--version"}, 0, version, false},
        {{"FILE", "--version"}, 0, version, false},
        {{"-h"}, 0, "HELP", false},
        {{"--help"}, 0, "HELP", false},
        {{"FILE", "8000000", "--help"}, 0, "HELP", false},
        {{"--help=yes"}, 2, "", true},
        {{"--bogus", "FILE"}, 2, "", true},
        {{"FILE", "-x"}, 2, "", true},
        {{"FILE", "8000000", "--bogus"}, 2, "", true},
        {{"-hx"}, 2, "", true},
        {{"--"}, 2, "", true},
        {{"FILE", "--pulldown", "2:3"}, 2, "", true},
        {{"FILE", "--pulldown"}, 2, "", true},
        {{"FILE", "8000000", "--pulldown", "3:2"}, 2, "", true},
        // One job per run.
        {{"--stats", "FILE", "8000000"}, 2, "", true},
        {{"--stats", "--pulldown=3:2", "FILE"}, 2, "", true},
        {{"--set", "video_format=1", "--pulldown", "none", "FILE"}, 2, "", true},
        {{"--json", "FILE", "auto"}, 2, "", true},
        {{"--dry-run", "FILE"}, 2, "", true},
        {{"--check", "FILE"}, 2, "", true},
        {{"--check", "hddvd", "FILE"}, 2, "", true},
        {{"--check", "dvd", "FILE", "8000000"}, 2, "", true},
        {{"--check", "dvd", "FILE", "auto"}, 2, "", true},
        {{"--check=bluray", "--set", "video_format=1", "FILE"}, 2, "", true},
        {{"--check", "dvd", "--pulldown", "3:2", "FILE"}, 2, "", true},
        {{"--check", "dvd", "--stats", "FILE"}, 2, "", true},
        {{"--check", "dvd", "--dry-run", "FILE"}, 2, "", true},
        {{"FILE", "--check=bluray"}, 0, "bluray: compliant\n", false},
        {{"--check", "dvd", "--", "FILE"}, 0, "dvd: compliant\n", false},
    };
    ScratchDir dir;
    const Bytes stream = small_stream();
    std::string help;
    for (const OptionCase& c : cases) {
        std::string path = dir.write("s.m2v", stream);
        std::vector<std::string> args = {"m2vhdr"};
        for (const std::string& a : c.args) args.push_back(a == "FILE" ? path : a);
        RunResult r = run_tool(args);
        std::string what = ::testing::PrintToString(c.args);
        EXPECT_EQ(r.status, c.status) << what;
        // A usage error names what is wrong in one line (diagnostics_test
        // has the texts), then points to --help.
        const std::string try_help = sjis("詳しくは 'm2vhdr --help' を実行してください。\n");
        if (c.usage_error) {
            EXPECT_EQ(r.err.rfind("m2vhdr: ", 0), 0u) << what;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - try_help.size() - 1) << what;
            EXPECT_EQ(r.err.substr(r.err.find('\n') + 1), try_help) << what;
        } else {
            EXPECT_EQ(r.err, "") << what;
        }
        EXPECT_EQ(read_file(path), stream) << what;
        if (c.out != "HELP") {
            EXPECT_EQ(r.out, c.out) << what;
            continue;
        }
        // The help names the two forms and every option, and is the same
        // wherever the option stands.
        EXPECT_EQ(r.out.rfind("Usage: m2vhdr [OPTION]... FILE...  ", 0), 0u) << r.out;
        for (const char* option : {"-h, --help", "--version", "\n  --  ", "Exit status:",
                                   "\n      --check dvd|bluray  ",
                                   // the statuses of --check a script tells apart
                                   "\n  0  the run completed (warnings included); (--check) "
                                   "FILE breaks no rule\n",
                                   "; (--check) FILE could not be read or\n     was refused\n",
                                   "\n  2  usage error\n  3  (--check) FILE breaks a rule of "
                                   "the profile\n"})
            EXPECT_NE(r.out.find(option), std::string::npos) << option;
        if (help.empty()) help = r.out;
        EXPECT_EQ(r.out, help) << what;
    }
}

// After `--` a name that starts with '-' is a file; without it, an option.
TEST(Options, DoubleDashNamesAFileStartingWithDash) {
    ScratchDir dir;
    dir.write("-x.m2v", small_stream());
    std::string plain = dir.write("plain.m2v", small_stream());
    std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    RunResult dashed = run_tool({"m2vhdr", "--", "-x.m2v"});
    RunResult rewrite = run_tool({"m2vhdr", "-x.m2v", "--", "--", "400"});
    std::filesystem::current_path(here);
    RunResult expected = run_tool({"m2vhdr", plain});

    EXPECT_EQ(dashed.status, 0) << dashed.err;
    EXPECT_EQ(dashed.out, expected.out);
    EXPECT_NE(dashed.out.find("SEQUENCE_EXTENSION"), std::string::npos);
    EXPECT_EQ(rewrite.status, 2);  // "-x.m2v" before `--` is an unknown option
    EXPECT_EQ(read_file(dir.path() + "/-x.m2v"), small_stream());
}

}  // namespace
