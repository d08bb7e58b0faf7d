// What a rewrite prints on standard output as it goes: the progress line
// in its style, and the closing lines. The same closing lines end a dry run.
#include "pulldown/messages.hpp"
#include "rewrite/patch.hpp"
#include "rewrite/rewrite.hpp"
#include "rewrite/rewrite_messages.hpp"

void print_missed_line(const StreamContext& ctx, const char* name, std::uint64_t missed,
                       std::uint64_t sequences) {
    if (missed == 0) return;
    print_message(ctx.run.out, rewrite_msg::missed, name, static_cast<unsigned long long>(missed),
                  static_cast<unsigned long long>(sequences));
}

void print_pulldown_summary(const StreamContext& ctx, const PulldownSummary& s, bool dry_run) {
    print_message(ctx.run.out, pulldown_msg::summary[s.direction][dry_run ? 1 : 0],
                  static_cast<unsigned long long>(s.pictures), s.rate_before, s.rate_after,
                  static_cast<unsigned long long>(s.headers_patched), s.duration_before,
                  s.duration_after);
}

namespace {

ProgressLine& line_of(void* state) { return *static_cast<ProgressLine*>(state); }

// Patches are written in silence; the progress line follows them.
void patch(void*, const StreamContext&, const PatchTarget&, std::uint64_t, const std::uint8_t*,
           const std::uint8_t*, std::uint32_t) {}

void progress(void* state, const StreamContext& ctx, ProgressPoint at) {
    draw_progress(line_of(state), ctx, at);
}

void closing_progress(void* state, const StreamContext& ctx) {
    draw_closing_progress(line_of(state), ctx);
}

void element_missed(void*, const StreamContext& ctx, const char* name, std::uint64_t missed,
                    std::uint64_t sequences) {
    print_missed_line(ctx, name, missed, sequences);
}

// The line that ends every rewrite since the original ones.
void rewrite_summary(void* state, const StreamContext& ctx, std::uint64_t patched,
                     std::uint64_t already_right, std::uint64_t not_patched) {
    if (line_of(state).style == ProgressStyle::ORIGINAL) return;
    print_message(ctx.run.out, rewrite_msg::summary, static_cast<unsigned long long>(patched),
                  static_cast<unsigned long long>(already_right),
                  static_cast<unsigned long long>(not_patched));
}

void pulldown_summary(void*, const StreamContext& ctx, const PulldownSummary& s) {
    print_pulldown_summary(ctx, s, false);
}

}  // namespace

const PatchListener text_patch_listener = {
    patch, progress, closing_progress, element_missed, rewrite_summary, pulldown_summary,
};
