#include "run/run_plan.hpp"

#include "rewrite/elements.hpp"
#include "stats/run_stats.hpp"

RunPlan make_plan(const Options& options) {
    // parse_options has let one job through at most; `auto` by BITRATE or
    // by --set bit_rate=auto measures, then writes.
    const bool auto_rate = is_auto_rate(options.bit_rate) || options.settings.bit_rate_auto;
    Job job = Job::REPORT;
    if (options.check != CheckProfile::NONE) job = Job::CHECK;
    else if (options.stats) job = Job::STATISTICS;
    else if (options.summary) job = Job::SUMMARY;
    else if (auto_rate) job = Job::AUTO;
    else if (options.pulldown != PulldownRequest::NOT_ASKED) job = Job::PULLDOWN;
    else if (options.bit_rate || any_element(options.settings)) job = Job::REWRITE;
    else if (options.json) job = Job::JSON_REPORT;

    RunPlan plan;
    plan.job = &job_rows[static_cast<unsigned>(job)];
    plan.options = &options;
    plan.form = options.json ? OutputForm::JSON : OutputForm::TEXT;
    plan.dry_run = plan.job->mode == Mode::REWRITE && options.dry_run;
    plan.writes = plan.job->writes && !plan.dry_run;
    // The two original forms, the report and the positional BITRATE (with
    // nothing but -q), refuse a program or transport stream as they always
    // have unless --demux opens it, and the pulldown has its own refusal;
    // every other mode reads one by itself.
    const bool positional_rate = (job == Job::REWRITE || job == Job::AUTO) && options.bit_rate &&
                                 !any_element(options.settings) &&
                                 !options.settings.bit_rate_auto && !options.json &&
                                 !options.dry_run;
    const bool original = job == Job::REPORT || positional_rate;
    plan.containers = options.demux || (!original && job != Job::PULLDOWN);
    plan.rewrites_bit_rate = job == Job::REWRITE && options.bit_rate != nullptr;
    return plan;
}
