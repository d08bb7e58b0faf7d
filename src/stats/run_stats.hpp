// The runs of the statistics: `m2vhdr --stats FILE` and `m2vhdr FILE auto`.
#pragma once

#include "rewrite/elements.hpp"
#include "scan/stream_context.hpp"

// True for the BITRATE argument that asks for the lowest safe rate.
bool is_auto_rate(const char* bit_rate);

// One pass of the scanner through the run's sink, which counts into `s`
// (the statistics sink on `s`, alone or in a chain); then the end of the
// last picture. Reports its own failures.
struct StatsState;
bool measure_stream(StreamContext& ctx, StatsState& s);

// False, after saying so, when the plot would be written over the stream
// itself; checked before the file is opened.
bool plot_is_not_stream(StreamContext& ctx, const char* plot_path, const char* file_path);

// Measures the open file and prints the summary (text, or JSON), and writes
// the plot to `plot_path` when it is not null. Returns the exit status.
int run_stats(StreamContext& ctx, bool json, const char* plot_path, const char* file_path);

// The --stats --json document of a run that measured nothing: its name and
// "status": "error" (the file did not open), or the figures of no picture
// and "status": "refused" (a container refused before its video was read).
void print_stats_failure(StreamContext& ctx, const char* file_path);

// Measures the file opened for writing, then rewrites every sequence to the
// lowest safe rate, with the elements of `settings`, as
// `m2vhdr [--set ...] FILE RATE` would; leaves the file untouched
// and returns 1 when there is no such rate.
int run_auto_rate(StreamContext& ctx, const ElementSettings& settings);
