// The demultiplexer's own parts, shared by its files.
#pragma once

#include <cstdint>

#include "demux/demux.hpp"
#include "text/message.hpp"

// Makes at least `need` bytes available from in_pos, moving the unread tail
// to the front first; false when the file ends before (or a read failed:
// d.stop says which).
bool demux_refill(Demuxer& d, std::uint32_t need);

// Find the next payload of the chosen stream and set pay_at and pay_left;
// false at the end, after a failure or a refusal.
bool next_transport_payload(Demuxer& d);
bool next_program_payload(Demuxer& d);

// Copies to `dest` the payloads of the chosen PID's packets that simply
// continue its PES packet, as long as they come, fit in `room` and the map
// takes them; the bytes copied. It stops, having taken nothing of it, at
// the first packet that asks more (a payload unit start, a counter that does
// not go up by one, scrambling, no payload, the end of a bounded PES packet,
// lost sync): next_transport_payload reads that one.
std::uint32_t take_transport_payloads(Demuxer& d, std::uint8_t* dest, std::uint32_t room);

// Adds `length` stream bytes from `stream_offset` (the end of the map), at
// `file_offset`, to the map: to the last run when they continue it (the rest
// of its last piece, or its next piece), or as a new run. False when the map
// is full.
inline bool add_run(Demuxer& d, std::uint64_t stream_offset, std::uint64_t file_offset,
                    std::uint32_t length, bool after_gap) {
    constexpr std::uint32_t MASK = MAX_RUNS - 1;
    if (d.run_count > 0 && !after_gap) {
        PayloadRun& last = d.runs[(d.run_first + d.run_count - 1) & MASK];
        std::uint64_t next = d.last_piece_at + d.last_piece_used;
        bool room = last.length <= UINT32_MAX - length;
        if (room && file_offset == next &&
            (last.stride == 0 || d.last_piece_used + length <= last.piece)) {
            // The same piece goes on; a run in one piece grows.
            if (last.stride == 0) last.piece += length;
            d.last_piece_used += length;
            last.length += length;
            return true;
        }
        if (room && file_offset > next && d.last_piece_used == last.piece && length <= last.piece &&
            (last.stride == 0 ? file_offset - last.file_offset <= UINT32_MAX
                              : file_offset == d.last_piece_at + last.stride)) {
            // The next piece, at the run's stride (the second sets it).
            if (last.stride == 0) last.stride = static_cast<std::uint32_t>(file_offset - last.file_offset);
            d.last_piece_at = file_offset;
            d.last_piece_used = length;
            last.length += length;
            return true;
        }
    }
    if (d.run_count == MAX_RUNS) return false;
    d.runs[(d.run_first + d.run_count++) & MASK] = {stream_offset, file_offset, length, length, 0,
                                                     after_gap};
    d.last_piece_at = file_offset;
    d.last_piece_used = length;
    return true;
}

// The length of the PES header in `b` (`have` bytes from its packet start
// code prefix): 0 while more bytes are needed to tell; -1 for a header that
// cannot be read. Sets *scrambled for PES_scrambling_control != 0.
int pes_header_length(const std::uint8_t* b, std::uint32_t have, bool* scrambled);

// The first offset from `from` where `count` packets of `packet_size`
// bytes follow each other, sync bytes at `sync_at`, or `held` when none.
std::uint32_t find_packet_run(const std::uint8_t* b, std::uint32_t from, std::uint32_t held,
                              std::uint32_t packet_size, std::uint32_t sync_at, unsigned count);

// Gives a warning (unless in a pass of the demultiplexer's own) at a file
// offset; at a file offset about PID `pid`; about the last packet, at
// `offset`, of which the file holds `held` bytes.
void demux_warn(const Demuxer& d, DemuxWarningKind kind, std::uint64_t offset);
void demux_warn_pid(const Demuxer& d, DemuxWarningKind kind, std::uint32_t pid, std::uint64_t offset);
void demux_warn_packet_cut_short(const Demuxer& d, std::uint64_t offset, std::uint32_t held);
// A scrambled packet (or PES packet) of the stream, over [from, to) in the
// file: starts or lengthens the stretch of them; and its end, warned of.
void demux_note_scrambled(Demuxer& d, std::uint64_t from, std::uint64_t to);
void demux_end_scrambled(Demuxer& d);

// What becomes of a whole section whose CRC_32 is right and which is in
// force (table_sections.cpp).
using SectionUse = void (*)(Demuxer& d, const std::uint8_t* section, std::uint64_t packet_offset);

// A table section's section_length: the bytes after its first three.
inline std::uint32_t section_length(const std::uint8_t* section) {
    return (std::uint32_t{section[1]} & 0x0f) << 8 | section[2];
}

// The CRC_32 of `n` bytes; 0 over a whole section with a right CRC_32.
std::uint32_t crc_32(const std::uint8_t* b, std::uint32_t n);

// Adds the `n` payload bytes of a packet of PID `pid` at `packet_offset`
// (`start`: its payload_unit_start_indicator) to the section in `s`, and
// hands each section that becomes whole to `use`; warns of a wrong CRC_32.
void add_section_payload(Demuxer& d, SectionBuffer& s, const std::uint8_t* payload, std::uint32_t n,
                         bool start, std::uint32_t pid, std::uint64_t packet_offset, SectionUse use);

// stream_type 1 (MPEG-1 video) or 2 (MPEG-2 video).
bool is_video_stream_type(std::uint32_t stream_type);

// Calls `take` with program_number and program_map_PID for each program a
// PAT section lists.
void for_each_pat_program(const std::uint8_t* section,
                          void (*take)(Demuxer&, std::uint32_t program_number, std::uint32_t pid),
                          Demuxer& d);

// The elementary_PIDs of the video streams a PMT section lists, in order,
// at most `capacity`; their count.
std::uint32_t pmt_video_pids(const std::uint8_t* section, std::uint16_t* pids, std::uint32_t capacity);

// While reading the stream: a packet (`p` at its sync byte) of the PAT or
// of the program's PMT (programme_follow.cpp).
void watch_tables(Demuxer& d, const std::uint8_t* p, std::uint32_t pid, std::uint64_t packet_offset);

inline constexpr std::uint8_t SYNC_BYTE = 0x47;
inline constexpr std::uint8_t PACK_HEADER_ID = 0xba;
