// What one run of the tool is asked to do with its file: the options as
// parsed from the command line.
#pragma once

#include <cstdint>
#include <vector>

#include "check/rules.hpp"
#include "rewrite/elements.hpp"

// --pulldown 3:2 (apply) or --pulldown none (remove).
enum class PulldownRequest { NOT_ASKED, APPLY, REMOVE };

struct Options {
    const char* file = nullptr;      // the file of this run (the first FILE as parsed)
    std::vector<const char*> files;  // every FILE as typed: files, folders, '-'
    const char* bit_rate = nullptr;  // the positional BITRATE, as typed
    std::uint32_t bit_rate_value = 0;  // and its value, when it is a number
    bool help = false;
    bool version = false;
    bool stats = false;          // --stats
    bool summary = false;        // --summary
    bool json = false;           // --json: the report, the patches or the figures as JSON
    const char* plot = nullptr;  // --plot FILE.svg (implies --stats)
    PulldownRequest pulldown = PulldownRequest::NOT_ASKED;
    ElementSettings settings;  // --set
    bool dry_run = false;      // --dry-run
    bool demux = false;        // --demux: the video inside a program or transport stream
    long stream = -1;          // --stream: its PID or stream_id; -1: the first
    CheckProfile check = CheckProfile::NONE;  // --check dvd|bluray
    // No option (nor `--`), and FILE with perhaps a BITRATE that is not
    // `auto`: a command line the tool has taken from the start, which in the
    // original locale keeps its texts.
    bool original_form = false;
    bool quiet = false;        // -q, --quiet: no progress lines
    unsigned jobs = 1;         // -j, --jobs: files read at once
};

