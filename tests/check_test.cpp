// --check on hand-built streams: what ffmpeg cannot make (field pictures,
// frame-rate extensions, streams without pictures), failures with --json,
// and the quoting of file names in the fix lines.
#include <gtest/gtest.h>

#include "check/check.hpp"
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

struct CheckCase {
    const char* what;
    const char* profile;
    Bytes stream;
    int status;
    std::string out;
};

// Offsets: the GOP header of the first sequence is at 0x16 (12 + 10
// bytes), its first picture at 0x1e; each picture takes 8 + 9 + 4 + 100 =
// 121 bytes: the second GOP of three pictures before it is at 0x189, the
// second sequence after two pictures at 0x110, its extension at 0x11c.
TEST(Check, HandBuiltStreams) {
    const std::vector<CheckCase> cases = {
        {"36 field pictures: 18 frames", "dvd", sequence({}, {}, {36}, true), 0, "dvd: compliant\n"},
        {"37 field pictures", "dvd", sequence({}, {}, {37}, true), 1,
         "FAIL gop_length: a GOP of 18.5 pictures, at most 18 (first at 0x00000016, 1 times)\n"
         "dvd: 1 rule broken\n"},
        {"15 frames at 25", "dvd", concat({sequence(pal(), {}, {15}), sequence(pal(), {}, {15})}), 0,
         "dvd: compliant\n"},
        {"16 frames at 25, twice, after one of 3", "dvd", sequence(pal(), {}, {3, 16, 16}), 1,
         "FAIL gop_sequence_header: a GOP header without a sequence header before it "
         "(first at 0x00000189, 2 times)\n"
         "FAIL gop_length: a GOP of 16 pictures, at most 15 (first at 0x00000189, 2 times)\n"
         "dvd: 2 rules broken\n"},
        {"bluray has no GOP rules", "bluray", sequence(pal(), {}, {3, 16, 16}), 0, "bluray: compliant\n"},
        {"empty file", "dvd", {}, 1,
         "FAIL video: no sequence header (first at 0x00000000, 1 times)\ndvd: 1 rule broken\n"},
        {"no picture", "bluray", sequence({}, {}, {}), 1,
         "FAIL video: no picture (first at 0x00000000, 1 times)\nbluray: 1 rule broken\n"},
        {"a frame-rate extension", "dvd", sequence({}, with_rate_extension(), {1}), 1,
         "FAIL frame_rate: 720x480 interlaced at 29.97 fps with frame_rate_extension_n 1, "
         "frame_rate_extension_d 0 (first at 0x00000000, 1 times)\n"
         "dvd: 1 rule broken\n"},
        {"a second sequence in 4:2:2", "dvd", concat({sequence({}, {}, {2}), sequence({}, chroma_422(), {2})}), 1,
         "FAIL chroma_format: 4:2:2 (first at 0x0000011c, 1 times)\n"
         "dvd: 1 rule broken\n"},
        // 2951 bytes, 23608 bits, into a buffer of 16384: no rate helps.
        {"a picture larger than the buffer", "dvd", sequence(small_buffer(), {}, {1}, false, 2900), 1,
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
    for (const auto& [path, err] : {std::pair{missing, sjis("読み取りファイルが開けませんでした。\n")},
                                    std::pair{ts, sjis("MPEG System ヘッダが見つかりました。MPEG System "
                                                       "ファイルは取り扱えません。\n")}}) {
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
    for (const auto& [name, word] : cases) EXPECT_EQ(shell_word(name), word) << name;
}

}  // namespace
