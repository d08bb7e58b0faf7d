// The bits a rewrite sets in one header, and the patches that write them.
#pragma once

#include <cstdint>

#include "rewrite/elements.hpp"
#include "rewrite/patch.hpp"
#include "scan/stream_context.hpp"

// The longest stretch of a header that holds settable bits: bytes 0 to 11
// (a sequence display extension with its colour description ends there).
inline constexpr std::uint32_t EDITED_BYTES = 12;

// `mask` marks the bits to set, `bits` their new values; every other bit of
// the header stays as the file holds it.
struct HeaderEdit {
    std::uint8_t mask[EDITED_BYTES] = {};
    std::uint8_t bits[EDITED_BYTES] = {};
};

// True when `e` has bits in headers of kind `header`.
bool has_field_in(const Element& e, ElementHeader header);

// True when every bit `e` has in `header` lies in the first `available`
// bytes; `colour_shift` is 24 for a sequence display extension with its
// colour description, 0 otherwise.
bool fits(const Element& e, ElementHeader header, std::uint32_t available,
          unsigned colour_shift);

// Marks the bits `e` has in `header` with their part of `value`.
void put_element(HeaderEdit& edit, const Element& e, ElementHeader header, std::uint32_t value,
                 unsigned colour_shift);

// The bytes of the header at `offset` that lie both in the valid data
// (`held` bytes from there) and inside the size measured at the start.
std::uint32_t available_bytes(const StreamContext& ctx, std::uint64_t offset,
                              std::uint32_t held);

// Writes the edit into the header at `place`, whose first bytes are
// `old_bytes`: one patch per run of bytes that hold marked bits, each new
// byte made from the old one's kept bits and the marked bits' values, so a
// patch written twice leaves the same bytes. A header at a damaged place is
// counted, not written. False after a failed write.
bool write_edit(StreamContext& ctx, const PatchPlace& place, const std::uint8_t* old_bytes,
                const HeaderEdit& edit);

// True when the edit marks any bit.
bool edit_marks_any(const HeaderEdit& edit);

// True when the edit marks bits whose values differ from `old_bytes`.
bool edit_changes(const std::uint8_t* old_bytes, const HeaderEdit& edit);

// The edit applied to a copy of the header's first EDITED_BYTES bytes.
void apply_edit(std::uint8_t* bytes, const HeaderEdit& edit);
