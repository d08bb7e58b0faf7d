// The in-place rewrite: the nominal bit rate of BITRATE and the elements of
// --set, in every sequence, in one pass; and the progress line.
#pragma once

#include <cstdint>

#include "headers/header_sink.hpp"
#include "rewrite/elements.hpp"
#include "rewrite/patch.hpp"
#include "scan/stream_context.hpp"

// One element to set, and its value (the bit rate in units of 400 bit/s).
struct RewriteRequest {
    const Element* element;
    std::uint32_t value;
    bool counted;  // the closing lines tell where it could not go (--set only)
};

// The rewrite's own record: the state of its sink.
struct RewriteState {
    RewriteRequest requests[ELEMENT_COUNT + 1] = {};
    unsigned request_count = 0;

    // The last sequence header, as the file held it.
    bool header_seen = false;
    std::uint64_t header_offset = 0;
    PatchPlace header_place;  // where its bytes lie in the file
    std::uint8_t header_bytes[12] = {};
    std::uint32_t header_held = 0;  // of those bytes, the ones in the file

    // The sequence it opened, until the next sequence header or the end.
    bool sequence_open = false;
    bool sequence_extension_seen = false;
    bool sequence_has_picture = false;
    bool took[ELEMENT_COUNT + 1] = {};
    bool changed = false;  // some of its bytes were not yet the new ones
    bool left = false;     // a header of it lay across damage, unpatched

    // Over the whole file.
    std::uint64_t sequences = 0;
    std::uint64_t without_extension = 0;  // of those, MPEG-1 ones (with pictures)
    std::uint64_t missed[ELEMENT_COUNT + 1] = {};  // sequences that could not take it
    bool written[ELEMENT_COUNT + 1] = {};          // it went somewhere
    // Each sequence once: patched, found with every value already there, or
    // not patched whole (an element it cannot take, a header across damage).
    std::uint64_t patched = 0;
    std::uint64_t already_right = 0;
    std::uint64_t not_patched = 0;
};

// Readies `state` for the run: the elements of `settings`, and the bit rate
// of ctx.run.target_bit_rate when `bit_rate` is true; makes it the sink's.
void start_rewrite(StreamContext& ctx, RewriteState& state, const ElementSettings& settings,
                   bool bit_rate);

// Closes the sequence the last sequence header opened, if any: the fields
// that a sequence without extension takes, then the count of the elements
// it could not take. False after a failed write (reported).
bool close_sequence(StreamContext& ctx, RewriteState& s);

// Ends a rewrite whose scan went through: the last sequence's patches, the
// flush to storage, the closing progress line and, per element, the count
// of sequences that could not take it. False after a failed write or flush
// (reported) or when an element went into no sequence at all.
bool finish_rewrite(StreamContext& ctx, RewriteState& s);

// After the closing progress line of the positional BITRATE: outside the
// messages as they have always been (Japanese in Shift_JIS), a line on
// standard error for the MPEG-1 sequences, which that form leaves alone.
void print_mpeg1_rate_notice(const StreamContext& ctx, const RewriteState& s);

// The rewrite's sink: the patches at every sequence header and extension,
// the layer warnings, nothing else.
extern const HeaderSink rewrite_sink;

// The progress line "処理: done/totalバイト (percent%)\r" in the style of
// `line`: after a patch, or at a sequence header (LIVE only, when its time
// has come).
void draw_progress(ProgressLine& line, const StreamContext& ctx, ProgressPoint at);

// The closing line, at the end of a scan that read the whole stream: the
// same line ending in "\n" (ORIGINAL: the window's offset as ever; otherwise
// the whole file, 100%).
void draw_closing_progress(const ProgressLine& line, const StreamContext& ctx);

// The closing lines that a dry run prints as a rewrite does: the count of
// sequences that could not take an element (none when all took it), and
// the line that ends a pulldown run (what it did, or would do).
void print_missed_line(const StreamContext& ctx, const char* name, std::uint64_t missed,
                       std::uint64_t sequences);
void print_pulldown_summary(const StreamContext& ctx, const PulldownSummary& s, bool dry_run);
