// The command line: `m2vhdr FILE` reports, `m2vhdr FILE BITRATE` rewrites.
#pragma once

#include <cstdint>
#include <cstdio>

#include "run/run_file.hpp"

// Runs the tool on the process arguments, printing to `out` and `err`.
int run_program(int argc, char** argv, std::FILE* out, std::FILE* err);

// Reads a bit rate in bit/s: optional leading white space, an optional '+',
// and decimal digits to the end, at most 4294967295.
bool parse_bit_rate(const char* text, std::uint32_t* bit_rate);
