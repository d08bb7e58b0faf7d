// What the file is, and which video stream in it is read.
#include <cstring>

#include "demux/demux_messages.hpp"
#include "demux/demux_parse.hpp"

namespace {

constexpr std::uint32_t ANY_STREAM = UINT32_MAX;
constexpr unsigned SYNC_RUN = 5;  // sync bytes in a row that make a transport stream

// The first offset below `before` where `SYNC_RUN` packets follow each
// other (fewer in a file too short for them, but at least two), or `held`.
std::uint32_t first_packet_run(const std::uint8_t* b, std::uint32_t held, bool at_end,
                               std::uint32_t packet_size, std::uint32_t sync_at,
                               std::uint32_t before) {
    for (std::uint32_t i = 0; i < before && i + sync_at < held; ++i) {
        unsigned k = 0;
        while (k < SYNC_RUN && i + k * packet_size + sync_at < held &&
               b[i + k * packet_size + sync_at] == SYNC_BYTE)
            ++k;
        if (k == SYNC_RUN || (at_end && k >= 2 && i + k * packet_size + sync_at >= held)) return i;
    }
    return held;
}

// Puts a table section together from the payload of a transport packet;
// true once the section in `s` is whole.
bool add_to_section(SectionBuffer& s, const std::uint8_t* payload, std::uint32_t n, bool start) {
    if (start) {
        std::uint32_t pointer_field = payload[0];
        if (pointer_field + 1 > n) return false;
        payload += pointer_field + 1;
        n -= pointer_field + 1;
        s.have = 0;
    } else if (s.have == 0) {
        return false;  // no section start seen yet
    }
    std::uint32_t room = sizeof s.bytes - s.have;
    std::uint32_t take = n < room ? n : room;
    std::memcpy(s.bytes + s.have, payload, take);
    s.have += take;
    if (s.have < 3) return false;
    std::uint32_t section_length = (std::uint32_t{s.bytes[1]} & 0x0f) << 8 | s.bytes[2];
    return s.have >= 3 + section_length && section_length >= 9;
}

// program_association_section: program_number(16) reserved(3) PID(13) from
// byte 8 up to the CRC.
void read_pat(Demuxer& d, const std::uint8_t* s) {
    if (s[0] != 0x00) return;
    std::uint32_t end = 3 + ((std::uint32_t{s[1]} & 0x0f) << 8 | s[2]) - 4;
    for (std::uint32_t i = 8; i + 4 <= end && d.program_count < MAX_PROGRAMS; i += 4) {
        std::uint32_t program_number = std::uint32_t{s[i]} << 8 | s[i + 1];
        if (program_number == 0) continue;  // the network PID
        d.pmt_pids[d.program_count++] = static_cast<std::uint16_t>((s[i + 2] & 0x1f) << 8 | s[i + 3]);
    }
    d.pat_read = true;
}

// TS_program_map_section: program_info_length at byte 10, then per stream
// stream_type(8) reserved(3) elementary_PID(13) reserved(4)
// ES_info_length(12) and its descriptors. The first MPEG-1 or MPEG-2 video
// stream of the program, or 0.
std::uint32_t read_pmt(Demuxer& d, const std::uint8_t* s) {
    if (s[0] != 0x02) return 0;
    std::uint32_t end = 3 + ((std::uint32_t{s[1]} & 0x0f) << 8 | s[2]) - 4;
    std::uint32_t first_video = 0;
    std::uint32_t i = 12 + ((std::uint32_t{s[10]} & 0x0f) << 8 | s[11]);
    for (; i + 5 <= end; i += 5 + ((std::uint32_t{s[i + 3]} & 0x0f) << 8 | s[i + 4])) {
        std::uint32_t stream_type = s[i];
        std::uint32_t pid = (std::uint32_t{s[i + 1]} & 0x1f) << 8 | s[i + 2];
        if (stream_type != 0x01 && stream_type != 0x02) continue;
        if (first_video == 0) first_video = pid;
        bool known = false;
        for (std::uint32_t k = 0; k < d.listed_count; ++k) known = known || d.listed[k] == pid;
        if (!known && d.listed_count < MAX_LISTED)
            d.listed[d.listed_count++] = static_cast<std::uint16_t>(pid);
    }
    return first_video;
}

// Reads the PAT and the PMTs, in the file's order, until the stream is
// known: the one asked for once a PMT lists it, else the first video
// stream of the first program (in the PAT's order) that has one.
bool choose_pid(Demuxer& d) {
    std::uint32_t first_video[MAX_PROGRAMS] = {};
    for (;;) {
        if (!demux_refill(d, d.packet_size)) break;
        const std::uint8_t* p = d.in + d.in_pos + d.sync_at;
        d.in_pos += d.packet_size;
        if (p[0] != SYNC_BYTE) {
            d.in_pos = find_packet_run(d.in, d.in_pos - d.packet_size + 1, d.in_held,
                                       d.packet_size, d.sync_at, 3);
            continue;
        }
        unsigned adaptation_field_control = (p[3] >> 4) & 3;
        if (!(adaptation_field_control & 1)) continue;
        std::uint32_t at = adaptation_field_control == 3 ? 5u + p[4] : 4u;
        if (at >= 188) continue;
        std::uint32_t pid = (std::uint32_t{p[1]} & 0x1f) << 8 | p[2];
        bool start = p[1] & 0x40;
        if (pid == 0 && !d.pat_read) {
            if (add_to_section(d.sections[0], p + at, 188 - at, start)) read_pat(d, d.sections[0].bytes);
            continue;
        }
        for (std::uint32_t j = 0; j < d.program_count; ++j) {
            if (d.pmt_read[j] || d.pmt_pids[j] != pid) continue;
            SectionBuffer& s = d.sections[1 + j];
            if (!add_to_section(s, p + at, 188 - at, start)) continue;
            first_video[j] = read_pmt(d, s.bytes);
            d.pmt_read[j] = s.bytes[0] == 0x02;
        }
        if (!d.pat_read) continue;
        // Done when the asked-for PID is listed, or, for the default, when
        // every program up to the first with video has been read.
        if (d.stream != ANY_STREAM) {
            for (std::uint32_t k = 0; k < d.listed_count; ++k)
                if (d.listed[k] == d.stream) return d.chosen = true;
            continue;
        }
        for (std::uint32_t j = 0; j < d.program_count && d.pmt_read[j]; ++j) {
            if (first_video[j] == 0) continue;
            d.stream = first_video[j];
            return d.chosen = true;
        }
    }
    if (d.stop != DemuxStop::NONE) return false;
    // The end came first: the first video stream any table named.
    for (std::uint32_t j = 0; d.stream == ANY_STREAM && j < d.program_count; ++j) {
        if (first_video[j] == 0) continue;
        d.stream = first_video[j];
        return d.chosen = true;
    }
    return false;
}

}  // namespace

bool demux_detect(Demuxer& d, FileHandle file, std::FILE* err) {
    d.file = file;
    d.err = err;
    d.in_base = d.in_held = d.in_pos = 0;
    d.in_end = false;
    if (!platform_seek(file, 0) || (!demux_refill(d, DEMUX_BUFFER_SIZE) && d.stop != DemuxStop::NONE)) {
        return false;
    }
    const std::uint8_t* b = d.in;
    std::uint32_t held = d.in_held;
    d.container = Container::ELEMENTARY;
    std::uint32_t first = held;
    const struct { std::uint32_t size, sync_at; bool supported; } sizes[] = {
        {188, 0, true}, {192, 4, true}, {204, 0, false}, {208, 4, false}};
    for (const auto& form : sizes) {
        // Only a run before the one found already counts.
        std::uint32_t at = first_packet_run(b, held, d.in_end, form.size, form.sync_at, first);
        if (at >= first) continue;
        first = at;
        d.packet_size = form.size;
        d.sync_at = form.sync_at;
        d.container = form.supported ? Container::TRANSPORT_STREAM : Container::ELEMENTARY;
    }
    if (first < held && d.container == Container::ELEMENTARY) {
        print_message(err, demux_msg::packet_size, d.packet_size);
        return false;
    }
    if (first == held) {
        d.packet_size = 0;
        d.sync_at = 0;
        // A pack header makes a program stream; any other start code below
        // the system ones, a video elementary stream.
        bool video_code = false;
        for (std::uint32_t i = 0; i + 4 <= held; ++i) {
            if (b[i + 2] != 1 || b[i] != 0 || b[i + 1] != 0) continue;
            if (b[i + 3] == PACK_HEADER_ID && i + 4 < held &&
                ((b[i + 4] & 0xc0) == 0x40 || (b[i + 4] & 0xf0) == 0x20)) {
                d.container = Container::PROGRAM_STREAM;
                d.mpeg1 = (b[i + 4] & 0xc0) != 0x40;
                first = i;
                break;
            }
            video_code = video_code || b[i + 3] < 0xb9;
        }
        if (d.container == Container::ELEMENTARY && !video_code && held > 0) {
            print_message(err, demux_msg::neither);
            return false;
        }
    }
    d.start_offset = d.container == Container::ELEMENTARY ? 0 : first;
    return platform_seek(file, 0);
}

bool demux_choose(Demuxer& d, long requested) {
    std::FILE* err = d.err;
    d.err = nullptr;  // the reading pass prints its warnings
    d.stream = requested < 0 ? ANY_STREAM : static_cast<std::uint32_t>(requested);
    d.chosen = false;
    d.listed_count = 0;
    bool found = demux_rewind(d);
    if (found) {
        if (d.container == Container::TRANSPORT_STREAM) {
            found = choose_pid(d);
        } else {
            while (!d.chosen && next_program_payload(d)) {}
            found = d.chosen;
        }
    }
    d.err = err;
    if (d.stop == DemuxStop::SCRAMBLED) {
        print_message(err, demux_msg::scrambled, static_cast<unsigned long long>(d.stop_offset));
        return false;
    }
    if (d.stop == DemuxStop::READ_FAILED) return false;
    if (!found) {
        if (requested < 0) {
            print_message(err, demux_msg::no_video);
        } else {
            int digits = d.container == Container::TRANSPORT_STREAM ? 4 : 2;
            print_message(err, demux_msg::missing_stream, static_cast<unsigned long>(requested));
            for (std::uint32_t i = 0; i < d.listed_count; ++i)
                std::fprintf(err, demux_msg::listed_stream, digits, d.listed[i]);
            if (d.listed_count == 0) print_message(err, demux_msg::listed_none);
            std::fputc('\n', err);
        }
        return false;
    }
    return demux_rewind(d);
}

void print_stream_line(const Demuxer& d, std::FILE* out) {
    if (d.container == Container::TRANSPORT_STREAM)
        std::fprintf(out, demux_msg::transport_line, d.packet_size, d.stream);
    else if (d.container == Container::PROGRAM_STREAM)
        std::fprintf(out, demux_msg::program_line, d.mpeg1 ? "MPEG-1" : "MPEG-2", d.stream);
}
