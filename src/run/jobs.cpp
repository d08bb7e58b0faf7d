// The jobs, and the table of what each needs.
#include "run/jobs.hpp"

#include "demux/demux_messages.hpp"
#include "pulldown/pulldown.hpp"
#include "run/container_rewrite.hpp"
#include "run/run_file.hpp"
#include "run/run_plan.hpp"
#include "stats/run_stats.hpp"
#include "stats/stats.hpp"
#include "summary/summary.hpp"

namespace {

void start_own_sink(StreamContext& ctx, const RunPlan& plan, JobRecords&) {
    set_sink(ctx, *plan.job->sink, nullptr);
}

void start_check_job(StreamContext& ctx, const RunPlan& plan, JobRecords& r) {
    start_check(ctx, r.check, plan.options->check);
}

void start_rewrite_job(StreamContext& ctx, const RunPlan& plan, JobRecords& r) {
    start_rewrite(ctx, r.rewrite, plan.options->settings, plan.rewrites_bit_rate);
}

// The report, the JSON report and the rewrite: one pass of the job's sink.
int run_headers(StreamContext& ctx, const RunPlan& plan, JobRecords& r, Demuxer& demux) {
    bool reads = plan.job->mode == Mode::REPORT;
    if (!reads && ctx.demux) return run_container_rewrite(ctx, r, demux);
    if (ctx.json) json_head(ctx);  // the document's opening, once the file is open
    else if (ctx.demux && reads) print_stream_line(demux, ctx.run.out);
    if (scan_stream(ctx) == ScanOutcome::STOPPED) return EXIT_FAILED;
    if (ctx.demux && reads) {
        // The stream's moves to other PIDs after its last header.
        if (ctx.json) json_stream_changes(ctx, demux);
        else demux_print_changes(demux, UINT64_MAX, ctx.run.out);
    }
    if (!reads && !finish_rewrite(ctx, r.rewrite)) return EXIT_FAILED;
    return EXIT_OK;
}

// Writing the plot over the stream would destroy it: refused before the
// file is opened, or read.
void start_statistics(StreamContext& ctx, const RunPlan& plan, JobRecords& r) {
    const Options& o = *plan.options;
    r.refused = !plot_is_not_stream(ctx, o.plot, o.file);
}

int run_statistics(StreamContext& ctx, const RunPlan& plan, JobRecords&, Demuxer&) {
    const Options& o = *plan.options;
    return run_stats(ctx, plan.form == OutputForm::JSON, o.plot, o.file);
}

// --stats --json writes its document whatever happens: the measuring run
// writes its own, a run that never began gets one here.
int finish_statistics(StreamContext& ctx, const RunPlan& plan, JobRecords&, int status, bool ran) {
    if (!ran && plan.form == OutputForm::JSON) print_stats_failure(ctx, plan.options->file);
    return status;
}

int run_check_job(StreamContext& ctx, const RunPlan& plan, JobRecords& r, Demuxer&) {
    return run_check(ctx, r.check, plan.options->stream) ? EXIT_OK : EXIT_FAILED;
}

// The report of the check: 3 when the stream, read whole, breaks a rule.
int finish_check_job(StreamContext& ctx, const RunPlan& plan, JobRecords& r, int status, bool) {
    // Past scrambled stretches, the clear parts were read whole.
    bool compliant = finish_check(ctx, r.check, plan.form == OutputForm::JSON, plan.options->file,
                                  status == EXIT_OK || ctx.scrambled_passed);
    check_free(r.check);
    return status == EXIT_OK && !compliant ? EXIT_RULE_BROKEN : status;
}

int run_auto(StreamContext& ctx, const RunPlan& plan, JobRecords&, Demuxer&) {
    return run_auto_rate(ctx, plan.options->settings);
}

int run_pulldown_job(StreamContext& ctx, const RunPlan& plan, JobRecords&, Demuxer&) {
    // The document lists the layer warnings the check pass prints.
    SinkChain check_pass;
    if (ctx.json) {
        json_head(ctx);  // the patches follow
        chain_add(check_pass, json_warnings_sink, ctx.json);
    }
    bool apply = plan.options->pulldown == PulldownRequest::APPLY;
    return run_pulldown(ctx, apply ? PulldownDirection::APPLY : PulldownDirection::REMOVE,
                        check_pass)
               ? EXIT_OK
               : EXIT_FAILED;
}

int run_summary_job(StreamContext& ctx, const RunPlan& plan, JobRecords&, Demuxer&) {
    return run_summary(ctx, plan.form == OutputForm::JSON, plan.options->file);
}

// --summary --json writes its document whatever happens, as --stats does.
int finish_summary(StreamContext& ctx, const RunPlan& plan, JobRecords&, int status, bool ran) {
    if (!ran && plan.form == OutputForm::JSON)
        print_summary_json(ctx.run.out, ctx.run.json_layout, plan.options->file, nullptr,
                           run_status(status, ctx.stop_reason), nullptr);
    return status;
}

}  // namespace

// clang-format off
const JobRow job_rows[JOB_COUNT] = {
    // job            mode           writes measures containers sink
    //   document                own    start              run             finish
    {Job::REPORT,      Mode::REPORT,  false, false, true,  &report_text_sink,
       JsonDocument::HEADERS, false, start_own_sink,    run_headers,    nullptr},
    {Job::JSON_REPORT, Mode::REPORT,  false, false, true,  &json_report_sink,
       JsonDocument::HEADERS, false, start_own_sink,    run_headers,    nullptr},
    {Job::STATISTICS,  Mode::REPORT,  false, false, true,  &stats_sink,
       JsonDocument::FIGURES, true,  start_statistics,  run_statistics, finish_statistics},
    {Job::CHECK,       Mode::REPORT,  false, false, true,  &check_sink,
       JsonDocument::CHECK,   true,  start_check_job,   run_check_job,  finish_check_job},
    {Job::REWRITE,     Mode::REWRITE, true,  false, true,  &rewrite_sink,
       JsonDocument::PATCHES, false, start_rewrite_job, run_headers,    nullptr},
    {Job::AUTO,        Mode::REWRITE, true,  true,  true,  &rewrite_sink,
       JsonDocument::PATCHES, false, nullptr,           run_auto,       nullptr},
    {Job::PULLDOWN,    Mode::REWRITE, true,  false, false, &pulldown_check_sink,
       JsonDocument::PATCHES, false, nullptr,           run_pulldown_job, nullptr},
    {Job::SUMMARY,     Mode::REPORT,  false, false, true,  &summary_sink,
       JsonDocument::SUMMARY, true,  nullptr,           run_summary_job, finish_summary},
};
// clang-format on
