// What each patched field becomes, from the picture's place in display order.
//
//   picture coding extension  byte 7  top_field_first (bit 7),
//                                     repeat_first_field (bit 1)
//                             byte 8  progressive_frame (bit 7)
//   sequence extension        byte 5  progressive_sequence (bit 3)
//   sequence header           byte 7  frame_rate_code (bits 3..0)
//   GOP header                byte 4..7  drop_frame_flag | hours (5) |
//                                        minutes (6) | marker_bit |
//                                        seconds (6) | pictures (6) |
//                                        closed_gop | broken_link | ...
#include "pulldown/pulldown.hpp"
#include "pulldown/time_code.hpp"

namespace {

// The cadence, by display index modulo 4: the pictures show 3, 2, 3 and 2
// fields, the first of them top, bottom, bottom and top.
constexpr unsigned cadence_flags[4][2] = {{1, 1}, {0, 0}, {0, 1}, {1, 0}};
// Fields shown before the picture at display index 4n + i, less 10n.
constexpr unsigned fields_before_in_cadence[4] = {0, 3, 5, 8};

// The 29.97 (frame_rate_code 4) and 30 (5) codes for 23.976 (1) and 24 (2).
constexpr unsigned video_rate_offset = 3;

std::uint64_t fields_before(std::uint64_t k) {
    return 10 * (k / 4) + fields_before_in_cadence[k % 4];
}

// Whole frames shown before display index k, at the target rate.
std::uint64_t frames_before(const PulldownState& s, std::uint64_t k) {
    return s.direction == PulldownDirection::REMOVE ? k : fields_before(k) / 2;
}

}  // namespace

TimeCodeCounting target_counting(const PulldownState& s) {
    if (s.direction == PulldownDirection::REMOVE) return TimeCodeCounting::FILM_24;
    return s.film_rate_code == 1 ? TimeCodeCounting::DROP_FRAME_30 : TimeCodeCounting::NON_DROP_30;
}

unsigned cadence_top_field_first(std::uint64_t k) { return cadence_flags[k % 4][0]; }
unsigned cadence_repeat_first_field(std::uint64_t k) { return cadence_flags[k % 4][1]; }

void target_picture_coding_extension(const PulldownState& s, std::uint64_t k,
                                     const std::uint8_t* old, std::uint8_t* out) {
    unsigned top_field_first = 0;
    unsigned repeat_first_field = 0;
    if (s.direction == PulldownDirection::APPLY) {
        top_field_first = cadence_top_field_first(k);
        repeat_first_field = cadence_repeat_first_field(k);
    }
    out[0] = static_cast<std::uint8_t>((old[0] & 0x7Du) | top_field_first << 7 |
                                       repeat_first_field << 1);
    out[1] = static_cast<std::uint8_t>(old[1] | 0x80u);  // progressive_frame 1
}

std::uint8_t target_sequence_extension(const PulldownState& s, std::uint8_t old) {
    unsigned progressive_sequence = s.direction == PulldownDirection::REMOVE ? 1 : 0;
    return static_cast<std::uint8_t>((old & 0xF7u) | progressive_sequence << 3);
}

std::uint8_t target_sequence_header(const PulldownState& s, std::uint8_t old) {
    unsigned frame_rate_code = s.film_rate_code;
    if (s.direction == PulldownDirection::APPLY) frame_rate_code += video_rate_offset;
    return static_cast<std::uint8_t>((old & 0xF0u) | frame_rate_code);
}

void target_group_of_pictures_header(const PulldownState& s, std::uint64_t k,
                                     const std::uint8_t* old, std::uint8_t* out) {
    TimeCodeCounting counting = target_counting(s);
    std::uint64_t count = label_to_count(counting, s.anchor) + frames_before(s, k) -
                          frames_before(s, s.anchor_index);
    TimeCode t = count_to_label(counting, count);
    unsigned drop_frame_flag = counting == TimeCodeCounting::DROP_FRAME_30 ? 1 : 0;
    out[0] = static_cast<std::uint8_t>(drop_frame_flag << 7 | t.hours << 2 | t.minutes >> 4);
    out[1] = static_cast<std::uint8_t>((t.minutes & 0x0Fu) << 4 | (old[1] & 0x08u) | t.seconds >> 3);
    out[2] = static_cast<std::uint8_t>((t.seconds & 7u) << 5 | t.pictures >> 1);
    out[3] = static_cast<std::uint8_t>((t.pictures & 1u) << 7 | (old[3] & 0x7Fu));
}
