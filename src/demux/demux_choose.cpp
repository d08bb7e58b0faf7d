// What the file is, and which video stream in it is read.
#include <cstring>

#include "demux/demux_messages.hpp"
#include "demux/demux_parse.hpp"
#include "demux/foreign_container.hpp"

namespace {

constexpr std::uint32_t ANY_STREAM = UINT32_MAX;
constexpr unsigned SYNC_RUN = 5;  // sync bytes in a row that make a transport stream

// The first offset below `before` where `SYNC_RUN` packets follow each
// other (fewer in a file too short for them, but at least two), or `held`.
std::uint32_t first_packet_run(const std::uint8_t* b, std::uint32_t held, bool at_end,
                               std::uint32_t packet_size, std::uint32_t sync_at,
                               std::uint32_t before) {
    for (std::uint32_t i = 0; i < before && i + sync_at < held; ++i) {
        // Only a sync byte starts a run: on to the next one.
        const void* sync = std::memchr(b + i + sync_at, SYNC_BYTE, held - i - sync_at);
        if (!sync) break;
        i = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(sync) - b) - sync_at;
        if (i >= before) break;
        unsigned k = 0;
        while (k < SYNC_RUN && i + k * packet_size + sync_at < held &&
               b[i + k * packet_size + sync_at] == SYNC_BYTE)
            ++k;
        if (k == SYNC_RUN || (at_end && k >= 2 && i + k * packet_size + sync_at >= held)) return i;
    }
    return held;
}

// A program of a PAT section: known from now on, at its latest PMT PID.
void note_program(Demuxer& d, std::uint32_t program_number, std::uint32_t pid) {
    std::uint32_t j = 0;
    while (j < d.program_count && d.program_numbers[j] != program_number) ++j;
    if (j == MAX_PROGRAMS) return;
    if (j == d.program_count) {
        ++d.program_count;
        d.program_numbers[j] = static_cast<std::uint16_t>(program_number);
    } else if (d.pmt_pids[j] == pid) {
        return;
    }
    d.pmt_pids[j] = static_cast<std::uint16_t>(pid);
    d.sections[1 + j].open = false;
}

// A section of the PAT or of a PMT, any version: the programs, and the
// video streams each version of their PMTs lists.
void note_section(Demuxer& d, const std::uint8_t* s, std::uint64_t) {
    if (s[0] == 0x00) {
        for_each_pat_program(s, note_program, d);
        d.pat_read = true;
        return;
    }
    if (s[0] != 0x02) return;
    std::uint32_t program_number = std::uint32_t{s[3]} << 8 | s[4];
    std::uint32_t j = 0;
    while (j < d.program_count && d.program_numbers[j] != program_number) ++j;
    if (j == d.program_count) return;  // a program the PAT does not list
    std::uint16_t pids[MAX_LISTED];
    std::uint32_t count = pmt_video_pids(s, pids, MAX_LISTED);
    if (!d.pmt_read[j] && count > 0) d.first_video[j] = pids[0];
    d.pmt_read[j] = true;
    for (std::uint32_t k = 0; k < count; ++k) {
        bool known = false;
        for (std::uint32_t i = 0; i < d.listed_count; ++i)
            known = known || (d.listed[i] == pids[k] && d.listed_program[i] == program_number);
        if (known || d.listed_count == MAX_LISTED) continue;
        d.listed_program[d.listed_count] = static_cast<std::uint16_t>(program_number);
        d.listed[d.listed_count++] = pids[k];
    }
}

// The stream chosen: the PID, its program, and that program's PMT PID.
bool take_pid(Demuxer& d, std::uint32_t pid, std::uint32_t program_number) {
    d.stream = d.first_stream = pid;
    d.program_number = static_cast<std::uint16_t>(program_number);
    for (std::uint32_t j = 0; j < d.program_count; ++j)
        if (d.program_numbers[j] == program_number) d.first_pmt_pid = d.pmt_pids[j];
    return d.chosen = true;
}

// Reads the PAT and the PMTs, every version of them, in the file's order,
// until the stream is known: the one asked for once a PMT lists it, else
// the first video stream of the first program (in the PAT's order) that
// has one.
bool choose_pid(Demuxer& d) {
    d.program_count = 0;
    d.pat_read = false;
    for (std::uint32_t j = 0; j < MAX_PROGRAMS; ++j) {
        d.pmt_read[j] = false;
        d.first_video[j] = 0;
    }
    for (std::uint32_t j = 0; j <= MAX_PROGRAMS; ++j) d.sections[j].open = false;
    for (;;) {
        if (!demux_refill(d, d.packet_size)) break;
        const std::uint8_t* p = d.in + d.in_pos + d.sync_at;
        std::uint64_t packet_offset = d.in_base + d.in_pos;
        d.in_pos += d.packet_size;
        if (p[0] != SYNC_BYTE) {
            d.in_pos = find_packet_run(d.in, d.in_pos - d.packet_size + 1, d.in_held,
                                       d.packet_size, d.sync_at, 3);
            continue;
        }
        unsigned adaptation_field_control = (p[3] >> 4) & 3;
        if (!(adaptation_field_control & 1) || (p[3] >> 6) != 0) continue;
        std::uint32_t at = adaptation_field_control == 3 ? 5u + p[4] : 4u;
        if (at >= 188) continue;
        std::uint32_t pid = (std::uint32_t{p[1]} & 0x1f) << 8 | p[2];
        bool start = p[1] & 0x40;
        SectionBuffer* s = pid == 0 ? &d.sections[0] : nullptr;
        for (std::uint32_t j = 0; !s && j < d.program_count; ++j)
            if (d.pmt_pids[j] == pid) s = &d.sections[1 + j];  // programs may share one
        if (!s) continue;
        add_section_payload(d, *s, p + at, 188 - at, start, pid, packet_offset, note_section);
        if (!d.pat_read) continue;
        // Done when the asked-for PID is listed, or, for the default, when
        // every program up to the first with video has been read.
        if (d.stream != ANY_STREAM) {
            for (std::uint32_t k = 0; k < d.listed_count; ++k)
                if (d.listed[k] == d.stream) return take_pid(d, d.stream, d.listed_program[k]);
            continue;
        }
        for (std::uint32_t j = 0; j < d.program_count && d.pmt_read[j]; ++j)
            if (d.first_video[j] != 0) return take_pid(d, d.first_video[j], d.program_numbers[j]);
    }
    if (d.stop != DemuxStop::NONE) return false;
    // The end came first: the first video stream any table named.
    for (std::uint32_t j = 0; d.stream == ANY_STREAM && j < d.program_count; ++j)
        if (d.first_video[j] != 0) return take_pid(d, d.first_video[j], d.program_numbers[j]);
    return false;
}

}  // namespace

bool demux_detect(Demuxer& d, Input& input, std::FILE* err, DemuxWarnings warnings) {
    d.input = &input;
    d.warnings = warnings;
    d.in_base = d.in_held = d.in_pos = 0;
    d.in_end = false;
    input_drop_view(input);
    if (!demux_refill(d, DEMUX_BUFFER_SIZE) && d.stop != DemuxStop::NONE) return false;
    const std::uint8_t* b = d.in;
    std::uint32_t held = d.in_held;
    if (const char* other = foreign_container(b, held)) {
        print_message(err, demux_msg::foreign, other);
        return false;
    }
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
        // Sync bytes at a packet size the tool does not read may as well be
        // bytes of a video elementary stream.
        if (d.elementary_when_unknown) {
            d.packet_size = 0;
            d.sync_at = 0;
            d.start_offset = 0;
            return true;
        }
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
        if (d.container == Container::ELEMENTARY && !video_code && held > 0 &&
            !d.elementary_when_unknown) {
            print_message(err, demux_msg::neither);
            return false;
        }
    }
    d.start_offset = d.container == Container::ELEMENTARY ? 0 : first;
    return true;
}

bool demux_choose(Demuxer& d, long requested, std::FILE* err) {
    d.own_pass = true;  // the reading pass gives the warnings
    d.stream = requested < 0 ? ANY_STREAM : static_cast<std::uint32_t>(requested);
    d.chosen = false;
    d.listed_count = 0;
    d.follow = requested < 0 && d.container == Container::TRANSPORT_STREAM;
    bool found = demux_rewind(d);
    if (found) {
        if (d.container == Container::TRANSPORT_STREAM) {
            found = choose_pid(d);
        } else {
            while (!d.chosen && next_program_payload(d)) {}
            found = d.chosen;
            d.first_stream = d.stream;
        }
    }
    d.own_pass = false;
    if (d.stop == DemuxStop::SCRAMBLED) {
        print_message(err, demux_msg::scrambled, static_cast<unsigned long long>(d.stop_offset));
        return false;
    }
    if (d.stop == DemuxStop::READ_FAILED) return false;
    if (!found) {
        if (requested < 0) {
            print_message(err, demux_msg::no_video);
        } else {
            print_message(err, demux_msg::missing_stream, static_cast<unsigned long>(requested));
            for (std::uint32_t i = 0; i < d.listed_count; ++i) {
                if (d.container == Container::PROGRAM_STREAM) {
                    std::fprintf(err, demux_msg::listed_stream, 2, d.listed[i]);
                    continue;
                }
                if (i > 0) std::fputc(',', err);
                print_message(err, demux_msg::listed_program, d.listed[i], d.listed_program[i]);
            }
            if (d.listed_count == 0) print_message(err, demux_msg::listed_none);
            std::fputc('\n', err);
        }
        return false;
    }
    return demux_rewind(d);
}

void format_stream_name(const Demuxer& d, char* text, std::size_t size) {
    if (size > 0) text[0] = '\0';
    if (d.container == Container::TRANSPORT_STREAM)
        std::snprintf(text, size, demux_msg::transport_name, d.packet_size, d.stream);
    else if (d.container == Container::PROGRAM_STREAM)
        std::snprintf(text, size, demux_msg::program_name, d.mpeg1 ? "MPEG-1" : "MPEG-2", d.stream);
}

void print_stream_line(const Demuxer& d, std::FILE* out) {
    char name[96];
    format_stream_name(d, name, sizeof name);
    if (name[0] != '\0') std::fprintf(out, demux_msg::stream_line, name);
}
