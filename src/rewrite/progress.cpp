// The progress line of the rewrite: how far the scan has consumed the file.
#include "messages.hpp"
#include "rewrite/rewrite.hpp"

void print_progress(const StreamContext& ctx, const char* end) {
    if (ctx.json) return;  // the document lists the patches instead
    // A dry run's output is its list of patches.
    if (ctx.dry_run) return;
    // base_offset can run past the end when the last header was cut short;
    // the line never shows more than the whole file.
    std::uint64_t total = ctx.file_size > 0 ? static_cast<std::uint64_t>(ctx.file_size) : 0;
    std::uint64_t reached = file_offset_of(ctx, ctx.base_offset);
    std::uint64_t done = reached < total ? reached : total;
    std::uint64_t percent;
    if (total / 100 == 0) {
        percent = total == 0 ? 100 : done * 100 / total;
    } else {
        percent = done / (total / 100);
        if (percent > 100) percent = 100;
    }
    print_message(ctx.out, msg::progress, static_cast<unsigned long long>(done),
                  static_cast<unsigned long long>(total),
                  static_cast<unsigned long long>(percent), end);
}
