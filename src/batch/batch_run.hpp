// What every file of a run shares, and the run of one of them.
#pragma once

#include <cstdio>

#include "batch/batch_inputs.hpp"
#include "run/run_plan.hpp"

struct BatchRun {
    const Options* options = nullptr;  // as parsed; `file` is set per file
    const BatchInputs* inputs = nullptr;
    OutputForm form = OutputForm::TEXT;
    JsonLayout json_layout = JsonLayout::PRETTY;
    bool original_texts = false;
    bool rewrites = false;  // the job writes (or would): one file at a time
};

// The whole output of input `index`: its name line when there are several,
// then what its run prints on `out` and `err`; its exit status. `style`
// is how a rewrite shows its progress there.
int run_input(const BatchRun& b, std::size_t index, std::FILE* out, std::FILE* err,
              ProgressStyle style);

// Runs every input in turn with `jobs` threads reading at once, their
// output on `out` and `err` in argument order; the combined exit status.
int run_inputs_in_order(const BatchRun& b, unsigned jobs, std::FILE* out, std::FILE* err);
