// The positional BITRATE leaves MPEG-1 sequences alone: their rate lies in
// the sequence header only, and that form has only ever patched sequences
// with an extension. The C locale keeps the bytes it has always printed;
// elsewhere the run says so, and how to rewrite them.
#include "rewrite/rewrite.hpp"
#include "rewrite/rewrite_messages.hpp"

void print_mpeg1_rate_notice(const StreamContext& ctx, const RewriteState& s) {
    bool positional = false;
    for (unsigned i = 0; i < s.request_count; ++i)
        if (s.requests[i].element == &bit_rate_element) positional = true;
    const Message& m = rewrite_msg::mpeg1_rate_kept;
    if (!positional || s.without_extension == 0 || message_format(ctx.run.err, m) == m.shift_jis) return;
    print_message(ctx.run.err, m, static_cast<unsigned long long>(s.without_extension),
                  static_cast<unsigned long long>(s.sequences));
}
