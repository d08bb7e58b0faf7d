// The end of a rewrite: the last sequence, the flush, the closing lines.
#include "demux/demux_messages.hpp"
#include "json/json_report.hpp"
#include "rewrite/patch.hpp"
#include "rewrite/rewrite.hpp"
#include "rewrite/rewrite_messages.hpp"

bool finish_rewrite(StreamContext& ctx) {
    if (!close_sequence(ctx)) return false;
    // Nothing is reported done before it has reached the storage device.
    if (!ctx.run.dry_run && !finish_patches(ctx)) return false;
    print_closing_progress(ctx);
    print_mpeg1_rate_notice(ctx);

    const RewriteState& s = *static_cast<const RewriteState*>(ctx.sink_state);
    bool every_element_written = true;
    for (unsigned i = 0; i < s.request_count; ++i) {
        if (!s.requests[i].counted) continue;
        const char* name = s.requests[i].element->name;
        if (ctx.json) {
            ctx.json->missed_counted = true;
            ctx.json->sequences = s.sequences;
            ctx.json->missed.emplace_back(name, s.missed[i]);
        }
        if (s.missed[i] != 0 && !ctx.json)  // stdout holds the JSON document
            print_message(ctx.run.out, rewrite_msg::missed, name,
                          static_cast<unsigned long long>(s.missed[i]),
                          static_cast<unsigned long long>(s.sequences));
        if (!s.written[i]) {
            print_message(ctx.run.err, rewrite_msg::nowhere, name);
            every_element_written = false;
        }
    }
    // The line that ends every rewrite since the original ones; a dry run's
    // output is its patches, a JSON run's its document.
    if (ctx.progress.style != ProgressStyle::ORIGINAL && !ctx.json && !ctx.run.dry_run)
        print_message(ctx.run.out, rewrite_msg::summary, static_cast<unsigned long long>(s.patched),
                      static_cast<unsigned long long>(s.already_right),
                      static_cast<unsigned long long>(s.not_patched));
    // A header across a gap in a container is not the encoder's: left alone.
    if (ctx.damaged_headers_left != 0) {
        print_message(ctx.run.err, demux_msg::damaged_left,
                      static_cast<unsigned long long>(ctx.damaged_headers_left));
        return false;
    }
    return every_element_written;
}
