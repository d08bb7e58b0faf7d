// The demultiplexer's messages (English, as every newer option's).
#pragma once

namespace demux_msg {

// The line before the report: what was read.
inline constexpr char transport_line[] = "stream: transport stream, %u-byte packets, PID 0x%04x\n";
inline constexpr char program_line[] = "stream: program stream (%s), stream_id 0x%02x\n";

// Warnings on standard error, with the file offset.
inline constexpr char continuity_gap[] =
    "m2vhdr: warning: continuity counter gap on PID 0x%04x at %08llx: bytes of the video are lost\n";
inline constexpr char pes_cut_short[] = "m2vhdr: warning: PES packet cut short at %08llx\n";
inline constexpr char sync_lost[] = "m2vhdr: warning: no packet or pack header at %08llx\n";

// Refusals, exit status 1.
inline constexpr char scrambled[] =
    "m2vhdr: the video stream is scrambled (packet at %08llx); the file is not changed\n";
inline constexpr char packet_size[] =
    "m2vhdr: transport streams of %u-byte packets are not supported\n";
inline constexpr char neither[] =
    "m2vhdr: the file is neither a program stream, a transport stream nor a video elementary stream\n";
inline constexpr char no_video[] = "m2vhdr: the file holds no MPEG-1 or MPEG-2 video stream\n";
inline constexpr char missing_stream[] = "m2vhdr: the file holds no video stream 0x%lx; it holds:";
inline constexpr char listed_stream[] = " 0x%0*x";
inline constexpr char listed_none[] = " none";
inline constexpr char pulldown_container[] =
    "m2vhdr: --pulldown cannot change a program or transport stream: its time stamps would "
    "disagree with the new cadence; the file is not changed\n";

// After a rewrite, when headers were left as they are.
inline constexpr char damaged_left[] =
    "m2vhdr: %llu headers lie across damaged parts of the stream and were not patched\n";

}  // namespace demux_msg
