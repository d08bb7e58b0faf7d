// Every text the summary prints, in one place, in the user's language:
//
//   a.ts: transport stream, 188-byte packets, PID 0x0100
//     0:00:00.000-0:00:10.010 MP@HL 1440x1080 (16:9) 29.97fps/nominal
//     bitrate=...bps/VBV buffer=.../frame type=interlaced/chroma=4:2:0/low
//     delay=no; interlaced; GOP N=15 M=3 closed none; I 21 P 80 B 200 D 0;
//     average 14500000 bit/s
//
// (the segment's line is one line).
#pragma once

#include "text/message.hpp"

namespace summary_msg {

// After the statistics' sequence line, the rest of an MPEG-2 segment's
// parameters, as the report names them (a format, in English).
inline constexpr char mpeg2_parameters[] = "/frame type=%s/chroma=%s/low delay=%s";

// The stream's line: the file, and inside a container the stream.
inline constexpr Message stream_line{"%s: %s\n", "%s: %s\n"};
inline constexpr Message elementary_line{"%s: エレメンタリストリーム\n", "%s: elementary stream\n"};

// A segment: its start and end, its parameters, cadence, GOP length (N),
// anchor distance (M), closure of its GOPs, pictures by type, average rate.
inline constexpr Message segment_line{
    "  %s-%s %s; %s; GOP N=%s M=%s クローズド %s; I %llu P %llu B %llu D %llu; 平均 %s bit/s\n",
    "  %s-%s %s; %s; GOP N=%s M=%s closed %s; I %llu P %llu B %llu D %llu; average %s bit/s\n"};
inline constexpr Message no_segment{"  シーケンスもピクチャもありません\n",
                                    "  no sequence and no picture\n"};
inline constexpr Message no_sequence_header{"シーケンスヘッダなし", "no sequence header"};

// By SegmentCadence.
inline constexpr Message cadence[3] = {
    {"インターレース", "interlaced"},
    {"プログレッシブ", "progressive"},
    {"フィルム (3:2 プルダウン)", "film (3:2 pulldown)"},
};
// By ClosedGops.
inline constexpr Message closed[3] = {
    {"すべて", "all"},
    {"一部", "some"},
    {"なし", "none"},
};

inline constexpr Message out_of_memory{
    "m2vhdr: セグメントを記録するメモリが確保できませんでした\n",
    "m2vhdr: out of memory for the segments\n"};

// Every message above, for the tests.
inline constexpr const Message* all[] = {
    &stream_line, &elementary_line, &segment_line, &no_segment, &no_sequence_header,
    &cadence[0],  &cadence[1],      &cadence[2],   &closed[0],  &closed[1],
    &closed[2],   &out_of_memory,
};

}  // namespace summary_msg
