#include "app/run_program.hpp"

#include "app/options.hpp"
#include "app/version.hpp"
#include "check/check.hpp"
#include "headers/header_sink.hpp"
#include "json/json_report.hpp"
#include "messages.hpp"
#include "pulldown/pulldown.hpp"
#include "rewrite/rewrite.hpp"
#include "scan/stream_context.hpp"
#include "stats/run_stats.hpp"

int run_program(int argc, char** argv, std::FILE* out, std::FILE* err) {
    StreamContext ctx;
    ctx.run.out = out;
    ctx.run.err = err;

    const char* program = argc > 0 && argv[0] ? argv[0] : "m2vhdr";
    Options options;
    UsageError usage = parse_options(argc, argv, &options);
    if (usage.problem != UsageProblem::NONE) {
        print_usage_error(err, usage, options, program);
        return EXIT_USAGE;
    }
    if (options.help) {
        print_help(out);
        return EXIT_OK;
    }
    if (options.version) {
        std::fprintf(out, "m2vhdr %s\n", program_version);
        return EXIT_OK;
    }
    ctx.run.original_texts = options.original_form && original_locale;

    // The rate is set once, by BITRATE or by --set bit_rate (parse_options
    // has refused both). Its `auto` measures first, as BITRATE's does, and
    // then writes the --set row.
    if (options.settings.bit_rate_auto) options.bit_rate = "auto";

    // One job per run (parse_options has refused the rest): --stats only
    // reads, a pulldown run sets nothing else. `auto` picks its rate only
    // after the measuring pass, while the JSON rewrite document names it
    // first.
    const bool auto_rate = is_auto_rate(options.bit_rate);
    const bool pulldown = options.pulldown != PulldownRequest::NOT_ASKED;
    const bool sets = any_element(options.settings);
    const bool rewrites = options.bit_rate || sets || pulldown;
    const bool check = options.check != CheckProfile::NONE;
    if (check) return run_check_file(ctx, options);

    ctx.sink = &report_text_sink;
    RewriteState rewrite;
    if (rewrites) {
        ctx.run.mode = Mode::REWRITE;
        ctx.run.dry_run = options.dry_run;
        ctx.run.rewrites_bit_rate = options.bit_rate && !auto_rate;
        // parse_options has refused a mistyped rate, which must not be
        // written into every sequence of the file.
        if (ctx.run.rewrites_bit_rate) parse_bit_rate(options.bit_rate, &ctx.run.target_bit_rate);
        // `auto` and the pulldown start their own rewrites after measuring.
        if (!auto_rate && !pulldown)
            start_rewrite(ctx, rewrite, options.settings, ctx.run.rewrites_bit_rate);
    }

    // The original command lines keep their lines in the C locale; every
    // other run draws on a terminal only, and only the closing line
    // elsewhere.
    if (options.quiet) ctx.progress.style = ProgressStyle::NONE;
    else if (original_locale && options.original_form)
        ctx.progress.style = ProgressStyle::ORIGINAL;
    else if (platform_is_terminal(out)) ctx.progress.style = ProgressStyle::LIVE;
    else ctx.progress.style = ProgressStyle::CLOSING_ONLY;

    // --stats --json writes its own object of figures.
    if (options.json && !options.stats) return run_json(ctx, options);
    return scan_file(ctx, options);
}

int run_check_file(StreamContext& ctx, const Options& options) {
    CheckState check;
    start_check(ctx, check, options.check);
    int status = scan_file(ctx, options);
    // Past scrambled stretches, the clear parts were read whole.
    bool compliant = finish_check(ctx, check, options.json, options.file,
                                  status == EXIT_OK || ctx.scrambled_passed);
    check_free(check);
    return status == EXIT_OK && !compliant ? EXIT_RULE_BROKEN : status;
}
