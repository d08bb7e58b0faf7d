// The messages in both encodings, and the locale that chooses between them.
#include <gtest/gtest.h>

#include "messages.hpp"
#include "tool_runner.hpp"

namespace {

std::string utf8_of(char32_t c) {
    std::string s;
    if (c < 0x800) {
        s += static_cast<char>(0xC0 | c >> 6);
    } else {
        s += static_cast<char>(0xE0 | c >> 12);
        s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    }
    return s + static_cast<char>(0x80 | (c & 0x3F));
}

// Each message's Shift_JIS form, derived while compiling, is what iconv
// makes of its UTF-8 text; so is each pair of the character table.
TEST(Messages, ShiftJisFormIsIconvOfTheText) {
    for (const Message* m : msg::all) EXPECT_EQ(m->shift_jis, sjis(m->utf8)) << m->utf8;
    for (const ShiftJisCode& c : shift_jis_codes) {
        std::string code = {static_cast<char>(c.shift_jis >> 8), static_cast<char>(c.shift_jis & 0xFF)};
        EXPECT_EQ(code, sjis(utf8_of(c.code_point))) << std::hex << static_cast<unsigned>(c.code_point);
    }
}

TEST(Messages, InProcessEncodingFollowsTheSetting) {
    message_encoding = MessageEncoding::UTF8;
    RunResult utf8 = run_in_process({"m2vhdr"});
    message_encoding = MessageEncoding::SHIFT_JIS;
    RunResult shift_jis = run_in_process({"m2vhdr"});
    const std::string usage = "引数が不正です。\nusage: m2vhdr [input file] {bitrate(bit)}\n";
    EXPECT_EQ(utf8.err, usage);
    EXPECT_EQ(shift_jis.err, sjis(usage));
}

struct LocaleCase {
    std::vector<std::string> environment;  // for env(1), LC_ALL left out
    bool utf8;
    friend void PrintTo(const LocaleCase& c, std::ostream* os) {
        for (const std::string& e : c.environment) *os << e << ' ';
    }
};

class LocaleSwitch : public ::testing::TestWithParam<LocaleCase> {};

// The binary writes its messages (standard error, and the progress line on
// standard output) as UTF-8 exactly where the locale's codeset is UTF-8,
// with LC_ALL before LC_CTYPE before LANG; a Windows build writes Shift_JIS
// to files whatever the locale.
TEST_P(LocaleSwitch, ChoosesTheEncodingOfEveryMessage) {
    const LocaleCase& c = GetParam();
    bool utf8 = c.utf8 && !external_tool();
    auto text = [&](const std::string& s) { return utf8 ? s : sjis(s); };
    std::vector<std::string> command = {"env", "-u", "LC_CTYPE", "-u", "LANG"};
    command.insert(command.end(), c.environment.begin(), c.environment.end());
    std::vector<std::string> tool = external_tool() ? external_tool_command()
                                                    : std::vector<std::string>{tool_binary()};
    command.insert(command.end(), tool.begin(), tool.end());
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), command.begin(), command.end());
        RunResult r = external_tool() ? run_external(args, nullptr) : run_command(args, nullptr);
        if (external_tool()) {
            for (std::string* s : {&r.out, &r.err}) {
                for (std::size_t at; (at = s->find("\r\n")) != std::string::npos;) s->erase(at, 1);
            }
        }
        return r;
    };

    RunResult usage = run({});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, text("引数が不正です。\nusage: ") + binary_name() +
                             " [input file] {bitrate(bit)}\n");

    ScratchDir dir;
    RunResult missing = run({dir.path() + "/missing.m2v"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, text("読み取りファイルが開けませんでした。\n"));

    std::string path = dir.write("s.m2v", concat({sequence_header({}), sequence_extension({})}));
    RunResult rewrite = run({path, "8000000"});
    EXPECT_EQ(rewrite.status, 0);
    EXPECT_EQ(rewrite.err, "");
    EXPECT_EQ(rewrite.out, text("処理: 0/22バイト (0%)") + "\r" + text("処理: 22/22バイト (100%)") + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Table, LocaleSwitch,
    ::testing::Values(LocaleCase{{}, false}, LocaleCase{{"LC_ALL=C"}, false},
                      LocaleCase{{"LC_ALL=POSIX"}, false}, LocaleCase{{"LC_ALL=C.UTF-8"}, true},
                      LocaleCase{{"LANG=C.UTF-8"}, true},
                      LocaleCase{{"LANG=C", "LC_CTYPE=C.UTF-8"}, true},
                      LocaleCase{{"LC_ALL=C", "LC_CTYPE=C.UTF-8", "LANG=C.UTF-8"}, false},
                      LocaleCase{{"LC_ALL=C.UTF-8", "LC_CTYPE=C"}, true},
                      // Not installed: setlocale fails and the C locale stays.
                      LocaleCase{{"LC_ALL=xx_YY.UTF-8"}, false}));

}  // namespace
