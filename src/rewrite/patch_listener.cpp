// The listener that hears nothing, and the run's choice of listener.
#include "rewrite/patch_listener.hpp"

#include "scan/stream_context.hpp"

namespace {

void patch(void*, const StreamContext&, const PatchTarget&, std::uint64_t, const std::uint8_t*,
           const std::uint8_t*, std::uint32_t) {}
void progress(void*, const StreamContext&, ProgressPoint) {}
void closing_progress(void*, const StreamContext&) {}
void element_missed(void*, const StreamContext&, const char*, std::uint64_t, std::uint64_t) {}
void rewrite_summary(void*, const StreamContext&, std::uint64_t, std::uint64_t, std::uint64_t) {}
void pulldown_summary(void*, const StreamContext&, const PulldownSummary&) {}

}  // namespace

const PatchListener silent_patch_listener = {
    patch, progress, closing_progress, element_missed, rewrite_summary, pulldown_summary,
};

PatchListenerRef choose_patch_listener(JsonReport* json, bool dry_run, ProgressLine& progress) {
    // The JSON document lists the patches, written or not, and stands alone
    // on standard output: no progress, no closing lines.
    if (json) return {&json_patch_listener, json};
    // A dry run's output is its list of patches.
    if (dry_run) return {&dry_run_patch_listener, nullptr};
    return {&text_patch_listener, &progress};
}
