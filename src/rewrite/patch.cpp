#include "rewrite/patch.hpp"

#include <cstring>

#include "rewrite/patch_collection.hpp"
#include "scan/file_failure.hpp"

PatchTarget* add_patch_target(PatchTargets& targets, FileHandle file, const char* name,
                              bool takes_writes) {
    if (targets.count == MAX_PATCH_TARGETS) return nullptr;
    PatchTarget t;
    t.file = file;
    t.name = name;
    t.takes_writes = takes_writes;
    if (!platform_size(file, &t.size)) return nullptr;
    targets.target[targets.count] = t;
    return &targets.target[targets.count++];
}

bool finish_patches(StreamContext& ctx) {
    bool ok = true;
    // Every target is flushed, whichever failed before it.
    for (unsigned i = 0; i < ctx.targets.count; ++i) {
        PatchTarget& t = ctx.targets.target[i];
        if (!t.unflushed_writes) continue;
        if (platform_sync(t.file)) {
            t.unflushed_writes = false;
            continue;
        }
        print_named_file_failure(ctx, t.name, FileFailure::WRITE);
        ok = false;
    }
    return ok;
}

namespace {

void tell(const StreamContext& ctx, const PatchTarget& target, std::uint64_t offset,
          const std::uint8_t* old_bytes, const std::uint8_t* new_bytes, std::uint32_t count) {
    ctx.listener.listener->patch(ctx.listener.state, ctx, target, offset, old_bytes, new_bytes, count);
}

// One part of a patch, at its file offset. Bytes already in place are
// neither written nor listed: a rerun of a finished rewrite touches no page
// of the file. A pass that collects its patches keeps the part instead.
bool write_part(StreamContext& ctx, PatchTarget& target, std::uint64_t offset,
                const std::uint8_t* old_bytes, const std::uint8_t* new_bytes,
                std::uint32_t count) {
    if (std::memcmp(old_bytes, new_bytes, count) == 0) return true;
    if (target.size < 0 || offset + count > static_cast<std::uint64_t>(target.size))
        return true;  // never lengthen the file
    if (ctx.collection) {
        auto index = static_cast<unsigned>(&target - ctx.targets.target);
        return collect_part(*ctx.collection, index, offset, old_bytes, new_bytes, count);
    }
    return put_patch_part(ctx, target, offset, old_bytes, new_bytes, count);
}

}  // namespace

bool put_patch_part(StreamContext& ctx, PatchTarget& target, std::uint64_t offset,
                    const std::uint8_t* old_bytes, const std::uint8_t* new_bytes,
                    std::uint32_t count) {
    if (!target.takes_writes) {
        tell(ctx, target, offset, old_bytes, new_bytes, count);
        return true;
    }
    if (!platform_seek(target.file, offset)) {
        print_named_file_failure(ctx, target.name, FileFailure::SEEK);
        return false;
    }
    std::uint32_t written = 0;
    target.unflushed_writes = true;
    if (!platform_write(target.file, new_bytes, count, &written) || written != count) {
        // What reached the file is told: the part a short write left.
        if (written > 0 && written < count) tell(ctx, target, offset, old_bytes, new_bytes, written);
        print_named_file_failure(ctx, target.name, FileFailure::WRITE);
        return false;
    }
    tell(ctx, target, offset, old_bytes, new_bytes, count);
    return true;
}

void locate_patch_place(const StreamContext& ctx, std::uint64_t stream_offset, PatchPlace* place) {
    place->damaged = source_locate(ctx.source, stream_offset, PLACE_BYTES, place->file_offset);
}

bool write_patch(StreamContext& ctx, PatchTarget& target, const PatchPlace& place,
                 std::uint32_t first, const std::uint8_t* old_bytes,
                 const std::uint8_t* new_bytes, std::uint32_t count) {
    if (place.damaged || first + count > PLACE_BYTES) return true;
    std::uint32_t i = 0;
    while (i < count) {
        std::uint32_t start = i;
        std::uint64_t offset = place.file_offset[first + i];
        while (++i < count && place.file_offset[first + i] == offset + (i - start)) {}
        if (offset == UINT64_MAX) continue;  // not in the stream
        if (!write_part(ctx, target, offset, old_bytes + start, new_bytes + start, i - start))
            return false;
    }
    return true;
}
