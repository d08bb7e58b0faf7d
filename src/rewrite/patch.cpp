#include "rewrite/patch.hpp"

#include <cstring>

#include "json/json_report.hpp"
#include "messages.hpp"
#include "scan/file_failure.hpp"

bool finish_patches(StreamContext& ctx) {
    // A dry run wrote nothing, on a file opened for reading only; a run that
    // found every byte in place wrote nothing either, and leaves the device
    // alone.
    if (ctx.run.dry_run || !ctx.unflushed_writes) return true;
    if (platform_sync(ctx.file)) {
        ctx.unflushed_writes = false;
        return true;
    }
    print_file_failure(ctx, FileFailure::WRITE);
    return false;
}

namespace {

// One part of a patch, at its file offset. Bytes already in place are
// neither written nor listed: a rerun of a finished rewrite touches no page
// of the file.
bool write_part(StreamContext& ctx, std::uint64_t offset, const std::uint8_t* old_bytes,
                const std::uint8_t* new_bytes, std::uint32_t count) {
    if (std::memcmp(old_bytes, new_bytes, count) == 0) return true;
    if (ctx.file_size < 0 || offset + count > static_cast<std::uint64_t>(ctx.file_size))
        return true;  // never lengthen the file
    if (ctx.run.dry_run) {
        // A dry run lists what it would write: in the JSON document, or as
        // lines of text.
        if (!ctx.json) return print_dry_run_patch(ctx, offset, old_bytes, new_bytes, count);
        json_patch(ctx, offset, old_bytes, new_bytes, count);
        return true;
    }
    if (!platform_seek(ctx.file, offset)) {
        print_file_failure(ctx, FileFailure::SEEK);
        return false;
    }
    std::uint32_t written = 0;
    ctx.unflushed_writes = true;
    if (!platform_write(ctx.file, new_bytes, count, &written) || written != count) {
        // --json lists what reached the file: the part a short write left.
        if (ctx.json && written > 0 && written < count)
            json_patch(ctx, offset, old_bytes, new_bytes, written);
        print_file_failure(ctx, FileFailure::WRITE);
        return false;
    }
    // --json lists every patch written.
    if (ctx.json) json_patch(ctx, offset, old_bytes, new_bytes, count);
    return true;
}

}  // namespace

void locate_patch_place(const StreamContext& ctx, std::uint64_t stream_offset, PatchPlace* place) {
    if (!ctx.demux) {
        for (std::uint32_t i = 0; i < PLACE_BYTES; ++i) place->file_offset[i] = stream_offset + i;
        place->damaged = false;
        return;
    }
    place->damaged = demux_locate(*ctx.demux, stream_offset, PLACE_BYTES, place->file_offset);
}

bool write_patch(StreamContext& ctx, const PatchPlace& place, std::uint32_t first,
                 const std::uint8_t* old_bytes, const std::uint8_t* new_bytes, std::uint32_t count) {
    if (place.damaged || first + count > PLACE_BYTES) return true;
    std::uint32_t i = 0;
    while (i < count) {
        std::uint32_t start = i;
        std::uint64_t offset = place.file_offset[first + i];
        while (++i < count && place.file_offset[first + i] == offset + (i - start)) {}
        if (offset == UINT64_MAX) continue;  // not in the stream
        if (!write_part(ctx, offset, old_bytes + start, new_bytes + start, i - start)) return false;
    }
    return true;
}
