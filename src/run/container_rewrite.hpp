// A rewrite, --set or --dry-run of the video inside a program or transport
// stream: one pass that reads the whole stream and keeps its patches, then
// the patches written in the order they were found. What must stop the run
// before anything is written (a scrambled packet anywhere, a failed read)
// is found in that pass; a run whose patches outgrow their budget reads the
// stream to its end for such a stop, then once more to write as it goes.
#pragma once

#include "run/jobs.hpp"
#include "scan/stream_context.hpp"

// Runs the rewrite whose state `r.rewrite` is the sink's, on the stream of
// `d`; the run's exit status.
int run_container_rewrite(StreamContext& ctx, JobRecords& r, Demuxer& d);
