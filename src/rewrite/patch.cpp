#include "rewrite/patch.hpp"

#include "messages.hpp"

bool finish_patches(StreamContext& ctx) {
    if (platform_sync(ctx.file)) return true;
    std::fputs(msg::write_error, ctx.err);
    return false;
}

bool write_patch(StreamContext& ctx, std::uint64_t offset, const std::uint8_t* old_bytes,
                 const std::uint8_t* new_bytes, std::uint32_t count) {
    if (ctx.file_size < 0 || offset + count > static_cast<std::uint64_t>(ctx.file_size))
        return true;  // never lengthen the file
    if (ctx.dry_run) return print_dry_run_patch(ctx, offset, old_bytes, new_bytes, count);
    if (!platform_seek(ctx.file, offset)) {
        std::fputs(msg::seek_error, ctx.err);
        return false;
    }
    std::uint32_t written = 0;
    if (!platform_write(ctx.file, new_bytes, count, &written) || written != count) {
        std::fputs(msg::write_error, ctx.err);
        return false;
    }
    return true;
}
