// extension_start_code (00 00 01 B5): routing by extension_start_code_identifier
// and the extensions that are only skipped.
#include "headers/headers.hpp"
#include "messages.hpp"
#include "scan/start_codes.hpp"

namespace {

// Sequence extensions belong right after a sequence header, picture
// extensions right after a picture header (extensions and user data in
// between do not count). Elsewhere they are warned about and decoded anyway.
void check_sequence_layer(const StreamContext& ctx) {
    if (ctx.last_start_code != SEQUENCE_HEADER_CODE)
        print_message(ctx.err, msg::sequence_layer_warning);
}

void check_picture_layer(const StreamContext& ctx) {
    if (ctx.last_start_code != PICTURE_START_CODE)
        print_message(ctx.err, msg::picture_layer_warning);
}

}  // namespace

ParseResult dispatch_extension(StreamContext& ctx) {
    switch (ctx.window[ctx.pos + 4] >> 4) {
    case SEQUENCE_EXTENSION_ID:
        check_sequence_layer(ctx);
        return parse_sequence_extension(ctx);
    case SEQUENCE_DISPLAY_EXTENSION_ID:
        check_sequence_layer(ctx);
        return parse_sequence_display_extension(ctx);
    case QUANT_MATRIX_EXTENSION_ID:
        check_picture_layer(ctx);
        return skip_quant_matrix_extension(ctx);
    case COPYRIGHT_EXTENSION_ID:
        return parse_copyright_extension(ctx);
    case PICTURE_DISPLAY_EXTENSION_ID:
        check_picture_layer(ctx);
        return skip_picture_display_extension(ctx);
    case PICTURE_CODING_EXTENSION_ID:
        check_picture_layer(ctx);
        return parse_picture_coding_extension(ctx);
    default:  // scalable extensions and reserved identifiers
        return CONTINUE;
    }
}

// quant_matrix_extension: four load flags, each followed by a 64-byte matrix
// when set. The first flag is bit 3 of byte 4; each matrix shifts the next
// flag 64 bytes on.
ParseResult skip_quant_matrix_extension(StreamContext& ctx) {
    const std::uint8_t* p = ctx.window + ctx.pos;
    std::uint32_t k = (p[4] & 0x08) ? 64 : 0;  // load_intra_quantiser_matrix
    if (p[4 + k] & 0x04) k += 64;              // load_non_intra_quantiser_matrix
    if (p[4 + k] & 0x02) k += 64;              // load_chroma_intra_quantiser_matrix
    if (p[4 + k] & 0x01)                       // load_chroma_non_intra_quantiser_matrix
        ctx.pos += k + 68;
    else
        ctx.pos += k + 4;
    return CONTINUE;
}

// picture_display_extension: number_of_frame_centre_offsets 32-bit offsets
// (with markers) after the identifier.
ParseResult skip_picture_display_extension(StreamContext& ctx) {
    std::uint32_t n;
    if (ctx.progressive_sequence) {
        if (ctx.repeat_first_field)
            n = ctx.top_field_first ? 3 : 2;
        else
            n = 1;
    } else if (ctx.picture_structure != 3) {
        n = 1;  // field picture
    } else {
        n = ctx.repeat_first_field ? 3 : 2;
    }
    ctx.pos += 4 * n + 3;
    return CONTINUE;
}

// copyright_extension: 15 bytes, reported by name only.
ParseResult parse_copyright_extension(StreamContext& ctx) {
    if (ctx.mode == Mode::REPORT) print_header_line(ctx, "COPYRIGHT_EXTENSION");
    ctx.pos += 14;
    return CONTINUE;
}
