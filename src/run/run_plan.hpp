// One run of the tool, decided once from the options: the job, how the file
// is opened and read, and what the output looks like. Everything below
// follows the plan; nothing decides the job again.
#pragma once

#include <cstdint>

#include "json/json_envelope.hpp"
#include "run/run_request.hpp"
#include "scan/stream_context.hpp"

// What a run does with its file.
enum class Job {
    REPORT,       // m2vhdr FILE
    JSON_REPORT,  // m2vhdr --json FILE
    STATISTICS,   // --stats (--plot)
    CHECK,        // --check PROFILE
    REWRITE,      // BITRATE, --set
    AUTO,         // BITRATE `auto`, --set bit_rate=auto: measures, then rewrites
    PULLDOWN,     // --pulldown 3:2|none
    SUMMARY,      // --summary
};
inline constexpr unsigned JOB_COUNT = 8;

enum class OutputForm { TEXT, JSON };

struct RunPlan;
struct JobRecords;
struct HeaderSink;

// What a job needs, one row per Job (in its order). The functions are the
// job's parts; a null one has nothing to do.
struct JobRow {
    Job job;
    Mode mode;            // REWRITE: the handlers patch, the file's size is known
    bool writes;          // opens the file for writing (a dry run does not)
    bool measures_first;  // a pass of the statistics before the job's own
    bool takes_containers;  // with --demux; the pulldown refuses them
    // The sink of the job's own pass (statistics and check: chained after
    // the statistics sink; auto: after a pass of the quiet statistics).
    const HeaderSink* sink;
    // With --json: the kind of document, and whether the job writes it
    // itself (its figures or findings at the end) rather than run_plan
    // around it (headers or patches as they come).
    JsonDocument document;
    bool own_document;
    // Before the file opens: the job's records and its sink.
    void (*start)(StreamContext& ctx, const RunPlan& plan, JobRecords& records);
    // The job on the open file, its stream chosen; the exit status.
    int (*run)(StreamContext& ctx, const RunPlan& plan, JobRecords& records, Demuxer& demux);
    // Once the file is closed, `ran`: the job began; the exit status.
    int (*finish)(StreamContext& ctx, const RunPlan& plan, JobRecords& records, int status,
                  bool ran);
};

extern const JobRow job_rows[JOB_COUNT];

struct RunPlan {
    const JobRow* job = nullptr;
    bool writes = false;      // the file opens for writing
    bool containers = false;  // a program or transport stream may be read (--demux)
    OutputForm form = OutputForm::TEXT;
    bool dry_run = false;     // a rewrite lists its patches and writes nothing
    // The rate every sequence takes (BITRATE as a number); set by the
    // caller, which has parsed it.
    bool rewrites_bit_rate = false;
    std::uint32_t target_bit_rate = 0;
    const Options* options = nullptr;  // the rest: the file, --stream, --set, ...
    bool standard_input = false;  // the file is the process's standard input
};

// The plan of the options that parse_options accepted (one job at most).
RunPlan make_plan(const Options& options);

// The one run of a file: open it, choose its stream, run the plan's job,
// close it, with the JSON document around it when the plan asks for one.
// ctx.run's outputs and texts and ctx.progress are the caller's; the exit
// status.
int run_plan(StreamContext& ctx, const RunPlan& plan);
