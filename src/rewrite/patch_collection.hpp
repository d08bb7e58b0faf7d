// The patches of a rewrite inside a program or transport stream, kept while
// its one pass reads the stream and written once that pass has found
// nothing that stops the run (a scrambled packet anywhere, a failed read).
//
// The pass keeps, in the order it meets them, everything it would have
// written or told as it went: each part of a patch (its target, file offset,
// old and new bytes) and the warnings of the layers and of the container.
// After the pass they are written and told in that same order, so the run
// prints what a rewrite that writes as it goes prints; a pass that ends
// refused drops them all, and nothing of it reaches the file or the output.
// The records live in one fixed budget of memory; once it is full the pass
// goes on without keeping anything, and the run falls back to two passes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "demux/demux.hpp"
#include "headers/header_sink.hpp"
#include "scan/stream_context.hpp"

// The bytes kept for the records of one pass: some 200 000 parts of
// patches, a few hours of broadcast video.
inline constexpr std::size_t PATCH_BUDGET = std::size_t{3} << 20;

// The budget the next collection opens with: PATCH_BUDGET, or less where a
// test wants the fallback.
extern std::size_t patch_budget;

struct PatchCollection {
    std::uint8_t* bytes = nullptr;  // `budget` bytes of records
    std::size_t budget = 0;
    std::size_t used = 0;
    bool full = false;  // a record found no room: the pass keeps nothing more
    DemuxWarnings passed_on;  // where the container's warnings are told
};

// Readies `c` for a pass; false when there is no memory.
bool collection_open(PatchCollection& c);
void collection_close(PatchCollection& c);

// Keeps the part of a patch that write_patch would write at `offset` of
// the run's target `target`; false when the budget is full.
bool collect_part(PatchCollection& c, unsigned target, std::uint64_t offset,
                  const std::uint8_t* old_bytes, const std::uint8_t* new_bytes, std::uint32_t count);

// Keeps a layer warning, to be printed on the run's standard error.
void collect_layer_warning(PatchCollection& c, LayerWarning warning);

// The container's warnings, kept in `c` until it is written; those of
// `passed_on` are where they go then.
DemuxWarnings collecting_demux_warnings(PatchCollection& c, DemuxWarnings passed_on);

// Writes and tells every record in order: each part through the run's
// listener, as write_patch does; each warning where it would have gone.
// False after a failed seek or write (reported): the records after it are
// neither written nor told.
bool write_collection(StreamContext& ctx, const PatchCollection& c);
