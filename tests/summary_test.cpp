// --summary on streams built by hand: where segments begin, and how each
// segment's GOPs and cadence are named. Every expected value is worked out
// from the pictures written here: at frame_rate_code 4 a frame is
// 1001/30000 s, a repeated field adds half of it.
#include <gtest/gtest.h>

#include <regex>

#include "tool_runner.hpp"

namespace {

// One picture: its coding type ('I', 'P', 'B') and frame flags.
struct Pic {
    char type;
    unsigned top_field_first = 0, repeat_first_field = 0, progressive_frame = 0;
};

// A sequence header (with its extension unless MPEG-1), a GOP header and
// the pictures, each 200 bytes from its first header.
Bytes gop(const SequenceHeader& h, const SequenceExtension* e, unsigned closed,
          const std::vector<Pic>& pictures) {
    Bytes out;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        Bytes head;
        if (i == 0) {
            append(head, sequence_header(h));
            if (e) append(head, sequence_extension(*e));
            GroupHeader g;
            g.closed_gop = closed;
            append(head, group_header(g));
        }
        const Pic& p = pictures[i];
        unsigned type = p.type == 'I' ? 1 : p.type == 'P' ? 2 : 3;
        append(head, picture_header({static_cast<unsigned>(i), type}));
        if (e) {
            PictureCodingExtension x;
            x.top_field_first = p.top_field_first;
            x.repeat_first_field = p.repeat_first_field;
            x.progressive_frame = p.progressive_frame;
            append(head, picture_coding_extension(x));
        }
        append(out, head);
        append(out, slice(static_cast<unsigned>(200 - head.size() - 4)));
    }
    return out;
}

std::vector<Pic> pictures(const char* types, unsigned progressive_frame = 0) {
    std::vector<Pic> out;
    for (const char* t = types; *t; ++t) out.push_back({*t, 0, 0, progressive_frame});
    return out;
}

// The 3:2 cycle: (top_field_first, repeat_first_field) = (1,1) (0,0) (0,1)
// (1,0), progressive frames, 10 fields per 4 pictures.
std::vector<Pic> film(unsigned count) {
    const unsigned flags[4][2] = {{1, 1}, {0, 0}, {0, 1}, {1, 0}};
    std::vector<Pic> out;
    for (unsigned i = 0; i < count; ++i)
        out.push_back({i == 0 ? 'I' : 'P', flags[i % 4][0], flags[i % 4][1], 1});
    return out;
}

struct Segmented {
    std::string start, end, cadence, gop_length, anchor_distance, closed;
};

// The segments of `--summary --json`, in order.
std::vector<Segmented> segments_of(const Bytes& stream) {
    RunResult r = run_on(stream, {"--summary", "--json"});
    EXPECT_EQ(0, r.status) << r.err;
    std::regex entry(
        "\"start\": ([0-9.]+), \"end\": ([0-9.]+),.*?\"cadence\": \"([a-z]+)\", \"gops\": [0-9]+, "
        "\"gop_length\": ([0-9.a-z]+), \"anchor_distance\": ([0-9a-z]+), \"closed_gops\": [0-9]+, "
        "\"closed\": \"([a-z]+)\"");
    std::vector<Segmented> out;
    for (std::sregex_iterator i(r.out.begin(), r.out.end(), entry), end; i != end; ++i)
        out.push_back({(*i)[1], (*i)[2], (*i)[3], (*i)[4], (*i)[5], (*i)[6]});
    return out;
}

struct SegmentCase {
    const char* name;
    Bytes stream;
    std::vector<Segmented> expected;
};

SequenceHeader with_size(unsigned width) {
    SequenceHeader h;
    h.horizontal_size_value = width;
    return h;
}

SequenceExtension with_low_delay() {
    SequenceExtension e;
    e.low_delay = 1;
    return e;
}

SequenceHeader with_rate(std::uint32_t bit_rate_value) {
    SequenceHeader h;
    h.bit_rate_value = bit_rate_value;
    return h;
}

SequenceHeader with_vbv(unsigned size) {
    SequenceHeader h;
    h.vbv_buffer_size_value = size;
    return h;
}

SequenceExtension with_progressive_sequence() {
    SequenceExtension e;
    e.progressive_sequence = 1;
    return e;
}

std::vector<SegmentCase> segment_cases() {
    const SequenceHeader h;
    const SequenceExtension e;
    const SequenceExtension low = with_low_delay();
    const SequenceExtension prog = with_progressive_sequence();
    const auto ibbp = pictures("IBBPBB");  // 6 frames: 0.200200 s
    const Segmented one_gop{"0.000000", "0.200200", "interlaced", "6", "3", "all"};
    return {
        {"EqualSequencesStayOneSegment",
         concat({gop(h, &e, 1, ibbp), gop(h, &e, 0, ibbp)}),
         {{"0.000000", "0.400400", "interlaced", "6", "3", "some"}}},
        {"SizeChangeStartsASegment",
         concat({gop(h, &e, 1, ibbp), gop(with_size(704), &e, 1, ibbp)}),
         {one_gop, {"0.200200", "0.400400", "interlaced", "6", "3", "all"}}},
        {"LowDelayChangeStartsASegment",
         concat({gop(h, &e, 1, ibbp), gop(h, &low, 1, ibbp), gop(h, &low, 1, ibbp)}),
         {one_gop, {"0.200200", "0.600600", "interlaced", "6", "3", "all"}}},
        {"BitRateChangeStartsASegment",
         concat({gop(h, &e, 1, ibbp), gop(with_rate(20001), &e, 1, ibbp)}),
         {one_gop, {"0.200200", "0.400400", "interlaced", "6", "3", "all"}}},
        {"VbvChangeStartsASegment",
         concat({gop(h, &e, 1, ibbp), gop(with_vbv(111), &e, 1, ibbp)}),
         {one_gop, {"0.200200", "0.400400", "interlaced", "6", "3", "all"}}},
        {"ProgressiveSequenceChangeStartsASegment",
         concat({gop(h, &e, 1, ibbp), gop(h, &prog, 0, pictures("IPPP", 1))}),
         {one_gop, {"0.200200", "0.333667", "progressive", "4", "1", "none"}}},
        {"Mpeg1AfterMpeg2StartsASegment",
         concat({gop(h, &e, 1, ibbp), gop(h, nullptr, 1, pictures("IPP"))}),
         {one_gop, {"0.200200", "0.300300", "progressive", "3", "1", "all"}}},
        {"BackToTheFirstParametersIsAThirdSegment",
         concat({gop(h, &e, 1, ibbp), gop(with_size(704), &e, 1, ibbp), gop(h, &e, 1, ibbp)}),
         {one_gop,
          {"0.200200", "0.400400", "interlaced", "6", "3", "all"},
          {"0.400400", "0.600600", "interlaced", "6", "3", "all"}}},
        // 8 film pictures: 20 fields, 10 frame periods.
        {"FilmCadence",
         concat({gop(h, &e, 1, film(8)), gop(h, &e, 1, film(8))}),
         {{"0.000000", "0.667333", "film", "8", "1", "all"}}},
        {"MostCommonGopLengthAndAnchorDistance",
         concat({gop(h, &e, 0, pictures("IBPBPBPBP")), gop(h, &e, 0, pictures("IBPBPBPBP")),
                 gop(h, &e, 0, pictures("IBBBP"))}),
         {{"0.000000", "0.767433", "interlaced", "9", "2", "none"}}},
    };
}

void PrintTo(const SegmentCase& c, std::ostream* os) { *os << c.name; }

class SummarySegments : public testing::TestWithParam<SegmentCase> {};

TEST_P(SummarySegments, AsWorkedOutByHand) {
    const SegmentCase& c = GetParam();
    std::vector<Segmented> got = segments_of(c.stream);
    ASSERT_EQ(c.expected.size(), got.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(c.expected[i].start, got[i].start);
        EXPECT_EQ(c.expected[i].end, got[i].end);
        EXPECT_EQ(c.expected[i].cadence, got[i].cadence);
        EXPECT_EQ(c.expected[i].gop_length, got[i].gop_length);
        EXPECT_EQ(c.expected[i].anchor_distance, got[i].anchor_distance);
        EXPECT_EQ(c.expected[i].closed, got[i].closed);
    }
}

INSTANTIATE_TEST_SUITE_P(Summary, SummarySegments, testing::ValuesIn(segment_cases()),
                         [](const testing::TestParamInfo<SegmentCase>& i) { return i.param.name; });

}  // namespace
