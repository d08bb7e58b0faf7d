// The exit statuses of a run, and what a JSON document calls them.
#pragma once

#include "json/json_envelope.hpp"
#include "scan/stream_context.hpp"

inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILED = 1;  // open, read, seek or write failed,
                                       // or a system stream was refused
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_RULE_BROKEN = 3;  // --check: the stream breaks a rule

// What a JSON document says of a run that ends with `exit_status`, having
// stopped for `reason`.
inline RunStatus run_status(int exit_status, StopReason reason) {
    if (exit_status == EXIT_OK) return RunStatus::COMPLETE;
    if (exit_status == EXIT_RULE_BROKEN) return RunStatus::RULE_BROKEN;
    return reason == StopReason::SYSTEM_STREAM ? RunStatus::REFUSED : RunStatus::ERROR;
}
