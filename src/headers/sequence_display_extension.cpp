// sequence_display_extension (00 00 01 B5, identifier 2)
//
//   byte 4       identifier (4) | video_format (3) | colour_description
//   byte 5..7    colour_primaries, transfer_characteristics,
//                matrix_coefficients (only with colour_description; c = 3)
//   byte 5+c..   display_horizontal_size (14) | marker_bit |
//                display_vertical_size (14), ending in byte 8+c
#include "headers/headers.hpp"
#include "headers/report_text.hpp"

ParseResult parse_sequence_display_extension(StreamContext& ctx) {
    const std::uint8_t* p = ctx.window + ctx.pos;

    unsigned video_format = (p[4] >> 1) & 7;
    unsigned colour_description = p[4] & 1;
    std::uint32_t c = colour_description ? 3 : 0;
    unsigned display_horizontal_size = p[5 + c] << 6 | p[6 + c] >> 2;
    unsigned display_vertical_size =
        (p[6 + c] & 1u) << 13 | p[7 + c] << 5 | p[8 + c] >> 3;

    if (ctx.mode == Mode::REPORT) {
        // "    video format=%s/display size=%ux%u/color description=%s\n"
        ReportText block;
        put_header_line(block, ctx, "SEQUENCE_DISPLAY_EXTENSION");
        put_text(block, "    video format=");
        put_text(block, video_format_name(video_format));
        put_text(block, "/display size=");
        put_decimal(block, display_horizontal_size);
        put_text(block, "x");
        put_decimal(block, display_vertical_size);
        put_text(block, "/color description=");
        put_text(block, yes_no(colour_description));
        put_text(block, "\n");
        if (colour_description) {
            put_text(block, "    color primaries=");
            put_text(block, colour_primaries_name(p[5]));
            put_text(block, "\n    transfer characteristics=");
            put_text(block, transfer_characteristics_name(p[6]));
            put_text(block, "\n    matrix coefficients=");
            put_text(block, matrix_coefficients_name(p[7]));
            put_text(block, "\n");
        }
        write_report(ctx, block);
    }
    ctx.pos += 8 + c;
    return CONTINUE;
}
