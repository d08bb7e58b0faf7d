// The command line: `m2vhdr FILE` reports, `m2vhdr FILE BITRATE` rewrites.
#pragma once

#include <cstdint>
#include <cstdio>

// Exit statuses.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILED = 1;  // open, read, seek or write failed,
                                       // or a system stream was refused
inline constexpr int EXIT_USAGE = 2;

// Runs the tool on the process arguments, printing to `out` and `err`.
int run_program(int argc, char** argv, std::FILE* out, std::FILE* err);

struct StreamContext;
struct Options;
// Opens the file the options name, scans it with the run's sink (or measures
// it, with --stats or `auto`) and closes it; the exit status. The run
// without options, and the heart of the others.
int scan_file(StreamContext& ctx, const Options& options);

// --check PROFILE: scan_file with the check's sink, then its report; 0 when
// the stream breaks no rule, 1 when it breaks one or cannot be read.
int run_check_file(StreamContext& ctx, const Options& options);

// Reads a bit rate in bit/s: optional leading white space, an optional '+',
// and decimal digits to the end, at most 4294967295.
bool parse_bit_rate(const char* text, std::uint32_t* bit_rate);
