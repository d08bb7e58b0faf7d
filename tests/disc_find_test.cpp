// Finding a disc's files: folders of real (empty) files, named as discs
// name them, against the files and damage a reader of the disc expects.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "disc/disc_files.hpp"
#include "platform/dir.hpp"
#include "tool_runner.hpp"

namespace {

namespace fs = std::filesystem;

void touch(const fs::path& path) { std::ofstream(path, std::ios::binary) << ""; }

// The files found, one line each, as "VMG ifo bup vob" and "nn ifo bup menu
// vob1,vob2,...", with names only, then one line per damage.
std::string summary(const DiscFiles& d) {
    auto name = [](const std::string& path) {
        return path.empty() ? std::string("-") : fs::path(path).filename().string();
    };
    std::string s = "VMG " + name(d.vmg_ifo) + " " + name(d.vmg_bup) + " " + name(d.vmg_vob) + "\n";
    for (const TitleSetFiles& t : d.title_sets) {
        s += std::to_string(t.title_set) + " " + name(t.ifo) + " " + name(t.bup) + " " +
             name(t.menu_vob) + " ";
        for (std::size_t i = 0; i < t.title_vobs.size(); ++i)
            s += (i ? "," : "") + name(t.title_vobs[i]);
        s += "\n";
    }
    static const char* const damage_names[] = {"missing IFO", "missing BUP", "no title VOB",
                                               "title VOB gap", "same name twice"};
    for (const DiscDamageAt& d2 : d.damage) {
        s += std::string(damage_names[static_cast<int>(d2.damage)]) + " " +
             std::to_string(d2.title_set) + " " + d2.name + "\n";
    }
    return s;
}

struct FindCase {
    const char* label;
    std::vector<const char*> names;  // in the VIDEO_TS folder
    const char* expected;
};

// Cases print as their label in test names and failures.
void PrintTo(const FindCase& c, std::ostream* os) { *os << c.label; }

const FindCase find_cases[] = {
    {"whole_disc_upper_case",
     {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VIDEO_TS.VOB", "VTS_01_0.IFO", "VTS_01_0.BUP",
      "VTS_01_0.VOB", "VTS_01_1.VOB", "VTS_01_2.VOB", "VTS_02_0.IFO", "VTS_02_0.BUP",
      "VTS_02_1.VOB"},
     "VMG VIDEO_TS.IFO VIDEO_TS.BUP VIDEO_TS.VOB\n"
     "1 VTS_01_0.IFO VTS_01_0.BUP VTS_01_0.VOB VTS_01_1.VOB,VTS_01_2.VOB\n"
     "2 VTS_02_0.IFO VTS_02_0.BUP - VTS_02_1.VOB\n"},
    {"lower_and_mixed_case",
     {"video_ts.ifo", "Video_ts.Bup", "vts_01_0.ifo", "vts_01_0.bup", "vts_01_1.vob"},
     "VMG video_ts.ifo Video_ts.Bup -\n"
     "1 vts_01_0.ifo vts_01_0.bup - vts_01_1.vob\n"},
    {"nine_title_vobs_in_number_order",
     {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_0.BUP", "VTS_01_9.VOB",
      "VTS_01_1.VOB", "VTS_01_2.VOB", "VTS_01_3.VOB", "VTS_01_4.VOB", "VTS_01_5.VOB",
      "VTS_01_6.VOB", "VTS_01_7.VOB", "VTS_01_8.VOB"},
     "VMG VIDEO_TS.IFO VIDEO_TS.BUP -\n"
     "1 VTS_01_0.IFO VTS_01_0.BUP - VTS_01_1.VOB,VTS_01_2.VOB,VTS_01_3.VOB,VTS_01_4.VOB,"
     "VTS_01_5.VOB,VTS_01_6.VOB,VTS_01_7.VOB,VTS_01_8.VOB,VTS_01_9.VOB\n"},
    {"gap_stops_the_title_and_is_damage",
     {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_0.BUP", "VTS_01_1.VOB",
      "VTS_01_2.VOB", "VTS_01_4.VOB", "VTS_01_5.VOB"},
     "VMG VIDEO_TS.IFO VIDEO_TS.BUP -\n"
     "1 VTS_01_0.IFO VTS_01_0.BUP - VTS_01_1.VOB,VTS_01_2.VOB\n"
     "title VOB gap 1 VTS_01_4.VOB\n"},
    {"missing_first_title_vob",
     {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_0.BUP", "VTS_01_2.VOB"},
     "VMG VIDEO_TS.IFO VIDEO_TS.BUP -\n"
     "1 VTS_01_0.IFO VTS_01_0.BUP - \n"
     "title VOB gap 1 VTS_01_2.VOB\n"
     "no title VOB 1 VTS_01_1.VOB\n"},
    {"missing_backups_and_tables",
     {"VIDEO_TS.IFO", "VTS_01_0.IFO", "VTS_01_1.VOB", "VTS_02_0.BUP", "VTS_02_1.VOB"},
     "VMG VIDEO_TS.IFO - -\n"
     "1 VTS_01_0.IFO - - VTS_01_1.VOB\n"
     "2 - VTS_02_0.BUP - VTS_02_1.VOB\n"
     "missing BUP 0 VIDEO_TS.BUP\n"
     "missing BUP 1 VTS_01_0.BUP\n"
     "missing IFO 2 VTS_02_0.IFO\n"},
    {"title_set_missing_whole",
     {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_0.BUP", "VTS_01_1.VOB",
      "VTS_04_0.IFO", "VTS_04_0.BUP", "VTS_04_1.VOB"},
     "VMG VIDEO_TS.IFO VIDEO_TS.BUP -\n"
     "1 VTS_01_0.IFO VTS_01_0.BUP - VTS_01_1.VOB\n"
     "4 VTS_04_0.IFO VTS_04_0.BUP - VTS_04_1.VOB\n"
     "missing IFO 2 VTS_02_0.IFO\n"
     "missing IFO 3 VTS_03_0.IFO\n"},
    {"names_that_differ_only_in_case",
     {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_0.BUP", "VTS_01_1.VOB",
      "vts_01_1.vob"},
     "VMG VIDEO_TS.IFO VIDEO_TS.BUP -\n"
     "1 VTS_01_0.IFO VTS_01_0.BUP - VTS_01_1.VOB\n"
     "same name twice 1 vts_01_1.vob\n"},
    {"other_names_are_not_the_disc",
     {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_0.BUP", "VTS_01_1.VOB",
      "VTS_01_1.IFO", "VTS_00_0.IFO", "VTS_01_10.VOB", "VTS_1_1.VOB", "VIDEO_TS.IFO.txt",
      "notes.txt"},
     "VMG VIDEO_TS.IFO VIDEO_TS.BUP -\n"
     "1 VTS_01_0.IFO VTS_01_0.BUP - VTS_01_1.VOB\n"},
};

class DiscFind : public ::testing::TestWithParam<FindCase> {};

TEST_P(DiscFind, FilesAndDamageFromTheFolder) {
    const FindCase& c = GetParam();
    ScratchDir scratch;
    fs::path video_ts = fs::path(scratch.path()) / "VIDEO_TS";
    fs::create_directory(video_ts);
    for (const char* name : c.names) touch(video_ts / name);
    std::vector<std::string> listed;
    int error = 0;
    ASSERT_EQ(platform_list_folder(video_ts.string().c_str(), &listed, &error),
              FolderListing::LISTED);
    // Case-only duplicates need a file system that keeps case apart.
    if (listed.size() != c.names.size())
        GTEST_SKIP() << "names differing in case are one file here";
    DiscFiles d = disc_find(video_ts.string().c_str());
    ASSERT_EQ(d.fault, DiscFault::NONE);
    EXPECT_EQ(summary(d), c.expected);
    EXPECT_EQ(d.video_ts, video_ts.string());
}

INSTANTIATE_TEST_SUITE_P(Names, DiscFind, ::testing::ValuesIn(find_cases),
                         [](const auto& info) { return std::string(info.param.label); });

// The same disc whichever way the user names it.
struct PathCase {
    const char* label;
    const char* folder;  // the VIDEO_TS folder's own name
    const char* given;   // relative to the scratch folder
    DiscFault fault;
};

// Cases print as their label in test names and failures.
void PrintTo(const PathCase& c, std::ostream* os) { *os << c.label; }

const PathCase path_cases[] = {
    {"video_ts_folder", "VIDEO_TS", "disc/VIDEO_TS", DiscFault::NONE},
    {"video_ts_folder_with_slash", "VIDEO_TS", "disc/VIDEO_TS/", DiscFault::NONE},
    {"folder_above", "VIDEO_TS", "disc", DiscFault::NONE},
    {"folder_above_lower_case", "video_ts", "disc", DiscFault::NONE},
    {"vmg_ifo", "VIDEO_TS", "disc/VIDEO_TS/VIDEO_TS.IFO", DiscFault::NONE},
    {"vts_bup_lower_case", "VIDEO_TS", "disc/VIDEO_TS/vts_01_0.bup", DiscFault::NONE},
    {"a_vob_is_no_table", "VIDEO_TS", "disc/VIDEO_TS/VTS_01_1.VOB", DiscFault::NOT_A_DISC_FILE},
    {"folder_without_disc", "VIDEO_TS", "disc/VIDEO_TS/empty", DiscFault::NOT_A_DISC},
    {"nothing_there", "VIDEO_TS", "disc/none", DiscFault::OPEN_FAILED},
};

class DiscPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(DiscPath, FindsTheVideoTsFolder) {
    const PathCase& c = GetParam();
    ScratchDir scratch;
    fs::path video_ts = fs::path(scratch.path()) / "disc" / c.folder;
    fs::create_directories(video_ts / "empty");
    for (const char* name :
         {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "vts_01_0.bup", "VTS_01_1.VOB"}) {
        touch(video_ts / name);
    }
    std::string given = scratch.path() + "/" + c.given;
    DiscFiles d = disc_find(given.c_str());
    ASSERT_EQ(d.fault, c.fault);
    if (c.fault == DiscFault::OPEN_FAILED) {
        EXPECT_NE(d.error, 0);
    }
    if (c.fault != DiscFault::NONE) {
        EXPECT_TRUE(d.title_sets.empty());
        return;
    }
    EXPECT_EQ(fs::path(d.video_ts).filename(), c.folder);
    EXPECT_TRUE(fs::equivalent(d.vmg_ifo, video_ts / "VIDEO_TS.IFO"));
    ASSERT_EQ(d.title_sets.size(), 1u);
    EXPECT_TRUE(fs::equivalent(d.title_sets[0].bup, video_ts / "vts_01_0.bup"));
    ASSERT_EQ(d.title_sets[0].title_vobs.size(), 1u);
    EXPECT_TRUE(d.damage.empty());
}

INSTANTIATE_TEST_SUITE_P(Paths, DiscPath, ::testing::ValuesIn(path_cases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(FolderListing, NamesInByteOrderWithoutDots) {
    ScratchDir scratch;
    for (const char* name : {"b", "B", "a.VOB", "\xc3\xa9t\xc3\xa9", "A"})
        touch(fs::path(scratch.path()) / name);
    fs::create_directory(fs::path(scratch.path()) / "sub");
    std::vector<std::string> names{"left over"};
    int error = -1;
    ASSERT_EQ(platform_list_folder(scratch.path().c_str(), &names, &error), FolderListing::LISTED);
    EXPECT_EQ(error, 0);
    std::vector<std::string> expected{"A", "B", "a.VOB", "b", "sub", "\xc3\xa9t\xc3\xa9"};
    EXPECT_EQ(names, expected);
    std::string file = scratch.path() + "/a.VOB";
    EXPECT_EQ(platform_list_folder(file.c_str(), &names, &error), FolderListing::NOT_A_FOLDER);
    EXPECT_TRUE(names.empty());
    std::string none = scratch.path() + "/none";
    EXPECT_EQ(platform_list_folder(none.c_str(), &names, &error), FolderListing::FAILED);
    EXPECT_NE(error, 0);
}

}  // namespace
