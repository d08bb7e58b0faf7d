// Decoding video_attr_t and the names of its values.
#include "disc/video_attr.hpp"

VideoAttr video_attr_decode(const std::uint8_t bytes[2]) {
    VideoAttr a;
    a.mpeg_version = (bytes[0] >> 6) & 3u;
    a.video_format = (bytes[0] >> 4) & 3u;
    a.display_aspect_ratio = (bytes[0] >> 2) & 3u;
    a.permitted_df = bytes[0] & 3u;
    a.line21_cc_1 = (bytes[1] & 0x80u) != 0;
    a.line21_cc_2 = (bytes[1] & 0x40u) != 0;
    a.picture_size = (bytes[1] >> 3) & 7u;
    a.letterboxed = (bytes[1] & 0x04u) != 0;
    a.bit_rate = (bytes[1] >> 1) & 1u;
    a.film_mode = (bytes[1] & 0x01u) != 0;
    return a;
}

// mpeg_version
const char* const mpeg_version_names[4] = {"MPEG-1", "MPEG-2", "reserved", "reserved"};
// video_format: the TV system
const char* const video_format_names[4] = {"NTSC", "PAL", "reserved", "reserved"};
// display_aspect_ratio
const char* const display_aspect_ratio_names[4] = {"4:3", "reserved", "reserved", "16:9"};
// permitted_df: which ways of showing a 16:9 picture on a 4:3 screen are allowed
const char* const permitted_df_names[4] = {"pan-scan and letterbox", "pan-scan only",
                                           "letterbox only", "not specified"};
// bit_rate
const char* const bit_rate_names[2] = {"variable", "constant"};
// film_mode
const char* const film_mode_names[2] = {"camera", "film"};

// picture_size by video_format
const PictureSize picture_sizes[2][4] = {
    {{720, 480}, {704, 480}, {352, 480}, {352, 240}},
    {{720, 576}, {704, 576}, {352, 576}, {352, 288}},
};
static const char* const picture_size_names[2][4] = {
    {"720x480", "704x480", "352x480", "352x240"},
    {"720x576", "704x576", "352x576", "352x288"},
};

PictureSize picture_size_of(const VideoAttr& attr) {
    if (attr.video_format > 1 || attr.picture_size > 3) return {0, 0};
    return picture_sizes[attr.video_format][attr.picture_size];
}

const char* picture_size_name(const VideoAttr& attr) {
    if (attr.video_format > 1 || attr.picture_size > 3) return "reserved";
    return picture_size_names[attr.video_format][attr.picture_size];
}
