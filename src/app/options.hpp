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

// --pulldown 3:2 (apply) or --pulldown none (remove).
enum class PulldownRequest { NOT_ASKED, APPLY, REMOVE };
#include "check/rules.hpp"
#include "rewrite/elements.hpp"

struct Options {
    const char* file = nullptr;
    const char* bit_rate = nullptr;  // the positional BITRATE, as typed
    bool help = false;
    bool version = false;
    bool stats = false;          // --stats
    bool json = false;           // --json: the report, the patches or the figures as JSON
    const char* plot = nullptr;  // --plot FILE.svg (implies --stats)
    PulldownRequest pulldown = PulldownRequest::NOT_ASKED;
    ElementSettings settings;  // --set
    bool dry_run = false;      // --dry-run
    CheckProfile check = CheckProfile::NONE;  // --check dvd|bluray
};

// Fills `options` from the arguments after argument 0. False for an unknown
// option, an option without its value, a --set that names no element or a
// value it cannot take, --dry-run without anything to set, or a wrong number
// of positional arguments: a usage error. With --help or --version the positional
// arguments are not checked.
bool parse_options(int argc, char** argv, Options* options);

// The --help text.
void print_help(std::FILE* out);
