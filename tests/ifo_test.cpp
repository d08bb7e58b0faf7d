// The IFO tables' video attributes: video_attr_t decoded by hand, tables
// built here byte by byte and damaged one way at a time, and the discs that
// dvdauthor authors read against lsdvd and MediaInfo.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "disc/disc_files.hpp"
#include "disc/disc_ifos.hpp"
#include "disc/disc_messages.hpp"
#include "disc/ifo.hpp"
#include "disc/video_attr.hpp"
#include "disc_data.hpp"
#include "tool_runner.hpp"

namespace {

namespace fs = std::filesystem;

struct DecodeCase {
    std::uint8_t bytes[2];
    VideoAttr expected;
    const char* names;  // mpeg_version, video_format, aspect, permitted_df, size
};

// Each field set bit by bit from the layout: 2+2+2+2, then 1+1+3+1+1+1.
const DecodeCase decode_cases[] = {
    // 01 00 00 11 / 00 000 0 0 0: dvdauthor's NTSC 4:3
    {{0x43, 0x00}, {1, 0, 0, 3, false, false, 0, false, 0, false},
     "MPEG-2 NTSC 4:3 not specified 720x480"},
    // 01 01 11 00 / 00 000 0 0 0: dvdauthor's PAL 16:9
    {{0x5C, 0x00}, {1, 1, 3, 0, false, false, 0, false, 0, false},
     "MPEG-2 PAL 16:9 pan-scan and letterbox 720x576"},
    // 00 00 00 00 / 11 111 1 1 1: every bit of the second byte
    {{0x00, 0xFF}, {0, 0, 0, 0, true, true, 7, true, 1, true},
     "MPEG-1 NTSC 4:3 pan-scan and letterbox reserved"},
    // 10 01 00 01 / 00 001 0 0 0: picture_size 1
    {{0x91, 0x08}, {2, 1, 0, 1, false, false, 1, false, 0, false},
     "reserved PAL 4:3 pan-scan only 704x576"},
    // 01 10 10 10 / 01 010 0 0 0: reserved TV system and aspect
    {{0x6A, 0x50}, {1, 2, 2, 2, false, true, 2, false, 0, false},
     "MPEG-2 reserved reserved letterbox only reserved"},
    // 01 00 00 11 / 10 000 1 1 0: captions in field 1, letterboxed, constant rate
    {{0x43, 0x86}, {1, 0, 0, 3, true, false, 0, true, 1, false},
     "MPEG-2 NTSC 4:3 not specified 720x480"},
    // 01 01 00 11 / 00 010 0 0 1: PAL 352x576, film
    {{0x53, 0x11}, {1, 1, 0, 3, false, false, 2, false, 0, true},
     "MPEG-2 PAL 4:3 not specified 352x576"},
    // 01 00 00 11 / 00 011 0 0 0 and PAL: the half-height sizes
    {{0x43, 0x18}, {1, 0, 0, 3, false, false, 3, false, 0, false},
     "MPEG-2 NTSC 4:3 not specified 352x240"},
    {{0x53, 0x18}, {1, 1, 0, 3, false, false, 3, false, 0, false},
     "MPEG-2 PAL 4:3 not specified 352x288"},
    // 01 00 00 11 / 00 100 0 0 0: the first reserved size
    {{0x43, 0x20}, {1, 0, 0, 3, false, false, 4, false, 0, false},
     "MPEG-2 NTSC 4:3 not specified reserved"},
};

class VideoAttrDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(VideoAttrDecode, FieldsAndNames) {
    const DecodeCase& c = GetParam();
    VideoAttr a = video_attr_decode(c.bytes);
    EXPECT_EQ(a.mpeg_version, c.expected.mpeg_version);
    EXPECT_EQ(a.video_format, c.expected.video_format);
    EXPECT_EQ(a.display_aspect_ratio, c.expected.display_aspect_ratio);
    EXPECT_EQ(a.permitted_df, c.expected.permitted_df);
    EXPECT_EQ(a.line21_cc_1, c.expected.line21_cc_1);
    EXPECT_EQ(a.line21_cc_2, c.expected.line21_cc_2);
    EXPECT_EQ(a.bit_rate, c.expected.bit_rate);
    EXPECT_EQ(a.picture_size, c.expected.picture_size);
    EXPECT_EQ(a.letterboxed, c.expected.letterboxed);
    EXPECT_EQ(a.film_mode, c.expected.film_mode);
    std::string names = std::string(mpeg_version_names[a.mpeg_version]) + " " +
                        video_format_names[a.video_format] + " " +
                        display_aspect_ratio_names[a.display_aspect_ratio] + " " +
                        permitted_df_names[a.permitted_df] + " " + picture_size_name(a);
    EXPECT_EQ(names, c.names);
}

void PrintTo(const DecodeCase& c, std::ostream* os) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02x %02x", c.bytes[0], c.bytes[1]);
    *os << hex;
}

INSTANTIATE_TEST_SUITE_P(Bytes, VideoAttrDecode, ::testing::ValuesIn(decode_cases));

// A VMGI of three sectors: the title set attribute table in sector 1 with
// two entries, every attribute a different value.
struct VmgImage {
    Bytes bytes = Bytes(3 * 2048, 0);
    void put16(std::size_t at, unsigned v) {
        bytes[at] = static_cast<std::uint8_t>(v >> 8);
        bytes[at + 1] = static_cast<std::uint8_t>(v);
    }
    void put32(std::size_t at, std::uint32_t v) {
        put16(at, v >> 16);
        put16(at + 2, v & 0xFFFF);
    }
    VmgImage() {
        std::copy_n("DVDVIDEO-VMG", 12, bytes.begin());
        put16(0x3E, 2);                       // vmg_nr_of_title_sets
        put32(0xD0, 1);                       // vts_atrt
        put16(0x100, 0x4301);                 // vmgm_video_attr
        put16(2048, 2);                       // nr_of_vtss
        put32(2048 + 4, 16 + 2 * 0x300 - 1);  // last_byte
        put32(2048 + 8, 16);
        put32(2048 + 12, 16 + 0x300);
        put16(2048 + 16 + 0x008, 0x4302);
        put16(2048 + 16 + 0x108, 0x4303);
        put16(2048 + 16 + 0x300 + 0x008, 0x5304);
        put16(2048 + 16 + 0x300 + 0x108, 0x5C05);
    }
};

TEST(IfoParse, VmgAttributesAtTheirOffsets) {
    VmgImage image;
    IfoVmg vmg = ifo_parse_vmg(image.bytes.data(), image.bytes.size(), "V.IFO");
    ASSERT_EQ(vmg.fault, IfoFault::NONE);
    EXPECT_EQ(vmg.vmg_nr_of_title_sets, 2u);
    EXPECT_EQ(vmg.nr_of_vtss, 2u);
    struct Want {
        const VideoAttrSite* site;
        AttrField field;
        unsigned title_set;
        std::uint64_t offset;
        unsigned word;
    };
    ASSERT_EQ(vmg.vts_atrt.size(), 2u);
    const Want wants[] = {
        {&vmg.vmgm_video_attr, AttrField::vmgm_video_attr, 0, 0x100, 0x4301},
        {&vmg.vts_atrt[0].vtsm_vobs_attr, AttrField::vtsm_vobs_attr, 1, 2048 + 16 + 8, 0x4302},
        {&vmg.vts_atrt[0].vtstt_vobs_video_attr, AttrField::vtstt_vobs_video_attr, 1,
         2048 + 16 + 0x108, 0x4303},
        {&vmg.vts_atrt[1].vtsm_vobs_attr, AttrField::vtsm_vobs_attr, 2, 2048 + 16 + 0x308, 0x5304},
        {&vmg.vts_atrt[1].vtstt_vobs_video_attr, AttrField::vtstt_vobs_video_attr, 2,
         2048 + 16 + 0x408, 0x5C05},
    };
    for (const Want& w : wants) {
        EXPECT_EQ(w.site->field, w.field);
        EXPECT_EQ(w.site->title_set, w.title_set);
        EXPECT_EQ(w.site->offset, w.offset);
        EXPECT_EQ(w.site->file, "V.IFO");
        EXPECT_EQ(unsigned(w.site->bytes[0] << 8 | w.site->bytes[1]), w.word) << w.offset;
    }
}

// One damage each: what is changed, the fault and the offset it names.
struct VmgDamage {
    const char* label;
    void (*damage)(VmgImage&);
    IfoFault fault;
    std::uint64_t fault_offset;
};

// Cases print as their label in test names and failures.
void PrintTo(const VmgDamage& c, std::ostream* os) { *os << c.label; }

const VmgDamage vmg_damages[] = {
    {"cut_before_attributes", [](VmgImage& i) { i.bytes.resize(0x101); }, IfoFault::CUT_SHORT,
     0x102},
    {"cut_inside_identifier", [](VmgImage& i) { i.bytes.resize(5); }, IfoFault::CUT_SHORT, 0x102},
    {"empty", [](VmgImage& i) { i.bytes.clear(); }, IfoFault::CUT_SHORT, 0x102},
    {"title_set_identifier", [](VmgImage& i) { std::copy_n("DVDVIDEO-VTS", 12, i.bytes.begin()); },
     IfoFault::WRONG_IDENTIFIER, 0},
    {"short_and_not_an_ifo", [](VmgImage& i) { i.bytes.assign(40, 'x'); },
     IfoFault::WRONG_IDENTIFIER, 0},
    {"no_table", [](VmgImage& i) { i.put32(0xD0, 0); }, IfoFault::NO_ATRT, 0},
    {"table_sector_past_end", [](VmgImage& i) { i.put32(0xD0, 3); }, IfoFault::ATRT_PAST_END,
     3 * 2048 + 8},
    {"table_sector_far_past_end", [](VmgImage& i) { i.put32(0xD0, 0xFFFFFFFF); },
     IfoFault::ATRT_PAST_END, 0xFFFFFFFFull * 2048 + 8},
    {"cut_in_table_header", [](VmgImage& i) { i.bytes.resize(2048 + 7); }, IfoFault::ATRT_PAST_END,
     2048 + 8},
    {"cut_in_table", [](VmgImage& i) { i.bytes.resize(2048 + 16 + 0x5FF); },
     IfoFault::ATRT_PAST_END, 2048 + 16 + 0x600},
    {"last_byte_past_end", [](VmgImage& i) { i.put32(2048 + 4, 4096); }, IfoFault::ATRT_PAST_END,
     2048 + 4097},
    {"offsets_past_last_byte", [](VmgImage& i) { i.put16(2048, 400); }, IfoFault::ATRT_PAST_END,
     2048 + 8 + 1600},
    {"entry_past_table", [](VmgImage& i) { i.put32(2048 + 12, 16 + 0x580); },
     IfoFault::ATRT_ENTRY_PAST_END, 2048 + 16 + 0x580},
    {"entry_just_past_table", [](VmgImage& i) { i.put32(2048 + 12, 16 + 0x600 - 0x109); },
     IfoFault::ATRT_ENTRY_PAST_END, 2048 + 16 + 0x600 - 0x109},
};

class IfoVmgDamage : public ::testing::TestWithParam<VmgDamage> {};

TEST_P(IfoVmgDamage, GivesTheReason) {
    const VmgDamage& c = GetParam();
    VmgImage image;
    c.damage(image);
    // An exact-size copy, so that a read past its end is caught by the
    // sanitizer build.
    Bytes exact(image.bytes);
    IfoVmg vmg = ifo_parse_vmg(exact.data(), exact.size(), "V.IFO");
    EXPECT_EQ(vmg.fault, c.fault);
    EXPECT_EQ(vmg.fault_offset, c.fault_offset);
    EXPECT_TRUE(vmg.vts_atrt.empty());
    EXPECT_NE(ifo_fault_message(c.fault), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Damage, IfoVmgDamage, ::testing::ValuesIn(vmg_damages),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(IfoParse, VtsAttributesAndItsDamage) {
    Bytes bytes(2048, 0);
    std::copy_n("DVDVIDEO-VTS", 12, bytes.begin());
    bytes[0x100] = 0x43, bytes[0x101] = 0x9A;
    bytes[0x200] = 0x5C, bytes[0x201] = 0x0D;
    IfoVts vts = ifo_parse_vts(bytes.data(), bytes.size(), "T.IFO", 7);
    ASSERT_EQ(vts.fault, IfoFault::NONE);
    EXPECT_EQ(vts.vtsm_video_attr.field, AttrField::vtsm_video_attr);
    EXPECT_EQ(vts.vtsm_video_attr.offset, 0x100u);
    EXPECT_EQ(vts.vtsm_video_attr.title_set, 7u);
    EXPECT_EQ(vts.vtsm_video_attr.bytes[1], 0x9A);
    EXPECT_EQ(vts.vts_video_attr.field, AttrField::vts_video_attr);
    EXPECT_EQ(vts.vts_video_attr.offset, 0x200u);
    EXPECT_EQ(vts.vts_video_attr.bytes[0], 0x5C);
    EXPECT_EQ(vts.vts_video_attr.bytes[1], 0x0D);
    EXPECT_EQ(vts.vts_video_attr.file, "T.IFO");

    Bytes cut(bytes.begin(), bytes.begin() + 0x201);
    IfoVts short_vts = ifo_parse_vts(cut.data(), cut.size(), "T.IFO", 7);
    EXPECT_EQ(short_vts.fault, IfoFault::CUT_SHORT);
    EXPECT_EQ(short_vts.fault_offset, 0x202u);
    Bytes whole(bytes.begin(), bytes.begin() + 0x202);
    EXPECT_EQ(ifo_parse_vts(whole.data(), whole.size(), "T.IFO", 7).fault, IfoFault::NONE);
    std::copy_n("DVDVIDEO-VMG", 12, bytes.begin());
    EXPECT_EQ(ifo_parse_vts(bytes.data(), bytes.size(), "T.IFO", 7).fault,
              IfoFault::WRONG_IDENTIFIER);
}

// Every cut of a real IFO parses without reading past the cut, and fails
// until the cut leaves what the attributes need.
TEST(IfoParse, EveryCutOfARealDisc) {
    REQUIRE_DISC(folder, "menus_43");
    Bytes vmg_bytes = read_file(folder + "/VIDEO_TS/VIDEO_TS.IFO");
    IfoVmg whole = ifo_parse_vmg(vmg_bytes.data(), vmg_bytes.size(), "x");
    ASSERT_EQ(whole.fault, IfoFault::NONE);
    std::uint64_t atrt_end = 0;
    for (const AtrtEntry& e : whole.vts_atrt)
        atrt_end = std::max(atrt_end, e.vtstt_vobs_video_attr.offset + 2);
    for (std::size_t size = 0; size < vmg_bytes.size(); ++size) {
        Bytes cut(vmg_bytes.begin(), vmg_bytes.begin() + static_cast<std::ptrdiff_t>(size));
        IfoVmg vmg = ifo_parse_vmg(cut.data(), cut.size(), "x");
        if (size < 0x102) {
            ASSERT_EQ(vmg.fault, IfoFault::CUT_SHORT) << size;
        } else if (size < atrt_end) {
            ASSERT_EQ(vmg.fault, IfoFault::ATRT_PAST_END) << size;
        }
    }
    Bytes vts_bytes = read_file(folder + "/VIDEO_TS/VTS_01_0.IFO");
    for (std::size_t size = 0; size <= 0x202; ++size) {
        Bytes cut(vts_bytes.begin(), vts_bytes.begin() + static_cast<std::ptrdiff_t>(size));
        IfoVts vts = ifo_parse_vts(cut.data(), cut.size(), "x", 1);
        ASSERT_EQ(vts.fault, size < 0x202 ? IfoFault::CUT_SHORT : IfoFault::NONE) << size;
    }
}

// lsdvd's names for the fields it prints.
std::string lsdvd_aspect(unsigned dar) { return dar == 0 ? "4/3" : dar == 3 ? "16/9" : "?"; }
std::string lsdvd_df(unsigned df) {
    static const char* const names[] = {"P&S + Letter", "Pan&Scan", "Letterbox", "?"};
    return names[df];
}
std::string mediainfo_aspect(unsigned dar) { return dar == 0 ? "4:3" : dar == 3 ? "16:9" : "?"; }

// MediaInfo's line for an IFO's video: version|width|height|aspect|system.
std::string mediainfo_line(const VideoAttr& a) {
    PictureSize size = picture_size_of(a);
    return "Version " + std::to_string(a.mpeg_version + 1) + "|" +
           std::to_string(size.horizontal_size) + "|" + std::to_string(size.vertical_size) + "|" +
           mediainfo_aspect(a.display_aspect_ratio) + "|" + video_format_names[a.video_format];
}

// What MediaInfo printed, without the line ends it adds (one or two,
// depending on its version and whether its output is a terminal).
std::string mediainfo(const std::string& inform, const std::string& file) {
    std::string out = run_command({"mediainfo", inform, file}).out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

class DiscAgainstReaders : public ::testing::TestWithParam<const char*> {};

TEST_P(DiscAgainstReaders, LsdvdAndMediaInfoReadTheSameAttributes) {
    REQUIRE_DISC(folder, GetParam());
    DiscFiles files = disc_find(folder.c_str());
    ASSERT_EQ(files.fault, DiscFault::NONE);
    EXPECT_TRUE(files.damage.empty());
    DiscIfos ifos = disc_read_ifos(files);
    ASSERT_EQ(ifos.vmg_ifo.fault, IfoFault::NONE);
    ASSERT_EQ(ifos.vmg_bup.fault, IfoFault::NONE);
    EXPECT_EQ(ifos.vmg_ifo.vmg_nr_of_title_sets, files.title_sets.size());
    EXPECT_EQ(ifos.vmg_ifo.nr_of_vtss, files.title_sets.size());

    RunResult lsdvd = run_command({"lsdvd", "-x", folder});
    const std::string inform =
        "--Inform=Video;%Format_Version%|%Width%|%Height%|"
        "%DisplayAspectRatio/String%|%Standard%";
    for (const TitleSetIfos& t : ifos.title_sets) {
        ASSERT_EQ(t.ifo.fault, IfoFault::NONE) << t.ifo.file;
        ASSERT_EQ(t.bup.fault, IfoFault::NONE) << t.bup.file;
        VideoAttr a = video_attr_decode(t.ifo.vts_video_attr.bytes);
        char vts[16];
        std::snprintf(vts, sizeof vts, "VTS: %02u,", t.title_set);
        // lsdvd's picture size is left out: libdvdread reads picture_size two
        // bits one place too low (sif_captions: 352x240 read as 352x480).
        std::string said = std::string("Format: ") + video_format_names[a.video_format] +
                           ", Aspect ratio: " + lsdvd_aspect(a.display_aspect_ratio) + ", ";
        std::string df = ", DF: " + lsdvd_df(a.permitted_df);
        std::size_t line = lsdvd.out.find(vts);
        ASSERT_NE(line, std::string::npos) << lsdvd.out;
        std::string lsdvd_line = lsdvd.out.substr(line, lsdvd.out.find('\n', line) - line);
        EXPECT_NE(lsdvd_line.find(said), std::string::npos) << lsdvd_line << "\nwanted: " << said;
        EXPECT_NE(lsdvd_line.find(df), std::string::npos) << lsdvd_line << "\nwanted: " << df;
        EXPECT_EQ(mediainfo(inform, t.ifo.file), mediainfo_line(a));
        EXPECT_EQ(mediainfo(inform, t.bup.file), mediainfo_line(a));
    }
    VideoAttr menus = video_attr_decode(ifos.vmg_ifo.vmgm_video_attr.bytes);
    EXPECT_EQ(mediainfo(inform, files.vmg_ifo), mediainfo_line(menus));
}

INSTANTIATE_TEST_SUITE_P(Discs, DiscAgainstReaders, ::testing::ValuesIn(all_discs));

// The second byte, value by value, as MediaInfo reads it: the picture size
// (three bits), and the bit rate mode.
TEST(VideoAttrAgainstMediaInfo, SecondByteBitByBit) {
    REQUIRE_DISC(ntsc, "ntsc_43");
    REQUIRE_DISC(pal, "pal_43");
    ScratchDir scratch;
    for (const std::string& folder : {ntsc, pal}) {
        Bytes ifo = read_file(folder + "/VIDEO_TS/VTS_01_0.IFO");
        for (unsigned second : {0x00u, 0x08u, 0x10u, 0x18u, 0x20u, 0x38u, 0x02u, 0x1Au, 0x0Au,
                                0xC4u, 0xC1u}) {
            ifo[0x201] = static_cast<std::uint8_t>(second);
            std::string copy = scratch.write("VTS_01_0.IFO", ifo);
            VideoAttr a = video_attr_decode(&ifo[0x200]);
            PictureSize size = picture_size_of(a);
            std::string expected = std::to_string(size.horizontal_size) + "|" +
                                   std::to_string(size.vertical_size) + "|" +
                                   (a.bit_rate ? "CBR" : "VBR");
            EXPECT_EQ(mediainfo("--Inform=Video;%Width%|%Height%|%BitRate_Mode%", copy), expected)
                << folder << " second byte " << second;
        }
    }
}

// dvdauthor as the writer of the fields that are not the picture's shape:
// a 352x240 title with captions in field 2 only.
TEST(VideoAttrAgainstDvdauthor, HalfSizeWithCaptions) {
    REQUIRE_DISC(folder, "sif_captions");
    IfoVts vts = ifo_read_vts(folder + "/VIDEO_TS/VTS_01_0.IFO", 1);
    ASSERT_EQ(vts.fault, IfoFault::NONE);
    VideoAttr a = video_attr_decode(vts.vts_video_attr.bytes);
    EXPECT_FALSE(a.line21_cc_1);
    EXPECT_TRUE(a.line21_cc_2);
    EXPECT_EQ(a.picture_size, 3u);
    EXPECT_STREQ(picture_size_name(a), "352x240");
    EXPECT_EQ(a.bit_rate, 0u);
    EXPECT_FALSE(a.letterboxed);
}

// A file's damage on disk, and the reason it gives.
struct FileDamage {
    const char* label;
    const char* file;
    std::uintmax_t cut_to;  // 0: left whole
    const char* overwrite;  // put at the start when not null
    IfoFault fault;
};

// Cases print as their label in test names and failures.
void PrintTo(const FileDamage& c, std::ostream* os) { *os << c.label; }

const FileDamage file_damages[] = {
    {"vmg_cut_short", "VIDEO_TS.IFO", 200, nullptr, IfoFault::CUT_SHORT},
    {"vmg_table_cut_off", "VIDEO_TS.IFO", 4096 + 100, nullptr, IfoFault::ATRT_PAST_END},
    {"vmg_wrong_identifier", "VIDEO_TS.IFO", 0, "DVDVIDEO-VTS", IfoFault::WRONG_IDENTIFIER},
    {"vmg_bup_missing", "VIDEO_TS.BUP", 0, nullptr, IfoFault::MISSING},
    {"vts_cut_short", "VTS_01_0.IFO", 513, nullptr, IfoFault::CUT_SHORT},
    {"vts_wrong_identifier", "VTS_01_0.BUP", 0, "DVDVIDEO-VMG", IfoFault::WRONG_IDENTIFIER},
    {"vts_bup_missing", "VTS_01_0.BUP", 0, nullptr, IfoFault::MISSING},
};

IfoFault fault_of(const DiscIfos& ifos, const std::string& name) {
    if (name == "VIDEO_TS.IFO") return ifos.vmg_ifo.fault;
    if (name == "VIDEO_TS.BUP") return ifos.vmg_bup.fault;
    if (name == "VTS_01_0.IFO") return ifos.title_sets.at(0).ifo.fault;
    return ifos.title_sets.at(0).bup.fault;
}

class DamagedDisc : public ::testing::TestWithParam<FileDamage> {};

TEST_P(DamagedDisc, EachFileGivesItsReason) {
    const FileDamage& c = GetParam();
    REQUIRE_DISC(folder, "ntsc_43");
    ScratchDir scratch;
    fs::copy(folder, scratch.path(), fs::copy_options::recursive);
    fs::path file = fs::path(scratch.path()) / "VIDEO_TS" / c.file;
    if (c.fault == IfoFault::MISSING) {
        fs::remove(file);
    } else if (c.cut_to != 0) {
        fs::resize_file(file, c.cut_to);
    } else {
        std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
        f.write(c.overwrite, 12);
    }
    DiscFiles files = disc_find(scratch.path().c_str());
    ASSERT_EQ(files.fault, DiscFault::NONE);
    DiscIfos ifos = disc_read_ifos(files);
    EXPECT_EQ(fault_of(ifos, c.file), c.fault);
    for (const char* other : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_0.BUP"}) {
        if (std::string(other) == c.file) continue;
        EXPECT_EQ(fault_of(ifos, other), IfoFault::NONE) << other;
    }
    bool damage_said = false;
    for (const DiscDamageAt& d : files.damage)
        damage_said = damage_said || d.damage == DiscDamage::MISSING_BUP;
    EXPECT_EQ(damage_said, c.fault == IfoFault::MISSING);
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedDisc, ::testing::ValuesIn(file_damages),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace

namespace {

// The file layer's refusals: a table too large for any IFO, and a folder
// where the file should be, each with the system's reason kept.
TEST(IfoLoad, SizeLimitAndFolders) {
    ScratchDir scratch;
    Bytes head(2048, 0);
    std::copy_n("DVDVIDEO-VTS", 12, head.begin());
    head[0x200] = 0x5C;
    std::string at_limit = scratch.write("at_limit.IFO", head);
    fs::resize_file(at_limit, IFO_MAX_SIZE);
    IfoVts vts = ifo_read_vts(at_limit, 1);
    EXPECT_EQ(vts.fault, IfoFault::NONE);
    EXPECT_EQ(vts.vts_video_attr.bytes[0], 0x5C);
    std::string over = scratch.write("over.IFO", head);
    fs::resize_file(over, IFO_MAX_SIZE + 1);
    EXPECT_EQ(ifo_read_vts(over, 1).fault, IfoFault::TOO_LARGE);

    fs::create_directory(fs::path(scratch.path()) / "VTS_01_0.IFO");
    IfoVts folder = ifo_read_vts(scratch.path() + "/VTS_01_0.IFO", 1);
    EXPECT_EQ(folder.fault, IfoFault::OPEN_FAILED);
    EXPECT_NE(folder.error, 0);
    IfoVmg none = ifo_read_vmg(scratch.path() + "/VIDEO_TS.IFO");
    EXPECT_EQ(none.fault, IfoFault::OPEN_FAILED);
    EXPECT_NE(none.error, 0);
    EXPECT_EQ(ifo_read_vmg("").fault, IfoFault::MISSING);
}

}  // namespace
