// The rewrite's sink: every requested element, in every sequence, in place.
//
// A sequence is a sequence header and the extensions after it, up to the
// next sequence header or the end of the file. The fields of the sequence
// header are written at its sequence extension, together with the
// extension's own (the nominal bit rate and the VBV size are split over
// the two); a sequence that turns out to have no extension (MPEG-1) gets the
// fields that mean the same there when it closes. The sequence display
// extension's fields are written where it stands. Nothing is inserted: a
// sequence that lacks the header or flag an element needs is counted.
#include <cstring>

#include "rewrite/header_edit.hpp"
#include "rewrite/patch_collection.hpp"
#include "rewrite/rewrite.hpp"

namespace {

constexpr ElementHeader SH = ElementHeader::SEQUENCE_HEADER;
constexpr ElementHeader SE = ElementHeader::SEQUENCE_EXTENSION;
constexpr ElementHeader SDE = ElementHeader::SEQUENCE_DISPLAY_EXTENSION;

RewriteState& state_of(void* own) { return *static_cast<RewriteState*>(own); }

void mark_written(RewriteState& s, unsigned i) {
    s.written[i] = true;
    if (s.sequence_open) s.took[i] = true;
}

// Writes the edit of a header of the open sequence, noting what it does
// there. False after a failed write.
bool write_noted(StreamContext& ctx, RewriteState& s, const PatchPlace& place,
                 const std::uint8_t* old_bytes, const HeaderEdit& edit) {
    // A header across damage is left whatever it holds, as write_edit
    // counts it: its bytes are not the encoder's.
    if (s.sequence_open && place.damaged && edit_marks_any(edit)) s.left = true;
    else if (s.sequence_open && !place.damaged && edit_changes(old_bytes, edit)) s.changed = true;
    return write_edit(ctx, place, old_bytes, edit);
}

// The sequence header's part of a value fits it: bits above it are 0.
bool fits_header_part(const Element& e, std::uint32_t value, bool all_ones_reserved) {
    for (unsigned i = 0; i < e.field_count; ++i) {
        const ElementField& f = e.fields[i];
        if (f.header != SH) continue;
        std::uint32_t all_ones = (std::uint32_t{1} << f.width) - 1;
        std::uint32_t part = value >> f.value_shift;
        return part <= all_ones && !(all_ones_reserved && part == all_ones);
    }
    return false;
}

bool takes_without_extension(const RewriteRequest& r) {
    switch (r.element->without_extension) {
    case WithoutExtension::TAKES: return true;
    case WithoutExtension::TAKES_IF_FITS: return fits_header_part(*r.element, r.value, false);
    case WithoutExtension::TAKES_IF_FITS_NOT_ALL_ONES:
        return fits_header_part(*r.element, r.value, true);
    case WithoutExtension::NEVER: return false;
    }
    return false;
}

ParseResult on_sequence_header(StreamContext& ctx, void* own, const syntax::SequenceHeader&) {
    RewriteState& s = state_of(own);
    if (!close_sequence(ctx, s)) return STOP;
    tell_progress(ctx, ProgressPoint::SEQUENCE_HEADER);
    s.header_seen = true;
    s.header_offset = offset_of(ctx);
    // The map may not hold these bytes when the extension comes.
    locate_patch_place(ctx, s.header_offset, &s.header_place);
    std::memcpy(s.header_bytes, bytes_at_pos(ctx), sizeof s.header_bytes);
    std::uint32_t held = bytes_held_at_pos(ctx);
    s.header_held = held < sizeof s.header_bytes ? held : sizeof s.header_bytes;
    s.sequence_open = true;
    s.sequence_extension_seen = false;
    s.sequence_has_picture = false;
    return CONTINUE;
}

// A sequence header with pictures after it and no extension is an MPEG-1
// sequence; one cut off by the end of the file is not.
ParseResult on_picture(StreamContext&, void* own, const syntax::PictureHeader&) {
    state_of(own).sequence_has_picture = true;
    return CONTINUE;
}

// Without a sequence header earlier in the file there is nothing to patch
// but the extension itself.
ParseResult on_sequence_extension(StreamContext& ctx, void* own, const syntax::SequenceExtension&) {
    RewriteState& s = state_of(own);
    const std::uint8_t* p = bytes_at_pos(ctx);
    if (s.sequence_open) s.sequence_extension_seen = true;
    // An extension cut short by the end of the file before its bit-rate
    // bits is left alone, with its sequence header.
    if (bytes_held_at_pos(ctx) < 8) return CONTINUE;

    std::uint32_t header_available =
        s.header_seen ? available_bytes(ctx, s.header_offset, s.header_held) : 0;
    std::uint32_t available = available_bytes(ctx, offset_of(ctx), bytes_held_at_pos(ctx));
    HeaderEdit header;
    HeaderEdit extension;
    for (unsigned i = 0; i < s.request_count; ++i) {
        const RewriteRequest& r = s.requests[i];
        const Element& e = *r.element;
        bool in_header = has_field_in(e, SH);
        bool in_extension = has_field_in(e, SE);
        if (!(in_extension || (in_header && s.header_seen))) continue;
        if (!fits(e, SE, available, 0)) continue;
        if (s.header_seen && !fits(e, SH, header_available, 0)) continue;
        if (s.header_seen) put_element(header, e, SH, r.value, 0);
        put_element(extension, e, SE, r.value, 0);
        mark_written(s, i);
    }
    if (s.header_seen) {
        if (!write_noted(ctx, s, s.header_place, s.header_bytes, header)) return STOP;
        // A second extension after the same header (a stream cut and joined)
        // patches it again, from the bytes the first patch left.
        apply_edit(s.header_bytes, header);
    }
    PatchPlace place;
    locate_patch_place(ctx, offset_of(ctx), &place);
    if (!write_noted(ctx, s, place, p, extension)) return STOP;
    tell_progress(ctx, ProgressPoint::PATCHED);
    return CONTINUE;
}

ParseResult on_sequence_display_extension(StreamContext& ctx, void* own,
                                           const syntax::SequenceDisplayExtension& d) {
    RewriteState& s = state_of(own);
    unsigned colour_shift = d.colour_description ? 24 : 0;
    std::uint32_t available = available_bytes(ctx, offset_of(ctx), bytes_held_at_pos(ctx));
    HeaderEdit edit;
    for (unsigned i = 0; i < s.request_count; ++i) {
        const RewriteRequest& r = s.requests[i];
        const Element& e = *r.element;
        if (!has_field_in(e, SDE) || (e.needs_colour_description && !d.colour_description) ||
            !fits(e, SDE, available, colour_shift))
            continue;
        put_element(edit, e, SDE, r.value, colour_shift);
        mark_written(s, i);
    }
    PatchPlace place;
    locate_patch_place(ctx, offset_of(ctx), &place);
    return write_noted(ctx, s, place, bytes_at_pos(ctx), edit) ? CONTINUE : STOP;
}

// Printed as it comes, or kept with the patches of a collecting pass: a
// pass that ends refused prints nothing of the stream.
void on_layer_warning(StreamContext& ctx, void*, LayerWarning warning) {
    if (ctx.collection) collect_layer_warning(*ctx.collection, warning);
    else print_layer_warning(ctx, nullptr, warning);
}

}  // namespace

bool close_sequence(StreamContext& ctx, RewriteState& s) {
    if (!s.sequence_open) return true;
    bool ok = true;
    if (!s.sequence_extension_seen) {
        if (s.sequence_has_picture) ++s.without_extension;
        HeaderEdit edit;
        bool any = false;
        std::uint32_t available = available_bytes(ctx, s.header_offset, s.header_held);
        for (unsigned i = 0; i < s.request_count; ++i) {
            const RewriteRequest& r = s.requests[i];
            if (!has_field_in(*r.element, SH) || !takes_without_extension(r) ||
                !fits(*r.element, SH, available, 0))
                continue;
            put_element(edit, *r.element, SH, r.value, 0);
            mark_written(s, i);
            any = true;
        }
        ok = !any || write_noted(ctx, s, s.header_place, s.header_bytes, edit);
        if (ok && any) tell_progress(ctx, ProgressPoint::PATCHED);
    }
    ++s.sequences;
    bool whole = !s.left;
    for (unsigned i = 0; i < s.request_count; ++i) {
        if (!s.took[i]) {
            ++s.missed[i];
            whole = false;
        }
        s.took[i] = false;
    }
    if (!whole) ++s.not_patched;
    else if (s.changed) ++s.patched;
    else ++s.already_right;
    s.changed = false;
    s.left = false;
    s.sequence_open = false;
    return ok;
}

void start_rewrite(StreamContext& ctx, RewriteState& state, const ElementSettings& settings,
                   bool bit_rate) {
    state = RewriteState{};
    for (unsigned i = 0; i < ELEMENT_COUNT; ++i) {
        if (settings.requested[i])
            state.requests[state.request_count++] = {&element_rows[i], settings.value[i], true};
    }
    if (bit_rate)
        state.requests[state.request_count++] = {&bit_rate_element, ctx.run.target_bit_rate / 400, false};
    set_sink(ctx, rewrite_sink, &state);
}

const HeaderSink rewrite_sink = {
    on_sequence_header, on_sequence_extension, on_sequence_display_extension,
    nullptr, nullptr, nullptr, nullptr, on_picture, nullptr, nullptr, on_layer_warning,
};
