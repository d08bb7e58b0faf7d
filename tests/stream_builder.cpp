#include "stream_builder.hpp"

void BitWriter::put(std::uint64_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
        if (used_ == 0) bytes_.push_back(0);
        if ((value >> i) & 1) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> used_);
        used_ = (used_ + 1) & 7;
    }
}

void BitWriter::align_zero() {
    if (used_ != 0) put(0, 8 - used_);
}

Bytes start_code(std::uint8_t code) { return {0x00, 0x00, 0x01, code}; }

namespace {

BitWriter after_start_code(std::uint8_t code) {
    BitWriter w;
    for (std::uint8_t b : start_code(code)) w.put(b, 8);
    return w;
}

}  // namespace

Bytes sequence_header(const SequenceHeader& h) {
    BitWriter w = after_start_code(0xB3);
    w.put(h.horizontal_size_value, 12);
    w.put(h.vertical_size_value, 12);
    w.put(h.aspect_ratio_information, 4);
    w.put(h.frame_rate_code, 4);
    w.put(h.bit_rate_value, 18);
    w.marker();
    w.put(h.vbv_buffer_size_value, 10);
    w.put(h.constrained_parameters_flag, 1);
    w.put(h.load_intra_quantiser_matrix, 1);
    if (h.load_intra_quantiser_matrix)
        for (std::uint8_t v : h.intra_quantiser_matrix) w.put(v, 8);
    w.put(h.load_non_intra_quantiser_matrix, 1);
    if (h.load_non_intra_quantiser_matrix)
        for (std::uint8_t v : h.non_intra_quantiser_matrix) w.put(v, 8);
    w.align_zero();
    return w.bytes();
}

Bytes sequence_extension(const SequenceExtension& e) {
    BitWriter w = after_start_code(0xB5);
    w.put(1, 4);
    w.put(e.profile_and_level_indication, 8);
    w.put(e.progressive_sequence, 1);
    w.put(e.chroma_format, 2);
    w.put(e.horizontal_size_extension, 2);
    w.put(e.vertical_size_extension, 2);
    w.put(e.bit_rate_extension, 12);
    w.put(e.marker_bit, 1);
    w.put(e.vbv_buffer_size_extension, 8);
    w.put(e.low_delay, 1);
    w.put(e.frame_rate_extension_n, 2);
    w.put(e.frame_rate_extension_d, 5);
    return w.bytes();
}

Bytes sequence_display_extension(const SequenceDisplayExtension& e) {
    BitWriter w = after_start_code(0xB5);
    w.put(2, 4);
    w.put(e.video_format, 3);
    w.put(e.colour_description, 1);
    if (e.colour_description) {
        w.put(e.colour_primaries, 8);
        w.put(e.transfer_characteristics, 8);
        w.put(e.matrix_coefficients, 8);
    }
    w.put(e.display_horizontal_size, 14);
    w.marker();
    w.put(e.display_vertical_size, 14);
    w.align_zero();
    return w.bytes();
}

Bytes group_header(const GroupHeader& g) {
    BitWriter w = after_start_code(0xB8);
    w.put(g.drop_frame_flag, 1);
    w.put(g.time_code_hours, 5);
    w.put(g.time_code_minutes, 6);
    w.marker();
    w.put(g.time_code_seconds, 6);
    w.put(g.time_code_pictures, 6);
    w.put(g.closed_gop, 1);
    w.put(g.broken_link, 1);
    w.align_zero();
    return w.bytes();
}

Bytes picture_header(const PictureHeader& h) {
    BitWriter w = after_start_code(0x00);
    w.put(h.temporal_reference, 10);
    w.put(h.picture_coding_type, 3);
    w.put(h.vbv_delay, 16);
    if (h.picture_coding_type == 2 || h.picture_coding_type == 3) {
        w.put(0, 1);  // full_pel_forward_vector
        w.put(7, 3);  // forward_f_code
    }
    if (h.picture_coding_type == 3) {
        w.put(0, 1);  // full_pel_backward_vector
        w.put(7, 3);  // backward_f_code
    }
    w.put(0, 1);  // extra_bit_picture
    w.align_zero();
    return w.bytes();
}

Bytes picture_coding_extension(const PictureCodingExtension& e) {
    BitWriter w = after_start_code(0xB5);
    w.put(8, 4);
    for (unsigned f : e.f_code) w.put(f, 4);
    w.put(e.intra_dc_precision, 2);
    w.put(e.picture_structure, 2);
    w.put(e.top_field_first, 1);
    w.put(e.frame_pred_frame_dct, 1);
    w.put(e.concealment_motion_vectors, 1);
    w.put(e.q_scale_type, 1);
    w.put(e.intra_vlc_format, 1);
    w.put(e.alternate_scan, 1);
    w.put(e.repeat_first_field, 1);
    w.put(e.chroma_420_type, 1);
    w.put(e.progressive_frame, 1);
    w.put(e.composite_display_flag, 1);
    if (e.composite_display_flag) {
        w.put(e.v_axis, 1);
        w.put(e.field_sequence, 3);
        w.put(e.sub_carrier, 1);
        w.put(e.burst_amplitude, 7);
        w.put(e.sub_carrier_phase, 8);
    }
    w.align_zero();
    return w.bytes();
}

Bytes quant_matrix_extension(bool intra, bool non_intra, bool chroma_intra,
                             bool chroma_non_intra, std::uint8_t fill) {
    BitWriter w = after_start_code(0xB5);
    w.put(3, 4);
    for (bool load : {intra, non_intra, chroma_intra, chroma_non_intra}) {
        w.put(load, 1);
        if (load)
            for (int i = 0; i < 64; ++i) w.put(fill, 8);
    }
    w.align_zero();
    return w.bytes();
}

Bytes picture_display_extension(unsigned offsets) {
    BitWriter w = after_start_code(0xB5);
    w.put(7, 4);
    for (unsigned i = 0; i < offsets; ++i) {
        w.put(0x1234, 16);  // frame_centre_horizontal_offset
        w.marker();
        w.put(0x5678, 16);  // frame_centre_vertical_offset
        w.marker();
    }
    w.align_zero();
    return w.bytes();
}

Bytes copyright_extension() {
    BitWriter w = after_start_code(0xB5);
    w.put(4, 4);
    w.put(1, 1);     // copyright_flag
    w.put(0x2A, 8);  // copyright_identifier
    w.put(1, 1);     // original_or_copy
    w.put(0, 7);     // reserved
    w.marker();
    w.put(0x12345, 20);
    w.marker();
    w.put(0x23456, 22);
    w.marker();
    w.put(0x34567, 22);
    w.align_zero();
    return w.bytes();
}

Bytes bare_extension(unsigned identifier, unsigned length) {
    Bytes b = start_code(0xB5);
    b.push_back(static_cast<std::uint8_t>(identifier << 4));
    b.insert(b.end(), length, 0xFF);
    return b;
}

Bytes user_data(const std::string& text) {
    Bytes b = start_code(0xB2);
    b.insert(b.end(), text.begin(), text.end());
    return b;
}

Bytes sequence_end() { return start_code(0xB7); }

Bytes slice(unsigned length, std::uint8_t vertical_position) {
    Bytes b = start_code(vertical_position);
    b.insert(b.end(), length, 0xA5);
    return b;
}

void append(Bytes& stream, const Bytes& part) {
    stream.insert(stream.end(), part.begin(), part.end());
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) append(out, p);
    return out;
}

Bytes filler(std::size_t length, std::uint8_t value) { return Bytes(length, value); }
