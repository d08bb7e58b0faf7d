#include "batch/batch.hpp"

#include "batch/batch_messages.hpp"
#include "batch/batch_run.hpp"
#include "exit_status.hpp"
#include "json/json_envelope.hpp"
#include "messages.hpp"
#include "platform/file.hpp"
#include "scan/file_failure.hpp"

namespace {

// A problem of the argument itself, in place of the run of a file; a JSON
// run still gets its document, with the file's name and its status.
int print_input_problem(const BatchRun& b, const BatchInput& in, const RunPlan& plan,
                        std::FILE* out, std::FILE* err) {
    const char* path = in.path.c_str();
    switch (in.problem) {
    case InputProblem::NONE: return EXIT_OK;
    case InputProblem::NO_MATCH: print_message(err, batch_msg::no_match, path); break;
    case InputProblem::NO_VIDEO_IN_FOLDER:
        print_message(err, batch_msg::no_video_in_folder, path);
        break;
    case InputProblem::FOLDER_UNREADABLE: {
        char reason[256];
        failure_reason(err, in.error, reason, sizeof reason);
        print_message(err, batch_msg::folder_unreadable, path, reason);
        break;
    }
    }
    if (b.form == OutputForm::JSON) {
        JsonWriter w;
        json_envelope_open(w, out, b.json_layout, path);
        json_envelope_status(w, plan.job->document, RunStatus::ERROR);
        json_envelope_close(w);
    }
    return EXIT_FAILED;
}

int status_rank(int status) {
    if (status == EXIT_OK) return 0;
    if (status == EXIT_RULE_BROKEN) return 1;
    return 2;
}

}  // namespace

int more_serious_status(int a, int b) { return status_rank(b) > status_rank(a) ? b : a; }

int run_input(const BatchRun& b, std::size_t index, std::FILE* out, std::FILE* err,
              ProgressStyle style) {
    const BatchInput& in = b.inputs->list[index];
    Options options = *b.options;
    options.file = in.path.c_str();
    RunPlan plan = make_plan(options);
    plan.standard_input = is_standard_input(in.path);
    // parse_options has refused a mistyped rate, which must not be written
    // into every sequence of the file.
    if (plan.rewrites_bit_rate) plan.target_bit_rate = options.bit_rate_value;

    const bool several = b.inputs->several;
    if (several && b.form == OutputForm::TEXT && in.problem == InputProblem::NONE)
        print_message(out, batch_msg::file_header, options.file);
    if (in.problem != InputProblem::NONE) return print_input_problem(b, in, plan, out, err);

    StreamContext ctx;
    ctx.run.out = out;
    ctx.run.err = err;
    ctx.run.original_texts = b.original_texts;
    ctx.run.json_layout = b.json_layout;
    ctx.progress.style = style;
    int status = run_plan(ctx, plan);
    if (several && status == EXIT_FAILED) print_message(err, batch_msg::file_failed, options.file);
    return status;
}

int run_batch(const Options& options, std::FILE* out, std::FILE* err) {
    // The BITRATE form rewrites the one file it names.
    BatchInputs inputs = expand_inputs(options.files, options.bit_rate == nullptr);
    // One plot, of one file: a folder or a pattern may hold several.
    if (options.plot && inputs.several) {
        print_message(err, msg::one_file_only, "--plot");
        print_message(err, msg::try_help);
        return EXIT_USAGE;
    }
    Options shared = options;
    shared.files.clear();
    RunPlan plan = make_plan(shared);

    BatchRun b;
    b.options = &shared;
    b.inputs = &inputs;
    b.form = plan.form;
    b.json_layout = inputs.several ? JsonLayout::ONE_LINE : JsonLayout::PRETTY;
    b.original_texts = options.original_form && original_locale;
    b.rewrites = plan.job->mode == Mode::REWRITE;

    // The original command lines keep their lines in the C locale; every
    // other run draws on a terminal only, and only the closing line
    // elsewhere.
    ProgressStyle style = ProgressStyle::CLOSING_ONLY;
    if (options.quiet) style = ProgressStyle::NONE;
    else if (b.original_texts) style = ProgressStyle::ORIGINAL;
    else if (platform_is_terminal(out)) style = ProgressStyle::LIVE;

    // A rewrite takes one file at a time, each with its own lock and
    // progress. A console that takes text (Windows) is given each message
    // as it is printed, which a file's output held for its turn is not.
    unsigned jobs = options.jobs;
    if (b.rewrites || inputs.list.size() < 2 || platform_is_text_console(out) ||
        platform_is_text_console(err))
        jobs = 1;
    if (jobs > 1) return run_inputs_in_order(b, jobs, out, err);

    int status = EXIT_OK;
    for (std::size_t i = 0; i < inputs.list.size(); ++i)
        status = more_serious_status(status, run_input(b, i, out, err, style));
    return status;
}
