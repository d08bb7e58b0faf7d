// The start-code scanner.
//
// The file is read once, front to back, into a window of WINDOW_SIZE bytes.
// A position is examined only while at least LOOKAHEAD valid bytes start
// there (or, once the file is exhausted, the four bytes of a start code), so
// every handler can read its header at fixed indices from `pos`. When the
// scan reaches that limit, the unread tail slides to the front of the window
// and the window is filled up again.
#include <cstring>
#include <initializer_list>

#include "demux/demux_messages.hpp"
#include "headers/header_sink.hpp"
#include "headers/headers.hpp"
#include "messages.hpp"
#include "scan/find_start_code.hpp"
#include "scan/start_codes.hpp"
#include "scan/stream_context.hpp"
#include "scan/file_failure.hpp"

namespace {

// A transport stream carries the video in 188-byte packets (192 with a
// time-code prefix), each starting with the sync byte 0x47.
bool looks_like_transport_stream(const std::uint8_t* data, std::uint32_t held) {
    constexpr std::uint8_t SYNC_BYTE = 0x47;
    for (std::uint32_t first : {0u, 4u}) {
        std::uint32_t packet = first == 0 ? 188 : 192;
        std::uint32_t last = first + 2 * packet;
        if (last < held && data[first] == SYNC_BYTE &&
            data[first + packet] == SYNC_BYTE && data[last] == SYNC_BYTE)
            return true;
    }
    return false;
}

// Reads up to `count` more bytes of the stream: from the file, or from the
// container through the demultiplexer.
bool read_stream(StreamContext& ctx, std::uint8_t* dest, std::uint32_t count, std::uint32_t* got) {
    if (!ctx.demux) return platform_read(ctx.file, dest, count, got);
    // Filled a part at a time, the window stays in the cache beside the
    // demultiplexer's input while the scan reads it.
    if (count > DEMUX_FILL_SIZE) count = DEMUX_FILL_SIZE;
    demux_fill(*ctx.demux, dest, count, got);
    return ctx.demux->stop == DemuxStop::NONE || ctx.demux->stop == DemuxStop::END;
}

// Reads `count` bytes and throws them away: a header longer than the
// lookahead has been skipped past the end of the window.
bool discard(StreamContext& ctx, std::uint64_t count, bool* at_end) {
    while (count > 0) {
        std::uint32_t chunk =
            count < WINDOW_SIZE ? static_cast<std::uint32_t>(count) : WINDOW_SIZE;
        std::uint32_t got = 0;
        if (!read_stream(ctx, ctx.win.bytes, chunk, &got)) return false;
        if (got == 0) {
            *at_end = true;
            return true;
        }
        count -= got;
        if (ctx.demux) demux_forget_before(*ctx.demux, ctx.demux->stream_end);
    }
    return true;
}

// A program or transport stream read as video: refused, with what would
// read it (not among the texts the original command lines print).
void print_system_stream_refusal(const StreamContext& ctx) {
    print_message(ctx.run.err, msg::system_stream);
    if (!ctx.run.original_texts && !ctx.demux) print_message(ctx.run.err, msg::demux_hint);
}

// The read failed, or the demultiplexer refused the stream.
ScanOutcome stop_reading(StreamContext& ctx) {
    if (ctx.demux && ctx.demux->stop == DemuxStop::SCRAMBLED) {
        print_message(ctx.run.err, demux_msg::scrambled,
                      static_cast<unsigned long long>(ctx.demux->stop_offset));
        ctx.stop_reason = StopReason::SYSTEM_STREAM;
        return ScanOutcome::STOPPED;
    }
    print_file_failure(ctx, FileFailure::READ);
    ctx.stop_reason = StopReason::READ_FAILED;
    return ScanOutcome::STOPPED;
}

// Handles the start code at `pos`; leaves `pos` at the last byte the handler
// counts as its header.
ParseResult handle_start_code(StreamContext& ctx, std::uint32_t code,
                              bool* refused) {
    switch (code) {
    case PICTURE_START_CODE:
        return parse_picture_header(ctx);
    case SEQUENCE_HEADER_CODE:
        return parse_sequence_header(ctx);
    case EXTENSION_START_CODE:
        return dispatch_extension(ctx);
    case GROUP_START_CODE:
        return parse_group_header(ctx);
    case USER_DATA_START_CODE:
    case SEQUENCE_END_CODE: {
        ParseResult result = CONTINUE;
        if (ctx.sink->bare_start_code)
            result = ctx.sink->bare_start_code(ctx, ctx.sink_state, code);
        ctx.win.pos += 3;
        return result;
    }
    case PACK_START_CODE:
    case SYSTEM_HEADER_START_CODE:
        *refused = true;
        return STOP;
    default:  // slices and every other code
        ctx.win.pos += 3;
        return CONTINUE;
    }
}

}  // namespace

ScanOutcome scan_stream(StreamContext& ctx) {
    ctx.win.held = 0;
    ctx.win.pos = 0;
    std::uint64_t read_offset = 0;  // where the next plain read lands
    bool first_read = true;
    for (;;) {
        std::uint64_t want_offset = ctx.win.base_offset + ctx.win.held;
        bool at_end = false;
        if (ctx.demux) {
            // The demultiplexer keeps its own place in the file.
            if (want_offset > read_offset && !discard(ctx, want_offset - read_offset, &at_end))
                return stop_reading(ctx);
        } else if (ctx.run.mode == Mode::REWRITE) {
            // The rewriter moves the file position when it patches.
            if (!platform_seek(ctx.file, want_offset)) {
                print_file_failure(ctx, FileFailure::SEEK);
                ctx.stop_reason = StopReason::SEEK_FAILED;
                return ScanOutcome::STOPPED;
            }
        } else if (want_offset > read_offset &&
                   !discard(ctx, want_offset - read_offset, &at_end)) {
            return stop_reading(ctx);
        }

        std::uint32_t n = 0;
        if (!at_end && !read_stream(ctx, ctx.win.bytes + ctx.win.held, WINDOW_SIZE - ctx.win.held, &n))
            return stop_reading(ctx);
        ctx.win.held += n;
        read_offset = want_offset + n;
        std::memset(ctx.win.bytes + ctx.win.held, 0, WINDOW_PADDING);

        if (first_read && !ctx.demux) {
            first_read = false;
            if (looks_like_transport_stream(ctx.win.bytes, ctx.win.held)) {
                print_system_stream_refusal(ctx);
                ctx.stop_reason = StopReason::SYSTEM_STREAM;
                return ScanOutcome::STOPPED;
            }
        }

        // Start codes may begin below `limit`.
        std::uint32_t need = n > 0 ? LOOKAHEAD : 4;
        std::uint32_t limit = ctx.win.held >= need ? ctx.win.held - need + 1 : 0;
        ctx.win.pos = 0;
        while (ctx.win.pos < limit) {
            ctx.win.pos = static_cast<std::uint32_t>(
                find_start_code(ctx.win.bytes, ctx.win.pos, limit));
            if (ctx.win.pos >= limit) break;
            const std::uint8_t* p = bytes_at_pos(ctx);
            std::uint32_t code = 0x100u | p[3];
            if (code != EXTENSION_START_CODE && code != USER_DATA_START_CODE)
                ctx.decoded.last_start_code = code;
            bool refused = false;
            if (handle_start_code(ctx, code, &refused) == STOP) {
                if (refused) print_system_stream_refusal(ctx);
                ctx.stop_reason = refused ? StopReason::SYSTEM_STREAM : StopReason::SINK_STOPPED;
                return ScanOutcome::STOPPED;
            }
            ctx.win.pos += 1;
        }

        // Slide the unread tail to the front. A handler may have skipped past
        // the valid data; the bytes it skipped are then still owed by the file.
        ctx.win.base_offset += ctx.win.pos;
        if (ctx.win.pos < ctx.win.held) {
            std::memmove(ctx.win.bytes, bytes_at_pos(ctx), ctx.win.held - ctx.win.pos);
            ctx.win.held -= ctx.win.pos;
        } else {
            ctx.win.held = 0;
        }
        ctx.win.pos = 0;
        if (ctx.demux) demux_forget_before(*ctx.demux, ctx.win.base_offset);
        if (n == 0) return ScanOutcome::END_OF_INPUT;
    }
}

bool restart_scan(StreamContext& ctx) {
    const StreamContext fresh;
    ctx.win.held = fresh.win.held;
    ctx.win.pos = fresh.win.pos;
    ctx.win.base_offset = fresh.win.base_offset;
    ctx.stop_reason = fresh.stop_reason;
    ctx.decoded = fresh.decoded;
    ctx.damaged_headers_left = fresh.damaged_headers_left;
    if (ctx.demux) return demux_rewind(*ctx.demux);
    return platform_seek(ctx.file, 0);
}
