// Every text the statistics and the automatic rate print, in one place: the
// summary of --stats, a format that stays English, and the messages.
#pragma once

#include "text/message.hpp"

namespace stats_msg {

// The summary of --stats, one line per figure (a format, in English).
inline constexpr char first_sequence[] = "first sequence:     %s\n";
inline constexpr char no_sequence[] = "first sequence:     none\n";
inline constexpr char duration[] = "duration:           %s\n";
inline constexpr char sequences[] = "sequences:          %llu\n";
inline constexpr char gops[] = "GOPs:               %llu\n";
inline constexpr char gops_detail[] =
    "GOPs:               %llu, %s to %s frames (field pictures count as half), %llu closed\n";
inline constexpr char pictures[] = "pictures:           %llu: I %llu, P %llu, B %llu, D %llu\n";
inline constexpr char field_pictures[] = "field pictures:     %llu\n";
inline constexpr char repeat_first_field[] = "repeat_first_field: %llu\n";
inline constexpr char repeat_pulldown[] = "repeat_first_field: %llu (3:2 pulldown)\n";
inline constexpr char repeat_pulldown_breaks[] =
    "repeat_first_field: %llu (3:2 pulldown, %llu breaks in the pattern)\n";
inline constexpr char average_rate[] = "average bit rate:   %llu bit/s\n";
inline constexpr char peak_second[] = "peak bit rate:      %llu bit/s in the second from %s\n";
// A stream shorter than a second: its one window, named with its length.
inline constexpr char peak_short[] =
    "peak bit rate:      %llu bit/s over the whole stream, %s (shorter than a second)\n";
inline constexpr char peak_gop[] = "peak GOP bit rate:  %llu bit/s\n";
inline constexpr char no_gop_rate[] = "peak GOP bit rate:  none (no GOP)\n";
inline constexpr char nominal_rate[] = "nominal bit rate:   %llu bit/s\n";
inline constexpr char vbv_size[] = "VBV buffer size:    %llu bits\n";
inline constexpr char start_delay[] = "VBV start-up delay: %s at the nominal rate\n";
inline constexpr char no_underflow[] = "VBV underflows:     0 at the nominal rate\n";
inline constexpr char underflows[] =
    "VBV underflows:     %llu at the nominal rate, the first at %08llx (%s)\n";
inline constexpr char lowest_rate[] = "lowest safe rate:   %llu bit/s\n";
inline constexpr char no_rate_picture[] =
    "lowest safe rate:   none: a picture is larger than the VBV buffer\n";
inline constexpr char no_rate[] = "lowest safe rate:   none up to 429496729200 bit/s\n";
inline constexpr char no_pictures[] = "lowest safe rate:   none: no pictures\n";

// The messages of `m2vhdr FILE auto` and of the failures, in the user's
// language.
inline constexpr Message auto_rate{
    "VBV がアンダーフローしない最低の公称ビットレート: %llu bit/s\n",
    "lowest safe nominal bit rate: %llu bit/s\n"};
inline constexpr Message auto_no_rate_picture{
    "m2vhdr: VBV のアンダーフローを避けられる公称ビットレートはありません: VBV バッファより大きい"
    "ピクチャがあります。ファイルは変更していません\n",
    "m2vhdr: no nominal bit rate avoids a VBV underflow: a picture is larger than the VBV "
    "buffer; the file is left as it was\n"};
inline constexpr Message auto_no_rate{
    "m2vhdr: 429496729200 bit/s までに VBV のアンダーフローを避けられる公称ビットレートはありません。"
    "ファイルは変更していません\n",
    "m2vhdr: no nominal bit rate up to 429496729200 bit/s avoids a VBV underflow; the file is "
    "left as it was\n"};
inline constexpr Message auto_no_pictures{
    "m2vhdr: 測定するピクチャがファイルにありません。ファイルは変更していません\n",
    "m2vhdr: the file holds no pictures to measure; the file is left as it was\n"};
inline constexpr Message auto_too_high{
    "m2vhdr: 安全な最低の公称ビットレート %llu bit/s は、書き換えで設定できる最大の 4294967295 "
    "bit/s を超えています。ファイルは変更していません\n",
    "m2vhdr: the lowest safe nominal bit rate, %llu bit/s, is above 4294967295 bit/s, the "
    "largest rate a rewrite takes; the file is left as it was\n"};

inline constexpr Message out_of_memory{
    "m2vhdr: ピクチャのサイズを記録するメモリが確保できませんでした\n",
    "m2vhdr: out of memory for the picture sizes\n"};
inline constexpr Message plot_failed{
    "m2vhdr: グラフを '%s' に書き込めません: %s\n",
    "m2vhdr: cannot write the plot to '%s': %s\n"};
// The reason of plot_failed when the plot would be written over the stream.
inline constexpr Message plot_is_stream{"読み取るストリームそのものです",
                                        "it is the stream being read"};

// Every message above, for the tests.
inline constexpr const Message* all[] = {
    &auto_rate,    &auto_no_rate_picture, &auto_no_rate, &auto_no_pictures,
    &auto_too_high, &out_of_memory,       &plot_failed, &plot_is_stream,
};

}  // namespace stats_msg
