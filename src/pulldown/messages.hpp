// What a pulldown run prints, in one place. A refusal is one line on
// standard error:
//   cannot apply 3:2 pulldown: offset 0x0000302a: REASON; the file is unchanged
// (without "offset ...: " for reasons about the whole file); success is
// one line on standard output:
//   3:2 pulldown applied: 75 pictures, 23.976 -> 29.97 fps, 99 headers changed,
//   duration 0:00:03.128 -> 0:00:03.128
// (one line: the display time before and after, which a break in the
// cadence changes by a field)
#pragma once

namespace pulldown_msg {

inline constexpr const char* verb[2] = {"apply", "remove"};  // by PulldownDirection
inline constexpr const char* done[2] = {"applied", "removed"};
// --dry-run: the lines above list the patches, none is written.
inline constexpr const char* would_be_done[2] = {"would be applied", "would be removed"};

inline constexpr char refusal[] = "cannot %s 3:2 pulldown: %s%s; the file is unchanged\n";
inline constexpr char at_offset[] = "offset 0x%08llx: ";
inline constexpr char summary[] =
    "3:2 pulldown %s: %llu pictures, %s -> %s fps, %llu headers %s, duration %s -> %s\n";
inline constexpr char duration[] = "%llu:%02llu:%02llu.%03llu";  // h:mm:ss.mmm

// frame_rate_code 0 to 15.
inline constexpr const char* rate_names[16] = {
    "forbidden", "23.976", "24", "25", "29.97", "30", "50", "59.94", "60",
    "reserved", "reserved", "reserved", "reserved", "reserved", "reserved", "reserved",
};

inline constexpr char field_picture[] = "field picture (picture_structure %u)";
inline constexpr char interlaced_picture[] = "interlaced picture (progressive_frame 0)";
inline constexpr char wrong_rate[2][80] = {
    "frame rate %s fps (3:2 pulldown applies to 23.976 or 24 fps)",
    "frame rate %s fps (3:2 pulldown is removed from 29.97 or 30 fps)",
};
inline constexpr char rate_extension[] = "frame rate extension %u/%u";
inline constexpr char rates_disagree[] = "sequence at %s fps after one at %s fps";
inline constexpr char no_coding_extension[] = "picture without a picture coding extension (MPEG-1)";
inline constexpr char extension_outside_picture[] = "picture coding extension outside a picture";
inline constexpr char picture_before_sequence[] = "picture before the first sequence header";
inline constexpr char group_before_sequence[] = "group of pictures before the first sequence header";
inline constexpr char repeated_reference[] = "temporal_reference %u twice in one group of pictures";
inline constexpr char incomplete_group[] =
    "group of pictures whose temporal_reference values do not run from 0 to %llu";
inline constexpr char repeat_out_of_cadence[] = "repeat_first_field set outside the 3:2 cadence";
inline constexpr char not_film[2][96] = {
    "picture without the 3:2 cadence in a stream flagged %s fps (not 23.976 or 24 fps film)",
    "picture without the 3:2 cadence in a stream flagged %s fps (no pulldown to remove)",
};
inline constexpr char not_film_share[] =
    "%llu of %llu pictures repeat a field in a stream flagged %s fps (film has 40 %% to 60 %%; no "
    "pulldown to remove)";
inline constexpr char progressive_video[2][96] = {
    "progressive_sequence 1 in a stream flagged %s fps (not 23.976 or 24 fps film)",
    "progressive_sequence 1 in a stream flagged %s fps (no pulldown to remove)",
};
inline constexpr char time_code_missing[] =
    "first time code %02u:%02u:%02u:%02u, which %s counting does not have";
// By TimeCodeCounting.
inline constexpr const char* counting_names[3] = {"24-frame", "30-frame", "drop-frame"};
inline constexpr char no_picture[] = "no picture in the file";
inline constexpr char picture_display_extension[] =
    "picture display extension (its length follows the flags that would change)";

}  // namespace pulldown_msg
