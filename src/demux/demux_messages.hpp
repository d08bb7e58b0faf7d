// The demultiplexer's lines before the report (a format, in English) and its
// messages, in the user's language (text/message.hpp).
#pragma once

#include "text/message.hpp"

namespace demux_msg {

// The line before the report: what was read, as named by the stream's name.
inline constexpr char stream_line[] = "stream: %s\n";
inline constexpr char transport_name[] = "transport stream, %u-byte packets, PID 0x%04x";
inline constexpr char program_name[] = "program stream (%s), stream_id 0x%02x";
// A report line, in order among the headers: from the file offset of the
// PMT that says so, the video is read from another PID.
inline constexpr char change_line[] =
    "%08llx: video continues on PID 0x%04x (program %u, PMT version %u)\n";

// Warnings on standard error, with the file offset.
inline constexpr Message continuity_gap{
    "m2vhdr: 警告: PID 0x%04x の連続性カウンタが %08llx で飛んでいます: 映像のバイトが失われています\n",
    "m2vhdr: warning: continuity counter gap on PID 0x%04x at %08llx: bytes of the video are lost\n"};
inline constexpr Message pes_cut_short{
    "m2vhdr: 警告: %08llx の PES パケットが途中で切れています\n",
    "m2vhdr: warning: PES packet cut short at %08llx\n"};
inline constexpr Message sync_lost{
    "m2vhdr: 警告: %08llx にパケットもパックヘッダもありません\n",
    "m2vhdr: warning: no packet or pack header at %08llx\n"};
inline constexpr Message section_crc{
    "m2vhdr: 警告: PID 0x%04x の %08llx のセクションは CRC_32 が合わないため無視します\n",
    "m2vhdr: warning: table section on PID 0x%04x at %08llx has a wrong CRC_32 and is ignored\n"};
// A read-only run reads on past scrambled packets of the stream.
inline constexpr Message scrambled_stretch{
    "m2vhdr: 警告: %08llx から %llu バイトの映像はスクランブルされているため読めません\n",
    "m2vhdr: warning: the video is scrambled from %08llx for %llu bytes and is not read\n"};
inline constexpr Message packet_cut_short{
    "m2vhdr: 警告: %08llx の最後のパケットが途中で切れています (%u / %u バイト)\n",
    "m2vhdr: warning: the last packet, at %08llx, is cut short (%u of %u bytes)\n"};

// Refusals, exit status 1.
inline constexpr Message scrambled{
    "m2vhdr: 映像ストリームはスクランブルされています (%08llx のパケット)。ファイルは変更していません\n",
    "m2vhdr: the video stream is scrambled (packet at %08llx); the file is not changed\n"};
inline constexpr Message packet_size{
    "m2vhdr: %u バイトのパケットのトランスポートストリームには対応していません\n",
    "m2vhdr: transport streams of %u-byte packets are not supported\n"};
inline constexpr Message neither{
    "m2vhdr: ファイルはプログラムストリームでもトランスポートストリームでも映像エレメンタリ"
    "ストリームでもありません\n",
    "m2vhdr: the file is neither a program stream, a transport stream nor a video elementary "
    "stream\n"};
// The name of the container its signature shows (foreign_container).
inline constexpr Message foreign{
    "m2vhdr: ファイルは %s ファイルです。MPEG のプログラムストリームでもトランスポートストリームでもないので読みません\n",
    "m2vhdr: the file is of another container (%s), not an MPEG program or transport stream; it is "
    "not read\n"};
inline constexpr Message no_video{
    "m2vhdr: ファイルに MPEG-1 や MPEG-2 の映像ストリームがありません\n",
    "m2vhdr: the file holds no MPEG-1 or MPEG-2 video stream\n"};
// Then the streams the file holds (listed_stream each, or listed_none) and
// a line end.
inline constexpr Message missing_stream{
    "m2vhdr: ファイルに映像ストリーム 0x%lx はありません。あるのは:",
    "m2vhdr: the file holds no video stream 0x%lx; it holds:"};
inline constexpr char listed_stream[] = " 0x%0*x";
inline constexpr Message listed_program{" 0x%04x (プログラム %u)", " 0x%04x (program %u)"};
inline constexpr Message listed_none{" なし", " none"};
inline constexpr Message pulldown_container{
    "m2vhdr: --pulldown はプログラムストリームやトランスポートストリームを変更できません: "
    "タイムスタンプが新しいパターンと合わなくなります。ファイルは変更していません\n",
    "m2vhdr: --pulldown cannot change a program or transport stream: its time stamps would "
    "disagree with the new cadence; the file is not changed\n"};

// After a rewrite, when headers were left as they are.
inline constexpr Message damaged_left{
    "m2vhdr: %llu 個のヘッダはストリームの壊れた部分にまたがるため書き換えていません\n",
    "m2vhdr: %llu headers lie across damaged parts of the stream and were not patched\n"};

// Every message above, for the tests.
inline constexpr const Message* all[] = {
    &continuity_gap, &pes_cut_short,  &sync_lost,   &scrambled,          &packet_size,
    &neither,        &foreign,        &no_video,       &missing_stream, &listed_none,
    &pulldown_container, &damaged_left, &section_crc,   &scrambled_stretch, &packet_cut_short,
    &listed_program,
};

}  // namespace demux_msg
