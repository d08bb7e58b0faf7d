// The one record of run state, and the scanner that drives the handlers.
#pragma once

#include <cstdint>
#include <cstdio>

#include "demux/demux.hpp"
#include "input/stream_source.hpp"
#include "json/json_writer.hpp"
#include "platform/file.hpp"
#include "rewrite/patch_listener.hpp"
#include "rewrite/patch_target.hpp"

// Bytes read from the file per refill, and the size of the window.
inline constexpr std::uint32_t WINDOW_SIZE = 1u << 20;
// Valid bytes that must follow a position before it is examined while the
// file has more data: the farthest unchecked read of any handler is byte 196
// of a quantiser-matrix extension.
inline constexpr std::uint32_t LOOKAHEAD = 197;
// Zero bytes kept after the valid data, so that a header cut short by the end
// of the file reads zeros, never bytes left over from an earlier read.
inline constexpr std::uint32_t WINDOW_PADDING = 256;

enum class Mode { REPORT = 0, REWRITE = 1 };
struct HeaderSink;
enum ParseResult { CONTINUE = 0, STOP = 1 };
enum class ScanOutcome { END_OF_INPUT, STOPPED };
// Why the scan stopped before the end of the file.
enum class StopReason { NONE, SYSTEM_STREAM, READ_FAILED, SEEK_FAILED, SINK_STOPPED };
struct JsonReport;
struct PatchCollection;

// How a rewrite shows how far it got, on standard output.
//   ORIGINAL      the tool's first lines: one per patch, each ending in "\r"
//                 with the window's offset, then the closing line (the C
//                 locale's two original command lines)
//   LIVE          one line redrawn in place at most ten times a second, then
//                 the closing line at 100% (standard output is a terminal)
//   CLOSING_ONLY  the closing line at 100% alone (a file or a pipe)
//   NONE          no progress line (--quiet)
enum class ProgressStyle { ORIGINAL, LIVE, CLOSING_ONLY, NONE };

struct ProgressLine {
    ProgressStyle style = ProgressStyle::ORIGINAL;
    // Milliseconds of a clock that never goes back; null: the steady clock.
    // Tests put their own here.
    std::uint64_t (*clock)() = nullptr;
    bool drawn = false;         // LIVE: a line stands on the terminal
    std::uint64_t drawn_at = 0;  // LIVE: when it was drawn
};

// What the headers read so far have said: the scanner's and the handlers'
// memory of the stream. A new pass over the file starts it afresh, whole.
struct DecodedState {
    // Last start code other than extension and user data; 0 before any.
    std::uint32_t last_start_code = 0;

    // Sequence header, completed by the sequence extension.
    bool sequence_header_seen = false;
    std::uint64_t sequence_header_offset = 0;
    std::uint32_t horizontal_size = 0;
    std::uint32_t vertical_size = 0;
    std::uint8_t aspect_ratio_information = 0;
    std::uint8_t frame_rate_code = 0;
    std::uint32_t bit_rate = 0;  // units of 400 bit/s
    std::uint32_t vbv_buffer_size = 0;  // units of 16384 bits
    std::uint8_t constrained_parameters_flag = 0;
    std::uint8_t progressive_sequence = 0;
    std::uint8_t chroma_format = 0;
    bool sequence_extension_seen = false;  // an MPEG-2 stream
    std::uint8_t frame_rate_extension_n = 0;
    std::uint8_t frame_rate_extension_d = 0;

    // Last picture coding extension; sizes picture display extensions.
    std::uint8_t picture_structure = 0;
    std::uint8_t top_field_first = 0;
    std::uint8_t repeat_first_field = 0;
};

// The bytes the scan examines. The stream offset of bytes[i] is
// base_offset + i: the file offset in an elementary stream, the count of the
// video stream's bytes before it in a program or transport stream.
struct ScanWindow {
    std::uint8_t* bytes = nullptr;  // WINDOW_SIZE + WINDOW_PADDING bytes
    std::uint32_t held = 0;         // valid bytes at the front
    std::uint32_t pos = 0;          // index the scan or a handler is at
    std::uint64_t base_offset = 0;
};

// What the command line asked of this run; fixed before the first pass.
struct RunSettings {
    Mode mode = Mode::REPORT;
    const char* path = nullptr;   // the file as named on the command line
    bool original_texts = false;  // an original command line in the C locale:
                                  // failures print the texts they always have
    std::uint32_t target_bit_rate = 0;
    bool rewrites_bit_rate = false;  // the run sets target_bit_rate everywhere
    bool dry_run = false;  // REWRITE mode: list the patches, write nothing
    std::FILE* out = nullptr;  // report and progress lines
    JsonLayout json_layout = JsonLayout::PRETTY;  // --json: one document per file on a line
    std::FILE* err = nullptr;  // warnings and errors
};

struct StreamContext {
    ScanWindow win;
    RunSettings run;
    DecodedState decoded;  // what the headers so far have said

    FileHandle file;
    PatchTargets targets;  // REWRITE mode: the files patched, the stream's first
    PatchListenerRef listener;  // hears of the patches, the progress, the end
    const HeaderSink* sink = nullptr;  // what becomes of each decoded header
    void* sink_state = nullptr;        // the sink's own record, handed to its entries
    StopReason stop_reason = StopReason::NONE;
    JsonReport* json = nullptr;  // the document of a --json run
    StreamSource source;  // where the stream's bytes come from
    Demuxer* demux = nullptr;  // the container the stream is read from, if
                               // any, for what the reports say of it
    // A read-only run passed over scrambled stretches of the container:
    // the rest was read whole, yet the run exits 1.
    bool scrambled_passed = false;
    std::uint64_t damaged_headers_left = 0;  // headers a rewrite did not patch
    ProgressLine progress;  // REWRITE mode
    // A rewrite inside a container keeps its patches here during its pass,
    // and writes them after it; null: each is written as it is found.
    PatchCollection* collection = nullptr;
};

// Reads the whole file through the window and hands every start code to its
// handler.
ScanOutcome scan_stream(StreamContext& ctx);

// Readies the context for another pass over the file from its start, for
// the runs that check or measure the whole file before they write: the
// positions, the last start code and every decoded field go back to their
// initial values, the run's own fields (mode, file, outputs, sink) stay.
// False when the file cannot be positioned at its start (not reported).
bool restart_scan(StreamContext& ctx);

// Stream offset of the byte at window index `pos`.
inline std::uint64_t offset_of(const StreamContext& ctx) {
    return ctx.win.base_offset + ctx.win.pos;
}

// The file offset of a stream offset in the window: everything that prints
// or writes an offset goes through here.
inline std::uint64_t file_offset_of(const StreamContext& ctx, std::uint64_t stream_offset) {
    return source_file_offset(ctx.source, stream_offset);
}

// The file offset of a stream offset that the window no longer holds, once
// the scan is over: the source may read the stream again from its start as
// far as that byte, through the window. False when that read fails (not
// reported).
inline bool file_offset_after_scan(StreamContext& ctx, std::uint64_t stream_offset,
                                   std::uint64_t* file_offset) {
    return source_file_offset_after(ctx.source, stream_offset, ctx.win.bytes, WINDOW_SIZE, file_offset);
}

// Bytes of the header at `pos` that lie in the valid data.
// The first byte of the header at `pos`.
inline std::uint8_t* bytes_at_pos(const StreamContext& ctx) {
    return ctx.win.bytes + ctx.win.pos;
}

inline std::uint32_t bytes_held_at_pos(const StreamContext& ctx) {
    return ctx.win.pos < ctx.win.held ? ctx.win.held - ctx.win.pos : 0;
}
