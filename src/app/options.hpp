// The command line: options and the two positional arguments.
//
//   m2vhdr [OPTION]... FILE [BITRATE]
//   m2vhdr [--set ELEMENT=VALUE]... [--dry-run] FILE [BITRATE]
//
// Options may stand before or after the positional arguments; `--` ends the
// options, so that a file whose name starts with '-' can be named. A lone
// '-' is a positional argument.
#pragma once

#include <cstdio>

#include "run/run_request.hpp"

// Fills `options` from the arguments after argument 0. False for an unknown
// option, an option without its value, a --set that names no element or a
// value it cannot take, --dry-run without anything to set, or a wrong number
// of positional arguments: a usage error. With --help or --version the positional
// arguments are not checked.
bool parse_options(int argc, char** argv, Options* options);

// The --help text.
void print_help(std::FILE* out);
