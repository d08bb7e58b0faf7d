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
#include "headers/header_sink.hpp"
#include "headers/headers.hpp"
#include "headers/report_text.hpp"

ParseResult parse_picture_coding_extension(StreamContext& ctx) {
    const std::uint8_t* p = bytes_at_pos(ctx);

    syntax::PictureCodingExtension e{};
    e.f_code[0][0] = p[4] & 0x0Fu;
    e.f_code[0][1] = p[5] >> 4;
    e.f_code[1][0] = p[5] & 0x0Fu;
    e.f_code[1][1] = p[6] >> 4;
    e.intra_dc_precision = (p[6] >> 2) & 3u;
    e.picture_structure = p[6] & 3u;
    e.top_field_first = p[7] >> 7;
    e.frame_pred_frame_dct = (p[7] >> 6) & 1u;
    e.concealment_motion_vectors = (p[7] >> 5) & 1u;
    e.q_scale_type = (p[7] >> 4) & 1u;
    e.intra_vlc_format = (p[7] >> 3) & 1u;
    e.alternate_scan = (p[7] >> 2) & 1u;
    e.repeat_first_field = (p[7] >> 1) & 1u;
    e.chroma_420_type = p[7] & 1u;
    e.progressive_frame = p[8] >> 7;
    e.composite_display_flag = (p[8] >> 6) & 1u;
    if (e.composite_display_flag) {
        e.v_axis = (p[8] >> 5) & 1u;
        e.field_sequence = (p[8] >> 2) & 7u;
        e.sub_carrier = (p[8] >> 1) & 1u;
        e.burst_amplitude = (p[8] & 1u) << 6 | p[9] >> 2;
        e.sub_carrier_phase = (p[9] & 3u) << 6 | p[10] >> 2;
    }
    std::uint32_t length = e.composite_display_flag ? 10 : 8;

    ctx.decoded.picture_structure = static_cast<std::uint8_t>(e.picture_structure);
    ctx.decoded.top_field_first = static_cast<std::uint8_t>(e.top_field_first);
    ctx.decoded.repeat_first_field = static_cast<std::uint8_t>(e.repeat_first_field);

    ParseResult result = CONTINUE;
    if (ctx.sink->picture_coding_extension)
        result = ctx.sink->picture_coding_extension(ctx, ctx.sink_state, e);
    ctx.win.pos += length;
    return result;
}

ParseResult report_picture_coding_extension(StreamContext& ctx, void*,
                                            const syntax::PictureCodingExtension& e) {
    // "    DC precision=%u/picture structure=%s/top field first=%s/DCT type=%s\n"
    // "    MV in intra MB=%s/quant scale type=%u/intra vlc format=%u/scan type=%s\n"
    // "    repeat first field=%s/chroma420 type=%s/progressive frame=%s\n"
    // "    composite display flag=%s\n"
    ReportText block;
    put_header_line(block, ctx, "PICTURE_CODING_EXTENSION");
    put_text(block, "    DC precision=");
    put_decimal(block, e.intra_dc_precision + 8);
    put_text(block, "/picture structure=");
    put_text(block, picture_structure_name(e.picture_structure));
    put_text(block, "/top field first=");
    put_text(block, yes_no(e.top_field_first));
    put_text(block, "/DCT type=");
    put_text(block, e.frame_pred_frame_dct ? "frame" : "field");
    put_text(block, "\n    MV in intra MB=");
    put_text(block, yes_no(e.concealment_motion_vectors));
    put_text(block, "/quant scale type=");
    put_decimal(block, e.q_scale_type);
    put_text(block, "/intra vlc format=");
    put_decimal(block, e.intra_vlc_format);
    put_text(block, "/scan type=");
    put_text(block, e.alternate_scan ? "alternate" : "zigzag");
    put_text(block, "\n    repeat first field=");
    put_text(block, yes_no(e.repeat_first_field));
    put_text(block, "/chroma420 type=");
    put_text(block, yes_no(e.chroma_420_type));
    put_text(block, "/progressive frame=");
    put_text(block, yes_no(e.progressive_frame));
    put_text(block, "\n    composite display flag=");
    put_text(block, yes_no(e.composite_display_flag));
    put_text(block, "\n");
    if (e.composite_display_flag) {
        // "    v_axis=%s/field sequence=%u/sub carrier=%s/burst amp.=%u/sub carrier phase=%u\n"
        put_text(block, "    v_axis=");
        put_text(block, yes_no(e.v_axis));
        put_text(block, "/field sequence=");
        put_decimal(block, e.field_sequence);
        put_text(block, "/sub carrier=");
        put_text(block, yes_no(e.sub_carrier));
        put_text(block, "/burst amp.=");
        put_decimal(block, e.burst_amplitude);
        put_text(block, "/sub carrier phase=");
        put_decimal(block, e.sub_carrier_phase);
        put_text(block, "\n");
    }
    write_report(ctx, block);
    return CONTINUE;
}
