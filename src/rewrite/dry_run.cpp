// The output of a dry run: the patch list, "OFFSET: OLD BYTES -> NEW BYTES",
// one line per patch, in the order the rewrite would write them, e.g.
// "0000000c: 13 88 3f -> 4e 20 3f"; no progress line; the closing lines
// that say what would be done.
#include "rewrite/patch.hpp"
#include "rewrite/rewrite.hpp"
#include "rewrite/rewrite_messages.hpp"

namespace {

void patch(void*, const StreamContext& ctx, const PatchTarget&, std::uint64_t offset,
           const std::uint8_t* old_bytes, const std::uint8_t* new_bytes, std::uint32_t count) {
    std::FILE* out = ctx.run.out;
    std::fprintf(out, rewrite_msg::dry_run_offset, static_cast<unsigned long long>(offset));
    for (std::uint32_t i = 0; i < count; ++i) std::fprintf(out, rewrite_msg::dry_run_byte, old_bytes[i]);
    std::fputs(rewrite_msg::dry_run_arrow, out);
    for (std::uint32_t i = 0; i < count; ++i) std::fprintf(out, rewrite_msg::dry_run_byte, new_bytes[i]);
    std::fputc('\n', out);
}

void no_progress(void*, const StreamContext&, ProgressPoint) {}

void no_closing_progress(void*, const StreamContext&) {}

void element_missed(void*, const StreamContext& ctx, const char* name, std::uint64_t missed,
                    std::uint64_t sequences) {
    print_missed_line(ctx, name, missed, sequences);
}

// The patch list is the output: no count of sequences after it.
void no_rewrite_summary(void*, const StreamContext&, std::uint64_t, std::uint64_t,
                        std::uint64_t) {}

void pulldown_summary(void*, const StreamContext& ctx, const PulldownSummary& s) {
    print_pulldown_summary(ctx, s, true);
}

}  // namespace

const PatchListener dry_run_patch_listener = {
    patch, no_progress, no_closing_progress, element_missed, no_rewrite_summary, pulldown_summary,
};
