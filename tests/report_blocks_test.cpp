// The picture, picture coding extension and GOP blocks of the report, which
// the tool composes without printf: each must be byte for byte what printf
// makes of the block's format and the field values the stream was built
// from, for every value each field can hold.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "headers/report_text.hpp"
#include "tool_runner.hpp"

namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char text[1024];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

const char* yes_no(unsigned flag) { return flag ? "yes" : "no"; }

// picture_coding_type: I, P and B pictures, and the D-picture of MPEG-1.
const char* picture_type(unsigned code) {
    static const char* const names[] = {"", "I", "P", "B", "D"};
    return code < 5 ? names[code] : "reserved";
}

const char* structure(unsigned code) {
    static const char* const names[] = {"", "top field", "bottom field", "frame"};
    return names[code];
}

std::string report(const Bytes& stream) {
    ScratchDir dir;
    RunResult r = run_tool({"m2vhdr", dir.write("s.m2v", stream)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    return r.out;
}

std::string picture_block(unsigned long long offset, const PictureHeader& h) {
    std::string text = format("%08llx: %s\n", offset, "PICTURE_START_CODE");
    text += format("    temporal reference=%u/picture type=%s/", h.temporal_reference,
                   picture_type(h.picture_coding_type));
    text += h.vbv_delay == 0xFFFF ? std::string("VBV delay=VBR\n")
                                  : format("VBV delay=%u\n", h.vbv_delay);
    return text;
}

std::string coding_extension_block(unsigned long long offset, const PictureCodingExtension& e) {
    std::string text = format("%08llx: %s\n", offset, "PICTURE_CODING_EXTENSION");
    text += format(
        "    DC precision=%u/picture structure=%s/top field first=%s/DCT type=%s\n"
        "    MV in intra MB=%s/quant scale type=%u/intra vlc format=%u/scan type=%s\n"
        "    repeat first field=%s/chroma420 type=%s/progressive frame=%s\n"
        "    composite display flag=%s\n",
        e.intra_dc_precision + 8, structure(e.picture_structure), yes_no(e.top_field_first),
        e.frame_pred_frame_dct ? "frame" : "field", yes_no(e.concealment_motion_vectors),
        e.q_scale_type, e.intra_vlc_format, e.alternate_scan ? "alternate" : "zigzag",
        yes_no(e.repeat_first_field), yes_no(e.chroma_420_type), yes_no(e.progressive_frame),
        yes_no(e.composite_display_flag));
    if (e.composite_display_flag)
        text += format("    v_axis=%s/field sequence=%u/sub carrier=%s/"
                       "burst amp.=%u/sub carrier phase=%u\n",
                       yes_no(e.v_axis), e.field_sequence, yes_no(e.sub_carrier),
                       e.burst_amplitude, e.sub_carrier_phase);
    return text;
}

std::string group_block(unsigned long long offset, const GroupHeader& g) {
    return format("%08llx: %s\n", offset, "GROUP_START_CODE") +
           format("    TC=%02u:%02u:%02u:%02u (%s)/closed GOP=%s/broken link=%s\n",
                  g.time_code_hours, g.time_code_minutes, g.time_code_seconds,
                  g.time_code_pictures, g.drop_frame_flag ? "drop frame" : "non drop frame",
                  yes_no(g.closed_gop), yes_no(g.broken_link));
}

// Every value of every field, spread over the rounds; extremes first.
unsigned pick(std::mt19937& rng, int round, unsigned bits) {
    unsigned max = (1u << bits) - 1;
    if (round == 0) return 0;
    if (round == 1) return max;
    return static_cast<unsigned>(rng()) & max;
}

TEST(ReportBlocks, PictureAndCodingExtension) {
    std::mt19937 rng(99);
    for (int round = 0; round < 400; ++round) {
        PictureHeader h;
        h.temporal_reference = pick(rng, round, 10);
        h.picture_coding_type = pick(rng, round, 3);
        h.vbv_delay = round == 2 ? 0xFFFF : pick(rng, round, 16);
        PictureCodingExtension e;
        for (unsigned& f : e.f_code) f = pick(rng, round, 4);
        e.intra_dc_precision = pick(rng, round, 2);
        e.picture_structure = pick(rng, round, 2);
        e.top_field_first = pick(rng, round, 1);
        e.frame_pred_frame_dct = pick(rng, round, 1);
        e.concealment_motion_vectors = pick(rng, round, 1);
        e.q_scale_type = pick(rng, round, 1);
        e.intra_vlc_format = pick(rng, round, 1);
        e.alternate_scan = pick(rng, round, 1);
        e.repeat_first_field = pick(rng, round, 1);
        e.chroma_420_type = pick(rng, round, 1);
        e.progressive_frame = pick(rng, round, 1);
        e.composite_display_flag = pick(rng, round, 1);
        e.v_axis = pick(rng, round, 1);
        e.field_sequence = pick(rng, round, 3);
        e.sub_carrier = pick(rng, round, 1);
        e.burst_amplitude = pick(rng, round, 7);
        e.sub_carrier_phase = pick(rng, round, 8);

        Bytes picture = picture_header(h);
        Bytes stream = concat({filler(5), picture, picture_coding_extension(e), filler(8)});
        std::string want = picture_block(5, h) + coding_extension_block(5 + picture.size(), e);
        ASSERT_EQ(report(stream), want) << "round " << round;
    }
}

TEST(ReportBlocks, GroupOfPictures) {
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        GroupHeader g;
        g.drop_frame_flag = pick(rng, round, 1);
        g.time_code_hours = pick(rng, round, 5);
        g.time_code_minutes = pick(rng, round, 6);
        g.time_code_seconds = pick(rng, round, 6);
        g.time_code_pictures = pick(rng, round, 6);
        g.closed_gop = pick(rng, round, 1);
        g.broken_link = pick(rng, round, 1);
        ASSERT_EQ(report(concat({filler(17), group_header(g), filler(8)})), group_block(17, g))
            << "round " << round;
    }
}

// The number formats themselves, over the whole range of their types:
// offsets keep growing past eight hex digits beyond 4 GiB.
TEST(ReportBlocks, NumbersAsPrintfWritesThem) {
    std::mt19937_64 rng(3);
    std::vector<std::uint64_t> values = {0,          1,          9,          10,        99,
                                         100,        0xFFFF,     0xFFFFFFFF, 1ull << 32,
                                         0xFFFFFFFFF, UINT64_MAX};
    for (int i = 0; i < 2000; ++i) values.push_back(rng() >> (rng() % 64));
    for (std::uint64_t v : values) {
        ReportText text;
        put_decimal(text, v);
        EXPECT_EQ(std::string(text.text, text.length), format("%llu", static_cast<unsigned long long>(v)));

        unsigned small = static_cast<unsigned>(v % 1000);
        ReportText two;
        put_decimal_2(two, small);
        EXPECT_EQ(std::string(two.text, two.length), format("%02u", small));

        StreamContext ctx;
        ctx.win.base_offset = v / 2;
        ctx.win.pos = static_cast<std::uint32_t>(v % 1000);
        ReportText line;
        put_header_line(line, ctx, "SEQUENCE_END_CODE");
        EXPECT_EQ(std::string(line.text, line.length),
                  format("%08llx: SEQUENCE_END_CODE\n",
                         static_cast<unsigned long long>(v / 2 + v % 1000)));
    }
}

}  // namespace
