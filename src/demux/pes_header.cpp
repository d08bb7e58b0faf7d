// PES headers of both forms, and the warnings the demultiplexer gives.
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

namespace {

void warn(const Demuxer& d, const DemuxWarning& warning) {
    if (d.warnings.report && !d.own_pass) d.warnings.report(d.warnings.state, warning);
}

void print_on(void* stream, const DemuxWarning& warning) {
    print_demux_warning(static_cast<std::FILE*>(stream), warning);
}

}  // namespace

void demux_warn(const Demuxer& d, DemuxWarningKind kind, std::uint64_t offset) {
    warn(d, {kind, offset});
}

void demux_warn_pid(const Demuxer& d, DemuxWarningKind kind, std::uint32_t pid, std::uint64_t offset) {
    warn(d, {kind, offset, pid});
}

void demux_warn_packet_cut_short(const Demuxer& d, std::uint64_t offset, std::uint32_t held) {
    warn(d, {DemuxWarningKind::PACKET_CUT_SHORT, offset, 0, held, d.packet_size});
}

void demux_note_scrambled(Demuxer& d, std::uint64_t from, std::uint64_t to) {
    if (!d.scrambled_open) d.scrambled_from = from;
    d.scrambled_open = true;
    d.scrambled_to = to;
    d.scrambled_seen = true;
}

void demux_end_scrambled(Demuxer& d) {
    d.scrambled_open = false;
    warn(d, {DemuxWarningKind::SCRAMBLED_STRETCH, d.scrambled_from, 0, d.scrambled_to - d.scrambled_from});
}

void print_demux_warning(std::FILE* err, const DemuxWarning& w) {
    auto offset = static_cast<unsigned long long>(w.file_offset);
    switch (w.kind) {
    case DemuxWarningKind::SYNC_LOST:
        print_message(err, demux_msg::sync_lost, offset);
        break;
    case DemuxWarningKind::PES_CUT_SHORT:
        print_message(err, demux_msg::pes_cut_short, offset);
        break;
    case DemuxWarningKind::CONTINUITY_GAP:
        print_message(err, demux_msg::continuity_gap, w.pid, offset);
        break;
    case DemuxWarningKind::SECTION_CRC:
        print_message(err, demux_msg::section_crc, w.pid, offset);
        break;
    case DemuxWarningKind::SCRAMBLED_STRETCH:
        print_message(err, demux_msg::scrambled_stretch, offset, static_cast<unsigned long long>(w.length));
        break;
    case DemuxWarningKind::PACKET_CUT_SHORT:
        print_message(err, demux_msg::packet_cut_short, offset, static_cast<std::uint32_t>(w.length),
                      w.packet_size);
        break;
    }
}

DemuxWarnings demux_warnings_on(std::FILE* stream) { return {print_on, stream}; }
