// The patch list of a dry run: "OFFSET: OLD BYTES -> NEW BYTES", one line
// per patch, in the order the rewrite would write them, e.g.
// "0000000c: 13 88 3f -> 4e 20 3f".
#include "rewrite/patch.hpp"
#include "rewrite/rewrite_messages.hpp"

bool print_dry_run_patch(StreamContext& ctx, std::uint64_t offset, const std::uint8_t* old_bytes,
                         const std::uint8_t* new_bytes, std::uint32_t count) {
    std::fprintf(ctx.run.out, rewrite_msg::dry_run_offset, static_cast<unsigned long long>(offset));
    for (std::uint32_t i = 0; i < count; ++i) std::fprintf(ctx.run.out, rewrite_msg::dry_run_byte, old_bytes[i]);
    std::fputs(rewrite_msg::dry_run_arrow, ctx.run.out);
    for (std::uint32_t i = 0; i < count; ++i) std::fprintf(ctx.run.out, rewrite_msg::dry_run_byte, new_bytes[i]);
    std::fputc('\n', ctx.run.out);
    return true;
}
