// picture_coding_extension (00 00 01 B5, identifier 8)
//
//   byte 4..6  identifier (4) | f_code[0][0] f_code[0][1] f_code[1][0]
//              f_code[1][1] (4 each) | intra_dc_precision (2) |
//              picture_structure (2)
//   byte 7     top_field_first | frame_pred_frame_dct |
//              concealment_motion_vectors | q_scale_type | intra_vlc_format |
//              alternate_scan | repeat_first_field | chroma_420_type
//   byte 8     progressive_frame | composite_display_flag | v_axis |
//              field_sequence (3) | sub_carrier | burst_amplitude bit 6
//   byte 9..10 burst_amplitude 5..0 | sub_carrier_phase (8)
//              (v_axis and after only with composite_display_flag)
//
// The field flags are kept in both modes: they size picture display
// extensions.
#include "headers/headers.hpp"

ParseResult parse_picture_coding_extension(StreamContext& ctx) {
    const std::uint8_t* p = ctx.window + ctx.pos;

    unsigned intra_dc_precision = (p[6] >> 2) & 3;
    ctx.picture_structure = p[6] & 3;
    ctx.top_field_first = p[7] >> 7;
    unsigned frame_pred_frame_dct = (p[7] >> 6) & 1;
    unsigned concealment_motion_vectors = (p[7] >> 5) & 1;
    unsigned q_scale_type = (p[7] >> 4) & 1;
    unsigned intra_vlc_format = (p[7] >> 3) & 1;
    unsigned alternate_scan = (p[7] >> 2) & 1;
    ctx.repeat_first_field = (p[7] >> 1) & 1;
    unsigned chroma_420_type = p[7] & 1;
    unsigned progressive_frame = p[8] >> 7;
    unsigned composite_display_flag = (p[8] >> 6) & 1;
    std::uint32_t e = composite_display_flag ? 2 : 0;

    if (ctx.mode == Mode::REPORT) {
        print_header_line(ctx, "PICTURE_CODING_EXTENSION");
        std::fprintf(
            ctx.out,
            "    DC precision=%u/picture structure=%s/top field first=%s/DCT type=%s\n"
            "    MV in intra MB=%s/quant scale type=%u/intra vlc format=%u/scan type=%s\n"
            "    repeat first field=%s/chroma420 type=%s/progressive frame=%s\n"
            "    composite display flag=%s\n",
            intra_dc_precision + 8, picture_structure_name(ctx.picture_structure),
            yes_no(ctx.top_field_first), frame_pred_frame_dct ? "frame" : "field",
            yes_no(concealment_motion_vectors), q_scale_type, intra_vlc_format,
            alternate_scan ? "alternate" : "zigzag", yes_no(ctx.repeat_first_field),
            yes_no(chroma_420_type), yes_no(progressive_frame),
            yes_no(composite_display_flag));
        if (composite_display_flag) {
            unsigned v_axis = (p[8] >> 5) & 1;
            unsigned field_sequence = (p[8] >> 2) & 7;
            unsigned sub_carrier = (p[8] >> 1) & 1;
            unsigned burst_amplitude = (p[8] & 1u) << 6 | p[9] >> 2;
            unsigned sub_carrier_phase = (p[9] & 3u) << 6 | p[10] >> 2;
            std::fprintf(ctx.out,
                         "    v_axis=%s/field sequence=%u/sub carrier=%s/"
                         "burst amp.=%u/sub carrier phase=%u\n",
                         yes_no(v_axis), field_sequence, yes_no(sub_carrier),
                         burst_amplitude, sub_carrier_phase);
        }
    }
    ctx.pos += 8 + e;
    return CONTINUE;
}
