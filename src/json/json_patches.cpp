// A rewrite's part of the --json document: an entry per patch in its
// "patches" array, and, per element of --set, the sequences that could not
// take it. The document stands alone on standard output: no progress line
// and no closing line.
#include "json/json_report.hpp"

namespace {

JsonReport& report_of(void* state) { return *static_cast<JsonReport*>(state); }

// {"offset": N, "old": "HEX", "new": "HEX"}
void patch(void* state, const StreamContext&, const PatchTarget&, std::uint64_t offset,
           const std::uint8_t* old_bytes, const std::uint8_t* new_bytes, std::uint32_t count) {
    JsonWriter& w = report_of(state).writer;
    json_begin_object(w);
    json_member_uint(w, "offset", offset);
    json_key(w, "old");
    json_hex(w, old_bytes, count);
    json_key(w, "new");
    json_hex(w, new_bytes, count);
    json_end_object(w);
}

void progress(void*, const StreamContext&, ProgressPoint) {}

void closing_progress(void*, const StreamContext&) {}

// Kept for "sequences" and "could_not_take" after the patches.
void element_missed(void* state, const StreamContext&, const char* name, std::uint64_t missed,
                    std::uint64_t sequences) {
    JsonReport& report = report_of(state);
    report.missed_counted = true;
    report.sequences = sequences;
    report.missed.emplace_back(name, missed);
}

void rewrite_summary(void*, const StreamContext&, std::uint64_t, std::uint64_t, std::uint64_t) {}

void pulldown_summary(void*, const StreamContext&, const PulldownSummary&) {}

}  // namespace

const PatchListener json_patch_listener = {
    patch, progress, closing_progress, element_missed, rewrite_summary, pulldown_summary,
};
