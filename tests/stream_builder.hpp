// Builds elementary-stream bytes from header field values, with a bit writer
// that follows the syntax tables of ISO/IEC 13818-2 field by field, so that
// the tests never spell headers as opaque hex.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class BitWriter {
public:
    void put(std::uint64_t value, unsigned bits);
    void marker() { put(1, 1); }
    void align_zero();  // pads to a byte boundary with zero bits
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
    unsigned used_ = 0;  // bits used in the last byte; 0 when aligned
};

Bytes start_code(std::uint8_t code);

struct SequenceHeader {
    unsigned horizontal_size_value = 720;
    unsigned vertical_size_value = 480;
    unsigned aspect_ratio_information = 2;
    unsigned frame_rate_code = 4;
    std::uint32_t bit_rate_value = 20000;
    unsigned vbv_buffer_size_value = 112;
    unsigned constrained_parameters_flag = 0;
    bool load_intra_quantiser_matrix = false;
    bool load_non_intra_quantiser_matrix = false;
    std::array<std::uint8_t, 64> intra_quantiser_matrix{};
    std::array<std::uint8_t, 64> non_intra_quantiser_matrix{};
};
Bytes sequence_header(const SequenceHeader& h);

struct SequenceExtension {
    unsigned profile_and_level_indication = 0x48;  // MP@ML
    unsigned progressive_sequence = 0;
    unsigned chroma_format = 1;
    unsigned horizontal_size_extension = 0;
    unsigned vertical_size_extension = 0;
    unsigned bit_rate_extension = 0;
    unsigned marker_bit = 1;
    unsigned vbv_buffer_size_extension = 0;
    unsigned low_delay = 0;
    unsigned frame_rate_extension_n = 0;
    unsigned frame_rate_extension_d = 0;
};
Bytes sequence_extension(const SequenceExtension& e);

struct SequenceDisplayExtension {
    unsigned video_format = 2;
    bool colour_description = false;
    unsigned colour_primaries = 6;
    unsigned transfer_characteristics = 6;
    unsigned matrix_coefficients = 6;
    unsigned display_horizontal_size = 720;
    unsigned display_vertical_size = 480;
};
Bytes sequence_display_extension(const SequenceDisplayExtension& e);

struct GroupHeader {
    unsigned drop_frame_flag = 0;
    unsigned time_code_hours = 0;
    unsigned time_code_minutes = 0;
    unsigned time_code_seconds = 0;
    unsigned time_code_pictures = 0;
    unsigned closed_gop = 1;
    unsigned broken_link = 0;
};
Bytes group_header(const GroupHeader& g);

struct PictureHeader {
    unsigned temporal_reference = 0;
    unsigned picture_coding_type = 1;
    unsigned vbv_delay = 0xFFFF;
};
// P and B pictures carry their f-code fields after the leading part.
Bytes picture_header(const PictureHeader& h);

struct PictureCodingExtension {
    std::array<unsigned, 4> f_code = {15, 15, 15, 15};
    unsigned intra_dc_precision = 0;
    unsigned picture_structure = 3;
    unsigned top_field_first = 0;
    unsigned frame_pred_frame_dct = 1;
    unsigned concealment_motion_vectors = 0;
    unsigned q_scale_type = 0;
    unsigned intra_vlc_format = 0;
    unsigned alternate_scan = 0;
    unsigned repeat_first_field = 0;
    unsigned chroma_420_type = 1;
    unsigned progressive_frame = 1;
    unsigned composite_display_flag = 0;
    unsigned v_axis = 0;
    unsigned field_sequence = 0;
    unsigned sub_carrier = 0;
    unsigned burst_amplitude = 0;
    unsigned sub_carrier_phase = 0;
};
Bytes picture_coding_extension(const PictureCodingExtension& e);

// quant_matrix_extension with the given matrices loaded (each filled with
// `fill`).
Bytes quant_matrix_extension(bool intra, bool non_intra, bool chroma_intra,
                             bool chroma_non_intra, std::uint8_t fill = 16);
// picture_display_extension with `offsets` frame-centre offsets.
Bytes picture_display_extension(unsigned offsets);
Bytes copyright_extension();
// An extension with only its identifier set, padded with `length` more bytes.
Bytes bare_extension(unsigned identifier, unsigned length = 6);
Bytes user_data(const std::string& text);
Bytes sequence_end();
// A slice start code followed by `length` bytes that hold no start code.
Bytes slice(unsigned length, std::uint8_t vertical_position = 1);

// Appends parts to a stream.
void append(Bytes& stream, const Bytes& part);
Bytes concat(std::initializer_list<Bytes> parts);
Bytes filler(std::size_t length, std::uint8_t value = 0xFF);
