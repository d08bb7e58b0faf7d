// The start-code scanner.
//
// The file is read once, front to back, into a window of WINDOW_SIZE bytes.
// A position is examined only while at least LOOKAHEAD valid bytes start
// there (or, once the file is exhausted, the four bytes of a start code), so
// every handler can read its header at fixed indices from `pos`. When the
// scan reaches that limit, the unread tail slides to the front of the window
// and the window is filled up again from the run's stream source, which
// alone knows what kind of file is read.
#include <cstring>

#include "demux/demux_messages.hpp"
#include "headers/header_sink.hpp"
#include "headers/headers.hpp"
#include "messages.hpp"
#include "scan/find_start_code.hpp"
#include "scan/start_codes.hpp"
#include "scan/stream_context.hpp"
#include "scan/file_failure.hpp"

namespace {

// A program or transport stream read as video: refused, with what would
// read it (not among the texts the original command lines print).
void print_system_stream_refusal(const StreamContext& ctx) {
    print_message(ctx.run.err, msg::system_stream);
    if (!ctx.run.original_texts && ctx.source.functions->whole_file)
        print_message(ctx.run.err, msg::demux_hint);
}

// The source failed, or refused the stream.
ScanOutcome stop_reading(StreamContext& ctx, const SourceFill& fill) {
    switch (fill.status) {
    case SourceStatus::SCRAMBLED:
        print_message(ctx.run.err, demux_msg::scrambled, static_cast<unsigned long long>(fill.file_offset));
        ctx.stop_reason = StopReason::SYSTEM_STREAM;
        break;
    case SourceStatus::SYSTEM_STREAM:
        print_system_stream_refusal(ctx);
        ctx.stop_reason = StopReason::SYSTEM_STREAM;
        break;
    case SourceStatus::SEEK_FAILED:
        print_file_failure(ctx, FileFailure::SEEK);
        ctx.stop_reason = StopReason::SEEK_FAILED;
        break;
    default:
        print_file_failure(ctx, FileFailure::READ);
        ctx.stop_reason = StopReason::READ_FAILED;
        break;
    }
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
    for (;;) {
        // A handler may have skipped past the valid data: the source passes
        // over the bytes it skipped.
        SourceFill fill = source_fill(ctx.source, ctx.win.base_offset + ctx.win.held,
                                      ctx.win.bytes + ctx.win.held, WINDOW_SIZE - ctx.win.held);
        if (fill.status != SourceStatus::OK) return stop_reading(ctx, fill);
        std::uint32_t n = fill.got;
        ctx.win.held += n;
        std::memset(ctx.win.bytes + ctx.win.held, 0, WINDOW_PADDING);

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
        source_forget_before(ctx.source, ctx.win.base_offset);
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
    return source_rewind(ctx.source);
}
