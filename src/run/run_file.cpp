#include "run/run_file.hpp"

#include <cstdlib>

#include "check/check.hpp"
#include "demux/demux_messages.hpp"
#include "json/json_report.hpp"
#include "messages.hpp"
#include "pulldown/pulldown.hpp"
#include "rewrite/rewrite.hpp"
#include "stats/run_stats.hpp"
#include "scan/file_failure.hpp"

namespace {

// Reads the whole video stream once before a rewrite writes anything, for
// what would stop it half-way: a scrambled packet. False after reporting.
bool check_whole_stream(StreamContext& ctx, Demuxer& d) {
    demux_skim(d, UINT64_MAX, ctx.win.bytes, WINDOW_SIZE);
    if (d.stop == DemuxStop::SCRAMBLED) {
        print_message(ctx.run.err, demux_msg::scrambled, static_cast<unsigned long long>(d.stop_offset));
        ctx.stop_reason = StopReason::SYSTEM_STREAM;
        return false;
    }
    if (d.stop == DemuxStop::READ_FAILED || !demux_rewind(d)) {
        print_file_failure(ctx, FileFailure::READ);
        ctx.stop_reason = StopReason::READ_FAILED;
        return false;
    }
    return true;
}

// Finds the video stream that --demux reads; ctx.demux is set when the file
// is a program or transport stream. False after reporting a refusal.
bool open_container(StreamContext& ctx, Demuxer& d, const Options& options) {
    if (!demux_open(d)) {
        print_message(ctx.run.err, msg::out_of_memory);
        return false;
    }
    if (!demux_detect(d, ctx.file, ctx.run.err)) {
        if (d.stop == DemuxStop::READ_FAILED) print_file_failure(ctx, FileFailure::READ);
        ctx.stop_reason = d.stop == DemuxStop::READ_FAILED ? StopReason::READ_FAILED
                                                          : StopReason::SYSTEM_STREAM;
        return false;
    }
    if (d.container == Container::ELEMENTARY) return true;
    ctx.stop_reason = StopReason::SYSTEM_STREAM;
    // A read-only run reports the clear parts of a partly scrambled stream;
    // a rewrite refuses it before writing anything.
    d.skip_scrambled = ctx.run.mode == Mode::REPORT;
    // New repeat flags would disagree with the container's time stamps.
    if (options.pulldown != PulldownRequest::NOT_ASKED) {
        print_message(ctx.run.err, demux_msg::pulldown_container);
        return false;
    }
    if (!demux_choose(d, options.stream)) {
        if (d.stop == DemuxStop::READ_FAILED) {
            print_file_failure(ctx, FileFailure::READ);
            ctx.stop_reason = StopReason::READ_FAILED;
        }
        return false;
    }
    d.seek_each_read = ctx.run.mode == Mode::REWRITE;
    if (ctx.run.mode == Mode::REWRITE && !is_auto_rate(options.bit_rate) && !check_whole_stream(ctx, d))
        return false;
    ctx.stop_reason = StopReason::NONE;
    ctx.demux = &d;
    return true;
}

}  // namespace

namespace {

// What the options ask of the open file, once it has been found readable
// (and, with --demux, its stream chosen).
int run_mode(StreamContext& ctx, const Options& options, Demuxer& demux) {
    if (options.stats) return run_stats(ctx, options.json, options.plot, options.file);
    if (options.check != CheckProfile::NONE) return run_check(ctx, options.stream) ? EXIT_OK : EXIT_FAILED;
    if (is_auto_rate(options.bit_rate)) return run_auto_rate(ctx, options.settings);
    if (options.pulldown != PulldownRequest::NOT_ASKED) {
        if (ctx.json) json_head(ctx);  // the patches follow
        bool done = run_pulldown(ctx, options.pulldown == PulldownRequest::APPLY
                                          ? PulldownDirection::APPLY
                                          : PulldownDirection::REMOVE);
        return done ? EXIT_OK : EXIT_FAILED;
    }
    if (ctx.json) json_head(ctx);  // the document's opening, once the file is open
    else if (ctx.demux && ctx.run.mode == Mode::REPORT) print_stream_line(demux, ctx.run.out);
    if (scan_stream(ctx) == ScanOutcome::STOPPED) return EXIT_FAILED;
    if (ctx.demux && ctx.run.mode == Mode::REPORT) {
        // The stream's moves to other PIDs after its last header.
        if (ctx.json) json_stream_changes(ctx, demux);
        else demux_print_changes(demux, UINT64_MAX, ctx.run.out);
    }
    if (ctx.run.mode == Mode::REWRITE && !finish_rewrite(ctx)) return EXIT_FAILED;
    return EXIT_OK;
}

// Opens the file, finds the stream and runs the mode; false in `*ran` when
// it failed before the mode began (reported).
int open_and_run(StreamContext& ctx, const Options& options, bool* ran) {
    FileAccess access = ctx.run.mode == Mode::REWRITE && !ctx.run.dry_run ? FileAccess::READ_WRITE
                                                                  : FileAccess::READ;
    ctx.run.path = options.file;
    if (!platform_open(options.file, access, &ctx.file)) {
        print_file_failure(ctx, FileFailure::OPEN);
        return EXIT_FAILED;
    }

    // The window, with zeroed room behind the valid data for headers that the
    // end of the file cuts short.
    ctx.win.bytes = static_cast<std::uint8_t*>(std::calloc(WINDOW_SIZE + WINDOW_PADDING, 1));
    if (!ctx.win.bytes) {
        print_message(ctx.run.err, msg::out_of_memory);
        platform_close(ctx.file);
        return EXIT_FAILED;
    }

    int status = EXIT_FAILED;
    Demuxer demux;
    // The rewrite never writes past the size it sees here, so it cannot go
    // on without one.
    if (ctx.run.mode == Mode::REWRITE &&
        !add_patch_target(ctx.targets, ctx.file, ctx.run.path, access == FileAccess::READ_WRITE)) {
        print_file_failure(ctx, FileFailure::READ);
    } else if (!options.demux || open_container(ctx, demux, options)) {
        *ran = true;
        ctx.listener = choose_patch_listener(ctx.json, ctx.run.dry_run, ctx.progress);
        status = run_mode(ctx, options, demux);
        // Scrambled stretches were passed over and warned of: not all read.
        ctx.scrambled_passed = ctx.demux && demux.scrambled_seen;
        if (ctx.scrambled_passed) status = EXIT_FAILED;
    }

    ctx.demux = nullptr;
    ctx.targets = PatchTargets{};
    ctx.listener = PatchListenerRef{};
    demux_close(demux);
    platform_close(ctx.file);
    std::free(ctx.win.bytes);
    return status;
}

}  // namespace

int scan_file(StreamContext& ctx, const Options& options) {
    bool ran = false;
    int status = open_and_run(ctx, options, &ran);
    // --stats --json writes its document whatever happens: the measuring
    // run writes its own, a run that never began gets one here.
    if (!ran && options.stats && options.json) print_stats_failure(ctx, options.file);
    return status;
}
