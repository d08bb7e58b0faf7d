// The fixes --check prints on Windows, run as cmd.exe runs them: quoted for
// cmd.exe, whatever the name holds (blanks, '%' that could name a variable,
// the characters cmd.exe acts on), they patch the file they name.
#include <fstream>

#include "windows/exe_runner.hpp"

namespace {

using WindowsExe = NeedsWindowsBuild<::testing::Test>;

// `line` through cmd.exe /c, with the .exe's folder on PATH (tests/windows/
// cmd_line.cpp, named by M2VHDR_CMD_COMMAND).
RunResult run_in_cmd(const ScratchDir& dir, const std::string& line) {
    std::string program = tool_name("m2vhdr");
    std::string line_file = dir.path() + "/line.txt";
    std::ofstream(line_file, std::ios::binary) << line << "\r\n";
    std::vector<std::string> command = command_from("M2VHDR_CMD_COMMAND");
    command.insert(command.end(), {program.substr(0, program.rfind('\\')), line_file});
    return run_external(command);
}

TEST_F(WindowsExe, FixCommandsRunInCmd) {
    ScratchDir dir;
    const Bytes sample = read_file(std::string(M2VHDR_TEST_DATA) + "/pal_169_progressive.m2v");
    const std::string d = dir.path() + "/";
    // The name, and the word cmd.exe reads back as it: in double quotes, a
    // '%' that another follows outside them and a quote opening after it.
    const std::pair<std::string, std::string> cases[] = {
        {"my rec 100%.m2v", "\"" + d + "my rec 100%.m2v\""},
        {"a%PATH%b & c.m2v", "\"" + d + "a\"%\"PATH%b & c.m2v\""},
        {"(x) ^y; z,=1%%2!.m2v", "\"" + d + "(x) ^y; z,=1\"%\"%2!.m2v\""},
        {"50% off 20%.m2v", "\"" + d + "50\"%\" off 20%.m2v\""},
    };
    for (const auto& [name, word] : cases) {
        SCOPED_TRACE(name);
        std::string path = dir.write(name, sample);
        RunResult check = run_exe_raw({"m2vhdr", "--check", "dvd", path});
        std::string fix = "m2vhdr --set aspect_ratio_information=4:3 " + word;
        EXPECT_EQ(check.out, "FAIL aspect_ratio: 16:9 at 352x288 (first at 0x00000000, 3 times) - fix: " +
                                 fix + "\r\ndvd: 1 rule broken\r\n");
        RunResult json = run_exe_raw({"m2vhdr", "--json", "--check", "dvd", path});
        EXPECT_NE(json.out.find("\"fix_argv\": [\"m2vhdr\", \"--set\", \"aspect_ratio_information=4:3\", \"" +
                                path + "\"]"),
                  std::string::npos)
            << json.out;

        RunResult fixed = run_in_cmd(dir, fix);
        EXPECT_EQ(fixed.status, 0) << fixed.err;
        EXPECT_EQ(run_exe_raw({"m2vhdr", "--check", "dvd", path}).out, "dvd: compliant\r\n");
    }
}

}  // namespace
