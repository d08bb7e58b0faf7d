// sequence_display_extension (00 00 01 B5, identifier 2)
//
//   byte 4       identifier (4) | video_format (3) | colour_description
//   byte 5..7    colour_primaries, transfer_characteristics,
//                matrix_coefficients (only with colour_description; c = 3)
//   byte 5+c..   display_horizontal_size (14) | marker_bit |
//                display_vertical_size (14), ending in byte 8+c
#include "headers/header_sink.hpp"
#include "headers/headers.hpp"
#include "headers/report_text.hpp"

ParseResult parse_sequence_display_extension(StreamContext& ctx) {
    const std::uint8_t* p = bytes_at_pos(ctx);

    syntax::SequenceDisplayExtension e{};
    e.video_format = (p[4] >> 1) & 7u;
    e.colour_description = p[4] & 1u;
    std::uint32_t c = e.colour_description ? 3 : 0;
    if (e.colour_description) {
        e.colour_primaries = p[5];
        e.transfer_characteristics = p[6];
        e.matrix_coefficients = p[7];
    }
    e.display_horizontal_size = p[5 + c] << 6 | p[6 + c] >> 2;
    e.display_vertical_size = (p[6 + c] & 1u) << 13 | p[7 + c] << 5 | p[8 + c] >> 3;

    ParseResult result = CONTINUE;
    if (ctx.sink->sequence_display_extension)
        result = ctx.sink->sequence_display_extension(ctx, ctx.sink_state, e);
    ctx.win.pos += 8 + c;
    return result;
}

ParseResult report_sequence_display_extension(StreamContext& ctx, void*,
                                              const syntax::SequenceDisplayExtension& e) {
    // "    video format=%s/display size=%ux%u/color description=%s\n"
    ReportText block;
    put_header_line(block, ctx, "SEQUENCE_DISPLAY_EXTENSION");
    put_text(block, "    video format=");
    put_text(block, video_format_name(e.video_format));
    put_text(block, "/display size=");
    put_decimal(block, e.display_horizontal_size);
    put_text(block, "x");
    put_decimal(block, e.display_vertical_size);
    put_text(block, "/color description=");
    put_text(block, yes_no(e.colour_description));
    put_text(block, "\n");
    if (e.colour_description) {
        put_text(block, "    color primaries=");
        put_text(block, colour_primaries_name(e.colour_primaries));
        put_text(block, "\n    transfer characteristics=");
        put_text(block, transfer_characteristics_name(e.transfer_characteristics));
        put_text(block, "\n    matrix coefficients=");
        put_text(block, matrix_coefficients_name(e.matrix_coefficients));
        put_text(block, "\n");
    }
    write_report(ctx, block);
    return CONTINUE;
}
