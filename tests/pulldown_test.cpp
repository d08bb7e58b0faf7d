// --pulldown on streams built from field values: every neighbouring bit kept,
// and each refusal with its exact message and the file untouched. The
// cadence, time codes and decoded pictures on real streams are checked
// against ffmpeg in tests/oracle/check_pulldown.py.
#include <gtest/gtest.h>

#include <cstring>

#include "pulldown/time_code.hpp"
#include "tool_runner.hpp"

namespace {

// A stream and the offset of each of its parts.
struct Layout {
    Bytes bytes;
    std::vector<std::size_t> at;
};

Layout lay_out(const std::vector<Bytes>& parts) {
    Layout l;
    for (const Bytes& part : parts) {
        l.at.push_back(l.bytes.size());
        append(l.bytes, part);
    }
    return l;
}

SequenceHeader at_rate(unsigned frame_rate_code) {
    SequenceHeader h;
    h.aspect_ratio_information = 0xF;
    h.frame_rate_code = frame_rate_code;
    return h;
}

// Every bit around the patched ones set.
SequenceExtension busy_extension(unsigned progressive_sequence) {
    SequenceExtension e;
    e.profile_and_level_indication = 0xFF;
    e.progressive_sequence = progressive_sequence;
    e.chroma_format = 3;
    e.horizontal_size_extension = 3;
    return e;
}

GroupHeader group_at(unsigned drop_frame_flag, unsigned pictures) {
    GroupHeader g;
    g.drop_frame_flag = drop_frame_flag;
    g.time_code_pictures = pictures;
    g.closed_gop = 1;
    g.broken_link = 1;
    return g;
}

PictureCodingExtension busy_coding(unsigned top_field_first, unsigned repeat_first_field) {
    PictureCodingExtension e;
    e.top_field_first = top_field_first;
    e.repeat_first_field = repeat_first_field;
    e.concealment_motion_vectors = e.q_scale_type = e.intra_vlc_format = e.alternate_scan = 1;
    e.composite_display_flag = e.v_axis = e.sub_carrier = 1;
    e.field_sequence = 7;
    e.burst_amplitude = 0x7F;
    e.sub_carrier_phase = 0xFF;
    return e;
}

// Five pictures in coded order I0 P2 B1 | I1 B0 over two groups: display
// indices 0, 2, 1, 4, 3. The second group starts at index 3: 8 fields
// before it, 4 whole frames.
Bytes film_stream(bool pulled) {
    const unsigned display[5] = {0, 2, 1, 4, 3};
    const unsigned reference[5] = {0, 2, 1, 1, 0};
    const unsigned type[5] = {1, 2, 3, 1, 3};
    const unsigned cadence[4][2] = {{1, 1}, {0, 0}, {0, 1}, {1, 0}};
    Bytes s = concat({sequence_header(at_rate(pulled ? 4 : 1)),
                      sequence_extension(busy_extension(pulled ? 0 : 1))});
    for (unsigned i = 0; i < 5; ++i) {
        if (i == 0 || i == 3) append(s, group_header(group_at(pulled, i == 0 ? 0 : pulled ? 4 : 3)));
        append(s, picture_header({reference[i], type[i]}));
        const unsigned* flags = cadence[display[i] % 4];
        append(s, pulled ? picture_coding_extension(busy_coding(flags[0], flags[1]))
                         : picture_coding_extension(busy_coding(0, 0)));
        append(s, slice(20));
    }
    return s;
}

TEST(Pulldown, OnlyTheNamedBitsChange) {
    EnglishMessages english;
    Bytes after;
    RunResult r = run_on(film_stream(false), {"--pulldown", "3:2"}, &after);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // 5 coding extensions but the one at display index 1, the sequence
    // header and extension, both GOP headers.
    // 5 film frames of 1001/24000 s: 0.2085 s; 3 + 2 + 3 + 2 + 3 fields of
    // 1001/60000 s: 0.2169 s.
    EXPECT_EQ(r.out, "3:2 pulldown applied: 5 pictures, 23.976 -> 29.97 fps, 8 headers changed, "
                     "duration 0:00:00.209 -> 0:00:00.217\n");
    EXPECT_EQ(after, film_stream(true));

    r = run_on(film_stream(true), {"--pulldown=none"}, &after);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "3:2 pulldown removed: 5 pictures, 29.97 -> 23.976 fps, 8 headers changed, "
                     "duration 0:00:00.217 -> 0:00:00.209\n");
    EXPECT_EQ(after, film_stream(false));
}

// One GOP of 29.97 pictures in display order with the given
// (top_field_first, repeat_first_field), or the 23.976 film it comes from.
Bytes cadence_stream(bool film, const std::vector<std::pair<unsigned, unsigned>>& flags) {
    Bytes s = concat({sequence_header(at_rate(film ? 1 : 4)), sequence_extension(busy_extension(film)),
                      group_header(group_at(!film, 0))});
    for (unsigned i = 0; i < flags.size(); ++i)
        append(s, concat({picture_header({i, i == 0 ? 1u : 2u}),
                          picture_coding_extension(film ? busy_coding(0, 0)
                                                        : busy_coding(flags[i].first, flags[i].second)),
                          slice(20)}));
    return s;
}

// Removal takes film whatever its phase and breaks, as long as 40 to 60 %
// of its pictures repeat a field; the closing line gives the time before
// (fields of 1001/60000 s) and after (frames of 1001/24000 s). Run again,
// or after only its rates pass, it ends with the same file.
// The JSON document of a pulldown lists the layer warnings its check pass
// prints, as the JSON report of the same stream does, and only once,
// though the patch passes read those headers again.
TEST(Pulldown, JsonListsTheWarningsOfTheCheckPass) {
    EnglishMessages english;
    Bytes stream = film_stream(false);
    // A picture coding extension straight after the first group's header.
    const std::size_t group_end = sequence_header(at_rate(1)).size() +
                                  sequence_extension(busy_extension(1)).size() +
                                  group_header(group_at(false, 0)).size();
    Bytes orphan = picture_coding_extension(busy_coding(0, 0));
    stream.insert(stream.begin() + static_cast<long>(group_end), orphan.begin(), orphan.end());
    auto warnings = [](const std::string& json) {
        std::size_t from = json.find("\"warnings\": [");
        return from == std::string::npos ? std::string("none") : json.substr(from, json.find(']', from) - from);
    };
    std::string report = run_on(stream, {"--json"}).out;
    EXPECT_NE(report.find("\"offset\": " + std::to_string(group_end) + ", \"message\": \"picture extension"),
              std::string::npos) << report;
    for (const char* dry : {"--dry-run", "--quiet"}) {
        RunResult r = run_on(stream, {"--json", dry, "--pulldown", "3:2"});
        EXPECT_EQ(warnings(r.out), warnings(report)) << dry;
        EXPECT_EQ(r.err.find("Warning"), r.err.rfind("Warning")) << r.err;
    }
}

TEST(Pulldown, RemovalTakesAnyFilmCadence) {
    EnglishMessages english;
    using Flags = std::vector<std::pair<unsigned, unsigned>>;
    struct Case {
        Flags flags;
        const char* result;  // the closing line's end, or the refusal
    } cases[] = {
        // The cycle, a jump to another phase after the fifth picture, on:
        // 6 of 11 repeat, 28 fields (0.4671 s) against 11 frames (0.4588 s).
        {{{1, 1}, {0, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 1}, {1, 0}, {1, 1}, {0, 0}, {0, 1}, {1, 0}},
         "11 pictures, 29.97 -> 23.976 fps, 12 headers changed, duration 0:00:00.467 -> 0:00:00.459\n"},
        // 2 of 5 and 3 of 5, the ends of the range: 12 and 13 fields.
        {{{1, 1}, {0, 0}, {0, 1}, {1, 0}, {0, 0}}, "5 pictures, 29.97 -> 23.976 fps, 6 headers changed, "
                                                   "duration 0:00:00.200 -> 0:00:00.209\n"},
        {{{1, 1}, {0, 0}, {0, 1}, {1, 0}, {1, 1}}, "5 pictures, 29.97 -> 23.976 fps, 7 headers changed, "
                                                   "duration 0:00:00.217 -> 0:00:00.209\n"},
        {{{1, 1}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}, "1 of 5 pictures"},
        {{{1, 1}, {0, 1}, {1, 1}, {0, 1}, {0, 0}}, "4 of 5 pictures"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        Bytes video = cadence_stream(false, c.flags);
        Bytes after;
        RunResult r = run_on(video, {"--pulldown", "none"}, &after);
        if (std::strstr(c.result, " of 5 pictures")) {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, std::string("cannot remove 3:2 pulldown: ") + c.result +
                                 " repeat a field in a stream flagged 29.97 fps (film has 40 % to 60 %; "
                                 "no pulldown to remove); the file is unchanged\n");
            EXPECT_EQ(after, video);
            continue;
        }
        Bytes film = cadence_stream(true, c.flags);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, std::string("3:2 pulldown removed: ") + c.result);
        EXPECT_EQ(after, film);
        Bytes rates_only = video;
        rates_only[7] = film[7];  // frame_rate_code, as the first pass leaves it
        for (const Bytes& start : {film, rates_only}) {
            r = run_on(start, {"--pulldown", "none"}, &after);
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(after, film);
        }
    }
}

// Drop-frame labels, walked one by one over a whole day by the rule of the
// counting (labels 00 and 01 of every minute but each tenth are skipped):
// each label's count is its place in the walk, and the count gives it back.
TEST(Pulldown, DropFrameLabelsOverADay) {
    TimeCode t{0, 0, 0, 0};
    std::uint64_t count = 0;
    for (; t.hours < 24; ++count) {
        ASSERT_EQ(label_to_count(TimeCodeCounting::DROP_FRAME_30, t), count);
        TimeCode back = count_to_label(TimeCodeCounting::DROP_FRAME_30, count);
        ASSERT_EQ(std::vector<unsigned>({back.hours, back.minutes, back.seconds, back.pictures}),
                  std::vector<unsigned>({t.hours, t.minutes, t.seconds, t.pictures}))
            << count;
        if (++t.pictures < 30) continue;
        t.pictures = 0;
        if (++t.seconds < 60) continue;
        t.seconds = 0;
        if (++t.minutes == 60) t.minutes = 0, ++t.hours;
        if (t.minutes % 10 != 0) t.pictures = 2;
    }
    EXPECT_EQ(count, 24u * 6 * 17982);  // 17982 labels in ten minutes
    TimeCode wrapped = count_to_label(TimeCodeCounting::DROP_FRAME_30, count);
    EXPECT_EQ(wrapped.hours + wrapped.minutes + wrapped.seconds + wrapped.pictures, 0u);
}

// The first GOP two labels before a skipped pair keeps its label; four
// frames on, the second GOP is past the pair: 00:00:59;28, 00:01:00;04.
TEST(Pulldown, TimeCodesAcrossASkippedMinute) {
    Bytes film = film_stream(false);
    GroupHeader g = group_at(0, 28);
    g.time_code_seconds = 59;
    Bytes first = group_header(g);
    Bytes pulled = film_stream(true);
    std::size_t at = film.size();  // the first GOP header
    for (std::size_t i = 0; i + 4 <= film.size(); ++i)
        if (film[i] == 0 && film[i + 1] == 0 && film[i + 2] == 1 && film[i + 3] == 0xB8) {
            at = i;
            break;
        }
    ASSERT_LT(at, film.size());
    std::copy(first.begin(), first.end(), film.begin() + static_cast<long>(at));
    GroupHeader second = group_at(1, 4);
    second.time_code_minutes = 1;
    g.drop_frame_flag = 1;
    Bytes expected = pulled;
    Bytes expected_first = group_header(g);
    std::copy(expected_first.begin(), expected_first.end(), expected.begin() + static_cast<long>(at));
    std::size_t second_at = at + 1;
    while (!(expected[second_at] == 0 && expected[second_at + 1] == 0 && expected[second_at + 2] == 1 &&
             expected[second_at + 3] == 0xB8))
        ++second_at;
    Bytes expected_second = group_header(second);
    std::copy(expected_second.begin(), expected_second.end(), expected.begin() + static_cast<long>(second_at));
    Bytes after;
    RunResult r = run_on(film, {"--pulldown", "3:2"}, &after);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(after, expected);
}

struct Refusal {
    const char* mode;
    std::vector<Bytes> parts;
    int part;  // whose offset the message names; -1: none
    const char* reason;
};

TEST(Pulldown, RefusalsLeaveTheFileUntouched) {
    EnglishMessages english;
    const Bytes seq = concat({sequence_header(at_rate(1)), sequence_extension({})});
    const Bytes video = concat({sequence_header(at_rate(4)), sequence_extension({})});
    const Bytes gop = group_header({});
    const Bytes i0 = picture_header({0, 1});
    const Bytes p1 = picture_header({1, 2});
    const Bytes p2 = picture_header({2, 2});
    const Bytes frame = picture_coding_extension({});
    PictureCodingExtension field_e;
    field_e.picture_structure = 1;
    PictureCodingExtension repeat_e;
    repeat_e.repeat_first_field = 1;
    SequenceExtension extended;
    extended.frame_rate_extension_n = 1;
    SequenceExtension progressive;
    progressive.progressive_sequence = 1;
    GroupHeader minute;
    minute.time_code_minutes = 1;
    GroupHeader film_picture;
    film_picture.time_code_pictures = 25;

    const std::vector<Refusal> cases = {
        {"3:2", {seq, gop, i0, picture_coding_extension(field_e)}, 3,
         "field picture (picture_structure 1)"},
        {"3:2", {seq, gop, i0, frame, sequence_header(at_rate(2))}, 4,
         "sequence at 24 fps after one at 23.976 fps"},
        {"3:2", {sequence_header(at_rate(1)), sequence_extension(extended)}, 1,
         "frame rate extension 2/1"},
        {"3:2", {seq, gop, i0, frame, frame}, 4, "picture coding extension outside a picture"},
        {"3:2", {seq, gop, i0, frame, i0, frame}, 4, "temporal_reference 0 twice in one group of pictures"},
        {"3:2", {seq, gop, i0, frame, p2, frame, gop, i0, frame}, 1,
         "group of pictures whose temporal_reference values do not run from 0 to 1"},
        {"3:2", {seq, gop, i0, frame, p1, picture_coding_extension(repeat_e)}, 5,
         "repeat_first_field set outside the 3:2 cadence"},
        {"3:2", {seq}, -1, "no picture in the file"},
        {"3:2", {seq, gop, i0, frame, picture_display_extension(2)}, 4,
         "picture display extension (its length follows the flags that would change)"},
        {"3:2", {seq, group_header(minute), i0, frame}, 1,
         "first time code 00:01:00:00, which drop-frame counting does not have"},
        {"none", {video, group_header(film_picture)}, 1,
         "first time code 00:00:00:25, which 24-frame counting does not have"},
        {"3:2", {i0, frame, seq}, 0, "picture before the first sequence header"},
        {"3:2", {gop, seq}, 0, "group of pictures before the first sequence header"},
        {"none",
         {sequence_header(at_rate(4)), sequence_extension(progressive), gop, i0,
          picture_coding_extension(busy_coding(1, 1))},
         1, "progressive_sequence 1 in a stream flagged 29.97 fps (no pulldown to remove)"},
    };
    for (const Refusal& c : cases) {
        Layout l = lay_out(c.parts);
        std::string where;
        if (c.part >= 0) {
            char text[32];
            std::snprintf(text, sizeof text, "offset 0x%08zx: ", l.at[static_cast<std::size_t>(c.part)]);
            where = text;
        }
        Bytes after;
        RunResult r = run_on(l.bytes, {"--pulldown", c.mode}, &after);
        EXPECT_EQ(r.status, 1) << c.reason;
        EXPECT_EQ(r.out, "") << c.reason;
        EXPECT_EQ(r.err, std::string("cannot ") + (c.mode[0] == '3' ? "apply" : "remove") +
                             " 3:2 pulldown: " + where + c.reason + "; the file is unchanged\n");
        EXPECT_EQ(after, l.bytes) << c.reason;
    }
}

}  // namespace
