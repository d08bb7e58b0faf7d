// The run of --summary: one pass of the statistics sink and the summary's
// sink after it, then the lines or the document.
#include "demux/demux.hpp"
#include "exit_status.hpp"
#include "stats/run_stats.hpp"
#include "summary/summary.hpp"
#include "summary/summary_messages.hpp"

int run_summary(StreamContext& ctx, bool json, const char* file_path) {
    StatsState stats;
    SummaryState summary;
    summary.stats = &stats;
    SinkChain chain;
    chain_add(chain, stats_sink, &stats);
    chain_add(chain, summary_sink, &summary);
    set_sink(ctx, chain_sink, &chain);
    bool measured = measure_stream(ctx, stats);
    summary_finish(summary);
    if (measured && summary.out_of_memory) {
        print_message(ctx.run.err, summary_msg::out_of_memory);
        measured = false;
    }
    int status = measured ? EXIT_OK : EXIT_FAILED;
    // Past scrambled stretches the segments are of the clear parts only.
    if (ctx.demux && ctx.demux->scrambled_seen) status = EXIT_FAILED;
    if (json) {
        print_summary_json(ctx.run.out, ctx.run.json_layout, file_path, ctx.demux,
                           run_status(status, ctx.stop_reason), &summary);
    } else if (measured) {
        char name[96] = "";
        if (ctx.demux) format_stream_name(*ctx.demux, name, sizeof name);
        print_summary_text(ctx.run.out, file_path, name, summary);
    }
    summary_free(summary);
    stats_free(stats);
    return status;
}
