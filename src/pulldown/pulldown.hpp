// Soft 3:2 pulldown, applied or removed in place.
//
// A run makes three passes over the file, opened for writing once:
//   1. check: read only; refuses what cannot be converted, with the reason
//      and its offset, and counts the headers that will change;
//   2. and 3. patch: the flags (picture coding extensions, progressive_sequence
//      and the GOP time codes) and the frame rates (frame_rate_code of every
//      sequence header), each pass followed by a flush to the storage device.
// Removing accepts any cadence, breaks included, as long as the share of
// pictures with a repeated field is that of film (40 to 60 %): DVD encoders
// change the phase at every edit, and the flags removal writes do not
// depend on it. Applying writes its own exact cadence.
//
// Applying writes the flags first and the rates last; removing writes the
// rates first and the flags last. A stream flagged 29.97 or 30 fps therefore
// always carries the whole cadence, whenever the run is interrupted, and
// the check can tell a half-converted film from video that was shot at
// 29.97 fps: it refuses the latter instead of slowing it down to 23.976.
//
// Every patched bit follows from the picture's place in display order and
// from the first GOP's time code, never from the value already there, so a
// run on a half-converted file completes it and a run on a converted file
// changes nothing.
#pragma once

#include "text/message.hpp"

#include <cstdint>

#include "headers/header_sink.hpp"
#include "scan/stream_context.hpp"

enum class PulldownDirection { APPLY, REMOVE };

enum class PulldownPass { CHECK, FLAGS, RATES };

// A GOP time code label.
struct TimeCode {
    unsigned hours, minutes, seconds, pictures;
};

// The run's own record, the state of the sink of every pass.
struct PulldownState {
    PulldownDirection direction = PulldownDirection::APPLY;
    PulldownPass pass = PulldownPass::CHECK;

    // Found by the check, used by the patch passes.
    unsigned film_rate_code = 0;  // 1 (23.976) or 2 (24); 0 before a sequence header
    bool anchor_seen = false;     // the first GOP header: time codes count from it
    TimeCode anchor{};
    std::uint64_t anchor_index = 0;  // its display index

    // Display order, kept in every pass: a picture's display index is its
    // group's first index plus its temporal_reference; a group's first
    // index is the number of pictures in the groups before it.
    std::uint64_t pictures = 0;
    std::uint64_t group_first = 0;
    std::uint64_t group_offset = 0;
    unsigned group_last_reference = 0;
    std::uint64_t references_seen[16] = {};  // temporal_reference bitmap of the group
    bool picture_open = false;  // a picture header waits for its coding extension
    std::uint64_t picture_offset = 0;
    std::uint64_t display_index = 0;  // of the open picture

    // The check's findings.
    bool video_rate_seen = false;  // a sequence header at 29.97 or 30 fps
    bool off_cadence_seen = false;  // a picture without the cadence's flags
    std::uint64_t off_cadence_offset = 0;
    bool progressive_sequence_seen = false;
    std::uint64_t progressive_sequence_offset = 0;
    std::uint64_t repeats = 0;  // pictures with repeat_first_field
    // The sequence being read, and the display time of the pictures before
    // and after the run, in units of 1/240 s (24, 30 fps) or 1001/240000 s
    // (23.976, 29.97): a film frame is 10, a field at 29.97 or 30 fps 4.
    unsigned sequence_rate_code = 0;
    bool sequence_progressive = false;
    std::uint64_t time_before = 0, time_after = 0;
    std::uint64_t flags_to_patch = 0;
    std::uint64_t rates_to_patch = 0;
    bool refused = false;  // the reason has been printed

    std::uint64_t patched = 0;  // headers written by the patch passes
};

// Applies or removes the pulldown of the file open in ctx, its patch target
// added. Tells the run's listener the summary and returns true, or returns
// false after printing the reason for a refusal or a failure. `check_pass`
// holds the sinks that read the first pass, the check, before the
// pulldown's own (the JSON document's record of layer warnings); the patch
// passes read the same headers again and go to the pulldown alone.
bool run_pulldown(StreamContext& ctx, PulldownDirection direction, SinkChain& check_pass);

// The sinks of the passes.
extern const HeaderSink pulldown_check_sink;
extern const HeaderSink pulldown_patch_sink;

// After the check pass: the findings that need the whole file. False after
// printing the refusal.
bool finish_pulldown_check(StreamContext& ctx, PulldownState& s);

// Prints the refusal (with the offset when `with_offset`), marks the run
// refused and returns STOP. `reason` is a reason of pulldown/messages.hpp
// formatted with message_format for ctx.run.err, or that message itself.
ParseResult refuse_pulldown(StreamContext& ctx, PulldownState& s, bool with_offset,
                            std::uint64_t offset, const char* reason);
ParseResult refuse_pulldown(StreamContext& ctx, PulldownState& s, bool with_offset,
                            std::uint64_t offset, const Message& reason);
// Room for a formatted reason.
inline constexpr std::size_t REASON_SIZE = 2 * MESSAGE_CAPACITY;

// ---- The target of every field, from the picture's place (targets.cpp).

// (top_field_first, repeat_first_field) of the picture at display index k.
unsigned cadence_top_field_first(std::uint64_t k);
unsigned cadence_repeat_first_field(std::uint64_t k);

// Bytes 7 and 8 of a picture coding extension for the picture at display
// index k: top_field_first, repeat_first_field and progressive_frame set,
// every other bit as in `old`.
void target_picture_coding_extension(const PulldownState& s, std::uint64_t k,
                                     const std::uint8_t* old, std::uint8_t* out);
// Byte 5 of a sequence extension: progressive_sequence set.
std::uint8_t target_sequence_extension(const PulldownState& s, std::uint8_t old);
// Byte 7 of a sequence header: frame_rate_code set.
std::uint8_t target_sequence_header(const PulldownState& s, std::uint8_t old);
// Bytes 4 to 7 of the GOP header whose first picture has display index k:
// drop_frame_flag and the time code set; the marker bit, closed_gop and
// broken_link as in `old`.
void target_group_of_pictures_header(const PulldownState& s, std::uint64_t k,
                                     const std::uint8_t* old, std::uint8_t* out);

// ---- Display order (display_order.cpp), the same in every pass.

// A GOP header at the current offset starts a new group.
void begin_group(PulldownState& s, std::uint64_t offset);
// A picture header; false when its temporal_reference is already taken in
// the group.
bool begin_picture(PulldownState& s, std::uint64_t offset, unsigned temporal_reference);
// True when the group's temporal_reference values run from 0 to its
// number of pictures less one.
bool group_complete(const PulldownState& s);
