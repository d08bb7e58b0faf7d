// The check pass: reads the whole file, writes nothing. It refuses, with
// the reason and the offset, every stream that cannot be converted, and
// counts the headers whose bytes the patch passes will change.
//
// Each header may hold the value it had before the run (the source) or the
// one the run gives it (the target), so that a half-converted file passes.
// Headers cut short by the end of the file are left alone in every pass.
#include <cstdio>
#include <cstring>

#include "headers/headers.hpp"
#include "pulldown/messages.hpp"
#include "pulldown/pulldown.hpp"
#include "pulldown/time_code.hpp"
#include "scan/start_codes.hpp"

namespace {

constexpr unsigned FRAME_PICTURE = 3;

PulldownState& state_of(void* own) { return *static_cast<PulldownState*>(own); }

// A reason with its arguments, in the language and encoding of ctx.run.err.
template <typename... Args>
void format_reason(const StreamContext& ctx, char (&reason)[REASON_SIZE], const Message& message,
                   Args... args) {
    std::snprintf(reason, REASON_SIZE, message_format(ctx.run.err, message), args...);
}

const char* rate_name(unsigned frame_rate_code) { return frame_rate_name(frame_rate_code & 15); }

}  // namespace

ParseResult refuse_pulldown(StreamContext& ctx, PulldownState& s, bool with_offset,
                            std::uint64_t offset, const char* reason) {
    char where[64] = "";
    if (with_offset)
        std::snprintf(where, sizeof where, message_format(ctx.run.err, pulldown_msg::at_offset),
                      static_cast<unsigned long long>(offset));
    print_message(ctx.run.err, pulldown_msg::refusal[static_cast<int>(s.direction)], where, reason);
    s.refused = true;
    return STOP;
}

ParseResult refuse_pulldown(StreamContext& ctx, PulldownState& s, bool with_offset,
                            std::uint64_t offset, const Message& reason) {
    return refuse_pulldown(ctx, s, with_offset, offset, message_format(ctx.run.err, reason));
}

namespace {

// A picture still waiting for its coding extension when the next picture,
// group or sequence starts has none.
ParseResult close_picture(StreamContext& ctx, PulldownState& s) {
    if (!s.picture_open) return CONTINUE;
    return refuse_pulldown(ctx, s, true, s.picture_offset, pulldown_msg::no_coding_extension);
}

ParseResult close_group(StreamContext& ctx, PulldownState& s) {
    if (group_complete(s)) return CONTINUE;
    char reason[REASON_SIZE];
    format_reason(ctx, reason, pulldown_msg::incomplete_group,
                  static_cast<unsigned long long>(s.pictures - s.group_first - 1));
    return refuse_pulldown(ctx, s, true, s.group_offset, reason);
}

ParseResult check_sequence_header(StreamContext& ctx, void* own, const syntax::SequenceHeader& h) {
    PulldownState& s = state_of(own);
    if (bytes_held_at_pos(ctx) < 8) return CONTINUE;
    if (close_picture(ctx, s) == STOP) return STOP;
    char reason[REASON_SIZE];
    unsigned code = h.frame_rate_code;
    unsigned film = code == 4 || code == 5 ? code - 3 : code;
    if (film != 1 && film != 2) {
        format_reason(ctx, reason, pulldown_msg::wrong_rate[static_cast<int>(s.direction)],
                      rate_name(code));
        return refuse_pulldown(ctx, s, true, offset_of(ctx), reason);
    }
    if (s.film_rate_code != 0 && film != s.film_rate_code) {
        format_reason(ctx, reason, pulldown_msg::rates_disagree, rate_name(code),
                      rate_name(s.film_rate_code));
        return refuse_pulldown(ctx, s, true, offset_of(ctx), reason);
    }
    s.film_rate_code = film;
    s.sequence_rate_code = code;
    s.sequence_progressive = false;
    if (code != film) s.video_rate_seen = true;
    const std::uint8_t* p = bytes_at_pos(ctx);
    if (target_sequence_header(s, p[7]) != p[7]) s.rates_to_patch += 1;
    return CONTINUE;
}

ParseResult check_sequence_extension(StreamContext& ctx, void* own,
                                     const syntax::SequenceExtension& e) {
    PulldownState& s = state_of(own);
    if (bytes_held_at_pos(ctx) < 10) return CONTINUE;
    if (e.frame_rate_extension_n != 0 || e.frame_rate_extension_d != 0) {
        char reason[REASON_SIZE];
        format_reason(ctx, reason, pulldown_msg::rate_extension,
                      e.frame_rate_extension_n + 1, e.frame_rate_extension_d + 1);
        return refuse_pulldown(ctx, s, true, offset_of(ctx), reason);
    }
    s.sequence_progressive = e.progressive_sequence;
    if (e.progressive_sequence && !s.progressive_sequence_seen) {
        s.progressive_sequence_seen = true;
        s.progressive_sequence_offset = offset_of(ctx);
    }
    const std::uint8_t* p = bytes_at_pos(ctx);
    if (target_sequence_extension(s, p[5]) != p[5]) s.flags_to_patch += 1;
    return CONTINUE;
}

ParseResult check_group_header(StreamContext& ctx, void* own,
                               const syntax::GroupOfPicturesHeader& g) {
    PulldownState& s = state_of(own);
    if (bytes_held_at_pos(ctx) < 8) return CONTINUE;
    if (close_picture(ctx, s) == STOP || close_group(ctx, s) == STOP) return STOP;
    if (s.film_rate_code == 0)
        return refuse_pulldown(ctx, s, true, offset_of(ctx), pulldown_msg::group_before_sequence);
    begin_group(s, offset_of(ctx));
    if (!s.anchor_seen) {
        s.anchor_seen = true;
        s.anchor = {g.time_code_hours, g.time_code_minutes, g.time_code_seconds,
                    g.time_code_pictures};
        s.anchor_index = s.group_first;
        if (!label_exists(target_counting(s), s.anchor)) {
            char reason[REASON_SIZE];
            const Message& counting =
                pulldown_msg::counting_names[static_cast<int>(target_counting(s))];
            format_reason(ctx, reason, pulldown_msg::time_code_missing, s.anchor.hours,
                          s.anchor.minutes, s.anchor.seconds, s.anchor.pictures,
                          message_format(ctx.run.err, counting));
            return refuse_pulldown(ctx, s, true, offset_of(ctx), reason);
        }
    }
    const std::uint8_t* p = bytes_at_pos(ctx);
    std::uint8_t target[4];
    target_group_of_pictures_header(s, s.group_first, p + 4, target);
    if (std::memcmp(target, p + 4, 4) != 0) s.flags_to_patch += 1;
    return CONTINUE;
}

ParseResult check_picture_header(StreamContext& ctx, void* own, const syntax::PictureHeader& h) {
    PulldownState& s = state_of(own);
    if (bytes_held_at_pos(ctx) < 6) return CONTINUE;
    if (close_picture(ctx, s) == STOP) return STOP;
    if (s.film_rate_code == 0)
        return refuse_pulldown(ctx, s, true, offset_of(ctx), pulldown_msg::picture_before_sequence);
    if (!begin_picture(s, offset_of(ctx), h.temporal_reference)) {
        char reason[REASON_SIZE];
        format_reason(ctx, reason, pulldown_msg::repeated_reference, h.temporal_reference);
        return refuse_pulldown(ctx, s, true, offset_of(ctx), reason);
    }
    return CONTINUE;
}

// The display time of a frame picture as the stream shows it now, and as
// it will once converted.
void note_display_time(PulldownState& s, const syntax::PictureCodingExtension& e, std::uint64_t k) {
    bool video = s.sequence_rate_code == 4 || s.sequence_rate_code == 5;
    unsigned repeat = e.repeat_first_field;
    if (s.sequence_progressive)  // frames, repeated once or twice
        s.time_before += (video ? 8u : 10u) * (repeat ? (e.top_field_first ? 3u : 2u) : 1u);
    else
        s.time_before += (video ? 4u : 5u) * (2 + repeat);
    s.time_after += s.direction == PulldownDirection::APPLY ? 4 * (2 + cadence_repeat_first_field(k)) : 10;
}

ParseResult check_picture_coding_extension(StreamContext& ctx, void* own,
                                           const syntax::PictureCodingExtension& e) {
    PulldownState& s = state_of(own);
    if (bytes_held_at_pos(ctx) < 9) {
        s.picture_open = false;
        return CONTINUE;
    }
    if (!s.picture_open)
        return refuse_pulldown(ctx, s, true, offset_of(ctx),
                               pulldown_msg::extension_outside_picture);
    s.picture_open = false;
    if (e.picture_structure != FRAME_PICTURE) {
        char reason[REASON_SIZE];
        format_reason(ctx, reason, pulldown_msg::field_picture, e.picture_structure);
        return refuse_pulldown(ctx, s, true, offset_of(ctx), reason);
    }
    if (!e.progressive_frame)
        return refuse_pulldown(ctx, s, true, offset_of(ctx), pulldown_msg::interlaced_picture);
    std::uint64_t k = s.display_index;
    note_display_time(s, e, k);
    if (e.repeat_first_field) ++s.repeats;
    bool remove = s.direction == PulldownDirection::REMOVE;  // any cadence: see pulldown.hpp
    if (!remove && (e.top_field_first != cadence_top_field_first(k) ||
                    e.repeat_first_field != cadence_repeat_first_field(k))) {
        // Without the cadence's flags a picture must show exactly its two
        // fields: anything else is some other pulldown or a repeated frame.
        if (e.repeat_first_field)
            return refuse_pulldown(ctx, s, true, offset_of(ctx),
                                   pulldown_msg::repeat_out_of_cadence);
        if (!s.off_cadence_seen) {
            s.off_cadence_seen = true;
            s.off_cadence_offset = offset_of(ctx);
        }
    }
    const std::uint8_t* p = bytes_at_pos(ctx);
    std::uint8_t target[2];
    target_picture_coding_extension(s, k, p + 7, target);
    if (std::memcmp(target, p + 7, 2) != 0) s.flags_to_patch += 1;
    return CONTINUE;
}

// A picture display extension holds as many frame centre offsets as
// progressive_sequence, top_field_first and repeat_first_field say: changing
// those flags in place would leave it the wrong length, and the stream
// would no longer parse.
ParseResult check_picture_display_extension(StreamContext& ctx, void* own,
                                            const syntax::PictureDisplayExtension&) {
    return refuse_pulldown(ctx, state_of(own), true, offset_of(ctx),
                           pulldown_msg::picture_display_extension);
}

ParseResult check_bare_start_code(StreamContext& ctx, void* own, std::uint32_t start_code) {
    return start_code == SEQUENCE_END_CODE ? close_picture(ctx, state_of(own)) : CONTINUE;
}

}  // namespace

// What the whole file shows, once read. The rates of a stream flagged at
// 29.97 or 30 fps are written only after all its flags (apply) or before
// any of them (remove), so such a stream must carry the whole cadence.
bool finish_pulldown_check(StreamContext& ctx, PulldownState& s) {
    if (close_picture(ctx, s) == STOP) return false;
    if (s.pictures == 0) {
        refuse_pulldown(ctx, s, false, 0, pulldown_msg::no_picture);
        return false;
    }
    if (!s.video_rate_seen) return true;
    int d = static_cast<int>(s.direction);
    char reason[REASON_SIZE];
    const char* rate = rate_name(s.film_rate_code + 3);
    if (s.off_cadence_seen) {
        format_reason(ctx, reason, pulldown_msg::not_film[d], rate);
        refuse_pulldown(ctx, s, true, s.off_cadence_offset, reason);
        return false;
    }
    if (s.progressive_sequence_seen) {
        format_reason(ctx, reason, pulldown_msg::progressive_video[d], rate);
        refuse_pulldown(ctx, s, true, s.progressive_sequence_offset, reason);
        return false;
    }
    // Film repeats a field in every other picture, give or take the breaks.
    if (s.direction == PulldownDirection::REMOVE &&
        (5 * s.repeats < 2 * s.pictures || 5 * s.repeats > 3 * s.pictures)) {
        format_reason(ctx, reason, pulldown_msg::not_film_share,
                      static_cast<unsigned long long>(s.repeats),
                      static_cast<unsigned long long>(s.pictures), rate);
        refuse_pulldown(ctx, s, false, 0, reason);
        return false;
    }
    return true;
}

const HeaderSink pulldown_check_sink = {
    check_sequence_header, check_sequence_extension, nullptr, nullptr, nullptr,
    check_picture_display_extension, check_group_header, check_picture_header, check_picture_coding_extension,
    check_bare_start_code, print_layer_warning,
};
