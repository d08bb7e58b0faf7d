// One entry of the "headers" array per decoded header: its offset, its name
// as the text report gives it, and its syntax elements under their own
// names. Elements a header holds only under a flag or a picture type appear
// only then.
#include "json/json_report.hpp"
#include "scan/start_codes.hpp"

namespace {

JsonWriter& begin_entry(StreamContext& ctx, const char* name) {
    JsonWriter& w = ctx.json->writer;
    json_begin_object(w);
    json_member_uint(w, "offset", file_offset_of(ctx, offset_of(ctx)));
    json_member_string(w, "name", name);
    return w;
}

ParseResult end_entry(JsonWriter& w) {
    json_end_object(w);
    return CONTINUE;
}

// True when a sequence extension follows the sequence header at `pos`,
// whose last byte is `length` - 1 bytes on: after zero stuffing, the next
// start code is 00 00 01 B5 with identifier 1. When the stuffing runs to the
// end of the bytes held, the last sequence decides.
bool sequence_extension_follows(const StreamContext& ctx, std::uint32_t length) {
    std::uint32_t after = ctx.win.pos + length;
    std::uint32_t at = after;
    while (at < ctx.win.held && ctx.win.bytes[at] == 0) ++at;
    if (at + 3 > ctx.win.held) return ctx.decoded.sequence_extension_seen;
    return at >= after + 2 && ctx.win.bytes[at] == 1 && ctx.win.bytes[at + 1] == 0xB5 &&
           ctx.win.bytes[at + 2] >> 4 == SEQUENCE_EXTENSION_ID;
}

ParseResult sequence_header(StreamContext& ctx, void*, const syntax::SequenceHeader& h) {
    JsonWriter& w = begin_entry(ctx, "SEQUENCE_HEADER_CODE");
    json_member_uint(w, "horizontal_size_value", h.horizontal_size_value);
    json_member_uint(w, "vertical_size_value", h.vertical_size_value);
    json_member_uint(w, "aspect_ratio_information", h.aspect_ratio_information);
    json_member_uint(w, "frame_rate_code", h.frame_rate_code);
    json_member_uint(w, "bit_rate_value", h.bit_rate_value);
    json_member_uint(w, "vbv_buffer_size_value", h.vbv_buffer_size_value);
    json_member_uint(w, "constrained_parameters_flag", h.constrained_parameters_flag);
    json_member_uint(w, "load_intra_quantiser_matrix", h.load_intra_quantiser_matrix);
    json_member_uint(w, "load_non_intra_quantiser_matrix", h.load_non_intra_quantiser_matrix);
    std::uint32_t length =
        12 + 64 * (h.load_intra_quantiser_matrix + h.load_non_intra_quantiser_matrix);
    // MPEG-1: no extension completes the sequence, so its values go here.
    if (!sequence_extension_follows(ctx, length)) json_sequence_values(w, ctx, false, 0);
    return end_entry(w);
}

ParseResult sequence_extension(StreamContext& ctx, void*, const syntax::SequenceExtension& e) {
    JsonWriter& w = begin_entry(ctx, "SEQUENCE_EXTENSION");
    json_member_uint(w, "profile_and_level_indication", e.profile_and_level_indication);
    json_member_uint(w, "progressive_sequence", e.progressive_sequence);
    json_member_uint(w, "chroma_format", e.chroma_format);
    json_member_uint(w, "horizontal_size_extension", e.horizontal_size_extension);
    json_member_uint(w, "vertical_size_extension", e.vertical_size_extension);
    json_member_uint(w, "bit_rate_extension", e.bit_rate_extension);
    json_member_uint(w, "vbv_buffer_size_extension", e.vbv_buffer_size_extension);
    json_member_uint(w, "low_delay", e.low_delay);
    json_member_uint(w, "frame_rate_extension_n", e.frame_rate_extension_n);
    json_member_uint(w, "frame_rate_extension_d", e.frame_rate_extension_d);
    json_sequence_values(w, ctx, true, e.profile_and_level_indication);
    return end_entry(w);
}

ParseResult sequence_display_extension(StreamContext& ctx, void*,
                                       const syntax::SequenceDisplayExtension& e) {
    JsonWriter& w = begin_entry(ctx, "SEQUENCE_DISPLAY_EXTENSION");
    json_member_uint(w, "video_format", e.video_format);
    json_member_uint(w, "colour_description", e.colour_description);
    if (e.colour_description) {
        json_member_uint(w, "colour_primaries", e.colour_primaries);
        json_member_uint(w, "transfer_characteristics", e.transfer_characteristics);
        json_member_uint(w, "matrix_coefficients", e.matrix_coefficients);
    }
    json_member_uint(w, "display_horizontal_size", e.display_horizontal_size);
    json_member_uint(w, "display_vertical_size", e.display_vertical_size);
    return end_entry(w);
}

ParseResult quant_matrix_extension(StreamContext& ctx, void*,
                                   const syntax::QuantMatrixExtension& e) {
    JsonWriter& w = begin_entry(ctx, "QUANT_MATRIX_EXTENSION");
    json_member_uint(w, "load_intra_quantiser_matrix", e.load_intra_quantiser_matrix);
    json_member_uint(w, "load_non_intra_quantiser_matrix", e.load_non_intra_quantiser_matrix);
    json_member_uint(w, "load_chroma_intra_quantiser_matrix",
                     e.load_chroma_intra_quantiser_matrix);
    json_member_uint(w, "load_chroma_non_intra_quantiser_matrix",
                     e.load_chroma_non_intra_quantiser_matrix);
    return end_entry(w);
}

ParseResult copyright_extension(StreamContext& ctx, void*, const syntax::CopyrightExtension& e) {
    JsonWriter& w = begin_entry(ctx, "COPYRIGHT_EXTENSION");
    json_member_uint(w, "copyright_flag", e.copyright_flag);
    json_member_uint(w, "copyright_identifier", e.copyright_identifier);
    json_member_uint(w, "original_or_copy", e.original_or_copy);
    json_member_uint(w, "copyright_number_1", e.copyright_number_1);
    json_member_uint(w, "copyright_number_2", e.copyright_number_2);
    json_member_uint(w, "copyright_number_3", e.copyright_number_3);
    return end_entry(w);
}

ParseResult picture_display_extension(StreamContext& ctx, void*,
                                      const syntax::PictureDisplayExtension& e) {
    JsonWriter& w = begin_entry(ctx, "PICTURE_DISPLAY_EXTENSION");
    json_key(w, "frame_centre_horizontal_offset");
    json_begin_array(w);
    for (unsigned i = 0; i < e.number_of_frame_centre_offsets; ++i)
        json_int(w, e.frame_centre_horizontal_offset[i]);
    json_end_array(w);
    json_key(w, "frame_centre_vertical_offset");
    json_begin_array(w);
    for (unsigned i = 0; i < e.number_of_frame_centre_offsets; ++i)
        json_int(w, e.frame_centre_vertical_offset[i]);
    json_end_array(w);
    return end_entry(w);
}

ParseResult group_of_pictures_header(StreamContext& ctx, void*,
                                     const syntax::GroupOfPicturesHeader& g) {
    JsonWriter& w = begin_entry(ctx, "GROUP_START_CODE");
    json_member_uint(w, "drop_frame_flag", g.drop_frame_flag);
    json_member_uint(w, "time_code_hours", g.time_code_hours);
    json_member_uint(w, "time_code_minutes", g.time_code_minutes);
    json_member_uint(w, "time_code_seconds", g.time_code_seconds);
    json_member_uint(w, "time_code_pictures", g.time_code_pictures);
    json_member_uint(w, "closed_gop", g.closed_gop);
    json_member_uint(w, "broken_link", g.broken_link);
    return end_entry(w);
}

ParseResult picture_header(StreamContext& ctx, void*, const syntax::PictureHeader& h) {
    JsonWriter& w = begin_entry(ctx, "PICTURE_START_CODE");
    json_member_uint(w, "temporal_reference", h.temporal_reference);
    json_member_uint(w, "picture_coding_type", h.picture_coding_type);
    json_member_uint(w, "vbv_delay", h.vbv_delay);
    if (h.picture_coding_type == 2 || h.picture_coding_type == 3) {
        json_member_uint(w, "full_pel_forward_vector", h.full_pel_forward_vector);
        json_member_uint(w, "forward_f_code", h.forward_f_code);
    }
    if (h.picture_coding_type == 3) {
        json_member_uint(w, "full_pel_backward_vector", h.full_pel_backward_vector);
        json_member_uint(w, "backward_f_code", h.backward_f_code);
    }
    return end_entry(w);
}

ParseResult picture_coding_extension(StreamContext& ctx, void*,
                                     const syntax::PictureCodingExtension& e) {
    JsonWriter& w = begin_entry(ctx, "PICTURE_CODING_EXTENSION");
    json_key(w, "f_code");
    json_begin_array(w);
    for (const auto& pair : e.f_code) {
        json_begin_array(w);
        json_uint(w, pair[0]);
        json_uint(w, pair[1]);
        json_end_array(w);
    }
    json_end_array(w);
    json_member_uint(w, "intra_dc_precision", e.intra_dc_precision);
    json_member_uint(w, "picture_structure", e.picture_structure);
    json_member_uint(w, "top_field_first", e.top_field_first);
    json_member_uint(w, "frame_pred_frame_dct", e.frame_pred_frame_dct);
    json_member_uint(w, "concealment_motion_vectors", e.concealment_motion_vectors);
    json_member_uint(w, "q_scale_type", e.q_scale_type);
    json_member_uint(w, "intra_vlc_format", e.intra_vlc_format);
    json_member_uint(w, "alternate_scan", e.alternate_scan);
    json_member_uint(w, "repeat_first_field", e.repeat_first_field);
    json_member_uint(w, "chroma_420_type", e.chroma_420_type);
    json_member_uint(w, "progressive_frame", e.progressive_frame);
    json_member_uint(w, "composite_display_flag", e.composite_display_flag);
    if (e.composite_display_flag) {
        json_member_uint(w, "v_axis", e.v_axis);
        json_member_uint(w, "field_sequence", e.field_sequence);
        json_member_uint(w, "sub_carrier", e.sub_carrier);
        json_member_uint(w, "burst_amplitude", e.burst_amplitude);
        json_member_uint(w, "sub_carrier_phase", e.sub_carrier_phase);
    }
    return end_entry(w);
}

ParseResult bare_start_code(StreamContext& ctx, void*, std::uint32_t start_code) {
    return end_entry(begin_entry(
        ctx, start_code == USER_DATA_START_CODE ? "USER_DATA_START_CODE" : "SEQUENCE_END_CODE"));
}

}  // namespace

// The layer warnings are kept by the document's own sink, chained before
// this one (run_plan).
const HeaderSink json_report_sink = {
    sequence_header,
    sequence_extension,
    sequence_display_extension,
    quant_matrix_extension,
    copyright_extension,
    picture_display_extension,
    group_of_pictures_header,
    picture_header,
    picture_coding_extension,
    bare_start_code,
    print_layer_warning,
};
