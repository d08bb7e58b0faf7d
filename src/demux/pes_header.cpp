// PES headers of both forms, and the warnings the demultiplexer prints.
#include <cstdio>

#include "demux/demux_messages.hpp"
#include "demux/demux_parse.hpp"

int pes_header_length(const std::uint8_t* b, std::uint32_t have, bool* scrambled) {
    *scrambled = false;
    if (have < 7) return 0;
    // MPEG-2: '10' PES_scrambling_control(2) ..., then PES_header_data_length
    // in byte 8.
    if ((b[6] & 0xc0) == 0x80) {
        if (have < 9) return 0;
        *scrambled = (b[6] & 0x30) != 0;
        return 9 + b[8];
    }
    // MPEG-1: up to 16 stuffing bytes 0xff, an optional STD buffer field
    // ('01', 2 bytes), then time stamps: '0010' PTS (5 bytes), '0011' PTS and
    // DTS (10 bytes) or the byte 0x0f without them.
    std::uint32_t i = 6;
    while (i < have && b[i] == 0xff && i < 6 + 16) ++i;
    if (i >= have) return have >= 6 + 16 + 1 ? -1 : 0;
    if (b[i] == 0xff) return -1;
    if ((b[i] & 0xc0) == 0x40) {
        i += 2;
        if (i >= have) return 0;
    }
    if ((b[i] & 0xf0) == 0x20) return static_cast<int>(i + 5);
    if ((b[i] & 0xf0) == 0x30) return static_cast<int>(i + 10);
    if (b[i] == 0x0f) return static_cast<int>(i + 1);
    return -1;
}

std::uint32_t find_packet_run(const std::uint8_t* b, std::uint32_t from, std::uint32_t held,
                              std::uint32_t packet_size, std::uint32_t sync_at, unsigned count) {
    for (std::uint32_t i = from; i + sync_at < held; ++i) {
        unsigned k = 0;
        while (k < count && i + k * packet_size + sync_at < held &&
               b[i + k * packet_size + sync_at] == SYNC_BYTE)
            ++k;
        // The end of the data stops the count, not a wrong byte.
        if (k == count || (k > 0 && i + k * packet_size + sync_at >= held)) return i;
    }
    return held;
}

void demux_warn(const Demuxer& d, const Message& warning, std::uint64_t offset) {
    if (d.err) print_message(d.err, warning, static_cast<unsigned long long>(offset));
}

void demux_warn_pid(const Demuxer& d, const Message& warning, std::uint32_t pid, std::uint64_t offset) {
    if (d.err) print_message(d.err, warning, pid, static_cast<unsigned long long>(offset));
}

void demux_note_scrambled(Demuxer& d, std::uint64_t from, std::uint64_t to) {
    if (!d.scrambled_open) d.scrambled_from = from;
    d.scrambled_open = true;
    d.scrambled_to = to;
    d.scrambled_seen = true;
}

void demux_end_scrambled(Demuxer& d) {
    d.scrambled_open = false;
    if (d.err)
        print_message(d.err, demux_msg::scrambled_stretch, static_cast<unsigned long long>(d.scrambled_from),
                      static_cast<unsigned long long>(d.scrambled_to - d.scrambled_from));
}
