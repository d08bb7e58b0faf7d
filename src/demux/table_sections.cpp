// PAT and PMT sections, put together from transport packets, every version
// of them.
//
//   payload of a packet that starts a section: pointer_field(8), the end of
//   the section before (pointer_field bytes), then sections one after the
//   other until the stuffing byte 0xff
//   section: table_id(8) section_syntax_indicator(1) '0' reserved(2)
//            section_length(12), table_id_extension(16) reserved(2)
//            version_number(5) current_next_indicator(1) section_number(8)
//            last_section_number(8), ..., CRC_32(32)
//
// A section is used once whole and its CRC_32 right; a section with
// current_next_indicator 0 describes a version still to come and is passed
// over.
#include <cstring>

#include "demux/demux_messages.hpp"
#include "demux/demux_parse.hpp"

namespace {

// The CRC_32 of table sections: polynomial 0x04c11db7, first bit highest,
// starting at all ones; over a whole section, CRC_32 included, it gives 0.
struct CrcTable {
    std::uint32_t entries[256];
};
constexpr CrcTable make_crc_table() {
    CrcTable t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i << 24;
        for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04c11db7u : c << 1;
        t.entries[i] = c;
    }
    return t;
}
constexpr CrcTable CRC_TABLE = make_crc_table();

// The shortest section with the long header and a CRC_32.
constexpr std::uint32_t MIN_SECTION_LENGTH = 5 + 4;

void finish_section(Demuxer& d, SectionBuffer& s, std::uint32_t pid, std::uint64_t packet_offset,
                    SectionUse use) {
    bool repeated = s.have == s.sound_have && std::memcmp(s.bytes, s.sound, s.have) == 0;
    if (!repeated) {
        if (crc_32(s.bytes, s.have) != 0) {
            demux_warn_pid(d, DemuxWarningKind::SECTION_CRC, pid, packet_offset);
            return;
        }
        if (s.have <= SOUND_SECTION) {
            std::memcpy(s.sound, s.bytes, s.have);
            s.sound_have = s.have;
        }
    }
    if (!(s.bytes[5] & 1)) return;  // current_next_indicator 0: not yet in force
    use(d, s.bytes, packet_offset);
}

// Adds bytes to the open section, up to its end; the bytes taken.
std::uint32_t add_bytes(Demuxer& d, SectionBuffer& s, const std::uint8_t* b, std::uint32_t n,
                        std::uint32_t pid, std::uint64_t packet_offset, SectionUse use) {
    std::uint32_t taken = 0;
    while (taken < n && s.open) {
        std::uint32_t need = s.have < 3 ? 3 : 3 + section_length(s.bytes);
        std::uint32_t take = n - taken < need - s.have ? n - taken : need - s.have;
        std::memcpy(s.bytes + s.have, b + taken, take);
        s.have += take;
        taken += take;
        if (s.have == 3 && section_length(s.bytes) < MIN_SECTION_LENGTH) s.open = false;  // unusable
        if (s.have > 3 && s.have == need) {
            s.open = false;
            finish_section(d, s, pid, packet_offset, use);
        }
    }
    return taken;
}

}  // namespace

std::uint32_t crc_32(const std::uint8_t* b, std::uint32_t n) {
    std::uint32_t crc = 0xffffffffu;
    for (std::uint32_t i = 0; i < n; ++i) crc = crc << 8 ^ CRC_TABLE.entries[(crc >> 24 ^ b[i]) & 0xff];
    return crc;
}

void add_section_payload(Demuxer& d, SectionBuffer& s, const std::uint8_t* payload, std::uint32_t n,
                         bool start, std::uint32_t pid, std::uint64_t packet_offset, SectionUse use) {
    if (n == 0) return;
    if (!start) {
        if (s.open) add_bytes(d, s, payload, n, pid, packet_offset, use);
        return;
    }
    std::uint32_t pointer_field = payload[0];
    ++payload;
    --n;
    if (pointer_field > n) {
        s.open = false;
        return;
    }
    if (s.open) add_bytes(d, s, payload, pointer_field, pid, packet_offset, use);
    s.open = false;  // a section not whole by now never will be
    payload += pointer_field;
    n -= pointer_field;
    while (n > 0 && payload[0] != 0xff) {
        s.open = true;
        s.have = 0;
        std::uint32_t used = add_bytes(d, s, payload, n, pid, packet_offset, use);
        if (s.open) break;  // it goes on in the next packet
        payload += used;
        n -= used;
    }
}

bool is_video_stream_type(std::uint32_t stream_type) {
    return stream_type == 0x01 || stream_type == 0x02;  // MPEG-1, MPEG-2 video
}

void for_each_pat_program(const std::uint8_t* s, void (*take)(Demuxer&, std::uint32_t, std::uint32_t),
                          Demuxer& d) {
    // program_number(16) reserved(3) PID(13), from byte 8 up to the CRC.
    std::uint32_t end = 3 + section_length(s) - 4;
    for (std::uint32_t i = 8; i + 4 <= end; i += 4) {
        std::uint32_t program_number = std::uint32_t{s[i]} << 8 | s[i + 1];
        if (program_number == 0) continue;  // the network PID
        take(d, program_number, (std::uint32_t{s[i + 2]} & 0x1f) << 8 | s[i + 3]);
    }
}

std::uint32_t pmt_video_pids(const std::uint8_t* s, std::uint16_t* pids, std::uint32_t capacity) {
    // program_info_length at byte 10, then per stream stream_type(8)
    // reserved(3) elementary_PID(13) reserved(4) ES_info_length(12) and its
    // descriptors, up to the CRC.
    std::uint32_t end = 3 + section_length(s) - 4;
    std::uint32_t count = 0;
    std::uint32_t i = 12 + ((std::uint32_t{s[10]} & 0x0f) << 8 | s[11]);
    for (; i + 5 <= end; i += 5 + ((std::uint32_t{s[i + 3]} & 0x0f) << 8 | s[i + 4])) {
        if (!is_video_stream_type(s[i]) || count == capacity) continue;
        pids[count++] = static_cast<std::uint16_t>((s[i + 1] & 0x1f) << 8 | s[i + 2]);
    }
    return count;
}
