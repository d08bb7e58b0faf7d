// The console streams of m2vhdr.exe: each "\n" reaches a redirected file as
// CR LF, while the "\r" that ends a progress line stays alone.
#include "windows/exe_runner.hpp"

namespace {

using WindowsExe = NeedsWindowsBuild<::testing::Test>;

TEST_F(WindowsExe, ReportLinesEndInCrLf) {
    ScratchDir dir;
    std::string path = dir.write("s.m2v", concat({sequence_end(), user_data("x")}));
    RunResult r = run_exe_raw({"m2vhdr", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "00000000: SEQUENCE_END_CODE\r\n00000004: USER_DATA_START_CODE\r\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(WindowsExe, ProgressLinesKeepTheirLoneCarriageReturn) {
    ScratchDir dir;
    Bytes pair = concat({sequence_header({}), sequence_extension({})});
    std::string path = dir.write("s.m2v", concat({pair, pair}));
    RunResult r = run_exe_raw({"m2vhdr", path, "8000000"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // 44 bytes: scanned at the end of the file, within the first window, so
    // both patches show 0 done; the closing line shows the whole file.
    EXPECT_EQ(r.out, progress_line(0, 44, 0, "\r") + progress_line(0, 44, 0, "\r") +
                         progress_line(44, 44, 100, "\r\n"));
}

TEST_F(WindowsExe, MessagesEndInCrLf) {
    RunResult usage = run_exe_raw({"m2vhdr"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(usage.err, sjis("引数が不正です。\r\nusage: ") + binary_name() +
                             " [input file] {bitrate(bit)}\r\n");

    ScratchDir dir;
    RunResult missing = run_exe_raw({"m2vhdr", dir.path() + "/missing.m2v"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, sjis("読み取りファイルが開けませんでした。\r\n"));
}

}  // namespace
