// m2vhdr.exe expands `*` and `?` in its file arguments itself, as cmd.exe
// leaves them: the names FindFirstFileW matches, in name order, the folder
// part as typed; a pattern that matches nothing is an error that names it,
// and the run goes on to the next argument.
#include "windows/exe_runner.hpp"

namespace {

class WindowsPatterns : public NeedsWindowsBuild<::testing::Test> {};

Bytes stream_with_rate(unsigned rate) {
    SequenceHeader h;
    h.bit_rate_value = rate;
    return concat({sequence_header(h), sequence_extension({}), group_header({}),
                   picture_header({}), sequence_end()});
}

std::string named(const std::string& path) { return "==> " + path + " <==\r\n"; }

TEST_F(WindowsPatterns, ExpandsInNameOrderAndNamesAPatternWithoutMatch) {
    ScratchDir dir;
    std::string b = dir.write("b.m2v", stream_with_rate(30000));
    std::string a = dir.write("a.m2v", stream_with_rate(20000));
    std::string long_name = dir.write("long.m2v", stream_with_rate(40000));
    dir.write("c.ts", stream_with_rate(50000));
    std::vector<std::string> command = external_tool_command();
    auto alone = [&](const std::string& path) {
        std::vector<std::string> c = command;
        c.push_back(path);
        return run_external(c, "en_US.UTF-8").out;
    };
    const std::string folder = dir.path() + "/";

    std::vector<std::string> star = command;
    star.push_back(folder + "*.m2v");
    RunResult r = run_external(star, "en_US.UTF-8");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, named(folder + "a.m2v") + alone(a) + named(folder + "b.m2v") + alone(b) +
                         named(folder + "long.m2v") + alone(long_name));

    // `?` is one character; a pattern without a match is named, and the
    // run goes on.
    std::vector<std::string> mixed = command;
    mixed.insert(mixed.end(), {folder + "?.m2v", folder + "*.vob", folder + "lon?.m2v"});
    r = run_external(mixed, "en_US.UTF-8");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "m2vhdr: no file matches '" + folder + "*.vob'\r\n");
    EXPECT_EQ(r.out, named(folder + "a.m2v") + alone(a) + named(folder + "b.m2v") + alone(b) +
                         named(folder + "long.m2v") + alone(long_name));

    // The same through --stats with two jobs, and as JSON Lines.
    std::vector<std::string> json = command;
    json.insert(json.end(), {"--json", "-j", "2", folder + "?.m2v"});
    r = run_external(json, "en_US.UTF-8");
    EXPECT_EQ(r.status, 0);
    std::size_t first = r.out.find("\r\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(r.out.compare(0, 11 + folder.size(), "{\"file\": \"" + folder + "a"), 0);
    EXPECT_EQ(r.out.compare(first + 2, 11 + folder.size(), "{\"file\": \"" + folder + "b"), 0);
    EXPECT_EQ(r.out.size(), r.out.find("\r\n", first + 2) + 2);
}

}  // namespace
