#include "run/run_file.hpp"

#include <cstdlib>

#include "demux/demux_messages.hpp"
#include "messages.hpp"
#include "platform/folder.hpp"
#include "rewrite/patch_listener.hpp"
#include "run/jobs.hpp"
#include "run/run_plan.hpp"
#include "scan/file_failure.hpp"

namespace {

// A failed read of the demultiplexer: a file that cannot be positioned
// fails to go back.
void print_demux_failure(StreamContext& ctx, const Demuxer& d) {
    print_file_failure(ctx, d.input->failure == InputFailure::SEEK ? FileFailure::SEEK : FileFailure::READ);
}

// Finds the video stream that --demux reads; ctx.demux and the source are
// set when the file is a program or transport stream. False after
// reporting a refusal.
bool open_container(StreamContext& ctx, Demuxer& d, Input& input, const RunPlan& plan) {
    if (!demux_open(d)) {
        print_message(ctx.run.err, msg::out_of_memory);
        return false;
    }
    d.elementary_when_unknown = !plan.options->demux;
    if (!demux_detect(d, input, ctx.run.err, demux_warnings_on(ctx.run.err))) {
        if (d.stop == DemuxStop::READ_FAILED) print_demux_failure(ctx, d);
        ctx.stop_reason = d.stop == DemuxStop::READ_FAILED ? StopReason::READ_FAILED
                                                          : StopReason::SYSTEM_STREAM;
        return false;
    }
    if (d.container == Container::ELEMENTARY) return true;
    ctx.stop_reason = StopReason::SYSTEM_STREAM;
    // A read-only run reports the clear parts of a partly scrambled stream;
    // a rewrite refuses it before writing anything.
    d.skip_scrambled = plan.job->mode == Mode::REPORT;
    // New repeat flags would disagree with the container's time stamps.
    if (!plan.job->takes_containers) {
        print_message(ctx.run.err, demux_msg::pulldown_container);
        return false;
    }
    if (!demux_choose(d, plan.options->stream, ctx.run.err)) {
        if (d.stop == DemuxStop::READ_FAILED) {
            print_demux_failure(ctx, d);
            ctx.stop_reason = StopReason::READ_FAILED;
        }
        return false;
    }
    // A rewrite stops at the packet in its first pass, before it writes
    // (run/container_rewrite.hpp); a job that measures first, in that pass.
    ctx.stop_reason = StopReason::NONE;
    ctx.demux = &d;
    ctx.source = demux_source(d);
    return true;
}

}  // namespace

namespace {

// Opens the file, finds the stream and runs the job; false in `*ran` when
// it failed before the job began (reported).
int open_and_run(StreamContext& ctx, const RunPlan& plan, JobRecords& records, bool* ran) {
    const char* path = plan.options->file;
    FileAccess access = plan.writes ? FileAccess::READ_WRITE : FileAccess::READ;
    bool opened = plan.standard_input ? platform_open_standard_input(&ctx.file)
                                      : platform_open(path, access, &ctx.file);
    if (!opened) {
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

    // Every reader of the file reads through the one input; the stream is
    // the file itself unless a container is found.
    Input input;
    if (!input_open(input, ctx.file)) {
        print_message(ctx.run.err, msg::out_of_memory);
        input_close(input);
        platform_close(ctx.file);
        std::free(ctx.win.bytes);
        return EXIT_FAILED;
    }
    ElementarySource elementary{&input};
    ctx.source = elementary_source(elementary);

    int status = EXIT_FAILED;
    Demuxer demux;
    // The rewrite never writes past the size it sees here, so it cannot go
    // on without one.
    if (ctx.run.mode == Mode::REWRITE &&
        !add_patch_target(ctx.targets, ctx.file, ctx.run.path, access == FileAccess::READ_WRITE)) {
        print_file_failure(ctx, FileFailure::READ);
    } else if (plan.containers && !open_container(ctx, demux, input, plan)) {
        // A refused container: the document still names the file's size.
        if (ctx.json && !ctx.json->head_written) json_head(ctx);
    } else {
        *ran = true;
        ctx.listener = choose_patch_listener(ctx.json, ctx.run.dry_run, ctx.progress);
        status = plan.job->run(ctx, plan, records, demux);
        // Scrambled stretches were passed over and warned of: not all read.
        ctx.scrambled_passed = ctx.demux && demux.scrambled_seen;
        if (ctx.scrambled_passed) status = EXIT_FAILED;
    }

    ctx.demux = nullptr;
    ctx.targets = PatchTargets{};
    ctx.listener = PatchListenerRef{};
    ctx.source = {};
    demux_close(demux);
    input_close(input);
    platform_close(ctx.file);
    std::free(ctx.win.bytes);
    return status;
}

}  // namespace

int run_plan(StreamContext& ctx, const RunPlan& plan) {
    const JobRow& job = *plan.job;
    ctx.run.mode = job.mode;
    ctx.run.path = plan.options->file;
    ctx.run.dry_run = plan.dry_run;
    ctx.run.rewrites_bit_rate = plan.rewrites_bit_rate;
    ctx.run.target_bit_rate = plan.target_bit_rate;

    JobRecords records;
    if (job.start) job.start(ctx, plan, records);
    // The document of headers or patches is written as the run goes: its
    // opening now, then everything its sink and the patches add. Its sink
    // keeps the layer warnings, then the job's own sink prints them. (The
    // pulldown starts its sinks itself, pass by pass.)
    bool document = plan.form == OutputForm::JSON && !job.own_document;
    if (document) {
        json_document_open(ctx, records.json, plan.options->file);
        if (ctx.sink) {
            chain_add(records.chain, json_warnings_sink, &records.json);
            chain_add(records.chain, *ctx.sink, ctx.sink_state);
            set_sink(ctx, chain_sink, &records.chain);
        }
    }

    bool ran = false;
    int status = records.refused ? EXIT_FAILED : open_and_run(ctx, plan, records, &ran);
    if (document) json_document_close(ctx, run_status(status, ctx.stop_reason));
    if (job.finish) status = job.finish(ctx, plan, records, status, ran);
    return status;
}
