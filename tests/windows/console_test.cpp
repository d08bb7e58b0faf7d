// m2vhdr.exe on a console: Wine gives a program whose standard streams are
// a terminal a console of its own, which shows text written with
// WriteConsoleW in the terminal's UTF-8. Bytes in Shift_JIS would reach it
// through the console's code page instead and come out garbled.
#include "windows/exe_runner.hpp"

namespace {

using WindowsConsole = NeedsWindowsBuild<::testing::Test>;

// What the terminal (a pseudo-terminal of script(1)) showed of the run, in
// a locale whose language is Wine's UI language (ja_JP.UTF-8: see
// tools/wine-session).
std::string on_terminal(const std::vector<std::string>& args, const char* locale = "ja_JP.UTF-8") {
    std::string line;
    for (const std::string& word : external_tool_command()) line += word + " ";
    for (std::size_t i = 1; i < args.size(); ++i) line += args[i] + " ";
    // Started again when Wine did not run it, as run_external does.
    RunResult r;
    for (int attempt = 0; attempt < 3; ++attempt) {
        r = run_command({"script", "-qec", line, "/dev/null"}, locale);
        if (!r.out.empty() && r.out.find("wine:") == std::string::npos) break;
    }
    return r.out;
}

TEST_F(WindowsConsole, MessagesReadRightWhateverTheCodePage) {
    ScratchDir dir;
    std::string missing = on_terminal({"m2vhdr", dir.path() + "/missing.m2v"});
    EXPECT_NE(missing.find("読み取りファイルが開けませんでした。"), std::string::npos) << missing;
    EXPECT_EQ(missing.find(sjis("読み取り")), std::string::npos) << missing;

    std::string usage = on_terminal({"m2vhdr"});
    EXPECT_NE(usage.find("引数が不正です。"), std::string::npos) << usage;

    std::string path = dir.write("s.m2v", concat({sequence_header({}), sequence_extension({})}));
    std::string progress = on_terminal({"m2vhdr", path, "8000000"});
    EXPECT_NE(progress.find("処理: 22/22バイト (100%)"), std::string::npos) << progress;
    EXPECT_EQ(read_file(path)[8], 0x13);  // 8000000 / 400 = 20000: 0x13 of 0x4E20 << 2

    // An English UI: the English text, on the console as in a file.
    std::string english = on_terminal({"m2vhdr", dir.path() + "/missing.m2v"}, "en_US.UTF-8");
    // Not an original form in its own locale: the file and Windows' reason.
    EXPECT_NE(english.find("m2vhdr: cannot open '" + dir.path() + "/missing.m2v': File not found"),
              std::string::npos)
        << english;

    // The reason in the Japanese of the UI, on the console as text.
    std::string reason = on_terminal({"m2vhdr", "--json", dir.path() + "/missing.m2v"});
    EXPECT_NE(reason.find("' を開けません: ファイルが見つかりません"), std::string::npos) << reason;
    EXPECT_EQ(english.find(sjis("読み取り")), std::string::npos) << english;
}

}  // namespace
