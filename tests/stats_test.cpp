// --stats on a stream worked out by hand, and `FILE auto` against
// `FILE RATE` with the rate --stats gives.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "tool_runner.hpp"

namespace {

// Four frame pictures of an interlaced 29.97 frame/s sequence, coded in
// display order (I P P P) in the 3:2 cycle (top_field_first,
// repeat_first_field) = (1,1) (0,0) (0,1) (1,0): shown for 3, 2, 3, 2 fields
// of 1001/60000 s, each starting on the parity after the last field before
// it. Their bits from their first headers (the first one's is the sequence
// header): 8000, 12000, 4000 and 8000, 32000 in all. VBV buffer: 16384 bits.
Bytes pulldown_stream(std::uint32_t bit_rate_value, unsigned vbv_buffer_size_value = 1) {
    const unsigned flags[4][2] = {{1, 1}, {0, 0}, {0, 1}, {1, 0}};
    const std::size_t bytes[4] = {1000, 1500, 500, 1000};
    SequenceHeader h;
    h.bit_rate_value = bit_rate_value;
    h.vbv_buffer_size_value = vbv_buffer_size_value;
    Bytes stream;
    for (unsigned i = 0; i < 4; ++i) {
        PictureCodingExtension e;
        e.top_field_first = flags[i][0];
        e.repeat_first_field = flags[i][1];
        Bytes head = i == 0 ? concat({sequence_header(h), sequence_extension({}), group_header({})}) : Bytes{};
        append(head, picture_header({i, i == 0 ? 1u : 2u}));
        append(head, picture_coding_extension(e));
        append(stream, head);
        append(stream, slice(static_cast<unsigned>(bytes[i] - head.size() - 4)));
    }
    return stream;
}

// Worked by hand. The first decode waits for a full buffer, 16384 bits, and
// leaves 8384. At R bit/s, the buffer then gets 3, 2 and 3 fields' worth
// before pictures 1, 2 and 3 (limit: the buffer, then the 12000 and 8000
// bits still to decode). Picture 1 needs 8384 + R * 3003/60000 >= 12000
// (R >= 72248); picture 2: -3616 + R * 5005/60000 >= 4000 (R >= 91302);
// picture 3: -7616 + R * 8008/60000 >= 8000, R >= 117002.997: the lowest
// multiple of 400 is 117200 (q = 293). At 116800 (q = 292) picture 3 has
// 7973 of its 8000 bits at its decode time, 16384/116800 + 8008/60000 =
// 0.2737 s: one underflow, at offset 3000 (0xbb8). Duration: 10 fields,
// 0.1668 s; average and GOP rate 32000 * 60000 / 10010 = 191808.19, and
// the peak too: the one window is the whole stream, shorter than a second.
TEST(Stats, HandBuiltPulldownStream) {
    RunResult r = run_on(pulldown_stream(292), {"--stats"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "first sequence:     MP@ML 720x480 (4:3) 29.97fps/nominal bitrate=116800bps/VBV buffer=1\n"
              "duration:           0:00:00.167\n"
              "sequences:          1\n"
              "GOPs:               1, 4 to 4 frames (field pictures count as half), 1 closed\n"
              "pictures:           4: I 1, P 3, B 0, D 0\n"
              "field pictures:     0\n"
              "repeat_first_field: 2 (3:2 pulldown)\n"
              "average bit rate:   191808 bit/s\n"
              "peak bit rate:      191808 bit/s over the whole stream, 0:00:00.167 (shorter than a second)\n"
              "peak GOP bit rate:  191808 bit/s\n"
              "nominal bit rate:   116800 bit/s\n"
              "VBV buffer size:    16384 bits\n"
              "VBV start-up delay: 0:00:00.140 at the nominal rate\n"
              "VBV underflows:     1 at the nominal rate, the first at 00000bb8 (0:00:00.274)\n"
              "lowest safe rate:   117200 bit/s\n");

    r = run_on(pulldown_stream(293), {"--json", "--stats"});
    EXPECT_EQ(r.status, 0);
    for (const char* member : {"\"vbv_underflows\": 0,", "\"first_underflow_offset\": null,",
                               "\"min_nominal_bit_rate\": 117200,", "\"pulldown\": \"3:2\",",
                               "\"duration\": 0.166833,", "\"bit_rate_per_gop\": [\n    191808\n  ]",
                               "\"max_bit_rate_per_second\": 191808,", "\"max_bit_rate_per_second_window\": 0.166833,",
                               "\"bit_rate_per_second_last_window\": 0.166833,",
                               "\"bit_rate_per_second\": [\n    191808\n  ]"})
        EXPECT_NE(r.out.find(member), std::string::npos) << member << "\n" << r.out;
}

// One GOP of frame pictures in display order with the given
// (top_field_first, repeat_first_field), at `frame_rate_code`.
Bytes flagged_stream(unsigned frame_rate_code, unsigned progressive_sequence,
                     const std::vector<std::pair<unsigned, unsigned>>& flags) {
    SequenceHeader h;
    h.frame_rate_code = frame_rate_code;
    SequenceExtension x;
    x.progressive_sequence = progressive_sequence;
    Bytes s = concat({sequence_header(h), sequence_extension(x), group_header({})});
    for (unsigned i = 0; i < flags.size(); ++i) {
        PictureCodingExtension e;
        e.top_field_first = flags[i].first;
        e.repeat_first_field = flags[i].second;
        append(s, concat({picture_header({i, i == 0 ? 1u : 2u}), picture_coding_extension(e), slice(40)}));
    }
    return s;
}

// Durations and the cadence, worked by hand. A progressive 23.976 sequence
// shows (1,1) for three frame periods, (0,1) for two, (0,0) for one: 3 + 3
// + 2 + 1 = 9 periods of 1001/24000 s, 0.375375 s. Eleven interlaced
// 29.97 pictures in the cycle (1,1) (0,0) (0,1) (1,0) whose sixth jumps
// to (0,1): ten pairs, one broken, exactly the nine in ten that name the
// pattern; six pictures repeat a field, 3 * 6 + 2 * 5 = 28 fields.
TEST(Stats, FlagsOfHandBuiltStreams) {
    struct Case {
        Bytes stream;
        const char* duration;
        const char* repeats;
    } cases[] = {
        {flagged_stream(1, 1, {{1, 1}, {1, 1}, {0, 1}, {0, 0}}), "duration:           0:00:00.375\n",
         "repeat_first_field: 3\n"},
        {flagged_stream(4, 0, {{1, 1}, {0, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 1}, {1, 0}, {1, 1}, {0, 0}, {0, 1}, {1, 0}}),
         "duration:           0:00:00.467\n", "repeat_first_field: 6 (3:2 pulldown, 1 breaks in the pattern)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.repeats);
        RunResult r = run_on(c.stream, {"--stats"});
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find(c.duration), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.repeats), std::string::npos) << r.out;
    }
}

// The first decode waits at most one second. With a buffer of 65536 bits
// the 32000 bits of the stream above fit whole, but at R < 32000 bit/s only
// R bits are in at one second, when picture 0 is decoded; picture k then has
// R * (1 + c_k) bits in, c_k = 0, 3003, 5005 and 8008 / 60000 s, against
// 8000, 20000, 24000 and 32000 needed: picture 3 decides, R >= 32000 /
// 1.1334667 = 28232.2, so 28400 (the buffer's cap, the bits still to
// decode, holds with equality there). At 28000 picture 3 underflows at
// 1.1335 s. At 116800 the whole stream is in after 32000/116800 s.
TEST(Stats, StartUpWaitsAtMostOneSecond) {
    struct Case {
        std::uint32_t bit_rate_value;
        unsigned vbv_buffer_size_value;
        const char* lines;  // from the start-up delay to the lowest safe rate
        const char* start_delay;
    } cases[] = {
        {292, 1,
         "VBV start-up delay: 0:00:00.140 at the nominal rate\n"
         "VBV underflows:     1 at the nominal rate, the first at 00000bb8 (0:00:00.274)\n"
         "lowest safe rate:   117200 bit/s\n",
         "0.140274"},
        {292, 4,
         "VBV start-up delay: 0:00:00.274 at the nominal rate\n"
         "VBV underflows:     0 at the nominal rate\n"
         "lowest safe rate:   28400 bit/s\n",
         "0.273973"},
        {71, 4,
         "VBV start-up delay: 0:00:01.000 at the nominal rate\n"
         "VBV underflows:     0 at the nominal rate\n"
         "lowest safe rate:   28400 bit/s\n",
         "1.000000"},
        {70, 4,
         "VBV start-up delay: 0:00:01.000 at the nominal rate\n"
         "VBV underflows:     1 at the nominal rate, the first at 00000bb8 (0:00:01.133)\n"
         "lowest safe rate:   28400 bit/s\n",
         "1.000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        Bytes stream = pulldown_stream(c.bit_rate_value, c.vbv_buffer_size_value);
        RunResult r = run_on(stream, {"--stats"});
        EXPECT_EQ(r.status, 0);
        std::size_t from = r.out.find("VBV start-up delay:");
        EXPECT_EQ(from == std::string::npos ? "" : r.out.substr(from), c.lines);
        r = run_on(stream, {"--stats", "--json"});
        EXPECT_NE(r.out.find("\"vbv_start_delay\": " + std::string(c.start_delay) + ",\n"), std::string::npos)
            << r.out;
        Bytes after;
        r = run_on(stream, {"auto"}, &after);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(after, pulldown_stream(std::strstr(c.lines, "117200") ? 293 : 71, c.vbv_buffer_size_value));
    }
}

// A capture cut mid-GOP: pictures before the first sequence header take its
// frame period (and its progressive_sequence for their repeated fields), so
// their bits have their time. Two of 500 bytes, shown for 3 and 2 fields,
// ahead of the stream above: 15 fields of 1001/60000 s, 40000 bits in
// 0.25025 s, 159840.16 bit/s. Without any sequence header they take no time.
TEST(Stats, PicturesBeforeTheFirstSequenceHeader) {
    Bytes leading;
    for (unsigned repeat : {1u, 0u}) {
        PictureCodingExtension e;
        e.repeat_first_field = repeat;
        Bytes head = concat({picture_header({2 + repeat, 2}), picture_coding_extension(e)});
        append(leading, concat({head, slice(static_cast<unsigned>(500 - head.size() - 4))}));
    }
    struct Case {
        Bytes stream;
        const char* duration;
        const char* json;
    } cases[] = {
        {concat({leading, pulldown_stream(292)}), "duration:           0:00:00.250\n",
         "\"average_bit_rate\": 159840,"},
        {leading, "duration:           0:00:00.000\n", "\"duration\": 0.000000,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        RunResult r = run_on(c.stream, {"--stats"});
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find(c.duration), std::string::npos) << r.out;
        r = run_on(c.stream, {"--stats", "--json"});
        EXPECT_NE(r.out.find(c.json), std::string::npos) << r.out;
    }
}

// The same bytes and the same lines as `FILE RATE`; and with no
// safe rate (a picture larger than the buffer), status 1 and the file as it
// was.
// The writing pass of `auto` decodes the stream afresh: a stream that ends
// in a sequence header and starts with an extension outside any sequence
// warns of it as a one-pass rewrite does, not as if the header before it
// were the last one of the measuring pass.
TEST(Stats, AutoWritesAfterAPassThatForgetsTheLastHeader) {
    EnglishMessages english;
    OutsideOriginalLocale newer;
    Bytes stream = sequence_extension({});
    append(stream, pulldown_stream(292));
    append(stream, sequence_header({}));
    RunResult by_auto = run_on(stream, {"auto"});
    RunResult by_rate = run_on(stream, {"117200"});
    EXPECT_EQ(by_rate.err, "Warning: found a sequence extension code outside the sequence layer.\n");
    EXPECT_EQ(by_auto.err, by_rate.err);
}

TEST(Stats, AutoWritesTheLowestSafeRate) {
    EnglishMessages english;
    Bytes after;
    RunResult r = run_on(pulldown_stream(292), {"auto"}, &after);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(after, pulldown_stream(293));
    // Its lines are those of a run with a number outside the C locale.
    OutsideOriginalLocale newer;
    RunResult by_rate = run_on(pulldown_stream(292), {"117200"});
    const std::size_t size = pulldown_stream(292).size();
    EXPECT_EQ(by_rate.out, closing_line(size) + rewrite_summary(1, 0, 0));
    EXPECT_EQ(r.out, "lowest safe nominal bit rate: 117200 bit/s\n" + by_rate.out);
    EXPECT_EQ(r.err, by_rate.err);

    r = run_on(pulldown_stream(292, 0), {"auto"}, &after);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "m2vhdr: no nominal bit rate avoids a VBV underflow: a picture is larger than "
                     "the VBV buffer; the file is left as it was\n");
    EXPECT_EQ(after, pulldown_stream(292, 0));

    // On the samples: the rate of --stats --json, or none and nothing written.
    for (const char* name : {"ntsc_43_interlaced.m2v", "pal_169_progressive.m2v", "mpeg1_qcif.m1v",
                             "closed_gops_coding_tools.m2v"}) {
        Bytes sample = read_file(std::string(M2VHDR_TEST_DATA) + "/" + name);
        std::smatch m;
        std::string json = run_on(sample, {"--stats", "--json"}).out;
        ASSERT_TRUE(std::regex_search(json, m, std::regex("\"min_nominal_bit_rate\": (null|\\d+)")));
        Bytes by_auto, by_number;
        RunResult a = run_on(sample, {"auto"}, &by_auto);
        if (m[1] == "null") {
            EXPECT_EQ(a.status, 1) << name;
            EXPECT_EQ(by_auto, sample) << name;
            continue;
        }
        RunResult n = run_on(sample, {m[1].str()}, &by_number);
        EXPECT_EQ(a.status, 0) << name;
        EXPECT_EQ(by_auto, by_number) << name;
        EXPECT_EQ(a.out, "lowest safe nominal bit rate: " + m[1].str() + " bit/s\n" + n.out) << name;
    }
}

}  // namespace

namespace {

// `count` frame pictures at 24 frame/s after one sequence header (12
// bytes), its extension (10) and a GOP header (8); each picture 8 + 9 + 4 +
// 100 = 121 bytes, the first 151 with the headers before it.
Bytes clip_at_24(unsigned count, std::uint32_t bit_rate_value = 20000) {
    SequenceHeader h;
    h.frame_rate_code = 2;
    h.bit_rate_value = bit_rate_value;
    Bytes s = concat({sequence_header(h), sequence_extension({}), group_header({})});
    for (unsigned i = 0; i < count; ++i)
        append(s, concat({picture_header({i % 1024, 1}), picture_coding_extension({}), slice(100)}));
    return s;
}

struct ClipCase {
    unsigned pictures;
    const char* peak_line;
    const char* json;  // the members of the per-second windows
    const char* points;  // of the per-second line
};

// Worked by hand. 0.5 s: 151 + 11 * 121 = 1482 bytes over 0.5 s, 23712
// bit/s, the one window shorter than a second. 1 s: 151 + 23 * 121 = 2934
// bytes, 23472 bit/s. 1.5 s: then 12 * 121 bytes over the last 0.5 s, 23232
// bit/s; the windows from pictures 1 to 12 hold 24 pictures of 121 bytes,
// 23232 bits: the peak is the first. The last decode (1 s - 1/24 s after
// the first, which waits under 5 ms at 8 Mbit/s) is before the end: both
// panels run to the stream's end, x = 80 + t / duration * 890; the rate
// panel's top is 8 Mbit/s * 1.05, y = 320 - rate / 8.4e6 * 270.
TEST(Stats, WindowsOfClipsShorterThanASecondAndAfterIt) {
    const ClipCase cases[] = {
        {12, "peak bit rate:      23712 bit/s over the whole stream, 0:00:00.500 (shorter than a second)\n",
         "\"max_bit_rate_per_second\": 23712,|\"max_bit_rate_per_second_window\": 0.500000,|"
         "\"bit_rate_per_second_last_window\": 0.500000,|\"bit_rate_per_second\": [\n    23712\n  ]",
         "80.0,319.2 970.0,319.2 "},
        {24, "peak bit rate:      23472 bit/s in the second from 0:00:00.000\n",
         "\"max_bit_rate_per_second_window\": 1.000000,|\"bit_rate_per_second_last_window\": 1.000000,|"
         "\"bit_rate_per_second\": [\n    23472\n  ]",
         "80.0,319.2 970.0,319.2 "},
        {36, "peak bit rate:      23472 bit/s in the second from 0:00:00.000\n",
         "\"max_bit_rate_per_second_window\": 1.000000,|\"bit_rate_per_second_last_window\": 0.500000,|"
         "\"bit_rate_per_second\": [\n    23472,\n    23232\n  ]",
         "80.0,319.2 673.3,319.2 673.3,319.3 970.0,319.3 "},
    };
    for (const ClipCase& c : cases) {
        SCOPED_TRACE(c.pictures);
        ScratchDir dir;
        std::string svg = dir.path() + "/plot.svg";
        RunResult r = run_on(clip_at_24(c.pictures), {"--stats", "--plot", svg});
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find(c.peak_line), std::string::npos) << r.out;
        r = run_on(clip_at_24(c.pictures), {"--stats", "--json"});
        std::string members = c.json;
        for (std::size_t at = 0, bar; at <= members.size(); at = bar + 1) {
            bar = members.find('|', at);
            if (bar == std::string::npos) bar = members.size();
            std::string member = members.substr(at, bar - at);
            EXPECT_NE(r.out.find(member), std::string::npos) << member << "\n" << r.out;
        }
        Bytes drawn = read_file(svg);
        std::string plot(drawn.begin(), drawn.end());
        EXPECT_NE(plot.find(std::string("<polyline id=\"per-second\" fill=\"none\" stroke=\"#1f77b4\" "
                                        "stroke-width=\"1.2\" points=\"") + c.points + "\"/>"),
                  std::string::npos)
            << plot;
        // One time axis: the same duration in both panels.
        std::smatch rate, vbv;
        ASSERT_TRUE(std::regex_search(plot, rate, std::regex("rate-panel\"[^>]*data-duration=\"([0-9.]+)\"")));
        ASSERT_TRUE(std::regex_search(plot, vbv, std::regex("vbv-panel\"[^>]*data-duration=\"([0-9.]+)\"")));
        EXPECT_EQ(rate[1].str(), vbv[1].str());
        EXPECT_EQ(rate[1].str(), c.pictures == 12 ? "0.500000" : c.pictures == 24 ? "1.000000" : "1.500000");
    }
    // At 12000 bit/s the 0.5 s clip's 11856 bits are all in at 0.988 s, its
    // first decode; the last is 11/24 s later, at 1.446333 s: both panels
    // run to it, and the per-second line stops at 0.5 s, x = 80 + 0.5 /
    // 1.446333 * 890 = 387.7.
    ScratchDir dir;
    std::string svg = dir.path() + "/plot.svg";
    EXPECT_EQ(run_on(clip_at_24(12, 30), {"--stats", "--plot", svg}).status, 0);
    Bytes drawn = read_file(svg);
    std::string plot(drawn.begin(), drawn.end());
    std::smatch line;
    ASSERT_TRUE(std::regex_search(plot, line, std::regex("id=\"per-second\"[^>]*points=\"80\\.0,[0-9.]+ ([0-9.]+),")));
    EXPECT_EQ(line[1].str(), "387.7");
    for (const char* panel : {"rate-panel", "vbv-panel"})
        EXPECT_TRUE(std::regex_search(plot, std::regex(std::string(panel) + "\"[^>]*data-duration=\"1\\.446333\"")))
            << panel << "\n" << plot;
    // Without pictures there is no last window.
    EXPECT_NE(run_on({}, {"--stats", "--json"}).out.find("\"bit_rate_per_second_last_window\": null,\n"),
              std::string::npos);
}

}  // namespace
