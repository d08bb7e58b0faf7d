// The chosen programme followed while its stream is read: the PAT and the
// programme's PMT, every version of them. A PMT version that no longer lists
// the stream moves it, when no stream was asked for, to the first video
// stream it lists; the move is kept for the report.
#include <cstdio>
#include <cstring>

#include "demux/demux_messages.hpp"
#include "demux/demux_parse.hpp"

namespace {

void watch_program(Demuxer& d, std::uint32_t program_number, std::uint32_t pid) {
    if (program_number != d.program_number || pid == d.pmt_pid) return;
    d.pmt_pid = static_cast<std::uint16_t>(pid);  // the program's PMT moved
    d.pmt_version = -1;
    d.sections[1].open = false;
}

// A section of the PAT, or of the followed program's PMT.
void watch_section(Demuxer& d, const std::uint8_t* s, std::uint64_t packet_offset) {
    if (s[0] == 0x00) {
        for_each_pat_program(s, watch_program, d);
        return;
    }
    std::uint32_t program_number = std::uint32_t{s[3]} << 8 | s[4];
    int version_number = (s[5] >> 1) & 31;
    if (s[0] != 0x02 || program_number != d.program_number) return;
    // A new version, or other contents under the same one (files cut and
    // joined keep the version they were muxed with): its CRC_32 tells.
    std::uint32_t end = 3 + section_length(s);
    std::uint32_t crc = std::uint32_t{s[end - 4]} << 24 | std::uint32_t{s[end - 3]} << 16 |
                        std::uint32_t{s[end - 2]} << 8 | s[end - 1];
    if (version_number == d.pmt_version && crc == d.pmt_crc) return;
    d.pmt_version = version_number;
    d.pmt_crc = crc;
    std::uint16_t pids[MAX_LISTED];
    std::uint32_t count = pmt_video_pids(s, pids, MAX_LISTED);
    for (std::uint32_t k = 0; k < count; ++k)
        if (pids[k] == d.stream) return;  // the stream stays where it is
    if (!d.follow || count == 0) return;
    // The video moved: from here on it is read from the new PID, from its
    // next PES packet start. A PES packet the old PID had not finished is
    // cut short.
    if (d.pes_started && d.pes_bounded && d.pes_left > 0) {
        demux_warn(d, DemuxWarningKind::PES_CUT_SHORT, packet_offset);
        d.gap_pending = true;
    }
    d.stream = pids[0];
    d.last_cc = -1;
    d.pes_started = false;
    d.pes_header_need = d.pes_header_have = d.pes_left = 0;
    d.pes_bounded = false;
    if (d.change_count == MAX_CHANGES && d.changes_told > 0) {
        // Room made from the moves the report has printed already.
        std::memmove(d.changes, d.changes + d.changes_told,
                     (d.change_count - d.changes_told) * sizeof(StreamChange));
        d.change_count -= d.changes_told;
        d.changes_told = 0;
    }
    if (d.change_count == MAX_CHANGES) {
        ++d.changes_omitted;
        return;
    }
    d.changes[d.change_count++] = {d.stream_end, packet_offset, pids[0], d.program_number,
                                   static_cast<std::uint8_t>(version_number)};
}

}  // namespace

void watch_tables(Demuxer& d, const std::uint8_t* p, std::uint32_t pid, std::uint64_t packet_offset) {
    unsigned adaptation_field_control = (p[3] >> 4) & 3;
    if (!(adaptation_field_control & 1) || (p[3] >> 6) != 0) return;  // no payload, or scrambled
    std::uint32_t at = adaptation_field_control == 3 ? 5u + p[4] : 4u;
    if (at >= 188) return;
    SectionBuffer& s = d.sections[pid == 0 ? 0 : 1];
    add_section_payload(d, s, p + at, 188 - at, p[1] & 0x40, pid, packet_offset, watch_section);
}

void demux_print_changes(Demuxer& d, std::uint64_t stream_offset, std::FILE* out) {
    for (; d.changes_told < d.change_count && d.changes[d.changes_told].stream_offset <= stream_offset;
         ++d.changes_told) {
        const StreamChange& c = d.changes[d.changes_told];
        std::fprintf(out, demux_msg::change_line, static_cast<unsigned long long>(c.file_offset), c.pid,
                     c.program_number, c.version_number);
    }
}
