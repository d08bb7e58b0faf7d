// The run of one file: open it, find the stream in it, scan it with the
// run's sink (or measure it), close it.
#pragma once

#include "run/run_request.hpp"
#include "scan/stream_context.hpp"

// Exit statuses.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILED = 1;  // open, read, seek or write failed,
                                       // or a system stream was refused
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_RULE_BROKEN = 3;  // --check: the stream breaks a rule

// Opens the file the options name, scans it with the run's sink (or measures
// it, with --stats or `auto`) and closes it; the exit status. With --demux,
// the video stream inside a program or transport stream is what is read.
int scan_file(StreamContext& ctx, const Options& options);
