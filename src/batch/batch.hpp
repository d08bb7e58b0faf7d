// The run of a set of files: the room above the run of one file (run/).
//
// It expands the FILE arguments (batch_inputs.hpp), runs each file through
// run_plan in argument order, names each file's output when there are
// several, chooses the output form (text, one JSON document, JSON Lines),
// spreads read-only runs over --jobs threads while keeping their output in
// argument order, and combines the files' exit statuses.
#pragma once

#include <cstdio>

#include "run/run_request.hpp"

// Runs the options that parse_options accepted; the exit status of the
// whole run: the most serious of the files' (1, then 3, then 0).
int run_batch(const Options& options, std::FILE* out, std::FILE* err);

// The more serious of two files' exit statuses: a file that failed or was
// refused (1) before one that breaks a rule (3) before one that passed (0).
int more_serious_status(int a, int b);
