// The chosen PID's PES payloads in a transport stream.
//
//   packet: [4-byte time-code prefix] sync_byte 0x47,
//           transport_error_indicator(1) payload_unit_start_indicator(1)
//           transport_priority(1) PID(13), transport_scrambling_control(2)
//           adaptation_field_control(2) continuity_counter(4),
//           [adaptation_field_length(8) ...], payload
//
// The continuity counter goes up by one with each packet of the PID that
// carries payload; a packet sent twice (the same counter again) is dropped,
// any other jump is a gap: bytes of the stream are lost there. Payload before
// the PID's first PES packet start belongs to a PES packet whose start the
// file does not hold, and is dropped.
#include <cstring>

#include "demux/demux_messages.hpp"
#include "demux/demux_parse.hpp"

namespace {

constexpr std::uint32_t PACKET = 188;

// After a packet without its sync byte: on to the next run of packets.
bool resync(Demuxer& d) {
    demux_warn(d, DemuxWarningKind::SYNC_LOST, d.in_base + d.in_pos + d.sync_at);
    if (d.pes_started) d.gap_pending = true;
    d.last_cc = -1;
    d.pes_bounded = false;
    std::uint32_t from = d.in_pos + 1;
    for (;;) {
        std::uint32_t at = find_packet_run(d.in, from, d.in_held, d.packet_size, d.sync_at, 3);
        if (at < d.in_held) {
            d.in_pos = at;
            return true;
        }
        d.in_pos = d.in_held;
        if (!demux_refill(d, d.packet_size)) return false;
        from = 0;
    }
}

// Takes the bytes of a PES header at the start of the payload; false when
// the header is unusable and the PES packet is dropped.
bool take_pes_header(Demuxer& d, const std::uint8_t** payload, std::uint32_t* n,
                     std::uint64_t packet_offset) {
    while (d.pes_header_need != 0 && *n > 0) {
        bool scrambled = false;
        int length = d.pes_header_have >= 6
                         ? pes_header_length(d.pes_header, d.pes_header_have, &scrambled)
                         : 0;
        bool prefix_ok = d.pes_header_have < 3 || (d.pes_header[0] == 0 && d.pes_header[1] == 0 &&
                                                   d.pes_header[2] == 1);
        if (length < 0 || !prefix_ok) return false;
        if (scrambled) {
            if (d.skip_scrambled) {
                demux_note_scrambled(d, packet_offset, packet_offset + d.packet_size);
                return false;
            }
            d.stop = DemuxStop::SCRAMBLED;
            d.stop_offset = packet_offset;
            return false;
        }
        auto have = d.pes_header_have;
        if (length > 0 && have >= static_cast<std::uint32_t>(length)) {
            d.pes_header_need = 0;
            std::uint32_t declared = std::uint32_t{d.pes_header[4]} << 8 | d.pes_header[5];
            d.pes_bounded = declared != 0;
            if (d.pes_bounded) {
                if (declared + 6 < have) return false;
                d.pes_left = declared + 6 - have;
            }
            break;
        }
        std::uint32_t take = length > 0 ? static_cast<std::uint32_t>(length) - have : 1;
        if (take > *n) take = *n;
        std::memcpy(d.pes_header + have, *payload, take);
        d.pes_header_have += take;
        *payload += take;
        *n -= take;
    }
    return true;
}

}  // namespace

bool next_transport_payload(Demuxer& d) {
    for (;;) {
        if (!demux_refill(d, d.packet_size)) {
            if (d.stop == DemuxStop::NONE && d.in_held > d.in_pos) {
                // The file ends inside a packet.
                demux_warn_packet_cut_short(d, d.in_base + d.in_pos, d.in_held - d.in_pos);
                d.in_pos = d.in_held;
            }
            return false;
        }
        const std::uint8_t* p = d.in + d.in_pos + d.sync_at;
        std::uint64_t packet_offset = d.in_base + d.in_pos;
        if (p[0] != SYNC_BYTE) {
            if (!resync(d)) return false;
            continue;
        }
        d.in_pos += d.packet_size;
        std::uint32_t pid = (std::uint32_t{p[1]} & 0x1f) << 8 | p[2];
        if (pid != d.stream) {
            if (pid == 0 || pid == d.pmt_pid) watch_tables(d, p, pid, packet_offset);
            continue;
        }
        bool payload_unit_start = p[1] & 0x40;
        unsigned scrambling = p[3] >> 6;
        unsigned adaptation_field_control = (p[3] >> 4) & 3;
        int cc = p[3] & 15;
        if (scrambling != 0) {
            if (!d.skip_scrambled) {
                d.stop = DemuxStop::SCRAMBLED;
                d.stop_offset = packet_offset;
                return false;
            }
            // Read on from the next PES packet start in the clear.
            demux_note_scrambled(d, packet_offset, packet_offset + d.packet_size);
            if (d.pes_started) d.gap_pending = true;
            d.pes_started = false;
            d.last_cc = -1;
            continue;
        }
        // Without payload ('10', and the reserved '00') the counter stays.
        if (!(adaptation_field_control & 1)) continue;
        std::uint32_t at = 4;
        bool discontinuity = false;
        if (adaptation_field_control == 3) {
            std::uint32_t length = p[4];
            if (length > PACKET - 5) continue;  // no room for payload: a broken packet
            discontinuity = length > 0 && (p[5] & 0x80);
            at = 5 + length;
        }
        if (d.last_cc >= 0 && !discontinuity) {
            // The same packet sent twice.
            if (cc == d.last_cc && payload_unit_start == d.last_started_pes) continue;
            if (cc != ((d.last_cc + 1) & 15)) {
                demux_warn_pid(d, DemuxWarningKind::CONTINUITY_GAP, d.stream, packet_offset);
                if (d.pes_started) d.gap_pending = true;
                d.pes_bounded = false;
            }
        }
        d.last_cc = cc;
        d.last_started_pes = payload_unit_start;
        const std::uint8_t* payload = p + at;
        std::uint32_t n = PACKET - at;
        if (payload_unit_start) {
            if (d.pes_started && d.pes_bounded && d.pes_left > 0) {
                demux_warn(d, DemuxWarningKind::PES_CUT_SHORT, packet_offset);
                d.gap_pending = true;
            }
            d.pes_started = true;
            d.pes_header_need = 1;
            d.pes_header_have = 0;
            d.pes_bounded = false;
            d.pes_left = 0;
        } else if (!d.pes_started) {
            continue;  // before the first PES packet start
        }
        if (!take_pes_header(d, &payload, &n, packet_offset)) {
            if (d.stop != DemuxStop::NONE) return false;
            d.pes_started = false;  // unusable: wait for the next start
            d.gap_pending = true;
            continue;
        }
        if (d.pes_header_need != 0) continue;
        if (d.pes_bounded) {
            if (n > d.pes_left) n = d.pes_left;  // bytes after the packet's end
            d.pes_left -= n;
        }
        if (n == 0) continue;
        d.pay_at = static_cast<std::uint32_t>(payload - d.in);
        d.pay_left = n;
        return true;
    }
}

namespace {

// The bits of a packet's first four bytes that the short way looks at: all
// but transport_error_indicator, transport_priority and the flag of an
// adaptation field.
constexpr std::uint32_t PLAIN_MASK = 0xff5fffdf;
// The same with the flag of an adaptation field, which a full payload lacks.
constexpr std::uint32_t FULL_MASK = PLAIN_MASK | 0x20;
// The payload of a packet without an adaptation field.
constexpr std::uint32_t FULL = PACKET - 4;

// Where the next whole piece of the map's last run would lie, so that the
// loop below can lengthen the run by counting instead of calling add_run.
struct RunTail {
    std::uint64_t next_piece = UINT64_MAX;  // never met: the run takes no piece so
    std::uint32_t piece = 0;
    std::uint32_t stride = 0;
    std::uint32_t pieces = 0;  // counted and not yet added to the run
    std::uint32_t room = 0;    // pieces the run's length can still take
};

RunTail open_tail(const Demuxer& d) {
    RunTail t;
    if (d.run_count == 0) return t;
    const PayloadRun& last = demux_run(d, d.run_count - 1);
    if (last.stride == 0 || d.last_piece_used != last.piece) return t;
    t.next_piece = d.last_piece_at + last.stride;
    t.piece = last.piece;
    t.stride = last.stride;
    t.room = (UINT32_MAX - last.length) / last.piece;
    return t;
}

void close_tail(Demuxer& d, const RunTail& t) {
    if (t.pieces == 0) return;
    d.runs[(d.run_first + d.run_count - 1) & (MAX_RUNS - 1)].length += t.pieces * t.piece;
    d.last_piece_at = t.next_piece - t.stride;
}

// Maps `count` payloads of FULL bytes, one packet of `size` bytes after the
// other from `file_offset`, as one at a time would have; the payloads
// mapped, fewer when the map is full.
std::uint32_t map_pieces(Demuxer& d, RunTail& tail, std::uint64_t stream_end,
                         std::uint64_t file_offset, std::uint32_t size, std::uint32_t count) {
    std::uint32_t done = 0;
    while (done < count) {
        std::uint32_t m = 1;
        if (file_offset == tail.next_piece && tail.piece == FULL && tail.pieces < tail.room) {
            // Counted: all of them at once when the run's stride is the packet's.
            if (tail.stride == size) {
                m = count - done;
                if (tail.room - tail.pieces < m) m = tail.room - tail.pieces;
            }
            tail.pieces += m;
            tail.next_piece += std::uint64_t{m} * tail.stride;
        } else {
            close_tail(d, tail);
            if (!add_run(d, stream_end, file_offset, FULL, false)) {
                tail = RunTail{};
                return done;
            }
            tail = open_tail(d);
        }
        done += m;
        file_offset += std::uint64_t{m} * size;
        stream_end += std::uint64_t{m} * FULL;
    }
    return done;
}

// take_transport_payloads over the packets held in the input, in local
// copies of the state the copies would otherwise make the compiler reload;
// true when it stopped at a packet that asks more than a plain copy.
bool take_held_payloads(Demuxer& d, std::uint8_t* dest, std::uint32_t room, std::uint32_t* taken) {
    const std::uint8_t* const in = d.in + d.sync_at;
    const std::uint64_t in_base = d.in_base + d.sync_at;
    const std::uint32_t held = d.in_held;
    const std::uint32_t size = d.packet_size;
    const std::uint32_t stream = d.stream;
    const std::uint32_t pmt_pid = d.pmt_pid;
    const std::uint32_t plain = std::uint32_t{SYNC_BYTE} << 24 | stream << 8 | 0x10;
    const bool bounded = d.pes_bounded;
    std::uint32_t pos = d.in_pos;
    int last_cc = d.last_cc;
    std::uint32_t pes_left = d.pes_left;
    std::uint64_t stream_end = d.stream_end;
    std::uint32_t got = *taken;
    RunTail tail = open_tail(d);
    bool stopped = true;
    for (;;) {
        // A burst of packets of 184 payload bytes each, checked and copied
        // first and mapped after, as many as the input, the room and the
        // PES packet take.
        std::uint32_t most = (held - pos) / size;
        if ((room - got) / FULL < most) most = (room - got) / FULL;
        if (bounded && pes_left / FULL < most) most = pes_left / FULL;
        std::uint32_t burst = 0;
        int burst_cc = last_cc;
        while (burst < most) {
            const std::uint8_t* p = in + pos + burst * size;
            std::uint32_t header = std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                                   std::uint32_t{p[2]} << 8 | p[3];
            int next = (burst_cc + 1) & 15;
            if ((header & FULL_MASK) != (plain | static_cast<std::uint32_t>(next))) break;
            std::memcpy(dest + got + burst * FULL, p + 4, FULL);
            burst_cc = next;
            ++burst;
        }
        if (burst > 0) {
            std::uint32_t mapped =
                map_pieces(d, tail, stream_end, in_base + pos + 4, size, burst);
            last_cc = (last_cc + static_cast<int>(mapped)) & 15;
            pos += mapped * size;
            if (bounded) pes_left -= mapped * FULL;
            stream_end += std::uint64_t{mapped} * FULL;
            got += mapped * FULL;
            if (mapped < burst) break;  // the map is full
        }
        if (held - pos < size) {
            stopped = false;
            break;
        }
        const std::uint8_t* p = in + pos;
        // The sync byte, the PID, no payload_unit_start_indicator,
        // transport_scrambling_control '00', a payload and the counter one
        // up, in one comparison of the packet's first four bytes.
        std::uint32_t header = std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                               std::uint32_t{p[2]} << 8 | p[3];
        int cc = (last_cc + 1) & 15;
        if ((header & PLAIN_MASK) != (plain | static_cast<std::uint32_t>(cc))) {
            std::uint32_t pid = header >> 8 & 0x1fff;
            if (p[0] == SYNC_BYTE && pid != stream && pid != 0 && pid != pmt_pid) {
                pos += size;  // another PID, and not a table read on
                continue;
            }
            break;
        }
        // With the counter one up, a discontinuity_indicator changes nothing.
        std::uint32_t at = 4;
        if (p[3] & 0x20) {
            if (p[4] > PACKET - 5) break;
            at = 5u + p[4];
        }
        std::uint32_t n = PACKET - at;
        if (n == 0 || n > room - got || (bounded && n > pes_left)) break;
        std::uint64_t file_offset = in_base + pos + at;
        if (file_offset == tail.next_piece && n == tail.piece && tail.pieces < tail.room) {
            ++tail.pieces;
            tail.next_piece += tail.stride;
        } else {
            close_tail(d, tail);
            if (!add_run(d, stream_end, file_offset, n, false)) {
                tail = RunTail{};
                break;
            }
            tail = open_tail(d);
        }
        // Taken: as next_transport_payload and demux_fill would have.
        if (n == PACKET - 4) std::memcpy(dest + got, p + 4, PACKET - 4);  // a copy of known size
        else std::memcpy(dest + got, p + at, n);
        last_cc = cc;
        pos += size;
        if (bounded) pes_left -= n;
        stream_end += n;
        got += n;
    }
    close_tail(d, tail);
    if (got != *taken) d.last_started_pes = false;  // the short way takes no start
    d.in_pos = pos;
    d.last_cc = last_cc;
    d.pes_left = pes_left;
    d.stream_end = stream_end;
    *taken = got;
    return stopped;
}

}  // namespace

std::uint32_t take_transport_payloads(Demuxer& d, std::uint8_t* dest, std::uint32_t room) {
    // Only inside a PES packet whose header has been read, on a counter.
    if (d.gap_pending || !d.pes_started || d.pes_header_need != 0 || d.last_cc < 0) return 0;
    std::uint32_t taken = 0;
    while (!take_held_payloads(d, dest, room, &taken) && demux_refill(d, d.packet_size)) {}
    return taken;
}
