#include "stats/run_stats.hpp"

#include <cstring>

#include "exit_status.hpp"
#include "messages.hpp"
#include "rewrite/rewrite.hpp"
#include "stats/stats.hpp"
#include "stats/stats_messages.hpp"
#include "scan/file_failure.hpp"

namespace {

using ull = unsigned long long;

bool measure(StreamContext& ctx, StatsState& s, const HeaderSink& sink) {
    set_sink(ctx, sink, &s);
    return measure_stream(ctx, s);
}

}  // namespace

bool measure_stream(StreamContext& ctx, StatsState& s) {
    ScanOutcome outcome = scan_stream(ctx);
    if (outcome == ScanOutcome::STOPPED) {
        stats_finish(ctx, s, offset_of(ctx));  // the figures so far, for --json
        return false;
    }
    // The last picture ends with the file. The scan may count a header cut
    // short by the end as running past it: the size, when known, is the
    // smaller bound.
    std::uint64_t end = ctx.win.base_offset + ctx.win.held;
    std::int64_t size = 0;
    if (platform_size(ctx.file, &size) && size >= 0 && static_cast<std::uint64_t>(size) < end)
        end = static_cast<std::uint64_t>(size);
    stats_finish(ctx, s, end);
    if (s.out_of_memory) {
        print_message(ctx.run.err, stats_msg::out_of_memory);
        return false;
    }
    return true;
}

bool is_auto_rate(const char* bit_rate) { return bit_rate && std::strcmp(bit_rate, "auto") == 0; }

void print_stats_failure(StreamContext& ctx, const char* file_path) {
    // A refused file was read as far as its system layer: the figures of no
    // picture, as a scan that stops at the system layer gives them.
    if (ctx.stop_reason == StopReason::SYSTEM_STREAM) {
        StatsState none;
        StatsFigures figures = stats_figures(none);
        print_stats_json(ctx.run.out, ctx.run.json_layout, file_path, RunStatus::REFUSED, &none,
                         &figures);
        return;
    }
    print_stats_json(ctx.run.out, ctx.run.json_layout, file_path, RunStatus::ERROR, nullptr,
                     nullptr);
}

bool plot_is_not_stream(StreamContext& ctx, const char* plot_path, const char* file_path) {
    if (!plot_path || std::strcmp(plot_path, file_path) != 0) return true;
    print_message(ctx.run.err, stats_msg::plot_failed, plot_path,
                  message_format(ctx.run.err, stats_msg::plot_is_stream));
    return false;
}

int run_stats(StreamContext& ctx, bool json, const char* plot_path, const char* file_path) {
    StatsState s;
    int status = EXIT_OK;
    bool measured = measure(ctx, s, stats_sink);
    StatsFigures f = stats_figures(s);
    // The pictures' sizes place the first underflow in the stream's bytes;
    // what is printed is where it lies in the file.
    if (measured && f.vbv.underflow &&
        !file_offset_after_scan(ctx, f.vbv.first_offset, &f.vbv.first_offset)) {
        print_file_failure(ctx, FileFailure::READ);
        measured = false;
    }
    if (!measured) {
        status = EXIT_FAILED;
    } else if (plot_path) {  // drawn first, so that the JSON can tell it failed
        std::FILE* svg = std::fopen(plot_path, "wb");
        int code = svg ? 0 : platform_stdio_error();
        bool written = svg && write_stats_plot(svg, s, f);
        if (svg && !written) code = platform_stdio_error();
        if (svg && std::fclose(svg) != 0 && written) {
            written = false;
            code = platform_stdio_error();
        }
        if (!written) {
            char reason[256];
            failure_reason(ctx.run.err, code, reason, sizeof reason);
            print_message(ctx.run.err, stats_msg::plot_failed, plot_path, reason);
            status = EXIT_FAILED;
        }
    }
    // Figures that pass over scrambled stretches are of the clear parts only:
    // the document ends as the run's status will.
    if (ctx.demux && ctx.demux->scrambled_seen) status = EXIT_FAILED;
    if (json) {
        print_stats_json(ctx.run.out, ctx.run.json_layout, file_path, run_status(status, ctx.stop_reason), &s, &f);
    } else if (measured) {
        print_stats_text(ctx.run.out, s, f);
    }
    stats_free(s);
    return status;
}

int run_auto_rate(StreamContext& ctx, const ElementSettings& settings) {
    StatsState s;
    if (!measure(ctx, s, stats_quiet_sink)) {
        stats_free(s);
        return EXIT_FAILED;
    }
    std::uint64_t buffer_bits = std::uint64_t{s.first.vbv_buffer_size} * 16384;
    std::uint64_t q = 0;
    bool found = s.log.count > 0 && lowest_safe_rate(s, buffer_bits, &q);
    const Message* refusal = nullptr;
    if (s.log.count == 0) {
        refusal = &stats_msg::auto_no_pictures;
    } else if (!found) {
        refusal = &stats_msg::auto_no_rate;
        for (std::uint64_t i = 0; i < s.log.count; ++i)
            if (picture_bits(picture_at(s.log, i)) > buffer_bits) refusal = &stats_msg::auto_no_rate_picture;
    }
    stats_free(s);
    if (refusal) {
        print_message(ctx.run.err, *refusal);
        return EXIT_FAILED;
    }
    std::uint64_t rate = q * BIT_RATE_UNIT;
    if (rate > UINT32_MAX) {
        print_message(ctx.run.err, stats_msg::auto_too_high, static_cast<ull>(rate));
        return EXIT_FAILED;
    }

    print_message(ctx.run.out, stats_msg::auto_rate, static_cast<ull>(rate));
    if (!restart_scan(ctx)) {
        print_file_failure(ctx, FileFailure::SEEK);
        return EXIT_FAILED;
    }
    // From here on, exactly the rewrite of `m2vhdr [--set ...] FILE RATE`.
    ctx.run.target_bit_rate = static_cast<std::uint32_t>(rate);
    // --set bit_rate=auto writes it as --set bit_rate=RATE would, MPEG-1
    // sequences included.
    ElementSettings with_rate = settings;
    if (settings.bit_rate_auto) {
        with_rate.requested[BIT_RATE_ROW] = true;
        with_rate.value[BIT_RATE_ROW] = static_cast<std::uint32_t>(q);
    }
    RewriteState rewrite;
    start_rewrite(ctx, rewrite, with_rate, !settings.bit_rate_auto);
    if (scan_stream(ctx) == ScanOutcome::STOPPED || !finish_rewrite(ctx, rewrite))
        return EXIT_FAILED;
    return EXIT_OK;
}
