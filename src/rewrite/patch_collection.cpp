// The records of a collecting pass, one after the other in one buffer:
//   PART      tag, target, count, file offset (8 bytes), old bytes, new bytes
//   LAYER     tag, LayerWarning
//   CONTAINER tag, the DemuxWarning as it is held in memory
#include "rewrite/patch_collection.hpp"

#include <cstdlib>
#include <cstring>

#include "rewrite/patch.hpp"

std::size_t patch_budget = PATCH_BUDGET;

namespace {

enum Tag : std::uint8_t { PART, LAYER, CONTAINER };

constexpr std::size_t PART_HEAD = 3 + sizeof(std::uint64_t);

// Room for `size` more bytes, or null once the budget is full.
std::uint8_t* room(PatchCollection& c, std::size_t size) {
    if (c.full || c.budget - c.used < size) {
        c.full = true;
        return nullptr;
    }
    std::uint8_t* at = c.bytes + c.used;
    c.used += size;
    return at;
}

void keep_demux_warning(void* state, const DemuxWarning& warning) {
    auto& c = *static_cast<PatchCollection*>(state);
    std::uint8_t* at = room(c, 1 + sizeof warning);
    if (!at) return;
    at[0] = CONTAINER;
    std::memcpy(at + 1, &warning, sizeof warning);
}

}  // namespace

bool collection_open(PatchCollection& c) {
    c = PatchCollection{};
    // Pages of the budget that no record reaches are never touched.
    c.bytes = static_cast<std::uint8_t*>(std::malloc(patch_budget));
    c.budget = patch_budget;
    return c.bytes != nullptr;
}

void collection_close(PatchCollection& c) {
    std::free(c.bytes);
    c = PatchCollection{};
}

bool collect_part(PatchCollection& c, unsigned target, std::uint64_t offset,
                  const std::uint8_t* old_bytes, const std::uint8_t* new_bytes, std::uint32_t count) {
    std::uint8_t* at = room(c, PART_HEAD + 2 * std::size_t{count});
    if (!at) return false;
    at[0] = PART;
    at[1] = static_cast<std::uint8_t>(target);
    at[2] = static_cast<std::uint8_t>(count);
    std::memcpy(at + 3, &offset, sizeof offset);
    std::memcpy(at + PART_HEAD, old_bytes, count);
    std::memcpy(at + PART_HEAD + count, new_bytes, count);
    return true;
}

void collect_layer_warning(PatchCollection& c, LayerWarning warning) {
    std::uint8_t* at = room(c, 2);
    if (!at) return;
    at[0] = LAYER;
    at[1] = static_cast<std::uint8_t>(warning);
}

DemuxWarnings collecting_demux_warnings(PatchCollection& c, DemuxWarnings passed_on) {
    c.passed_on = passed_on;
    return {keep_demux_warning, &c};
}

bool write_collection(StreamContext& ctx, const PatchCollection& c) {
    std::size_t at = 0;
    while (at < c.used) {
        const std::uint8_t* r = c.bytes + at;
        if (r[0] == LAYER) {
            print_layer_warning(ctx, nullptr, static_cast<LayerWarning>(r[1]));
            at += 2;
        } else if (r[0] == CONTAINER) {
            DemuxWarning warning;
            std::memcpy(&warning, r + 1, sizeof warning);
            if (c.passed_on.report) c.passed_on.report(c.passed_on.state, warning);
            at += 1 + sizeof warning;
        } else {
            std::uint32_t count = r[2];
            std::uint64_t offset;
            std::memcpy(&offset, r + 3, sizeof offset);
            const std::uint8_t* old_bytes = r + PART_HEAD;
            if (!put_patch_part(ctx, ctx.targets.target[r[1]], offset, old_bytes, old_bytes + count, count))
                return false;
            at += PART_HEAD + 2 * std::size_t{count};
        }
    }
    return true;
}
