// The end of a rewrite: the last sequence, the flush, the closing lines.
#include "demux/demux_messages.hpp"
#include "rewrite/patch.hpp"
#include "rewrite/rewrite.hpp"
#include "rewrite/rewrite_messages.hpp"

bool finish_rewrite(StreamContext& ctx, RewriteState& s) {
    if (!close_sequence(ctx, s)) return false;
    // Nothing is reported done before it has reached the storage device.
    if (!finish_patches(ctx)) return false;
    const PatchListener& listener = *ctx.listener.listener;
    void* state = ctx.listener.state;
    listener.closing_progress(state, ctx);
    print_mpeg1_rate_notice(ctx, s);

    bool every_element_written = true;
    for (unsigned i = 0; i < s.request_count; ++i) {
        if (!s.requests[i].counted) continue;
        const char* name = s.requests[i].element->name;
        listener.element_missed(state, ctx, name, s.missed[i], s.sequences);
        if (!s.written[i]) {
            print_message(ctx.run.err, rewrite_msg::nowhere, name);
            every_element_written = false;
        }
    }
    listener.rewrite_summary(state, ctx, s.patched, s.already_right, s.not_patched);
    // A header across a gap in a container is not the encoder's: left alone.
    if (ctx.damaged_headers_left != 0) {
        print_message(ctx.run.err, demux_msg::damaged_left,
                      static_cast<unsigned long long>(ctx.damaged_headers_left));
        return false;
    }
    return every_element_written;
}
