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
#include "headers/header_sink.hpp"
#include "headers/headers.hpp"

ParseResult parse_sequence_header(StreamContext& ctx) {
    const std::uint8_t* p = bytes_at_pos(ctx);

    syntax::SequenceHeader h{};
    h.horizontal_size_value = p[4] << 4 | p[5] >> 4;
    h.vertical_size_value = (p[5] & 0x0Fu) << 8 | p[6];
    h.aspect_ratio_information = p[7] >> 4;
    h.frame_rate_code = p[7] & 0x0Fu;
    h.bit_rate_value = static_cast<std::uint32_t>(p[8] << 10 | p[9] << 2 | p[10] >> 6);
    h.vbv_buffer_size_value = (p[10] & 0x1Fu) << 5 | p[11] >> 3;
    h.constrained_parameters_flag = (p[11] >> 2) & 1u;
    h.load_intra_quantiser_matrix = (p[11] >> 1) & 1u;
    std::uint32_t m = h.load_intra_quantiser_matrix ? 64 : 0;
    h.load_non_intra_quantiser_matrix = p[11 + m] & 1u;
    if (h.load_non_intra_quantiser_matrix) m += 64;

    ctx.decoded.sequence_header_seen = true;
    ctx.decoded.sequence_header_offset = offset_of(ctx);
    ctx.decoded.horizontal_size = h.horizontal_size_value;
    ctx.decoded.vertical_size = h.vertical_size_value;
    ctx.decoded.aspect_ratio_information = static_cast<std::uint8_t>(h.aspect_ratio_information);
    ctx.decoded.frame_rate_code = static_cast<std::uint8_t>(h.frame_rate_code);
    ctx.decoded.bit_rate = h.bit_rate_value;
    ctx.decoded.vbv_buffer_size = h.vbv_buffer_size_value;
    ctx.decoded.constrained_parameters_flag = static_cast<std::uint8_t>(h.constrained_parameters_flag);

    ParseResult result = CONTINUE;
    if (ctx.sink->sequence_header) result = ctx.sink->sequence_header(ctx, ctx.sink_state, h);
    ctx.win.pos += 11 + m;
    return result;
}

ParseResult report_sequence_header(StreamContext& ctx, void*, const syntax::SequenceHeader&) {
    print_header_line(ctx, "SEQUENCE_HEADER_CODE");
    return CONTINUE;
}
