// The command line: options and the positional arguments.
//
//   m2vhdr [OPTION]... FILE...
//   m2vhdr [OPTION]... FILE BITRATE
//   m2vhdr [--set ELEMENT=VALUE]... [--dry-run] FILE...
//
// A second plain argument that looks like a rate (digits, a number with a
// unit such as "5M", or "auto") is the BITRATE of the one FILE before it;
// otherwise every plain argument is a FILE (a file, a folder, or '-' for
// standard input).
//
// Options may stand before or after the positional arguments; `--` ends the
// options, so that a file whose name starts with '-' can be named. A lone
// '-' is a positional argument.
#pragma once

#include <cstdio>

#include "run/run_request.hpp"

// What is wrong with a command line, and the arguments to name.
enum class UsageProblem {
    NONE,
    NO_FILE,            // no FILE
    UNKNOWN_OPTION,     // `argument`
    MISSING_VALUE,      // `argument` is the last, and takes a value
    UNWANTED_VALUE,     // `argument` is a flag given "=VALUE"
    BAD_VALUE,          // `argument`, the value of --`option`, not among `accepted`
    UNKNOWN_ELEMENT,    // --set `argument` names no element
    BAD_ELEMENT_VALUE,  // --set `argument` gives `element` a value it cannot take
    NEEDS,              // `argument` works only with `accepted`
    NEEDS_ONE_OF,       // `argument` works only with one of `accepted`
    EXCLUDES,           // `argument` and `other`, both as typed, cannot go together
    EXTRA_ARGUMENT,     // `argument` after FILE and BITRATE
    RATE_WITH_UNIT,     // the BITRATE `argument` has a unit ("5M", "5Mbps")
    BAD_RATE,           // the BITRATE `argument` is no whole number of bit/s in range
    REWRITE_STANDARD_INPUT,  // a rewrite of the FILE `argument`, standard input ('-')
    ONE_FILE_ONLY,      // `argument` works on one FILE, and several are given
};
struct UsageError {
    UsageProblem problem = UsageProblem::NONE;
    const char* argument = nullptr;
    const char* option = nullptr;
    const char* accepted = nullptr;
    const char* other = nullptr;
    char element[32] = {};
};

// Fills `options` from the arguments after argument 0; the first problem
// found (in the order of the arguments, then the combination of options,
// then the BITRATE), or NONE. With --help or --version only the options
// themselves are checked.
UsageError parse_options(int argc, char** argv, Options* options);

// Prints the usage error: the original usage text for a wrong count of
// arguments on an original command line in the original locale, otherwise
// what is wrong, the argument and the line that points to --help.
void print_usage_error(std::FILE* err, const UsageError& error, const Options& options,
                       const char* program);

// The --help text.
void print_help(std::FILE* out);
