// The messages in both languages and all three encodings, and the locale
// that chooses between them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "demux/demux_messages.hpp"
#include "messages.hpp"
#include "pulldown/messages.hpp"
#include "rewrite/rewrite_messages.hpp"
#include "stats/stats_messages.hpp"
#include "tool_runner.hpp"

namespace {

std::vector<const Message*> every_message() {
    std::vector<const Message*> all;
    all.insert(all.end(), std::begin(msg::all), std::end(msg::all));
    all.insert(all.end(), std::begin(rewrite_msg::all), std::end(rewrite_msg::all));
    all.insert(all.end(), std::begin(stats_msg::all), std::end(stats_msg::all));
    all.insert(all.end(), std::begin(pulldown_msg::all), std::end(pulldown_msg::all));
    all.insert(all.end(), std::begin(demux_msg::all), std::end(demux_msg::all));
    return all;
}

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

struct Encoding {
    MessageEncoding encoding;
    const char* iconv_name;
};
constexpr Encoding kEncodings[] = {{MessageEncoding::SHIFT_JIS, "CP932"},
                                   {MessageEncoding::UTF8, "UTF-8"},
                                   {MessageEncoding::EUC_JP, "EUC-JP"}};

// Sets the language and encoding of this process's messages while it lives.
struct InProcess {
    InProcess(Language l, MessageEncoding e) {
        message_language = l;
        message_encoding = e;
    }
    ~InProcess() {
        message_language = Language::JAPANESE;
        message_encoding = MessageEncoding::SHIFT_JIS;
    }
};

// Every message in each language and encoding is what iconv makes of its
// text: the Japanese converted from UTF-8, the English as it is. Each has
// both texts, and they are not the same text twice.
TEST(Messages, EveryMessageInBothLanguagesThroughIconv) {
    std::FILE* file = std::tmpfile();
    for (Language language : {Language::JAPANESE, Language::ENGLISH}) {
        for (const Encoding& e : kEncodings) {
            InProcess in(language, e.encoding);
            for (const Message* m : every_message()) {
                SCOPED_TRACE(m->english);
                std::string expected =
                    language == Language::ENGLISH ? m->english : iconv_to(e.iconv_name, m->japanese);
                EXPECT_EQ(message_format(file, *m), expected) << e.iconv_name;
                EXPECT_NE(std::string(m->japanese), m->english);
                EXPECT_NE(iconv_to("CP932", m->japanese), m->japanese) << "no Japanese in it";
            }
        }
    }
    std::fclose(file);
    for (const JisCode& c : jis_codes) {
        std::string code = {static_cast<char>(c.shift_jis >> 8), static_cast<char>(c.shift_jis & 0xFF)};
        EXPECT_EQ(code, sjis(utf8_of(c.code_point))) << std::hex << static_cast<unsigned>(c.code_point);
        std::uint16_t euc = euc_jp_of_shift_jis(c.shift_jis);
        EXPECT_EQ(std::string({static_cast<char>(euc >> 8), static_cast<char>(euc & 0xFF)}),
                  iconv_to("EUC-JP", utf8_of(c.code_point)));
    }
}

// print_message formats the text of the language and encoding set.
TEST(Messages, InProcessRunFollowsTheSetting) {
    const std::string japanese = "引数が不正です。\nusage: m2vhdr [input file] {bitrate(bit)}\n";
    for (const Encoding& e : kEncodings) {
        {
            InProcess in(Language::JAPANESE, e.encoding);
            EXPECT_EQ(run_in_process({"m2vhdr"}).err, iconv_to(e.iconv_name, japanese));
        }
        InProcess in(Language::ENGLISH, e.encoding);
        EXPECT_EQ(run_in_process({"m2vhdr"}).err,
                  "Invalid arguments.\nusage: m2vhdr [input file] {bitrate(bit)}\n");
    }
}

// A message rendered into a job's buffer is what print_message writes, in
// each language and encoding, for texts short and longer than the first
// attempt's room.
TEST(Messages, RenderedIntoABufferAsPrinted) {
    const std::string name = "a.m2v";
    const std::string long_name = std::string(300, 'x') + ".m2v";
    std::FILE* file = std::tmpfile();
    for (Language language : {Language::JAPANESE, Language::ENGLISH}) {
        for (const Encoding& e : kEncodings) {
            InProcess in(language, e.encoding);
            for (const std::string& path : {name, long_name}) {
                std::string expected = language == Language::ENGLISH
                                           ? "m2vhdr: cannot open '" + path + "': gone\n"
                                           : iconv_to(e.iconv_name, "m2vhdr: '" + path + "' を開けません: gone\n");
                std::string buffer = "before|";
                render_message(buffer, file, msg::open_failed_named, path.c_str(), "gone");
                EXPECT_EQ(buffer, "before|" + expected) << e.iconv_name;
                std::rewind(file);
                print_message(file, msg::open_failed_named, path.c_str(), "gone");
                std::fflush(file);
                std::string printed(expected.size(), '\0');
                std::rewind(file);
                EXPECT_EQ(std::fread(printed.data(), 1, printed.size(), file), printed.size());
                EXPECT_EQ(printed, expected);
            }
        }
    }
    std::fclose(file);
}

struct LocaleCase {
    std::vector<std::string> environment;  // for env(1), after clearing every LC_* and LANG
    const char* expected;                  // "en", or the iconv name of the Japanese bytes
    bool original = false;                 // C or POSIX: the original lines
    friend void PrintTo(const LocaleCase& c, std::ostream* os) {
        for (const std::string& e : c.environment) *os << e << ' ';
    }
};

class LocaleSwitch : public ::testing::TestWithParam<LocaleCase> {};

// The binary writes its messages (standard error, and the progress line on
// standard output) in the language of LC_ALL, LC_MESSAGES or LANG, the first
// set, and in the codeset of LC_CTYPE (LC_ALL, LC_CTYPE, LANG), taken from
// the name when the locale is not installed.
TEST_P(LocaleSwitch, ChoosesLanguageAndEncodingOfEveryMessage) {
    if (external_tool()) GTEST_SKIP() << "POSIX locales; tests/windows checks the UI language";
    const LocaleCase& c = GetParam();
    bool english = std::string(c.expected) == "en";
    auto text = [&](const std::string& japanese, const std::string& in_english) {
        return english ? in_english : iconv_to(c.expected, japanese);
    };
    std::vector<std::string> command = {"env"};
    for (const char* v : {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANG", "LANGUAGE"})
        command.insert(command.end(), {"-u", v});
    command.insert(command.end(), c.environment.begin(), c.environment.end());
    command.push_back(tool_binary());
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), command.begin(), command.end());
        return run_command(args, nullptr);
    };

    // The locale of the messages: the first of LC_ALL, LC_MESSAGES and LANG
    // set. In C, POSIX or none the original forms print their first texts;
    // elsewhere a failure names the file and the system's reason, in the
    // language that locale gives (English where it is not installed).
    std::string messages;
    for (const char* variable : {"LC_ALL=", "LC_MESSAGES=", "LANG="}) {
        for (const std::string& e : c.environment)
            if (messages.empty() && e.rfind(variable, 0) == 0) messages = e.substr(std::strlen(variable));
    }
    bool original = messages.empty() || messages.rfind("C", 0) == 0 || messages == "POSIX";
    ScratchDir dir;
    std::string missing_path = dir.path() + "/missing.m2v";
    RunResult missing = run({missing_path});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, original ? text("読み取りファイルが開けませんでした。\n", "")
                                    : text("m2vhdr: '" + missing_path + "' を開けません: ",
                                           "m2vhdr: cannot open '" + missing_path + "': ") +
                                          system_reason(ENOENT, messages.c_str()) + "\n");

    RunResult usage = run({});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, original ? text("引数が不正です。\nusage: ", "") + tool_binary() +
                                        " [input file] {bitrate(bit)}\n"
                                  : text("m2vhdr: ファイルが指定されていません\n"
                                         "詳しくは 'm2vhdr --help' を実行してください。\n",
                                         "m2vhdr: missing FILE argument\nTry 'm2vhdr --help'.\n"));

    std::string path = dir.write("s.m2v", concat({sequence_header({}), sequence_extension({})}));
    RunResult rewrite = run({path, "8000000"});
    EXPECT_EQ(rewrite.status, 0);
    EXPECT_EQ(rewrite.err, "");
    // C and POSIX: the original lines, a patch and the closing line.
    // Elsewhere the closing line alone in a file, and the count of
    // sequences (the stream holds 8000000 bit/s already).
    if (c.original)
        EXPECT_EQ(rewrite.out, text("処理: 0/22バイト (0%)\r処理: 22/22バイト (100%)\n", ""));
    else
        EXPECT_EQ(rewrite.out,
              text("処理: 22/22バイト (100%)\n"
                   "シーケンス: 0 個を書き換え、1 個は変更不要、0 個は書き換えできませんでした\n",
                   "Progress: 22/22 bytes (100%)\n"
                   "Sequences: 0 patched, 1 already right, 0 could not be patched\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, LocaleSwitch,
    ::testing::Values(
        // C, POSIX and none: Japanese, as the tool has always written it.
        LocaleCase{{}, "CP932", true}, LocaleCase{{"LC_ALL=C"}, "CP932", true},
        LocaleCase{{"LC_ALL=POSIX"}, "CP932", true}, LocaleCase{{"LC_ALL=C.UTF-8"}, "UTF-8", true},
        LocaleCase{{"LANG=C.UTF-8"}, "UTF-8", true},
        LocaleCase{{"LANG=C", "LC_CTYPE=C.UTF-8"}, "UTF-8", true},
        LocaleCase{{"LC_ALL=C", "LC_CTYPE=C.UTF-8", "LANG=C.UTF-8"}, "CP932", true},
        LocaleCase{{"LC_ALL=C.UTF-8", "LC_CTYPE=C"}, "UTF-8", true},
        // Named, installed or not: the language and the codeset of the name.
        LocaleCase{{"LC_ALL=ja_JP.UTF-8"}, "UTF-8"}, LocaleCase{{"LANG=ja_JP.utf8"}, "UTF-8"},
        LocaleCase{{"LC_ALL=ja_JP.eucJP"}, "EUC-JP"}, LocaleCase{{"LANG=ja_JP.EUC-JP"}, "EUC-JP"},
        LocaleCase{{"LC_ALL=ja_JP.SJIS"}, "CP932"}, LocaleCase{{"LANG=ja_JP"}, "CP932"},
        LocaleCase{{"LC_ALL=en_US.UTF-8"}, "en"}, LocaleCase{{"LANG=de_DE.UTF-8"}, "en"},
        LocaleCase{{"LC_ALL=xx_YY.UTF-8"}, "en"},
        // LC_ALL, then LC_MESSAGES, then LANG for the language; LC_CTYPE for
        // the codeset; an empty variable counts as unset.
        LocaleCase{{"LANG=de_DE.UTF-8", "LC_MESSAGES=ja_JP.UTF-8"}, "UTF-8"},
        LocaleCase{{"LANG=ja_JP.UTF-8", "LC_MESSAGES=en_US.UTF-8"}, "en"},
        LocaleCase{{"LC_ALL=ja_JP.eucJP", "LC_MESSAGES=en_US.UTF-8"}, "EUC-JP"},
        LocaleCase{{"LC_MESSAGES=ja_JP.UTF-8", "LC_CTYPE=C"}, "CP932"},
        LocaleCase{{"LC_MESSAGES=ja_JP.eucJP", "LC_CTYPE=C.UTF-8"}, "UTF-8"},
        LocaleCase{{"LC_ALL=", "LC_MESSAGES=", "LANG=en_US.UTF-8"}, "en"}));

}  // namespace
