#include "app/run_program.hpp"

#include "app/options.hpp"
#include "app/version.hpp"
#include "messages.hpp"
#include "run/run_plan.hpp"
#include "scan/stream_context.hpp"

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

    RunPlan plan = make_plan(options);
    // parse_options has refused a mistyped rate, which must not be written
    // into every sequence of the file.
    if (plan.rewrites_bit_rate) parse_bit_rate(options.bit_rate, &plan.target_bit_rate);

    // The original command lines keep their lines in the C locale; every
    // other run draws on a terminal only, and only the closing line
    // elsewhere.
    if (options.quiet) ctx.progress.style = ProgressStyle::NONE;
    else if (original_locale && options.original_form)
        ctx.progress.style = ProgressStyle::ORIGINAL;
    else if (platform_is_terminal(out)) ctx.progress.style = ProgressStyle::LIVE;
    else ctx.progress.style = ProgressStyle::CLOSING_ONLY;

    return run_plan(ctx, plan);
}
