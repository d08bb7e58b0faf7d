// The language of m2vhdr.exe's messages: Japanese where the user's UI
// language is Japanese, English otherwise; written to a file, Japanese is
// Shift_JIS whatever the codeset, English ASCII. Wine takes the UI language
// from LC_ALL (POSIX is English there).
#include "windows/exe_runner.hpp"

namespace {

struct UiCase {
    const char* lc_all;
    bool japanese;
    const char* reason;  // Wine's text for a missing file in that UI language
    friend void PrintTo(const UiCase& c, std::ostream* os) { *os << "LC_ALL=" << c.lc_all; }
};

class WindowsUiLanguage : public NeedsWindowsBuild<::testing::TestWithParam<UiCase>> {};

TEST_P(WindowsUiLanguage, ChoosesTheMessages) {
    const UiCase& c = GetParam();
    auto text = [&](const std::string& japanese, const std::string& english) {
        return c.japanese ? sjis(japanese) : english;
    };
    std::vector<std::string> command = external_tool_command();
    ScratchDir dir;
    command.push_back(dir.path() + "/missing.m2v");
    RunResult missing = run_external(command, c.lc_all);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    // A Japanese UI is the original locale; elsewhere the file is named with
    // the reason of Wine's message table, in the UI's language.
    EXPECT_EQ(missing.err, text("読み取りファイルが開けませんでした。\r\n",
                                "m2vhdr: cannot open '" + command.back() + "': " + c.reason + "\r\n"));

    command.back() = "--pulldown=none";
    command.push_back(dir.write("s.m2v", concat({sequence_header({}), sequence_extension({})})));
    RunResult refused = run_external(command, c.lc_all);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, text("3:2 プルダウンを解除できません: ファイルにピクチャがありません。"
                                "ファイルは変更していません\r\n",
                                "cannot remove 3:2 pulldown: no picture in the file; the file is "
                                "unchanged\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Table, WindowsUiLanguage,
                         ::testing::Values(UiCase{"ja_JP.UTF-8", true, ""}, UiCase{"ja_JP.eucJP", true, ""},
                                           UiCase{"en_US.UTF-8", false, "File not found"},
                                           UiCase{"de_DE.UTF-8", false, "Datei nicht gefunden"},
                                           UiCase{"POSIX", false, "File not found"}));

}  // namespace
