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

// Writes `count` bytes (`new_bytes`, which replace `old_bytes`, the file's
// bytes there as the scan read them) at bytes `first` to first + count - 1
// of `place`: one write for each part that lies in one piece in the file. A
// damaged place is not written, nor is a part whose new bytes equal the
// old ones. A part that would reach past the size
// measured at the start of the run is not written: the file never changes
// length. Returns false after reporting a failed seek or write; the run then
// stops. A dry run prints the parts instead.
bool write_patch(StreamContext& ctx, const PatchPlace& place, std::uint32_t first,
                 const std::uint8_t* old_bytes, const std::uint8_t* new_bytes, std::uint32_t count);

// The dry run's part of write_patch: prints the patch instead of writing it.
bool print_dry_run_patch(StreamContext& ctx, std::uint64_t offset, const std::uint8_t* old_bytes,
                         const std::uint8_t* new_bytes, std::uint32_t count);

// Makes every patch written so far reach the storage device, before a
// rewrite reports success; does nothing when no patch was written since the
// last flush. Returns false after reporting the failure.
bool finish_patches(StreamContext& ctx);
