// What a pulldown run prints, in one place. A refusal is one line on
// standard error:
//   cannot apply 3:2 pulldown: offset 0x0000302a: REASON; the file is unchanged
// (without "offset ...: " for reasons about the whole file); success is
// one line on standard output:
//   3:2 pulldown applied: 75 pictures, 23.976 -> 29.97 fps, 99 headers changed,
//   duration 0:00:03.128 -> 0:00:03.128
// (one line: the display time before and after, which a break in the
// cadence changes by a field)
// Both are messages, in the user's language; the reasons are put into the
// refusal in the same language and encoding (message_format).
#pragma once

#include "text/message.hpp"

namespace pulldown_msg {

// By PulldownDirection.
inline constexpr Message refusal[2] = {
    {"3:2 プルダウンを適用できません: %s%s。ファイルは変更していません\n",
     "cannot apply 3:2 pulldown: %s%s; the file is unchanged\n"},
    {"3:2 プルダウンを解除できません: %s%s。ファイルは変更していません\n",
     "cannot remove 3:2 pulldown: %s%s; the file is unchanged\n"},
};
inline constexpr Message at_offset{"オフセット 0x%08llx: ", "offset 0x%08llx: "};

// By PulldownDirection, then done (0) or --dry-run (1: the lines above list
// the patches, none is written). The pictures, the rate before and after,
// the headers, the duration before and after (`duration`).
inline constexpr Message summary[2][2] = {
    {
        {"3:2 プルダウンを適用しました: %llu ピクチャ、%s -> %s fps、%llu 個のヘッダを変更、"
         "再生時間 %s -> %s\n",
         "3:2 pulldown applied: %llu pictures, %s -> %s fps, %llu headers changed, "
         "duration %s -> %s\n"},
        {"3:2 プルダウンを適用します (--dry-run): %llu ピクチャ、%s -> %s fps、%llu 個のヘッダを変更、"
         "再生時間 %s -> %s\n",
         "3:2 pulldown would be applied: %llu pictures, %s -> %s fps, %llu headers to change, "
         "duration %s -> %s\n"},
    },
    {
        {"3:2 プルダウンを解除しました: %llu ピクチャ、%s -> %s fps、%llu 個のヘッダを変更、"
         "再生時間 %s -> %s\n",
         "3:2 pulldown removed: %llu pictures, %s -> %s fps, %llu headers changed, "
         "duration %s -> %s\n"},
        {"3:2 プルダウンを解除します (--dry-run): %llu ピクチャ、%s -> %s fps、%llu 個のヘッダを変更、"
         "再生時間 %s -> %s\n",
         "3:2 pulldown would be removed: %llu pictures, %s -> %s fps, %llu headers to change, "
         "duration %s -> %s\n"},
    },
};

inline constexpr char duration[] = "%llu:%02llu:%02llu.%03llu";  // h:mm:ss.mmm


// The reasons.
inline constexpr Message field_picture{"フィールドピクチャ (picture_structure %u)",
                                       "field picture (picture_structure %u)"};
inline constexpr Message interlaced_picture{"インターレースのピクチャ (progressive_frame 0)",
                                            "interlaced picture (progressive_frame 0)"};
inline constexpr Message wrong_rate[2] = {
    {"フレームレート %s fps (3:2 プルダウンを適用できるのは 23.976 か 24 fps)",
     "frame rate %s fps (3:2 pulldown applies to 23.976 or 24 fps)"},
    {"フレームレート %s fps (3:2 プルダウンを解除できるのは 29.97 か 30 fps)",
     "frame rate %s fps (3:2 pulldown is removed from 29.97 or 30 fps)"},
};
inline constexpr Message rate_extension{"フレームレート拡張 %u/%u", "frame rate extension %u/%u"};
inline constexpr Message rates_disagree{"%s fps のシーケンスが %s fps のシーケンスの後にあります",
                                        "sequence at %s fps after one at %s fps"};
inline constexpr Message no_coding_extension{"ピクチャ符号化拡張のないピクチャ (MPEG-1)",
                                             "picture without a picture coding extension (MPEG-1)"};
inline constexpr Message extension_outside_picture{"ピクチャの外のピクチャ符号化拡張",
                                                   "picture coding extension outside a picture"};
inline constexpr Message picture_before_sequence{"最初のシーケンスヘッダより前のピクチャ",
                                                 "picture before the first sequence header"};
inline constexpr Message group_before_sequence{
    "最初のシーケンスヘッダより前の GOP", "group of pictures before the first sequence header"};
inline constexpr Message repeated_reference{"1 つの GOP に temporal_reference %u が 2 回",
                                            "temporal_reference %u twice in one group of pictures"};
inline constexpr Message incomplete_group{
    "temporal_reference が 0 から %llu までそろっていない GOP",
    "group of pictures whose temporal_reference values do not run from 0 to %llu"};
inline constexpr Message repeat_out_of_cadence{"3:2 のパターンから外れた repeat_first_field",
                                               "repeat_first_field set outside the 3:2 cadence"};
inline constexpr Message not_film[2] = {
    {"%s fps と示すストリームに 3:2 のパターンのないピクチャ (23.976 か 24 fps のフィルムではありません)",
     "picture without the 3:2 cadence in a stream flagged %s fps (not 23.976 or 24 fps film)"},
    {"%s fps と示すストリームに 3:2 のパターンのないピクチャ (解除するプルダウンがありません)",
     "picture without the 3:2 cadence in a stream flagged %s fps (no pulldown to remove)"},
};
inline constexpr Message not_film_share{
    "%llu/%llu 個のピクチャがフィールドを繰り返す %s fps と示すストリーム (フィルムは 40 %% から "
    "60 %%。解除するプルダウンがありません)",
    "%llu of %llu pictures repeat a field in a stream flagged %s fps (film has 40 %% to 60 %%; no "
    "pulldown to remove)"};
inline constexpr Message progressive_video[2] = {
    {"%s fps と示すストリームに progressive_sequence 1 (23.976 か 24 fps のフィルムではありません)",
     "progressive_sequence 1 in a stream flagged %s fps (not 23.976 or 24 fps film)"},
    {"%s fps と示すストリームに progressive_sequence 1 (解除するプルダウンがありません)",
     "progressive_sequence 1 in a stream flagged %s fps (no pulldown to remove)"},
};
inline constexpr Message time_code_missing{
    "最初のタイムコード %02u:%02u:%02u:%02u は %s の数え方にありません",
    "first time code %02u:%02u:%02u:%02u, which %s counting does not have"};
// By TimeCodeCounting.
inline constexpr Message counting_names[3] = {
    {"24 フレーム", "24-frame"}, {"30 フレーム", "30-frame"}, {"ドロップフレーム", "drop-frame"}};
inline constexpr Message no_picture{"ファイルにピクチャがありません", "no picture in the file"};
inline constexpr Message picture_display_extension{
    "ピクチャ表示拡張 (その長さは変わるフラグで決まります)",
    "picture display extension (its length follows the flags that would change)"};

// Every message above, for the tests.
inline constexpr const Message* all[] = {
    &refusal[0],        &refusal[1],          &at_offset,
    &summary[0][0],     &summary[0][1],       &summary[1][0],
    &summary[1][1],     &field_picture,       &interlaced_picture,
    &wrong_rate[0],     &wrong_rate[1],       &rate_extension,
    &rates_disagree,    &no_coding_extension, &extension_outside_picture,
    &picture_before_sequence,                 &group_before_sequence,
    &repeated_reference, &incomplete_group,   &repeat_out_of_cadence,
    &not_film[0],       &not_film[1],         &not_film_share,
    &progressive_video[0],
    &progressive_video[1], &time_code_missing, &counting_names[0],
    &counting_names[1], &counting_names[2],   &no_picture,
    &picture_display_extension,
};

}  // namespace pulldown_msg
