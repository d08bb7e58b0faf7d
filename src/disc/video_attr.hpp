// The video attributes of a DVD-Video stream (video_attr_t), as the IFO
// tables state them, decoded into their fields, and the names of their
// values.
//
// Two bytes, most significant bit first:
//   byte 0: mpeg_version(2) video_format(2) display_aspect_ratio(2) permitted_df(2)
//   byte 1: line21_cc_1(1) line21_cc_2(1) picture_size(3) letterboxed(1)
//           bit_rate(1) film_mode(1)
// picture_size is three bits, as authoring tools write it (dvdauthor: 0 to
// 3 for 720, 704, 352 and 352 x half height) and readers such as MediaInfo
// read it; libdvdread's ifo_types.h lays out two bits one place lower
// (unknown1, bit_rate, picture_size(2), letterboxed), which reads every
// size but the full one wrongly (lsdvd shows 704x480 as 352x480).
#pragma once

#include <cstdint>

struct VideoAttr {
    unsigned mpeg_version = 0;          // 0: MPEG-1, 1: MPEG-2
    unsigned video_format = 0;          // 0: NTSC (525/60), 1: PAL (625/50)
    unsigned display_aspect_ratio = 0;  // 0: 4:3, 3: 16:9
    unsigned permitted_df = 0;          // display modes a player may use
    bool line21_cc_1 = false;           // closed captions in field 1 (NTSC)
    bool line21_cc_2 = false;           // closed captions in field 2 (NTSC)
    unsigned picture_size = 0;          // index into the sizes of video_format (4-7 reserved)
    bool letterboxed = false;           // 4:3 picture letterboxed from 16:9
    unsigned bit_rate = 0;              // 0: variable, 1: constant
    bool film_mode = false;             // 625/50 only: camera (0) or film (1)
};

VideoAttr video_attr_decode(const std::uint8_t bytes[2]);

// The display_aspect_ratio codes a DVD uses.
inline constexpr unsigned DISPLAY_ASPECT_4_3 = 0;
inline constexpr unsigned DISPLAY_ASPECT_16_9 = 3;

// Names of the coded values, indexed by them.
extern const char* const mpeg_version_names[4];
extern const char* const video_format_names[4];
extern const char* const display_aspect_ratio_names[4];
extern const char* const permitted_df_names[4];
extern const char* const bit_rate_names[2];
extern const char* const film_mode_names[2];

// horizontal x vertical picture size of `picture_size` for `video_format`
// (NTSC and PAL; 0 x 0 for a reserved TV system or size).
struct PictureSize {
    unsigned horizontal_size;
    unsigned vertical_size;
};
extern const PictureSize picture_sizes[2][4];  // picture_size 0 to 3
PictureSize picture_size_of(const VideoAttr& attr);
// Its name ("720x480"), "reserved" for a reserved TV system or size.
const char* picture_size_name(const VideoAttr& attr);
