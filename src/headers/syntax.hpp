// The decoded syntax elements of each header, under the standard's names.
//
// A handler decodes its header into one of these records once; every output
// (the text report, the JSON document, the statistics, the rewrites) reads
// the record instead of the bytes. Values are the coded values, not derived
// ones: bit_rate_value is in units of 400 bit/s and holds only its 18 bits.
#pragma once

#include <cstdint>

namespace syntax {

struct SequenceHeader {
    unsigned horizontal_size_value;
    unsigned vertical_size_value;
    unsigned aspect_ratio_information;
    unsigned frame_rate_code;
    std::uint32_t bit_rate_value;
    unsigned vbv_buffer_size_value;
    unsigned constrained_parameters_flag;
    unsigned load_intra_quantiser_matrix;
    unsigned load_non_intra_quantiser_matrix;
};

struct SequenceExtension {
    unsigned profile_and_level_indication;
    unsigned progressive_sequence;
    unsigned chroma_format;
    unsigned horizontal_size_extension;
    unsigned vertical_size_extension;
    unsigned bit_rate_extension;
    unsigned vbv_buffer_size_extension;
    unsigned low_delay;
    unsigned frame_rate_extension_n;
    unsigned frame_rate_extension_d;
};

struct SequenceDisplayExtension {
    unsigned video_format;
    unsigned colour_description;
    // Present only with colour_description; 0 otherwise.
    unsigned colour_primaries;
    unsigned transfer_characteristics;
    unsigned matrix_coefficients;
    unsigned display_horizontal_size;
    unsigned display_vertical_size;
};

struct QuantMatrixExtension {
    unsigned load_intra_quantiser_matrix;
    unsigned load_non_intra_quantiser_matrix;
    unsigned load_chroma_intra_quantiser_matrix;
    unsigned load_chroma_non_intra_quantiser_matrix;
};

struct CopyrightExtension {
    unsigned copyright_flag;
    unsigned copyright_identifier;
    unsigned original_or_copy;
    std::uint32_t copyright_number_1;  // 20 bits
    std::uint32_t copyright_number_2;  // 22 bits
    std::uint32_t copyright_number_3;  // 22 bits
};

struct PictureDisplayExtension {
    // Worked out from the sequence and the last picture coding extension.
    unsigned number_of_frame_centre_offsets;  // 1 to 3
    int frame_centre_horizontal_offset[3];    // 1/16 sample
    int frame_centre_vertical_offset[3];
};

struct GroupOfPicturesHeader {
    unsigned drop_frame_flag;
    unsigned time_code_hours;
    unsigned time_code_minutes;
    unsigned time_code_seconds;
    unsigned time_code_pictures;
    unsigned closed_gop;
    unsigned broken_link;
};

struct PictureHeader {
    unsigned temporal_reference;
    unsigned picture_coding_type;
    unsigned vbv_delay;
    // P and B pictures (coding types 2 and 3) only; 0 otherwise.
    unsigned full_pel_forward_vector;
    unsigned forward_f_code;
    // B pictures only; 0 otherwise.
    unsigned full_pel_backward_vector;
    unsigned backward_f_code;
};

struct PictureCodingExtension {
    unsigned f_code[2][2];  // [forward, backward][horizontal, vertical]
    unsigned intra_dc_precision;
    unsigned picture_structure;
    unsigned top_field_first;
    unsigned frame_pred_frame_dct;
    unsigned concealment_motion_vectors;
    unsigned q_scale_type;
    unsigned intra_vlc_format;
    unsigned alternate_scan;
    unsigned repeat_first_field;
    unsigned chroma_420_type;
    unsigned progressive_frame;
    unsigned composite_display_flag;
    // Present only with composite_display_flag; 0 otherwise.
    unsigned v_axis;
    unsigned field_sequence;
    unsigned sub_carrier;
    unsigned burst_amplitude;
    unsigned sub_carrier_phase;
};

}  // namespace syntax
