// What the tool says when it refuses a command line or a file: the exact
// lines in English and in Japanese, and the exit status.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "tool_runner.hpp"

namespace {

struct UsageCase {
    std::vector<std::string> args;  // after argument 0; "FILE" is a stream
    const char* english;            // the line before "Try 'm2vhdr --help'."
    const char* japanese;           // the same, in UTF-8
    // An original command line with a wrong count of arguments or a
    // BITRATE that is no number: in the C locale the usage text it has
    // always printed.
    bool original_count = false;
    friend void PrintTo(const UsageCase& c, std::ostream* os) {
        for (const std::string& a : c.args) *os << '[' << a << ']';
    }
};

const char* const kTryEnglish = "Try 'm2vhdr --help'.\n";
const char* const kTryJapanese = "詳しくは 'm2vhdr --help' を実行してください。\n";

class UsageError : public ::testing::TestWithParam<UsageCase> {
protected:
    // argv with FILE replaced by a stream that any mode would take.
    std::vector<std::string> command() {
        std::string path = dir_.write(
            "s.m2v", concat({sequence_header({}), sequence_extension({}), sequence_end()}));
        file_ = read_file(path);
        std::vector<std::string> argv = {"m2vhdr"};
        for (const std::string& a : GetParam().args) argv.push_back(a == "FILE" ? path : a);
        return argv;
    }
    void expect_untouched(const RunResult& r) {
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(read_file(dir_.path() + "/s.m2v"), file_);
    }
    ScratchDir dir_;
    Bytes file_;
};

TEST_P(UsageError, NamesTheArgumentInEnglish) {
    EnglishMessages english;
    RunResult r = run_tool(command());
    expect_untouched(r);
    EXPECT_EQ(r.err, std::string(GetParam().english) + kTryEnglish);
}

// Japanese as the C locale gives it (Shift_JIS), and as a Japanese locale
// does (UTF-8 by its name); only a wrong count of arguments on an original
// command line keeps the usage text in the C locale.
TEST_P(UsageError, NamesTheArgumentInJapanese) {
    std::vector<std::string> argv = command();
    RunResult r = run_tool(argv);
    expect_untouched(r);
    std::string named = std::string(GetParam().japanese) + kTryJapanese;
    EXPECT_EQ(r.err, GetParam().original_count
                         ? sjis("引数が不正です。\nusage: " + tool_name("m2vhdr") +
                                " [input file] {bitrate(bit)}\n")
                         : sjis(named));
    if (external_tool()) return;  // tests/windows: the UI language
    argv[0] = tool_binary();
    RunResult utf8 = run_binary(argv, false, "ja_JP.UTF-8");
    expect_untouched(utf8);
    EXPECT_EQ(utf8.err, named);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UsageError,
    ::testing::Values(
        UsageCase{{"--frobnicate", "FILE"}, "m2vhdr: unknown option '--frobnicate'\n",
                  "m2vhdr: 不明なオプションです '--frobnicate'\n"},
        UsageCase{{"FILE", "-x"}, "m2vhdr: unknown option '-x'\n",
                  "m2vhdr: 不明なオプションです '-x'\n"},
        UsageCase{{"--Check=dvd", "FILE"}, "m2vhdr: unknown option '--Check=dvd'\n",
                  "m2vhdr: 不明なオプションです '--Check=dvd'\n"},
        UsageCase{{"FILE", "--check"}, "m2vhdr: option needs a value '--check'\n",
                  "m2vhdr: オプションに値がありません '--check'\n"},
        UsageCase{{"FILE", "--set"}, "m2vhdr: option needs a value '--set'\n",
                  "m2vhdr: オプションに値がありません '--set'\n"},
        UsageCase{{"--json=yes", "FILE"}, "m2vhdr: option takes no value '--json=yes'\n",
                  "m2vhdr: 値を取らないオプションです '--json=yes'\n"},
        UsageCase{{"--check", "dvdx", "FILE"},
                  "m2vhdr: invalid value for --check (accepted: dvd, bluray) 'dvdx'\n",
                  "m2vhdr: --check に使えない値です (使える値: dvd, bluray) 'dvdx'\n"},
        UsageCase{{"--check=", "FILE"},
                  "m2vhdr: invalid value for --check (accepted: dvd, bluray) ''\n",
                  "m2vhdr: --check に使えない値です (使える値: dvd, bluray) ''\n"},
        UsageCase{{"--pulldown", "2:3", "FILE"},
                  "m2vhdr: invalid value for --pulldown (accepted: 3:2, none) '2:3'\n",
                  "m2vhdr: --pulldown に使えない値です (使える値: 3:2, none) '2:3'\n"},
        UsageCase{{"--demux", "--stream", "8192", "FILE"},
                  "m2vhdr: invalid value for --stream (accepted: 0 to 8191, or 0x0 to 0x1fff) "
                  "'8192'\n",
                  "m2vhdr: --stream に使えない値です (使える値: 0 to 8191, or 0x0 to 0x1fff) "
                  "'8192'\n"},
        UsageCase{{"--set", "colour_primaries=BT.7090", "FILE"},
                  "m2vhdr: invalid value of colour_primaries for --set (m2vhdr --help lists the "
                  "values) 'colour_primaries=BT.7090'\n",
                  "m2vhdr: --set で colour_primaries に使えない値です (値の一覧は m2vhdr --help) "
                  "'colour_primaries=BT.7090'\n"},
        UsageCase{{"--set", "colour=1", "FILE"},
                  "m2vhdr: unknown element for --set (m2vhdr --help lists the elements and "
                  "values) 'colour=1'\n",
                  "m2vhdr: --set に不明な要素です (要素と値の一覧は m2vhdr --help) 'colour=1'\n"},
        UsageCase{{"--stream", "224", "FILE"}, "m2vhdr: only valid with --demux '--stream'\n",
                  "m2vhdr: --demux と一緒にしか使えません '--stream'\n"},
        UsageCase{{"FILE", "--dry-run"},
                  "m2vhdr: only valid with one of BITRATE, --set, --pulldown '--dry-run'\n",
                  "m2vhdr: BITRATE, --set, --pulldown のどれかと一緒にしか使えません '--dry-run'\n"},
        // Of two that exclude each other, the later one is named.
        UsageCase{{"--stats", "FILE", "8000000"},
                  "m2vhdr: cannot be combined with '--stats' '8000000'\n",
                  "m2vhdr: '--stats' と一緒には使えません '8000000'\n"},
        UsageCase{{"--set", "colour_primaries=1", "--pulldown", "none", "FILE"},
                  "m2vhdr: cannot be combined with '--set' '--pulldown'\n",
                  "m2vhdr: '--set' と一緒には使えません '--pulldown'\n"},
        UsageCase{{"--check", "dvd", "FILE", "--stats"},
                  "m2vhdr: cannot be combined with '--check' '--stats'\n",
                  "m2vhdr: '--check' と一緒には使えません '--stats'\n"},
        UsageCase{{"--json", "FILE", "auto"}, "m2vhdr: cannot be combined with '--json' 'auto'\n",
                  "m2vhdr: '--json' と一緒には使えません 'auto'\n"},
        UsageCase{{"--set", "bit_rate=5M", "FILE", "8000000"},
                  "m2vhdr: cannot be combined with 'bit_rate=5M' '8000000'\n",
                  "m2vhdr: 'bit_rate=5M' と一緒には使えません '8000000'\n"},
        UsageCase{{"--set", "bit_rate=auto", "--json", "FILE"},
                  "m2vhdr: cannot be combined with 'bit_rate=auto' '--json'\n",
                  "m2vhdr: 'bit_rate=auto' と一緒には使えません '--json'\n"},
        UsageCase{{"--json", "FILE", "8000000", "x.m2v"}, "m2vhdr: extra argument 'x.m2v'\n",
                  "m2vhdr: 余分な引数です 'x.m2v'\n"},
        UsageCase{{"--json"}, "m2vhdr: missing FILE argument\n",
                  "m2vhdr: ファイルが指定されていません\n"},
        // The original forms: a wrong count, and a BITRATE that is no number.
        UsageCase{{}, "m2vhdr: missing FILE argument\n", "m2vhdr: ファイルが指定されていません\n",
                  true},
        UsageCase{{"FILE", "8000000", "x.m2v"}, "m2vhdr: extra argument 'x.m2v'\n",
                  "m2vhdr: 余分な引数です 'x.m2v'\n", true},
        UsageCase{{"FILE", "5Mbps"},
                  "m2vhdr: BITRATE is a whole number of bit/s, without a unit '5Mbps'\n",
                  "m2vhdr: BITRATE は単位を付けないビット/秒の整数です '5Mbps'\n", true},
        UsageCase{{"FILE", "8,000,000"},
                  "m2vhdr: BITRATE must be a whole number from 0 to 4294967295 '8,000,000'\n",
                  "m2vhdr: BITRATE は 0 から 4294967295 までの整数です '8,000,000'\n", true}));

// A file that cannot be used: its name and the system's reason, in every
// command line but the original ones in the C locale.
TEST(FileFailure, NamesTheFileAndTheReason) {
    if (external_tool()) GTEST_SKIP() << "POSIX reasons; tests/windows has the Windows ones";
    ScratchDir dir;
    std::string missing = dir.path() + "/missing.m2v";
    std::string locked = dir.write("ro.m2v", concat({sequence_end()}));
    chmod(locked.c_str(), 0444);
    const struct {
        std::vector<std::string> args;
        bool as_nobody;
        std::string path;
        const char* english;  // the system's reason under an English locale
        int code;
    } cases[] = {
        {{missing}, false, missing, "No such file or directory", ENOENT},
        {{"--json", missing}, false, missing, "No such file or directory", ENOENT},
        {{dir.path(), "8000000"}, false, dir.path(), "Is a directory", EISDIR},
        {{locked, "8000000"}, true, locked, "Permission denied", EACCES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::vector<std::string> argv = {tool_binary()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        RunResult english = run_binary(argv, c.as_nobody, "en_US.UTF-8");
        EXPECT_EQ(english.status, 1);
        if (c.args[0] != "--json") {  // else the error document
            EXPECT_EQ(english.out, "");
        }
        EXPECT_EQ(english.err, "m2vhdr: cannot open '" + c.path + "': " + c.english + "\n");
        RunResult japanese = run_binary(argv, c.as_nobody, "ja_JP.UTF-8");
        EXPECT_EQ(japanese.status, 1);
        EXPECT_EQ(japanese.err, "m2vhdr: '" + c.path + "' を開けません: " +
                                    system_reason(c.code, "ja_JP.UTF-8") + "\n");
        // The C locale: the original forms keep their text.
        RunResult original = run_binary(argv, c.as_nobody, "C");
        EXPECT_EQ(original.err, c.args[0] == "--json"
                                    ? "m2vhdr: '" + c.path + "' " + sjis("を開けません") + ": " +
                                          c.english + "\n"
                                    : sjis("読み取りファイルが開けませんでした。\n"));
    }
}

// The plot of --stats, into a folder that does not exist, onto a folder and
// onto a device that is full.
TEST(FileFailure, PlotNamesItsFileAndTheReason) {
    if (external_tool()) GTEST_SKIP() << "POSIX reasons";
    ScratchDir dir;
    std::string path = dir.write("s.m2v", concat({sequence_header({}), sequence_extension({}),
                                                  group_header({}), picture_header({}), slice(20),
                                                  sequence_end()}));
    for (const auto& [plot, reason] :
         {std::pair{dir.path() + "/no/such.svg", std::string("No such file or directory")},
          std::pair{dir.path(), std::string("Is a directory")},
          std::pair{std::string("/dev/full"), std::string("No space left on device")},
          std::pair{path, std::string("it is the stream being read")}}) {
        const Bytes before = read_file(path);
        RunResult r = run_binary({tool_binary(), "--stats", "--plot", plot, path}, false, "en_US.UTF-8");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "m2vhdr: cannot write the plot to '" + plot + "': " + reason + "\n");
        EXPECT_EQ(read_file(path), before);
    }
    RunResult japanese = run_binary({tool_binary(), "--stats", "--plot", path, path}, false, "ja_JP.UTF-8");
    EXPECT_EQ(japanese.err, "m2vhdr: グラフを '" + path + "' に書き込めません: 読み取るストリームそのものです\n");
}

Bytes transport_stream() {
    Bytes ts(188 * 4, 0xFF);
    for (std::size_t at = 0; at < ts.size(); at += 188) {
        ts[at] = 0x47;
        ts[at + 1] = 0x1F;  // PID 0x1fff, null packets
        ts[at + 2] = 0xFF;
        ts[at + 3] = 0x10;
    }
    return ts;
}

// A transport stream given to an original form: refused, and outside the C
// locale the line that says what reads it.
TEST(Refusal, PointsToDemux) {
    const std::string refusal = "MPEG System ヘッダが見つかりました。MPEG System ファイルは取り扱えません。\n";
    const std::string hint = "m2vhdr: プログラムストリームやトランスポートストリームの映像は --demux で読めます\n";
    RunResult original = run_on(transport_stream());
    EXPECT_EQ(original.status, 1);
    EXPECT_EQ(original.err, sjis(refusal));
    RunResult with_option = run_on(transport_stream(), {"-q"});
    EXPECT_EQ(with_option.status, 1);
    EXPECT_EQ(with_option.err, sjis(refusal + hint));
    // The newer modes read it by themselves, and find no video in it.
    RunResult reads = run_on(transport_stream(), {"--json"});
    EXPECT_EQ(reads.status, 1);
    EXPECT_EQ(reads.err, sjis("m2vhdr: ファイルに MPEG-1 や MPEG-2 の映像ストリームがありません\n"));
    EnglishMessages english;
    RunResult in_english = run_on(transport_stream());
    EXPECT_EQ(in_english.status, 1);
    EXPECT_EQ(in_english.err,
              "Found an MPEG System header. MPEG System files cannot be handled.\n"
              "m2vhdr: the video in a program or transport stream can be read with --demux\n");
}

// Other containers, by the signature at their start, refused by name before
// anything of them is read as video (here with an MPEG video sequence header
// right behind the signature, which would otherwise be reported).
TEST(Refusal, ForeignContainerByItsSignature) {
    auto with = [](Bytes head, std::size_t pad = 0) {
        head.insert(head.end(), pad, 0);
        return concat({head, sequence_header({}), sequence_extension({}), group_header({}),
                       picture_header({}), slice(20), sequence_end()});
    };
    auto text = [](const char* s) { return Bytes(s, s + std::strlen(s)); };
    const Bytes mxf_key = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x05, 0x01, 0x01,
                           0x0d, 0x01, 0x02, 0x01, 0x01, 0x02, 0x04, 0x00};
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"WTV", with({0xb7, 0xd8, 0x00, 0x20, 0x37, 0x49, 0xda, 0x11, 0xa6, 0x4e, 0x00, 0x07,
                      0xe9, 0x5e, 0xad, 0x8d})},
        {"ASF", with({0x30, 0x26, 0xb2, 0x75, 0x8e, 0x66, 0xcf, 0x11, 0xa6, 0xd9, 0x00, 0xaa,
                      0x00, 0x62, 0xce, 0x6c})},
        {"MXF", with(mxf_key)},
        {"MXF", with(concat({Bytes(1000, 0x55), mxf_key}))},  // behind a run-in
        {"MP4/MOV", with(concat({Bytes{0, 0, 0, 0x18}, text("ftypisom")}), 12)},
        {"MP4/MOV", with(concat({Bytes{0, 0, 0, 8}, text("moov")}))},
        {"Matroska", with({0x1a, 0x45, 0xdf, 0xa3, 0x9f, 0x42, 0x86, 0x81, 0x01})},
        {"AVI", with(concat({text("RIFF"), Bytes{0x00, 0x10, 0x00, 0x00}, text("AVI LIST")}))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string japanese = "m2vhdr: ファイルは " + std::string(c.name) +
                                     " ファイルです。MPEG のプログラムストリームでもトランスポートストリームでもないので読みません\n";
        RunResult r = run_on(c.file, {"--demux"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, sjis(japanese));
        EnglishMessages english;
        RunResult check = run_on(c.file, {"--demux", "--check", "dvd"});
        EXPECT_EQ(check.status, 1);
        EXPECT_EQ(check.out, "");
        EXPECT_EQ(check.err, "m2vhdr: the file is of another container (" + std::string(c.name) +
                                 "), not an MPEG program or transport stream; it is not read\n");
    }
    // Near misses: RIFF of another kind (WAVE), the MXF key cut short.
    for (const Bytes& head : std::vector<Bytes>{concat({text("RIFF"), Bytes{0, 0x10, 0, 0}, text("WAVEfmt ")}),
                              Bytes(mxf_key.begin(), mxf_key.begin() + 13)}) {
        RunResult r = run_on(with(head), {"--demux"});
        EXPECT_EQ(r.err.find(sjis("ファイルは ")), std::string::npos) << r.err;
    }
}

}  // namespace
