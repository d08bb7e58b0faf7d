// sequence_header (00 00 01 B3)
//
//   byte 4..6   horizontal_size_value (12) | vertical_size_value (12)
//   byte 7      aspect_ratio_information (4) | frame_rate_code (4)
//   byte 8..10  bit_rate_value (18) | marker_bit | vbv_buffer_size_value 9..5
//   byte 11     vbv_buffer_size_value 4..0 | constrained_parameters_flag |
//               load_intra_quantiser_matrix | (load_non_intra_quantiser_matrix)
//   then 64 bytes per loaded matrix, bit-aligned one bit before byte 12.
//
// The values are stored only; the sequence extension completes and reports
// them.
#include "headers/headers.hpp"

ParseResult parse_sequence_header(StreamContext& ctx) {
    const std::uint8_t* p = ctx.window + ctx.pos;

    ctx.sequence_header_seen = true;
    ctx.sequence_header_offset = offset_of(ctx);
    ctx.sequence_header_byte_10 = p[10];
    ctx.horizontal_size = static_cast<std::uint32_t>(p[4] << 4 | p[5] >> 4);
    ctx.vertical_size = static_cast<std::uint32_t>((p[5] & 0x0F) << 8 | p[6]);
    ctx.aspect_ratio_information = static_cast<std::uint8_t>(p[7] >> 4);
    ctx.frame_rate_code = p[7] & 0x0F;
    ctx.bit_rate = static_cast<std::uint32_t>(p[8] << 10 | p[9] << 2 | p[10] >> 6);
    ctx.vbv_buffer_size = static_cast<std::uint32_t>((p[10] & 0x1F) << 5 | p[11] >> 3);
    ctx.constrained_parameters_flag = (p[11] >> 2) & 1;

    std::uint32_t m = (p[11] & 0x02) ? 64 : 0;  // load_intra_quantiser_matrix
    if (p[11 + m] & 0x01) m += 64;               // load_non_intra_quantiser_matrix

    if (ctx.mode == Mode::REPORT) print_header_line(ctx, "SEQUENCE_HEADER_CODE");
    ctx.pos += 11 + m;
    return CONTINUE;
}
