// One in-place change to the file: a few bytes of one header.
#pragma once

#include <cstdint>

#include "scan/stream_context.hpp"

// The most bytes one patch covers.
inline constexpr std::uint32_t MAX_PATCH_BYTES = 8;

// Writes `count` bytes (`new_bytes`, which replace `old_bytes`, the file's
// bytes there as the scan read them) at file offset `offset`. A patch that
// would reach past the size measured at the start of the run is not written:
// the file never changes length. Returns false after reporting a failed seek
// or write; the run then stops. A dry run prints the patch instead.
bool write_patch(StreamContext& ctx, std::uint64_t offset, const std::uint8_t* old_bytes,
                 const std::uint8_t* new_bytes, std::uint32_t count);

// The dry run's part of write_patch: prints the patch instead of writing it.
bool print_dry_run_patch(StreamContext& ctx, std::uint64_t offset, const std::uint8_t* old_bytes,
                         const std::uint8_t* new_bytes, std::uint32_t count);

// Makes every patch written so far reach the storage device, before a
// rewrite reports success. Returns false after reporting the failure.
bool finish_patches(StreamContext& ctx);
