// --check on hand-built streams: what ffmpeg cannot make (field pictures,
// frame-rate extensions, streams without pictures), failures with --json,
// and the quoting of file names in the fix lines.
#include <gtest/gtest.h>

#include <filesystem>

#include "check/check.hpp"
#include "check/fix_command.hpp"
#include "tool_runner.hpp"

namespace {

// A sequence header (12 bytes) and extension (10 bytes), then GOPs of
// `gop` pictures each; a field picture where `fields` is set.
Bytes sequence(const SequenceHeader& h, const SequenceExtension& e, std::vector<unsigned> gops,
               bool fields = false, unsigned slice_bytes = 100) {
    Bytes s = concat({sequence_header(h), sequence_extension(e)});
    for (unsigned count : gops) {
        append(s, group_header({}));
        for (unsigned i = 0; i < count; ++i) {
            PictureCodingExtension x;
            x.picture_structure = fields ? 1 + i % 2 : 3;
            x.progressive_frame = fields ? 0 : 1;
            append(s, concat({picture_header({i, 1}), picture_coding_extension(x), slice(slice_bytes)}));
        }
    }
    return s;
}

SequenceHeader pal() {
    SequenceHeader h;
    h.vertical_size_value = 576;
    h.frame_rate_code = 3;
    return h;
}

SequenceExtension with_rate_extension() {
    SequenceExtension e;
    e.frame_rate_extension_n = 1;
    return e;
}

SequenceExtension chroma_422() {
    SequenceExtension e;
    e.chroma_format = 2;
    return e;
}

SequenceHeader small_buffer() {
    SequenceHeader h;
    h.vbv_buffer_size_value = 1;
    return h;
}

// 480 lines at `width`, 16:9 or 4:3.
SequenceHeader wide(unsigned width) {
    SequenceHeader h;
    h.horizontal_size_value = width;
    h.aspect_ratio_information = 3;
    return h;
}

SequenceHeader narrow(unsigned width) {
    SequenceHeader h;
    h.horizontal_size_value = width;
    return h;
}

struct CheckCase {
    const char* what;
    const char* profile;
    Bytes stream;
    int status;
    std::string out;
};

// A stream that breaks a rule exits with 3, apart from 1 for one that could
// not be read.
// Offsets: the GOP header of the first sequence is at 0x16 (12 + 10
// bytes), its first picture at 0x1e; each picture takes 8 + 9 + 4 + 100 =
// 121 bytes: the second GOP of three pictures before it is at 0x189, the
// second sequence after two pictures at 0x110, its extension at 0x11c.
TEST(Check, HandBuiltStreams) {
    const std::vector<CheckCase> cases = {
        {"36 field pictures: 18 frames", "dvd", sequence({}, {}, {36}, true), 0, "dvd: compliant\n"},
        {"37 field pictures", "dvd", sequence({}, {}, {37}, true), 3,
         "FAIL gop_length: a GOP of 18.5 frames (field pictures count as half), at most 18 (first at 0x00000016, 1 times)\n"
         "dvd: 1 rule broken\n"},
        {"15 frames at 25", "dvd", concat({sequence(pal(), {}, {15}), sequence(pal(), {}, {15})}), 0,
         "dvd: compliant\n"},
        {"16 frames at 25, twice, after one of 3", "dvd", sequence(pal(), {}, {3, 16, 16}), 3,
         "FAIL gop_sequence_header: a GOP header without a sequence header before it "
         "(first at 0x00000189, 2 times)\n"
         "FAIL gop_length: a GOP of 16 frames (field pictures count as half), at most 15 (first at 0x00000189, 2 times)\n"
         "dvd: 2 rules broken\n"},
        // 16:9 only at 720 and 704 wide; no aspect fix before the size is a DVD size.
        {"716x480 16:9", "dvd", sequence(wide(716), {}, {1}), 3,
         "FAIL picture_size: 716x480 (first at 0x00000000, 1 times)\n"
         "FAIL aspect_ratio: 16:9 at 716x480 (first at 0x00000000, 1 times)\n"
         "dvd: 2 rules broken\n"},
        {"716x480 4:3", "dvd", sequence(narrow(716), {}, {1}), 3,
         "FAIL picture_size: 716x480 (first at 0x00000000, 1 times)\ndvd: 1 rule broken\n"},
        {"704x480 16:9", "dvd", sequence(wide(704), {}, {1}), 0, "dvd: compliant\n"},
        // The second sequence, 12 + 10 + 8 + 121 = 0x97 bytes on, is 716 wide.
        {"720x480, then 716x480, both 16:9", "dvd",
         concat({sequence(wide(720), {}, {1}), sequence(wide(716), {}, {1})}), 3,
         "FAIL picture_size: 716x480 (first at 0x00000097, 1 times)\n"
         "FAIL aspect_ratio: 16:9 at 716x480 (first at 0x00000097, 1 times)\n"
         "dvd: 2 rules broken\n"},
        {"bluray has no GOP rules", "bluray", sequence(pal(), {}, {3, 16, 16}), 0, "bluray: compliant\n"},
        {"empty file", "dvd", {}, 3,
         "FAIL video: no sequence header (first at 0x00000000, 1 times)\ndvd: 1 rule broken\n"},
        {"no picture", "bluray", sequence({}, {}, {}), 3,
         "FAIL video: no picture (first at 0x00000000, 1 times)\nbluray: 1 rule broken\n"},
        {"a frame-rate extension", "dvd", sequence({}, with_rate_extension(), {1}), 3,
         "FAIL frame_rate: 720x480 interlaced at 29.97 fps with frame_rate_extension_n 1, "
         "frame_rate_extension_d 0 (first at 0x00000000, 1 times)\n"
         "dvd: 1 rule broken\n"},
        {"a second sequence in 4:2:2", "dvd", concat({sequence({}, {}, {2}), sequence({}, chroma_422(), {2})}), 3,
         "FAIL chroma_format: 4:2:2 (first at 0x0000011c, 1 times)\n"
         "dvd: 1 rule broken\n"},
        // 2951 bytes, 23608 bits, into a buffer of 16384: no rate helps.
        {"a picture larger than the buffer", "dvd", sequence(small_buffer(), {}, {1}, false, 2900), 3,
         "FAIL vbv_underflow: VBV underflow at 8000000 bit/s with a buffer of 16384 bits "
         "(first at 0x00000000, 1 times)\n"
         "dvd: 1 rule broken\n"},
    };
    for (const CheckCase& c : cases) {
        RunResult r = run_on(c.stream, {"--check", c.profile});
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.out, c.out) << c.what;
        EXPECT_EQ(r.err, "") << c.what;
    }
}

// A frame rate that the size does not take, and a 480-line sequence at 25.
TEST(Check, FrameRateOfTheSize) {
    SequenceHeader h;
    h.frame_rate_code = 3;
    RunResult r = run_on(sequence(h, {}, {1}), {"--check", "dvd"});
    EXPECT_EQ(r.out,
              "FAIL frame_rate: 720x480 interlaced at 25 fps (first at 0x00000000, 1 times)\n"
              "dvd: 1 rule broken\n");
}

// --check --json writes its document whatever stops the run; the messages
// on standard error are those of the run without --json.
TEST(Check, JsonOnFailures) {
    ScratchDir dir;
    std::string missing = dir.path() + "/missing \"1\".m2v";
    Bytes transport(188 * 3, 0);
    for (std::size_t at = 0; at < transport.size(); at += 188) transport[at] = 0x47;
    std::string ts = dir.write("a.ts", transport);
    // An option on the command line: the newer texts, which name the file
    // and the system's reason; the check reads a transport stream by itself
    // and finds no video in this one.
    const std::string refusal =
        sjis("m2vhdr: ファイルに MPEG-1 や MPEG-2 の映像ストリームがありません\n");
    // Windows refuses the quote in a name (in the Japanese of the UI that
    // the Windows suite runs in).
    const std::string reason =
        external_tool() ? sjis("名前は正しくありません") : "No such file or directory";
    for (const auto& [path, err] :
         {std::pair{missing, "m2vhdr: '" + missing + "' " + sjis("を開けません") + ": " + reason + "\n"},
          std::pair{ts, refusal}}) {
        RunResult r = run_tool({"m2vhdr", "--check", "bluray", "--json", path});
        std::string name = path;
        for (std::size_t at = 0; (at = name.find('"', at)) != std::string::npos; at += 2)
            name.insert(at, "\\");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, err);
        EXPECT_EQ(r.out, "{\n  \"file\": \"" + name +
                             "\",\n  \"profile\": \"bluray\",\n  \"status\": \"error\",\n"
                             "  \"violations\": []\n}\n");
        // Without --json, nothing on standard output.
        r = run_tool({"m2vhdr", "--check", "dvd", path});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, err);
    }
}

// A name for the fix lines that a POSIX shell reads back as it was.
TEST(Check, ShellWords) {
    const std::pair<const char*, const char*> cases[] = {
        {"movie.m2v", "movie.m2v"},
        {"/a/b_c-d+e=f@g%h:i,j.m2v", "/a/b_c-d+e=f@g%h:i,j.m2v"},
        {"", "''"},
        {"a b.m2v", "'a b.m2v'"},
        {"it's", "'it'\\''s'"},
        {"$HOME`x`\\\"*?~!;&|<>()[]{}#\n\t", "'$HOME`x`\\\"*?~!;&|<>()[]{}#\n\t'"},
        {"\xE5\x8B\x95\xE7\x94\xBB.m2v", "'\xE5\x8B\x95\xE7\x94\xBB.m2v'"},
    };
    for (const auto& [name, word] : cases) EXPECT_EQ(sh_word(name), word) << name;
}

// A name for the fix lines that cmd.exe hands on, and the program's C
// runtime splits back, as it was: double quotes around what cmd.exe acts on,
// backslashes before a closing quote doubled, and each '%' with another after
// it outside the quotes with a quote opening right after it, so that
// cmd.exe finds no variable's name there. (The Windows suite runs them.)
TEST(Check, CmdWords) {
    const std::pair<const char*, const char*> cases[] = {
        {"movie.m2v", "movie.m2v"},
        {"C:\\a\\b_c-d+e=f@g:i,j;k.m2v", "C:\\a\\b_c-d+e=f@g:i,j;k.m2v"},
        {"", "\"\""},
        {"my rec 100%.ts", "\"my rec 100%.ts\""},
        {"100%", "\"100%\""},
        {"a%PATH%b & c", "\"a\"%\"PATH%b & c\""},
        {"%x%%y%", "\"\"%\"x\"%\"\"%\"y%\""},
        {"50% off 20%", "\"50\"%\" off 20%\""},
        {"(x)^y|z<>", "\"(x)^y|z<>\""},
        {"a*b?", "\"a*b?\""},
        {"C:\\my dir\\", "\"C:\\my dir\\\\\""},
        {"\xE5\x8B\x95\xE7\x94\xBB.m2v", "\xE5\x8B\x95\xE7\x94\xBB.m2v"},
    };
    for (const auto& [name, word] : cases) {
        std::string got;
        EXPECT_TRUE(cmd_word(name, &got)) << name;
        EXPECT_EQ(got, word) << name;
    }
    // What no cmd.exe line carries through whole: a line with it is refused.
    std::string line = "unchanged";
    for (const char* name : {"a\"b", "a\nb", "a\rb"}) {
        std::string word;
        EXPECT_FALSE(cmd_word(name, &word)) << name;
        EXPECT_FALSE(command_line({"m2vhdr", name}, CommandShell::CMD, &line)) << name;
    }
    EXPECT_EQ(line, "unchanged");
    EXPECT_TRUE(command_line({"m2vhdr", "--", "-a b", "1"}, CommandShell::CMD, &line));
    EXPECT_EQ(line, "m2vhdr -- \"-a b\" 1");
    EXPECT_TRUE(command_line({"m2vhdr", "--", "-a b", "1"}, CommandShell::SH, &line));
    EXPECT_EQ(line, "m2vhdr -- '-a b' 1");
}

// --check --json: each fix as the line for the shell and as its arguments,
// the arguments as they are; null both where there is no fix.
TEST(Check, JsonFixArguments) {
    ScratchDir dir;
    SequenceHeader h;
    h.aspect_ratio_information = 1;  // 1:1: DVD takes 4:3 or 16:9 at 720x480
    h.frame_rate_code = 3;           // 25 fps at 480 lines: no fix
    std::string path = dir.write("my rec 100%.m2v", sequence(h, {}, {1}));
    RunResult r = run_tool({"m2vhdr", "--json", "--check", "dvd", path});
    EXPECT_NE(r.out.find("\"found\": \"720x480 interlaced at 25 fps\", \"fix\": null, \"fix_argv\": null}"),
              std::string::npos)
        << r.out;
    // sh quotes the name in single quotes; cmd.exe (the Windows build) in
    // double ones.
    std::string quote = external_tool() ? "\\\"" : "'";
    EXPECT_NE(r.out.find("\"fix\": \"m2vhdr --set aspect_ratio_information=4:3 " + quote + path +
                         quote + "\", \"fix_argv\": [\"m2vhdr\", \"--set\", \"aspect_ratio_information=4:3\", \"" +
                         path + "\"]}"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.err, "");
    // A name that begins with '-' comes after "--", or the fix would read it
    // as an option.
    if (external_tool()) return;  // the Windows suite runs its own lines
    dir.write("-a.m2v", sequence(h, {}, {1}));
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    r = run_tool({"m2vhdr", "--json", "--check", "dvd", "--", "-a.m2v"});
    std::filesystem::current_path(here);
    EXPECT_NE(r.out.find("\"fix\": \"m2vhdr --set aspect_ratio_information=4:3 -- -a.m2v\", "
                         "\"fix_argv\": [\"m2vhdr\", \"--set\", \"aspect_ratio_information=4:3\", "
                         "\"--\", \"-a.m2v\"]}"),
              std::string::npos)
        << r.out;
}

// A stream at one format of a profile's table, keeping every other rule:
// one sequence, one GOP of `gop` frame pictures.
struct Probe {
    SequenceHeader h;
    SequenceExtension e;
    bool mpeg1 = false;
    unsigned gop = 1;
};

Bytes build(const Probe& p) {
    Bytes s = sequence_header(p.h);
    if (!p.mpeg1) append(s, sequence_extension(p.e));
    append(s, group_header({}));
    for (unsigned i = 0; i < p.gop; ++i) {
        append(s, picture_header({i, 1}));
        if (!p.mpeg1) append(s, picture_coding_extension({}));
        append(s, slice(100));
    }
    return s;
}

Probe at_format(const ProfileRules& r, const Format& f) {
    Probe p;
    p.mpeg1 = r.mpeg1;
    p.h.horizontal_size_value = f.horizontal_size;
    p.h.vertical_size_value = f.vertical_size;
    p.h.frame_rate_code = f.frame_rate_code;
    // MPEG-1's codes are pel aspect ratios, which no rule reads.
    p.h.aspect_ratio_information = (f.aspects & ASPECT_4_3) ? 2 : (f.aspects & ASPECT_16_9) ? 3 : 1;
    p.h.bit_rate_value = r.max_bit_rate / 800;
    p.e.progressive_sequence = f.scan == Scan::PROGRESSIVE;
    if (r.profile_level_count) p.e.profile_and_level_indication = r.profile_levels[0];
    return p;
}

void set_rate(Probe& p, std::uint32_t units) {
    p.h.bit_rate_value = units & 0x3FFFF;
    p.e.bit_rate_extension = units >> 18;
}

void set_buffer(Probe& p, std::uint32_t units) {
    p.h.vbv_buffer_size_value = units & 0x3FF;
    p.e.vbv_buffer_size_extension = units >> 10;
}

bool has_rule(const ProfileRules& r, RuleKind kind) {
    for (unsigned i = 0; i < r.rule_count; ++i)
        if (r.rules[i] == kind) return true;
    return false;
}

struct Limit {
    std::string what;
    Probe at;    // at the limit: compliant
    Probe over;  // one step over it: breaks `rule`
    RuleKind rule;
};

// Every limit of the three tables, read from the tables themselves: the
// rate (in units of 400 bit/s), each picture size with its frame rate,
// scan and aspect ratios, each level's VBV buffer and the GOP length at 25
// and at 30 frame/s. A step is one unit of the field: 400 bit/s, a pel, an
// aspect code, 16384 bits, a frame.
std::vector<Limit> limits(const ProfileRules& r) {
    std::vector<Limit> found;
    Probe base = at_format(r, r.formats[0]);
    EXPECT_EQ(r.max_bit_rate % 400, 0u);
    Limit rate{"bit rate", base, base, RuleKind::BIT_RATE};
    set_rate(rate.at, r.max_bit_rate / 400);
    set_rate(rate.over, r.max_bit_rate / 400 + 1);
    found.push_back(rate);
    for (unsigned i = 0; i < r.format_count; ++i) {
        const Format& f = r.formats[i];
        std::string size = std::to_string(f.horizontal_size) + "x" + std::to_string(f.vertical_size);
        Limit wider{size + " one pel wider", at_format(r, f), at_format(r, f), RuleKind::PICTURE_SIZE};
        wider.over.h.horizontal_size_value += 1;
        Limit taller{size + " one line taller", wider.at, wider.at, RuleKind::PICTURE_SIZE};
        taller.over.h.vertical_size_value += 1;
        found.insert(found.end(), {wider, taller});
        for (unsigned aspect = 1; aspect + 1 <= 4 && has_rule(r, RuleKind::ASPECT_RATIO); ++aspect) {
            // Each allowed code against the next one up, where the table
            // does not allow that one.
            if (!(f.aspects >> aspect & 1u) || (f.aspects >> (aspect + 1) & 1u)) continue;
            Limit a{size + " aspect " + std::to_string(aspect + 1), wider.at, wider.at,
                    RuleKind::ASPECT_RATIO};
            a.at.h.aspect_ratio_information = aspect;
            a.over.h.aspect_ratio_information = aspect + 1;
            found.push_back(a);
        }
    }
    for (unsigned i = 0; i < r.buffer_count && has_rule(r, RuleKind::VBV_BUFFER_SIZE); ++i) {
        Limit b{"VBV buffer at level " + std::to_string(r.buffers[i].level), base, base,
                RuleKind::VBV_BUFFER_SIZE};
        for (Probe* p : {&b.at, &b.over}) p->e.profile_and_level_indication = 0x40 | r.buffers[i].level;
        set_buffer(b.at, r.buffers[i].vbv_buffer_size);
        set_buffer(b.over, r.buffers[i].vbv_buffer_size + 1);
        found.push_back(b);
    }
    for (auto [code, most] : {std::pair<unsigned, unsigned>{3, r.max_gop_pictures_25},
                              std::pair<unsigned, unsigned>{4, r.max_gop_pictures_30}}) {
        if (most == 0 || !has_rule(r, RuleKind::GOP_LENGTH)) continue;
        for (unsigned i = 0; i < r.format_count; ++i) {
            if (r.formats[i].frame_rate_code != code) continue;
            Limit g{"GOP at frame_rate_code " + std::to_string(code), at_format(r, r.formats[i]),
                    at_format(r, r.formats[i]), RuleKind::GOP_LENGTH};
            g.at.gop = most;
            g.over.gop = most + 1;
            found.push_back(g);
            break;
        }
    }
    return found;
}

// At each limit of the tables the stream passes; one step over, it breaks
// that rule.
TEST(Check, EveryLimitOfTheTablesPassesAndOneStepOverFails) {
    const std::pair<CheckProfile, bool> tables[] = {
        {CheckProfile::DVD, false}, {CheckProfile::DVD, true}, {CheckProfile::BLURAY, false}};
    for (auto [profile, mpeg1] : tables) {
        const ProfileRules& r = profile_rules(profile, mpeg1);
        std::string name = r.name;
        for (const Limit& l : limits(r)) {
            SCOPED_TRACE(name + (mpeg1 ? " MPEG-1 " : " ") + l.what);
            RunResult at = run_on(build(l.at), {"--check", name});
            EXPECT_EQ(at.status, 0);
            EXPECT_EQ(at.out, name + ": compliant\n");
            RunResult over = run_on(build(l.over), {"--check", name});
            EXPECT_EQ(over.status, 3);  // a rule broken
            EXPECT_NE(over.out.find(std::string("FAIL ") + rule_name(l.rule) + ": "), std::string::npos)
                << over.out;
        }
    }
    // The figures the tables must hold, worked out by hand: DVD's
    // 9 800 000 bit/s is 24 500 units of 400.
    Probe dvd = at_format(profile_rules(CheckProfile::DVD, false), {720, 480, 4, Scan::ANY, ASPECT_4_3});
    set_rate(dvd, 24500);
    EXPECT_EQ(run_on(build(dvd), {"--check", "dvd"}).out, "dvd: compliant\n");
    set_rate(dvd, 24501);
    EXPECT_EQ(run_on(build(dvd), {"--check", "dvd"}).out.substr(0, 55),
              "FAIL bit_rate: 9800400 bit/s, above 9800000 (first at 0");
}

}  // namespace

namespace {

// A GOP's length in the same terms in --check and --stats: frames, a field
// picture counting as half. 37 field pictures are 18.5 frames; 36 are 18.
TEST(Check, GopLengthInFramesAsStatsCountsIt) {
    for (auto [fields, frames] : {std::pair<unsigned, const char*>{37, "18.5"}, {36, "18"}}) {
        Bytes stream = sequence({}, {}, {fields}, true);
        RunResult r = run_on(stream, {"--stats"});
        EXPECT_NE(r.out.find(std::string("GOPs:               1, ") + frames + " to " + frames +
                             " frames (field pictures count as half), 1 closed\n"),
                  std::string::npos)
            << r.out;
        r = run_on(stream, {"--stats", "--json"});
        EXPECT_NE(r.out.find(std::string("\"gop_length_min\": ") + frames + ",\n  \"gop_length_max\": " +
                             frames + ",\n"),
                  std::string::npos)
            << r.out;
    }
    // A frame picture after field pictures counts whole again: 2 fields and
    // 3 frames are 4 frames.
    Bytes mixed = concat({sequence_header({}), sequence_extension({}), group_header({})});
    for (unsigned structure : {1u, 2u, 3u, 3u, 3u}) {
        PictureCodingExtension x;
        x.picture_structure = structure;
        append(mixed, concat({picture_header({0, 1}), picture_coding_extension(x), slice(100)}));
    }
    EXPECT_NE(run_on(mixed, {"--stats"}).out.find(", 4 to 4 frames"), std::string::npos);
}

}  // namespace
