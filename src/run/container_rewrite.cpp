#include "run/container_rewrite.hpp"

#include "demux/demux_messages.hpp"
#include "messages.hpp"
#include "rewrite/patch_collection.hpp"
#include "run/run_file.hpp"
#include "scan/file_failure.hpp"

namespace {

// Reads the rest of the video stream, without the scanner, for what would
// stop the rewrite half-way: a scrambled packet; then goes back to its
// start. False after reporting.
bool check_whole_stream(StreamContext& ctx, Demuxer& d) {
    demux_skim(d, UINT64_MAX, ctx.win.bytes, WINDOW_SIZE);
    if (d.stop == DemuxStop::SCRAMBLED) {
        print_message(ctx.run.err, demux_msg::scrambled, static_cast<unsigned long long>(d.stop_offset));
        ctx.stop_reason = StopReason::SYSTEM_STREAM;
        return false;
    }
    if (d.stop == DemuxStop::READ_FAILED || !restart_scan(ctx)) {
        print_file_failure(ctx, FileFailure::READ);
        ctx.stop_reason = StopReason::READ_FAILED;
        return false;
    }
    return true;
}

// The layer warnings the JSON document had before the pass: a pass that
// ends without writing takes its own back.
struct KeptWarnings {
    std::size_t count = 0;
    std::uint64_t omitted = 0;
};

KeptWarnings json_warnings(const StreamContext& ctx) {
    if (!ctx.json) return {};
    return {ctx.json->warnings.size(), ctx.json->warnings_omitted};
}

void forget_json_warnings(StreamContext& ctx, KeptWarnings kept) {
    if (!ctx.json) return;
    ctx.json->warnings.resize(kept.count);
    ctx.json->warnings_omitted = kept.omitted;
}

// The scan's pass with every patch and warning kept in `c`, to the close
// of the last sequence. False when it stopped (reported, unless the
// collection filled up).
bool collecting_pass(StreamContext& ctx, RewriteState& s, Demuxer& d, PatchCollection& c) {
    DemuxWarnings warnings = d.warnings;
    d.warnings = collecting_demux_warnings(c, warnings);
    ctx.collection = &c;
    bool read = scan_stream(ctx) != ScanOutcome::STOPPED && close_sequence(ctx, s);
    ctx.collection = nullptr;
    d.warnings = warnings;
    return read;
}

// The writing pass of a rewrite that writes as it goes, after the check of
// the rest of the stream.
int two_passes(StreamContext& ctx, RewriteState& s, Demuxer& d) {
    if (!check_whole_stream(ctx, d)) return EXIT_FAILED;
    ctx.stop_reason = StopReason::NONE;
    if (ctx.json) {
        ctx.json->passes = 2;
        json_head(ctx);
    }
    if (scan_stream(ctx) == ScanOutcome::STOPPED || !finish_rewrite(ctx, s)) return EXIT_FAILED;
    return EXIT_OK;
}

}  // namespace

int run_container_rewrite(StreamContext& ctx, JobRecords& r, Demuxer& d) {
    PatchCollection c;
    if (!collection_open(c)) {
        print_message(ctx.run.err, msg::out_of_memory);
        return EXIT_FAILED;
    }
    const RewriteState fresh = r.rewrite;
    const KeptWarnings kept = json_warnings(ctx);
    int status = EXIT_FAILED;
    bool read = collecting_pass(ctx, r.rewrite, d, c);
    if (read && !c.full) {
        // The document's opening names the stream and is followed by the
        // patches as they are written.
        if (ctx.json) json_head(ctx);
        if (!write_collection(ctx, c)) ctx.stop_reason = StopReason::SINK_STOPPED;
        else if (finish_rewrite(ctx, r.rewrite)) status = EXIT_OK;
    } else if (c.full && (read || ctx.stop_reason == StopReason::SINK_STOPPED)) {
        // Too many patches to keep: the run starts again and writes as it
        // goes, once the rest of the stream is known to be readable.
        collection_close(c);
        forget_json_warnings(ctx, kept);
        r.rewrite = fresh;
        status = two_passes(ctx, r.rewrite, d);
    } else {
        // Refused or failed (reported): nothing of the pass is written.
        forget_json_warnings(ctx, kept);
    }
    collection_close(c);
    return status;
}
