// What a rewrite tells of its work: every patch written, or listed by a
// dry run, how far the scan has got, and the lines that end the run. One
// listener hears all of it: the text lines, the dry run's lines, the JSON
// document's entries, or nothing. It is chosen once per run.
#pragma once

#include <cstdint>

struct StreamContext;
struct PatchTarget;
struct ProgressLine;
struct JsonReport;

// Where the scan is when it reports its progress.
enum class ProgressPoint {
    PATCHED,          // after the patches of a header
    SEQUENCE_HEADER,  // at a sequence header, before its patches
};

// The figures of the line that ends a pulldown run.
struct PulldownSummary {
    unsigned direction = 0;  // PulldownDirection: 0 applied, 1 removed
    std::uint64_t pictures = 0;
    const char* rate_before = nullptr;  // frame rates, as "23.976"
    const char* rate_after = nullptr;
    std::uint64_t headers_patched = 0;
    const char* duration_before = nullptr;  // h:mm:ss.mmm
    const char* duration_after = nullptr;
};

// Every entry gets the listener's own state. No entry may be null.
struct PatchListener {
    // `count` bytes at `offset` of `target`: `new_bytes` in place of
    // `old_bytes`. Written, in part when a short write left only `count`
    // bytes, or, for a target that takes no writes, what would be written.
    void (*patch)(void* state, const StreamContext& ctx, const PatchTarget& target,
                  std::uint64_t offset, const std::uint8_t* old_bytes,
                  const std::uint8_t* new_bytes, std::uint32_t count);
    void (*progress)(void* state, const StreamContext& ctx, ProgressPoint at);
    // The scan has read the whole stream.
    void (*closing_progress)(void* state, const StreamContext& ctx);
    // An element of --set that `missed` of the `sequences` could not take.
    void (*element_missed)(void* state, const StreamContext& ctx, const char* name,
                           std::uint64_t missed, std::uint64_t sequences);
    // The last line of a rewrite: each sequence counted once.
    void (*rewrite_summary)(void* state, const StreamContext& ctx, std::uint64_t patched,
                            std::uint64_t already_right, std::uint64_t not_patched);
    void (*pulldown_summary)(void* state, const StreamContext& ctx, const PulldownSummary& s);
};

// The progress lines in the style of their ProgressLine (the state), the
// closing lines, on the run's standard output.
extern const PatchListener text_patch_listener;
// "OFFSET: OLD BYTES -> NEW BYTES" per patch, the closing lines of a dry
// run; no progress (no state).
extern const PatchListener dry_run_patch_listener;
// The entries of the JSON document (json/; its JsonReport the state).
extern const PatchListener json_patch_listener;
// Nothing at all.
extern const PatchListener silent_patch_listener;

// A listener with its state.
struct PatchListenerRef {
    const PatchListener* listener = &silent_patch_listener;
    void* state = nullptr;
};

// The run's one choice: the JSON document's entries when there is one
// (dry run or not), else the dry run's lines, else the text lines drawn by
// `progress`.
PatchListenerRef choose_patch_listener(JsonReport* json, bool dry_run, ProgressLine& progress);
