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

// The length of the PES header in `b` (`have` bytes from its packet start
// code prefix): 0 while more bytes are needed to tell; -1 for a header that
// cannot be read. Sets *scrambled for PES_scrambling_control != 0.
int pes_header_length(const std::uint8_t* b, std::uint32_t have, bool* scrambled);

// The first offset from `from` where `count` packets of `packet_size`
// bytes follow each other, sync bytes at `sync_at`, or `held` when none.
std::uint32_t find_packet_run(const std::uint8_t* b, std::uint32_t from, std::uint32_t held,
                              std::uint32_t packet_size, std::uint32_t sync_at, unsigned count);

// Prints a warning with a file offset (and a PID first, for a gap).
void demux_warn(const Demuxer& d, const Message& warning, std::uint64_t offset);

inline constexpr std::uint8_t SYNC_BYTE = 0x47;
inline constexpr std::uint8_t PACK_HEADER_ID = 0xba;
