// The records the jobs keep over one run: each job uses its own.
#pragma once

#include "check/check.hpp"
#include "headers/header_sink.hpp"
#include "json/json_report.hpp"
#include "rewrite/rewrite.hpp"

struct JobRecords {
    RewriteState rewrite;
    CheckState check;
    JsonReport json;   // the document of a --json report or rewrite
    SinkChain chain;   // that document's warnings, then the job's own sink
    bool refused = false;  // the job's start refused the run (reported)
};
