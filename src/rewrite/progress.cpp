// The progress line of the rewrite: how far the scan has consumed the file.
#include <chrono>

#include "messages.hpp"
#include "rewrite/patch.hpp"
#include "rewrite/rewrite.hpp"

namespace {

// The least time between two lines drawn over each other on a terminal:
// ten a second.
constexpr std::uint64_t REDRAW_MILLISECONDS = 100;

std::uint64_t steady_milliseconds() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void print_line(const StreamContext& ctx, std::uint64_t done, std::uint64_t total,
                std::uint64_t percent, const char* end) {
    print_message(ctx.run.out, msg::progress, static_cast<unsigned long long>(done),
                  static_cast<unsigned long long>(total),
                  static_cast<unsigned long long>(percent), end);
}

std::uint64_t total_of(const StreamContext& ctx) {
    std::int64_t size = stream_target(ctx).size;
    return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

// The tool's first line: the offset of the window, not of the header, and
// the percentage in hundredths of the size, as it has always been printed.
void print_original(const StreamContext& ctx, const char* end) {
    // base_offset can run past the end when the last header was cut short;
    // the line never shows more than the whole file.
    std::uint64_t total = total_of(ctx);
    std::uint64_t reached = file_offset_of(ctx, ctx.win.base_offset);
    std::uint64_t done = reached < total ? reached : total;
    std::uint64_t percent;
    if (total / 100 == 0) {
        percent = total == 0 ? 100 : done * 100 / total;
    } else {
        percent = done / (total / 100);
        if (percent > 100) percent = 100;
    }
    print_line(ctx, done, total, percent, end);
}

// The header the scan is at, as a share of the file, redrawn no more often
// than REDRAW_MILLISECONDS.
void redraw(ProgressLine& p, const StreamContext& ctx) {
    std::uint64_t now = p.clock ? p.clock() : steady_milliseconds();
    if (p.drawn && now - p.drawn_at < REDRAW_MILLISECONDS) return;
    p.drawn = true;
    p.drawn_at = now;
    std::uint64_t total = total_of(ctx);
    std::uint64_t reached = file_offset_of(ctx, offset_of(ctx));
    std::uint64_t done = reached < total ? reached : total;
    print_line(ctx, done, total, total == 0 ? 100 : done * 100 / total, "\r");
}

}  // namespace

void draw_progress(ProgressLine& line, const StreamContext& ctx, ProgressPoint at) {
    if (line.style == ProgressStyle::LIVE) redraw(line, ctx);
    else if (line.style == ProgressStyle::ORIGINAL && at == ProgressPoint::PATCHED)
        print_original(ctx, "\r");
}

void draw_closing_progress(const ProgressLine& line, const StreamContext& ctx) {
    if (line.style == ProgressStyle::ORIGINAL) {
        print_original(ctx, "\n");
        return;
    }
    // The scan has read the whole stream, whatever the container around it
    // holds after the last video byte.
    if (line.style == ProgressStyle::NONE) return;
    std::uint64_t total = total_of(ctx);
    print_line(ctx, total, total, 100, "\n");
}
