// One in-place change to the file: a few bytes of one header.
#pragma once

#include <cstdint>

#include "scan/stream_context.hpp"

// The most bytes one patch covers.
inline constexpr std::uint32_t MAX_PATCH_BYTES = 8;

// The most bytes of one header a rewrite may patch: its first twelve.
inline constexpr std::uint32_t PLACE_BYTES = 12;

// Where the first bytes of a header lie in the file, one file offset per
// byte: one after the other in an elementary stream, broken at packet
// borders in a program or transport stream.
struct PatchPlace {
    std::uint64_t file_offset[PLACE_BYTES] = {};
    bool damaged = false;  // its bytes lie on both sides of a gap in the stream
};

// The place of the PLACE_BYTES bytes from `stream_offset`, which the window
// holds (bytes past the stream's end get no place and are never written).
void locate_patch_place(const StreamContext& ctx, std::uint64_t stream_offset, PatchPlace* place);

// The stream's own file, the first of the run's targets.
inline PatchTarget& stream_target(StreamContext& ctx) { return ctx.targets.target[0]; }
inline const PatchTarget& stream_target(const StreamContext& ctx) { return ctx.targets.target[0]; }

// Tells the run's listener how far the scan has got.
inline void tell_progress(const StreamContext& ctx, ProgressPoint at) {
    ctx.listener.listener->progress(ctx.listener.state, ctx, at);
}

// Writes `count` bytes (`new_bytes`, which replace `old_bytes`, the file's
// bytes there as the scan read them) at bytes `first` to first + count - 1
// of `place` in `target`: one write for each part that lies in one piece in
// the file, each told to the run's listener once written. A damaged place
// is not written, nor is a part whose new bytes equal the old ones. A part
// that would reach past the target's size, measured when it was added, is
// neither written nor told: the file never changes length. A target that
// takes no writes (a dry run) only has its parts told. While the run collects
// its patches (ctx.collection) the parts are kept there instead, and false
// means the collection is full. Returns false after reporting a failed seek
// or write; the run then stops.
bool write_patch(StreamContext& ctx, PatchTarget& target, const PatchPlace& place,
                 std::uint32_t first, const std::uint8_t* old_bytes,
                 const std::uint8_t* new_bytes, std::uint32_t count);

// The writing half of write_patch, for one part that lies in one piece in
// the file and differs from what it holds there: written and told, or only
// told when `target` takes no writes. False after reporting a failed seek or
// write.
bool put_patch_part(StreamContext& ctx, PatchTarget& target, std::uint64_t offset,
                    const std::uint8_t* old_bytes, const std::uint8_t* new_bytes,
                    std::uint32_t count);

// Makes every patch written so far reach the storage device, before a
// run reports success: each target with writes since its last flush, and
// no other (a dry run's or a run that found every byte in place leaves the
// device alone). Returns false after reporting the failures.
bool finish_patches(StreamContext& ctx);
