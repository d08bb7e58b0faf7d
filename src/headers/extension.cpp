// extension_start_code (00 00 01 B5): routing by extension_start_code_identifier
// and the extensions that the text report only skips or names.
#include "headers/header_sink.hpp"
#include "headers/headers.hpp"
#include "messages.hpp"
#include "scan/start_codes.hpp"

namespace {

// Sequence extensions belong right after a sequence header, picture
// extensions right after a picture header (extensions and user data in
// between do not count). Elsewhere they are warned about and decoded anyway.
void check_sequence_layer(StreamContext& ctx) {
    if (ctx.decoded.last_start_code != SEQUENCE_HEADER_CODE && ctx.sink->layer_warning)
        ctx.sink->layer_warning(ctx, ctx.sink_state,
                                LayerWarning::SEQUENCE_EXTENSION_OUTSIDE_SEQUENCE_LAYER);
}

void check_picture_layer(StreamContext& ctx) {
    if (ctx.decoded.last_start_code != PICTURE_START_CODE && ctx.sink->layer_warning)
        ctx.sink->layer_warning(ctx, ctx.sink_state,
                                LayerWarning::PICTURE_EXTENSION_OUTSIDE_PICTURE_LAYER);
}

// `width` (at most 24) bits from bit `first` on, counting from bit 7 of p[0].
// The fields after the identifier of the extensions below are not byte
// aligned.
std::uint32_t bits_at(const std::uint8_t* p, std::uint32_t first, std::uint32_t width) {
    const std::uint8_t* b = p + first / 8;
    std::uint32_t word = static_cast<std::uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
    return (word << (first % 8)) >> (32 - width);
}

}  // namespace

ParseResult dispatch_extension(StreamContext& ctx) {
    switch (ctx.win.bytes[ctx.win.pos + 4] >> 4) {
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
    const std::uint8_t* p = bytes_at_pos(ctx);
    syntax::QuantMatrixExtension e{};
    std::uint32_t k = 0;
    e.load_intra_quantiser_matrix = (p[4] >> 3) & 1u;
    if (e.load_intra_quantiser_matrix) k += 64;
    e.load_non_intra_quantiser_matrix = (p[4 + k] >> 2) & 1u;
    if (e.load_non_intra_quantiser_matrix) k += 64;
    e.load_chroma_intra_quantiser_matrix = (p[4 + k] >> 1) & 1u;
    if (e.load_chroma_intra_quantiser_matrix) k += 64;
    e.load_chroma_non_intra_quantiser_matrix = p[4 + k] & 1u;

    ParseResult result = CONTINUE;
    if (ctx.sink->quant_matrix_extension)
        result = ctx.sink->quant_matrix_extension(ctx, ctx.sink_state, e);
    ctx.win.pos += e.load_chroma_non_intra_quantiser_matrix ? k + 68 : k + 4;
    return result;
}

// picture_display_extension: number_of_frame_centre_offsets pairs of 16-bit
// offsets, each followed by a marker bit, from bit 3 of byte 4 on. Their
// number follows from the sequence and the last picture coding extension.
ParseResult skip_picture_display_extension(StreamContext& ctx) {
    const std::uint8_t* p = bytes_at_pos(ctx);
    std::uint32_t n;
    if (ctx.decoded.progressive_sequence) {
        if (ctx.decoded.repeat_first_field)
            n = ctx.decoded.top_field_first ? 3 : 2;
        else
            n = 1;
    } else if (ctx.decoded.picture_structure != 3) {
        n = 1;  // field picture
    } else {
        n = ctx.decoded.repeat_first_field ? 3 : 2;
    }

    syntax::PictureDisplayExtension e{};
    e.number_of_frame_centre_offsets = n;
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint32_t first = 36 + 34 * i;
        e.frame_centre_horizontal_offset[i] = static_cast<std::int16_t>(bits_at(p, first, 16));
        e.frame_centre_vertical_offset[i] = static_cast<std::int16_t>(bits_at(p, first + 17, 16));
    }

    ParseResult result = CONTINUE;
    if (ctx.sink->picture_display_extension)
        result = ctx.sink->picture_display_extension(ctx, ctx.sink_state, e);
    ctx.win.pos += 4 * n + 3;
    return result;
}

// copyright_extension, from bit 3 of byte 4: copyright_flag |
// copyright_identifier (8) | original_or_copy | reserved (7) | marker_bit |
// copyright_number_1 (20) | marker_bit | copyright_number_2 (22) |
// marker_bit | copyright_number_3 (22); 15 bytes in all.
ParseResult parse_copyright_extension(StreamContext& ctx) {
    const std::uint8_t* p = bytes_at_pos(ctx);
    syntax::CopyrightExtension e{};
    e.copyright_flag = bits_at(p, 36, 1);
    e.copyright_identifier = bits_at(p, 37, 8);
    e.original_or_copy = bits_at(p, 45, 1);
    e.copyright_number_1 = bits_at(p, 54, 20);
    e.copyright_number_2 = bits_at(p, 75, 22);
    e.copyright_number_3 = bits_at(p, 98, 22);

    ParseResult result = CONTINUE;
    if (ctx.sink->copyright_extension)
        result = ctx.sink->copyright_extension(ctx, ctx.sink_state, e);
    ctx.win.pos += 14;
    return result;
}

ParseResult report_copyright_extension(StreamContext& ctx, void*,
                                       const syntax::CopyrightExtension&) {
    print_header_line(ctx, "COPYRIGHT_EXTENSION");
    return CONTINUE;
}

void print_layer_warning(StreamContext& ctx, void*, LayerWarning warning) {
    print_message(ctx.run.err, warning == LayerWarning::SEQUENCE_EXTENSION_OUTSIDE_SEQUENCE_LAYER
                               ? msg::sequence_layer_warning
                               : msg::picture_layer_warning);
}
