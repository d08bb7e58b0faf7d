// The pulldown run: the check, then the two patch passes in the order that
// keeps a stream flagged 29.97 or 30 fps whole (see pulldown.hpp), each
// made durable before the next begins.
#include <cstdio>

#include "headers/headers.hpp"
#include "pulldown/messages.hpp"
#include "pulldown/pulldown.hpp"
#include "rewrite/patch.hpp"

namespace {

// h:mm:ss.mmm of a display time counted in units of 1/240 s, or of
// 1001/240000 s at 23.976 and 29.97 fps, rounded to the millisecond.
void format_duration(std::uint64_t units, unsigned film_rate_code, char* text, std::size_t size) {
    unsigned long long ms = (units * (film_rate_code == 1 ? 1001 : 1000) + 120) / 240;
    std::snprintf(text, size, pulldown_msg::duration, ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                  ms % 1000);
}

// Runs one patch pass when it has anything to write. False after a failure
// (already reported).
bool patch_pass(StreamContext& ctx, PulldownState& s, PulldownPass pass, std::uint64_t to_patch) {
    if (to_patch == 0) return true;
    const PulldownState found = s;
    s = PulldownState{};
    s.direction = found.direction;
    s.pass = pass;
    s.film_rate_code = found.film_rate_code;
    s.anchor_seen = found.anchor_seen;
    s.anchor = found.anchor;
    s.anchor_index = found.anchor_index;
    s.patched = found.patched;
    set_sink(ctx, pulldown_patch_sink, &s);
    if (!restart_scan(ctx)) return false;
    return scan_stream(ctx) != ScanOutcome::STOPPED && finish_patches(ctx);
}

}  // namespace

bool run_pulldown(StreamContext& ctx, PulldownDirection direction, SinkChain& check_pass) {
    PulldownState s;
    s.direction = direction;
    if (check_pass.count == 0) {
        set_sink(ctx, pulldown_check_sink, &s);
    } else {
        chain_add(check_pass, pulldown_check_sink, &s);
        set_sink(ctx, chain_sink, &check_pass);
    }
    if (scan_stream(ctx) == ScanOutcome::STOPPED || !finish_pulldown_check(ctx, s)) return false;

    const std::uint64_t pictures = s.pictures;
    const std::uint64_t flags = s.flags_to_patch;
    const std::uint64_t rates = s.rates_to_patch;
    char before[32], after[32];
    format_duration(s.time_before, s.film_rate_code, before, sizeof before);
    format_duration(s.time_after, s.film_rate_code, after, sizeof after);
    bool ok = direction == PulldownDirection::APPLY
                  ? patch_pass(ctx, s, PulldownPass::FLAGS, flags) &&
                        patch_pass(ctx, s, PulldownPass::RATES, rates)
                  : patch_pass(ctx, s, PulldownPass::RATES, rates) &&
                        patch_pass(ctx, s, PulldownPass::FLAGS, flags);
    // Each pass has flushed what it wrote; a run that found every byte in
    // place wrote nothing and flushes nothing.
    if (!ok) return false;

    PulldownSummary summary;
    summary.direction = static_cast<unsigned>(direction);
    summary.pictures = pictures;
    const char* film = frame_rate_name(s.film_rate_code);
    const char* video = frame_rate_name(s.film_rate_code + 3);
    bool apply = direction == PulldownDirection::APPLY;
    summary.rate_before = apply ? film : video;
    summary.rate_after = apply ? video : film;
    summary.headers_patched = s.patched;
    summary.duration_before = before;
    summary.duration_after = after;
    ctx.listener.listener->pulldown_summary(ctx.listener.state, ctx, summary);
    return true;
}
