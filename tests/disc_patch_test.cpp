// The aspect ratio's patch plan against dvdauthor: applied to a copy of a
// disc authored from one source, it leaves every IFO and BUP byte-identical
// to the disc authored from the same pictures flagged with the other ratio.
// And the comparisons of a disc's check, against ffprobe's reading of the
// streams and against one byte changed at a time.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "disc/video_attr_patch.hpp"
#include "disc/disc_compare.hpp"
#include "disc/disc_files.hpp"
#include "disc/disc_ifos.hpp"
#include "disc/video_attr.hpp"
#include "disc_data.hpp"
#include "tool_runner.hpp"

namespace {

namespace fs = std::filesystem;

// A copy of disc `folder` in `scratch`; its VIDEO_TS folder.
fs::path copy_disc(const std::string& folder, const ScratchDir& scratch) {
    fs::copy(folder, scratch.path(), fs::copy_options::recursive);
    return fs::path(scratch.path()) / "VIDEO_TS";
}

void set_byte(const fs::path& file, std::uint64_t offset, std::uint8_t value) {
    std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(static_cast<char>(value));
    ASSERT_TRUE(f.good()) << file;
}

// Applies the plan's patches, each where it says the old byte is.
void apply(const PatchPlan& plan) {
    for (const IfoPatch& p : plan.patches) {
        Bytes bytes = read_file(p.file);
        ASSERT_LT(p.offset, bytes.size());
        ASSERT_EQ(bytes[p.offset], p.old_byte) << p.file << " at " << p.offset;
        set_byte(p.file, p.offset, p.new_byte);
    }
}

PatchPlan plan_for(const std::string& folder, unsigned aspect, PatchChoice choice) {
    DiscFiles files = disc_find(folder.c_str());
    EXPECT_EQ(files.fault, DiscFault::NONE);
    return aspect_patch_plan(files, disc_read_ifos(files), aspect, choice);
}

// The offsets at which the IFO and BUP files of two VIDEO_TS folders
// differ, as "NAME@offset" lines; the two must hold the same files.
std::string table_differences(const fs::path& a, const fs::path& b) {
    std::string out;
    for (const auto& entry : fs::directory_iterator(a)) {
        std::string name = entry.path().filename().string();
        std::string ext = entry.path().extension().string();
        if (ext != ".IFO" && ext != ".BUP") continue;
        Bytes x = read_file(entry.path().string());
        Bytes y = read_file((b / name).string());
        if (x.size() != y.size()) out += name + "@size\n";
        for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
            if (x[i] != y[i]) out += name + "@" + std::to_string(i) + "\n";
        }
    }
    return out;
}

struct PatchCase {
    const char* label;
    const char* from;
    const char* to;
    unsigned aspect_ratio_information;
    PatchChoice choice;
    std::size_t patches;  // counted from the attributes that describe the streams
};

// Cases print as their label in test names and failures.
void PrintTo(const PatchCase& c, std::ostream* os) { *os << c.label; }

const PatchCase patch_cases[] = {
    // one title set: its vts_video_attr and the table's copy, in IFO and BUP
    {"ntsc_4_3_to_16_9", "ntsc_43", "ntsc_169", 3, {}, 4},
    {"ntsc_16_9_to_4_3", "ntsc_169", "ntsc_43", 2, {}, 4},
    {"pal_4_3_to_16_9", "pal_43", "pal_169", 3, {}, 4},
    {"pal_16_9_to_4_3", "pal_169", "pal_43", 2, {}, 4},
    // and the VMG menus, the title set menus and the table's copy of those
    {"menus_4_3_to_16_9", "menus_43", "menus_169", 3, {0, true}, 10},
    {"menus_16_9_to_4_3", "menus_169", "menus_43", 2, {0, true}, 10},
    {"two_sets_4_3_to_16_9", "two_sets_43", "two_sets_169", 3, {}, 8},
    {"two_sets_16_9_to_4_3", "two_sets_169", "two_sets_43", 2, {}, 8},
    {"second_set_only_to_16_9", "two_sets_43", "two_sets_mixed", 3, {2, false}, 4},
    {"second_set_only_to_4_3", "two_sets_mixed", "two_sets_43", 2, {2, false}, 4},
    {"first_set_only_to_4_3", "two_sets_169", "two_sets_mixed", 2, {1, false}, 4},
    // menus asked for where a disc has none: nothing more is patched
    {"menus_asked_without_menus", "pal_43", "pal_169", 3, {0, true}, 4},
};

class AspectPatch : public ::testing::TestWithParam<PatchCase> {};

TEST_P(AspectPatch, LeavesTheTablesDvdauthorWrites) {
    const PatchCase& c = GetParam();
    REQUIRE_DISC(from, c.from);
    REQUIRE_DISC(to, c.to);
    ASSERT_NE(table_differences(fs::path(from) / "VIDEO_TS", fs::path(to) / "VIDEO_TS"), "");
    ScratchDir scratch;
    fs::path copy = copy_disc(from, scratch);
    PatchPlan plan = plan_for(copy.string(), c.aspect_ratio_information, c.choice);
    ASSERT_EQ(plan.fault, PlanFault::NONE);
    EXPECT_EQ(plan.patches.size(), c.patches);
    // Every IFO before every BUP.
    bool bup_seen = false;
    for (const IfoPatch& p : plan.patches) {
        bool bup = fs::path(p.file).extension() == ".BUP";
        EXPECT_FALSE(bup_seen && !bup) << p.file << " after a BUP";
        bup_seen = bup_seen || bup;
    }
    apply(plan);
    EXPECT_EQ(table_differences(copy, fs::path(to) / "VIDEO_TS"), "");
    // Run again on the patched disc: nothing left to write.
    EXPECT_TRUE(plan_for(copy.string(), c.aspect_ratio_information, c.choice).patches.empty());
}

INSTANTIATE_TEST_SUITE_P(Discs, AspectPatch, ::testing::ValuesIn(patch_cases),
                         [](const auto& info) { return std::string(info.param.label); });

// Without --menus, the menus' statements stay as they were: the disc then
// differs from dvdauthor's 16:9 one exactly there.
TEST(AspectPatchChoice, TitlesAloneLeaveTheMenuAttributes) {
    REQUIRE_DISC(from, "menus_43");
    REQUIRE_DISC(to, "menus_169");
    ScratchDir scratch;
    fs::path copy = copy_disc(from, scratch);
    PatchPlan plan = plan_for(copy.string(), 3, {});
    ASSERT_EQ(plan.fault, PlanFault::NONE);
    apply(plan);
    DiscFiles files = disc_find(copy.string().c_str());
    DiscIfos ifos = disc_read_ifos(files);
    std::string menus;
    for (const char* name : {"VIDEO_TS.BUP", "VIDEO_TS.IFO"}) {
        menus += std::string(name) + "@" + std::to_string(VMGM_VIDEO_ATTR) + "\n" + name + "@" +
                 std::to_string(ifos.vmg_ifo.vts_atrt.at(0).vtsm_vobs_attr.offset) + "\n";
    }
    for (const char* name : {"VTS_01_0.BUP", "VTS_01_0.IFO"}) {
        menus += std::string(name) + "@" + std::to_string(VTSM_VIDEO_ATTR) + "\n";
    }
    std::string differences = table_differences(copy, fs::path(to) / "VIDEO_TS");
    // directory order is the system's: compare as sorted lines
    auto sorted = [](const std::string& s) {
        std::vector<std::string> lines;
        std::istringstream in(s);
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    EXPECT_EQ(sorted(differences), sorted(menus));
}

TEST(AspectPatchChoice, RefusalsListNothing) {
    REQUIRE_DISC(two_sets, "two_sets_43");
    for (unsigned aspect : {0u, 1u, 4u, 15u}) {
        PatchPlan plan = plan_for(two_sets, aspect, {});
        EXPECT_EQ(plan.fault, PlanFault::NOT_A_DVD_ASPECT) << aspect;
        EXPECT_TRUE(plan.patches.empty());
    }
    PatchPlan none = plan_for(two_sets, 3, {3, false});
    EXPECT_EQ(none.fault, PlanFault::NO_SUCH_TITLE_SET);
    EXPECT_TRUE(none.patches.empty());

    // A BUP gone: no IFO is patched either, so that the disc stays whole.
    for (const char* gone : {"VIDEO_TS.BUP", "VTS_02_0.BUP", "VTS_02_0.IFO"}) {
        ScratchDir scratch;
        fs::path copy = copy_disc(two_sets, scratch);
        fs::remove(copy / gone);
        PatchPlan plan = plan_for(copy.string(), 3, {});
        EXPECT_EQ(plan.fault, PlanFault::TABLE_UNUSABLE) << gone;
        EXPECT_EQ(plan.ifo_fault, IfoFault::MISSING) << gone;
        EXPECT_TRUE(plan.patches.empty()) << gone;
        // Title set 1 alone does not need title set 2's files.
        PatchPlan first = plan_for(copy.string(), 3, {1, false});
        EXPECT_EQ(first.fault,
                  std::string(gone) == "VIDEO_TS.BUP" ? PlanFault::TABLE_UNUSABLE : PlanFault::NONE)
            << gone;
    }
}

TEST(AspectPatchByte, KeepsVersionAndSystem) {
    struct Case {
        std::uint8_t old_byte;
        unsigned aspect;
        std::uint8_t expected;
    } cases[] = {
        {0x43, 3, 0x4C}, {0x4C, 2, 0x43}, {0x53, 3, 0x5C}, {0x5C, 2, 0x53},
        {0x00, 3, 0x0C}, {0x7E, 2, 0x73}, {0x41, 3, 0x4C}, {0x4D, 3, 0x4C},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(aspect_attr_byte(c.old_byte, c.aspect), c.expected) << int(c.old_byte);
    }
}

// One finding as a line: kind, field, title set, file name, offset, values.
std::string line(const DiscFinding& f) {
    static const char* const kinds[] = {"ASPECT_RATIO",   "TV_SYSTEM",   "PICTURE_SIZE",
                                        "MPEG_VERSION",   "BUP_DIFFERS", "ATRT_DIFFERS",
                                        "TITLE_SET_COUNT"};
    std::ostringstream s;
    s << kinds[static_cast<int>(f.kind)] << " " << attr_field_names[static_cast<int>(f.field)]
      << " " << f.title_set << " " << fs::path(f.file).filename().string() << "@" << f.offset << " "
      << std::hex << f.value << " " << f.other;
    if (!f.other_file.empty())
        s << " " << fs::path(f.other_file).filename().string() << "@" << std::dec << f.other_offset;
    return s.str();
}

std::string lines(const std::vector<DiscFinding>& findings) {
    std::string s;
    for (const DiscFinding& f : findings) s += line(f) + "\n";
    return s;
}

TEST(DiscTables, CountsAgainstTheFolder) {
    REQUIRE_DISC(folder, "two_sets_43");
    ScratchDir scratch;
    fs::path copy = copy_disc(folder, scratch);
    for (const char* name : {"VTS_02_0.IFO", "VTS_02_0.BUP", "VTS_02_1.VOB"})
        fs::remove(copy / name);
    DiscFiles files = disc_find(copy.string().c_str());
    std::vector<DiscFinding> findings;
    compare_disc_tables(disc_read_ifos(files), &findings);
    EXPECT_EQ(lines(findings),
              "TITLE_SET_COUNT vmgm_video_attr 0 VIDEO_TS.IFO@62 2 1\n"
              "TITLE_SET_COUNT vmgm_video_attr 0 VIDEO_TS.IFO@4096 2 1\n");
}

TEST(DiscTables, AgreeOnEveryDiscDvdauthorMakes) {
    for (const char* name : all_discs) {
        REQUIRE_DISC(folder, name);
        DiscFiles files = disc_find(folder.c_str());
        std::vector<DiscFinding> findings;
        compare_disc_tables(disc_read_ifos(files), &findings);
        EXPECT_EQ(lines(findings), "") << name;
    }
}

struct ByteChange {
    const char* label;
    const char* file;
    std::uint64_t offset;  // a vts_atrt offset counts from the table's start (sector 2)
    bool in_atrt;
    std::uint8_t value;
    const char* findings;
};

// Cases print as their label in test names and failures.
void PrintTo(const ByteChange& c, std::ostream* os) { *os << c.label; }

// two_sets_43: every title attribute is 0x53 0x00 (MPEG-2, PAL, 4:3), the
// menus' (there are none) 0x00 0x00; the table's two entries lie at 16 and
// 16 + 0x308 of its sector.
const ByteChange byte_changes[] = {
    {"title_set_bup", "VTS_02_0.BUP", 0x200, false, 0x5C,
     "BUP_DIFFERS vts_video_attr 2 VTS_02_0.BUP@512 5c00 5300 VTS_02_0.IFO@512\n"},
    {"title_set_ifo", "VTS_01_0.IFO", 0x201, false, 0x04,
     "BUP_DIFFERS vts_video_attr 1 VTS_01_0.BUP@512 5300 5304 VTS_01_0.IFO@512\n"
     "ATRT_DIFFERS vtstt_vobs_video_attr 1 VIDEO_TS.IFO@4376 5300 5304 VTS_01_0.IFO@512\n"},
    {"table_copy", "VIDEO_TS.IFO", 16 + 0x308 + 0x108, true, 0x43,
     "BUP_DIFFERS vtstt_vobs_video_attr 2 VIDEO_TS.BUP@5152 5300 4300 VIDEO_TS.IFO@5152\n"
     "ATRT_DIFFERS vtstt_vobs_video_attr 2 VIDEO_TS.IFO@5152 4300 5300 VTS_02_0.IFO@512\n"},
    {"table_menu_copy", "VIDEO_TS.BUP", 16 + 0x308 + 0x008, true, 0x01,
     "BUP_DIFFERS vtsm_vobs_attr 2 VIDEO_TS.BUP@4896 100 0 VIDEO_TS.IFO@4896\n"},
    {"menu_bup", "VIDEO_TS.BUP", 0x100, false, 0x40,
     "BUP_DIFFERS vmgm_video_attr 0 VIDEO_TS.BUP@256 4000 0 VIDEO_TS.IFO@256\n"},
    // vmg_nr_of_title_sets (low byte), then the table's nr_of_vtss
    {"title_set_count", "VIDEO_TS.IFO", 0x3F, false, 3,
     "TITLE_SET_COUNT vmgm_video_attr 0 VIDEO_TS.IFO@62 3 2\n"},
    {"table_count", "VIDEO_TS.IFO", 1, true, 1,
     "TITLE_SET_COUNT vmgm_video_attr 0 VIDEO_TS.IFO@4096 1 2\n"},
};

class DiscTableChange : public ::testing::TestWithParam<ByteChange> {};

TEST_P(DiscTableChange, NamesTheByteAndBothValues) {
    const ByteChange& c = GetParam();
    REQUIRE_DISC(folder, "two_sets_43");
    ScratchDir scratch;
    fs::path copy = copy_disc(folder, scratch);
    set_byte(copy / c.file, c.offset + (c.in_atrt ? 2 * 2048 : 0), c.value);
    DiscFiles files = disc_find(copy.string().c_str());
    std::vector<DiscFinding> findings;
    compare_disc_tables(disc_read_ifos(files), &findings);
    EXPECT_EQ(lines(findings), c.findings);
}

INSTANTIATE_TEST_SUITE_P(OneByte, DiscTableChange, ::testing::ValuesIn(byte_changes),
                         [](const auto& info) { return std::string(info.param.label); });

// The stream as ffprobe reads it, in coded values.
StreamFacts ffprobe_facts(const std::string& vob) {
    RunResult r = run_command({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                               "stream=codec_name,width,height,display_aspect_ratio,r_frame_rate",
                               "-of", "default=noprint_wrappers=1", vob});
    std::map<std::string, std::string> v;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);)
        v[l.substr(0, l.find('='))] = l.substr(l.find('=') + 1);
    StreamFacts f;
    f.mpeg2 = v["codec_name"] == "mpeg2video";
    f.horizontal_size = static_cast<unsigned>(std::stoul(v["width"]));
    f.vertical_size = static_cast<unsigned>(std::stoul(v["height"]));
    f.aspect_ratio_information = v["display_aspect_ratio"] == "4:3"    ? 2
                                 : v["display_aspect_ratio"] == "16:9" ? 3
                                                                       : 0;
    f.frame_rate_code = v["r_frame_rate"] == "30000/1001" ? 4 : v["r_frame_rate"] == "25/1" ? 3 : 0;
    return f;
}

TEST(DiscAgainstStream, EachTitleAttributeDescribesItsVob) {
    for (const char* name : all_discs) {
        REQUIRE_DISC(folder, name);
        DiscFiles files = disc_find(folder.c_str());
        DiscIfos ifos = disc_read_ifos(files);
        for (std::size_t i = 0; i < files.title_sets.size(); ++i) {
            StreamFacts stream = ffprobe_facts(files.title_sets[i].title_vobs.at(0));
            std::vector<DiscFinding> findings;
            compare_with_stream(ifos.title_sets[i].ifo.vts_video_attr, stream, &findings);
            compare_with_stream(ifos.vmg_ifo.vts_atrt.at(i).vtstt_vobs_video_attr, stream,
                                &findings);
            if (!files.title_sets[i].menu_vob.empty()) {
                StreamFacts menu = ffprobe_facts(files.title_sets[i].menu_vob);
                compare_with_stream(ifos.title_sets[i].ifo.vtsm_video_attr, menu, &findings);
                compare_with_stream(ifos.vmg_ifo.vts_atrt.at(i).vtsm_vobs_attr, menu, &findings);
            }
            EXPECT_EQ(lines(findings), "") << name << " title set " << i + 1;
        }
    }
}

struct StreamCase {
    const char* label;
    StreamFacts stream;
    const char* findings;
};

// Cases print as their label in test names and failures.
void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.label; }

// Against ntsc_43's vts_video_attr (0x43 0x00: MPEG-2, NTSC, 4:3, 720x480).
const StreamCase stream_cases[] = {
    {"agrees", {2, 4, 720, 480, true}, ""},
    {"film_rate_is_ntsc", {2, 1, 720, 480, true}, ""},
    {"wide", {3, 4, 720, 480, true}, "ASPECT_RATIO vts_video_attr 1 VTS_01_0.IFO@512 0 3\n"},
    {"square_pixels",
     {1, 4, 720, 480, true},
     "ASPECT_RATIO vts_video_attr 1 VTS_01_0.IFO@512 0 1\n"},
    {"pal_rate", {2, 3, 720, 480, true}, "TV_SYSTEM vts_video_attr 1 VTS_01_0.IFO@512 0 3\n"},
    {"thirty_frames", {2, 5, 720, 480, true}, "TV_SYSTEM vts_video_attr 1 VTS_01_0.IFO@512 0 5\n"},
    {"narrower", {2, 4, 704, 480, true}, "PICTURE_SIZE vts_video_attr 1 VTS_01_0.IFO@512 0 2c0\n"},
    {"pal_size", {2, 4, 720, 576, true}, "PICTURE_SIZE vts_video_attr 1 VTS_01_0.IFO@512 0 2d0\n"},
    {"mpeg1", {2, 4, 720, 480, false}, "MPEG_VERSION vts_video_attr 1 VTS_01_0.IFO@512 1 0\n"},
    {"pal_disc_for_everything",
     {3, 3, 720, 576, false},
     "ASPECT_RATIO vts_video_attr 1 VTS_01_0.IFO@512 0 3\n"
     "TV_SYSTEM vts_video_attr 1 VTS_01_0.IFO@512 0 3\n"
     "PICTURE_SIZE vts_video_attr 1 VTS_01_0.IFO@512 0 2d0\n"
     "MPEG_VERSION vts_video_attr 1 VTS_01_0.IFO@512 1 0\n"},
};

class DiscAgainstStreamCase : public ::testing::TestWithParam<StreamCase> {};

TEST_P(DiscAgainstStreamCase, OneFindingPerDisagreement) {
    const StreamCase& c = GetParam();
    REQUIRE_DISC(folder, "ntsc_43");
    DiscFiles files = disc_find(folder.c_str());
    DiscIfos ifos = disc_read_ifos(files);
    std::vector<DiscFinding> findings;
    compare_with_stream(ifos.title_sets.at(0).ifo.vts_video_attr, c.stream, &findings);
    EXPECT_EQ(lines(findings), c.findings);
    if (!findings.empty() && findings[0].kind == FindingKind::PICTURE_SIZE) {
        EXPECT_EQ(findings[0].other_vertical, c.stream.vertical_size);
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, DiscAgainstStreamCase, ::testing::ValuesIn(stream_cases),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
