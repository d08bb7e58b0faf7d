#include "rewrite/header_edit.hpp"

#include "rewrite/patch.hpp"

namespace {

unsigned first_bit_of(const ElementField& f, unsigned colour_shift) {
    return f.first_bit + (f.after_colour ? colour_shift : 0);
}

}  // namespace

bool has_field_in(const Element& e, ElementHeader header) {
    for (unsigned i = 0; i < e.field_count; ++i)
        if (e.fields[i].header == header) return true;
    return false;
}

bool fits(const Element& e, ElementHeader header, std::uint32_t available,
          unsigned colour_shift) {
    for (unsigned i = 0; i < e.field_count; ++i) {
        const ElementField& f = e.fields[i];
        unsigned last_byte = (first_bit_of(f, colour_shift) + f.width - 1) / 8;
        if (f.header == header && last_byte >= available) return false;
    }
    return true;
}

void put_element(HeaderEdit& edit, const Element& e, ElementHeader header, std::uint32_t value,
                 unsigned colour_shift) {
    for (unsigned i = 0; i < e.field_count; ++i) {
        const ElementField& f = e.fields[i];
        if (f.header != header) continue;
        std::uint32_t part = value >> f.value_shift;
        unsigned first = first_bit_of(f, colour_shift);
        for (unsigned k = 0; k < f.width; ++k) {
            unsigned bit = first + k;
            auto flag = static_cast<std::uint8_t>(0x80u >> (bit % 8));
            edit.mask[bit / 8] |= flag;
            if ((part >> (f.width - 1 - k)) & 1u) edit.bits[bit / 8] |= flag;
        }
    }
}

std::uint32_t available_bytes(const StreamContext& ctx, std::uint64_t offset,
                              std::uint32_t held) {
    std::int64_t file_size = stream_target(ctx).size;
    std::uint64_t size = file_size > 0 ? static_cast<std::uint64_t>(file_size) : 0;
    std::uint64_t in_file = offset < size ? size - offset : 0;
    return in_file < held ? static_cast<std::uint32_t>(in_file) : held;
}

bool edit_marks_any(const HeaderEdit& edit) {
    for (std::uint8_t m : edit.mask)
        if (m != 0) return true;
    return false;
}

bool edit_changes(const std::uint8_t* old_bytes, const HeaderEdit& edit) {
    for (std::uint32_t i = 0; i < EDITED_BYTES; ++i) {
        if ((old_bytes[i] & edit.mask[i]) != edit.bits[i]) return true;
    }
    return false;
}

void apply_edit(std::uint8_t* bytes, const HeaderEdit& edit) {
    for (std::uint32_t i = 0; i < EDITED_BYTES; ++i)
        bytes[i] = static_cast<std::uint8_t>((bytes[i] & ~edit.mask[i]) | edit.bits[i]);
}

bool write_edit(StreamContext& ctx, const PatchPlace& place, const std::uint8_t* old_bytes,
                const HeaderEdit& edit) {
    if (place.damaged) {
        if (edit_marks_any(edit)) ++ctx.damaged_headers_left;
        return true;
    }
    std::uint32_t i = 0;
    while (i < EDITED_BYTES) {
        if (edit.mask[i] == 0) {
            ++i;
            continue;
        }
        std::uint32_t start = i;
        std::uint8_t bytes[EDITED_BYTES];
        for (; i < EDITED_BYTES && edit.mask[i] != 0; ++i)
            bytes[i - start] = static_cast<std::uint8_t>((old_bytes[i] & ~edit.mask[i]) | edit.bits[i]);
        if (!write_patch(ctx, stream_target(ctx), place, start, old_bytes + start, bytes,
                         i - start))
            return false;
    }
    return true;
}
