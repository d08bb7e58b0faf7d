// The run of one file. run_plan (run_plan.hpp) opens it, finds the stream
// inside a program or transport stream with --demux, runs the plan's job on
// it and closes it; the exit statuses it ends with are these.
#pragma once

#include "exit_status.hpp"
#include "run/run_request.hpp"
#include "scan/stream_context.hpp"
