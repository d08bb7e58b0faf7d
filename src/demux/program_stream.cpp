// The chosen stream_id's PES payloads in a program stream (or an MPEG-1
// system stream).
//
//   pack_header:   00 00 01 ba, MPEG-2: '01' ... pack_stuffing_length(3) in
//                  byte 13, then the stuffing; MPEG-1: '0010' ..., 12 bytes
//   program_end:   00 00 01 b9
//   any other:     00 00 01 stream_id PES_packet_length(16), then as many
//                  bytes (system header, program stream map, padding,
//                  private streams, navigation packs, audio, video)
//
// Every packet is expected to be followed by another start code. When it is
// not, a packet that holds a pack header was cut short there (a file cut and
// joined): it ends at that pack header.
#include "demux/demux_messages.hpp"
#include "demux/demux_parse.hpp"

namespace {

bool is_video_id(std::uint32_t id) { return (id & 0xf0) == 0xe0; }

bool system_start_code_at(const std::uint8_t* b) {
    return b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] >= 0xb9;
}

// Index of the first pack header in b[from, to), or `to`.
std::uint32_t find_pack_header(const std::uint8_t* b, std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t i = from; i + 3 < to; ++i)
        if (b[i + 2] == 1 && b[i] == 0 && b[i + 1] == 0 && b[i + 3] == PACK_HEADER_ID) return i;
    return to;
}

// After bytes that start no pack or packet: on to the next pack header.
bool resync(Demuxer& d) {
    demux_warn(d, DemuxWarningKind::SYNC_LOST, d.in_base + d.in_pos);
    if (d.stream_end > 0) d.gap_pending = true;
    std::uint32_t from = d.in_pos + 1;
    for (;;) {
        std::uint32_t at = find_pack_header(d.in, from, d.in_held);
        if (at < d.in_held) {
            d.in_pos = at;
            return true;
        }
        // Keep three bytes: a start code may straddle the refill.
        d.in_pos = d.in_held > 3 ? d.in_held - 3 : 0;
        if (d.in_end || !demux_refill(d, 4 + (d.in_held - d.in_pos))) return false;
        from = 0;
    }
}

// A PES packet of the stream being chosen: listed, and taken when it is
// the one asked for (or the first, when none was).
void note_video(Demuxer& d, std::uint32_t id) {
    for (std::uint32_t i = 0; i < d.listed_count; ++i)
        if (d.listed[i] == id) return;
    if (d.listed_count < MAX_LISTED) d.listed[d.listed_count++] = static_cast<std::uint16_t>(id);
}

}  // namespace

bool next_program_payload(Demuxer& d) {
    for (;;) {
        if (!demux_refill(d, 4)) return false;
        const std::uint8_t* b = d.in + d.in_pos;
        if (!system_start_code_at(b)) {
            if (!resync(d)) return false;
            continue;
        }
        std::uint32_t id = b[3];
        if (id == 0xb9) {  // MPEG_program_end_code
            d.in_pos += 4;
            continue;
        }
        if (id == PACK_HEADER_ID) {
            if (!demux_refill(d, 14)) return false;
            b = d.in + d.in_pos;
            std::uint32_t length;
            if ((b[4] & 0xc0) == 0x40) length = 14 + (b[13] & 7u);
            else if ((b[4] & 0xf0) == 0x20) length = 12;
            else {
                if (!resync(d)) return false;
                continue;
            }
            d.in_pos += length;
            continue;
        }
        if (!demux_refill(d, 6)) return false;
        std::uint64_t here = d.in_base + d.in_pos;
        std::uint32_t total = 6 + (std::uint32_t{d.in[d.in_pos + 4]} << 8 | d.in[d.in_pos + 5]);
        demux_refill(d, total + 4);
        if (d.stop != DemuxStop::NONE) return false;
        b = d.in + d.in_pos;
        std::uint32_t available = d.in_held - d.in_pos;
        std::uint32_t end = total;
        bool cut = false;
        if (available < total) {  // the file ends inside the packet
            end = available;
            cut = true;
        } else if (available >= total + 4 && !system_start_code_at(b + total)) {
            std::uint32_t pack = find_pack_header(b, 6, total);
            if (pack < total) {
                end = pack;
                cut = true;
            }
        }
        bool wanted = is_video_id(id) && (d.chosen ? id == d.stream : true);
        if (!wanted) {
            d.in_pos += end;
            continue;
        }
        bool scrambled = false;
        int header = pes_header_length(b, end, &scrambled);
        if (header <= 0 || static_cast<std::uint32_t>(header) > end) {
            d.in_pos += end;
            if (d.chosen && d.stream_end > 0) d.gap_pending = true;
            continue;
        }
        bool taken = d.chosen ? id == d.stream : d.stream == UINT32_MAX || id == d.stream;
        if (scrambled && taken && !d.skip_scrambled) {
            d.stop = DemuxStop::SCRAMBLED;
            d.stop_offset = here;
            return false;
        }
        auto payload = static_cast<std::uint32_t>(header);
        d.in_pos += end;
        if (payload == end) continue;  // a packet without payload
        if (!d.chosen) {
            note_video(d, id);
            if (!taken) continue;
            d.stream = id;
            d.chosen = true;
        }
        if (scrambled) {  // a read-only run reads on past it
            demux_note_scrambled(d, here, here + end);
            if (d.stream_end > 0) d.gap_pending = true;
            continue;
        }
        if (cut) demux_warn(d, DemuxWarningKind::PES_CUT_SHORT, here);
        d.pay_at = d.in_pos - end + payload;
        d.pay_left = end - payload;
        // The bytes after a packet cut short do not follow on from it.
        d.gap_after = cut && end < total;
        return true;
    }
}
