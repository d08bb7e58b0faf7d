// The map from stream offsets to file offsets, and the fill that builds it.
#include <cstdlib>
#include <cstring>
#include <new>

#include "demux/demux.hpp"
#include "demux/demux_parse.hpp"

namespace {

// Index of the last run that starts at or before `stream_offset`, or -1.
long find_run(const Demuxer& d, std::uint64_t stream_offset) {
    std::uint32_t lo = 0;
    std::uint32_t hi = d.run_count;
    while (lo < hi) {
        std::uint32_t mid = lo + (hi - lo) / 2;
        if (demux_run(d, mid).stream_offset <= stream_offset) lo = mid + 1;
        else hi = mid;
    }
    return static_cast<long>(lo) - 1;
}

}  // namespace

bool demux_open(Demuxer& d) {
    d.runs = static_cast<PayloadRun*>(std::malloc(MAX_RUNS * sizeof(PayloadRun)));
    d.sections = new (std::nothrow) SectionBuffer[MAX_PROGRAMS + 1];
    return d.runs && d.sections;
}

void demux_close(Demuxer& d) {
    std::free(d.runs);
    delete[] d.sections;
    d.in = nullptr;
    d.runs = nullptr;
    d.sections = nullptr;
}

bool demux_rewind(Demuxer& d) {
    d.in_held = d.in_pos = 0;
    d.in_base = d.start_offset;
    d.in_end = false;
    d.pay_at = d.pay_left = 0;
    d.gap_pending = d.gap_after = false;
    d.stream_end = 0;
    d.run_first = d.run_count = 0;
    d.last_piece_at = 0;
    d.last_piece_used = 0;
    d.last_cc = -1;
    d.pes_started = false;
    d.pes_header_need = d.pes_header_have = d.pes_left = 0;
    d.pes_bounded = false;
    d.stop = DemuxStop::NONE;
    // Each pass follows the tables again from the stream first chosen.
    if (d.chosen) d.stream = d.first_stream;
    d.pmt_pid = d.first_pmt_pid;
    d.pmt_version = -1;
    d.change_count = d.changes_told = 0;
    d.changes_omitted = 0;
    if (d.sections) d.sections[0].open = d.sections[1].open = false;
    d.scrambled_open = false;
    // The input's view still holds the first bytes after choosing the
    // stream: they are not read again. No pass writes before a rewind (a
    // rewrite keeps its patches until its pass is over, or checks the
    // stream without writing before it writes as it goes), so the bytes
    // held are the file's.
    return true;
}

bool demux_refill(Demuxer& d, std::uint32_t need) {
    if (d.in_held - d.in_pos >= need) return true;
    if (d.in_pos > 0) d.pay_at = 0;
    InputView view;
    bool read = input_view(*d.input, d.in_base + d.in_pos, need, &view);
    d.in = view.bytes;
    d.in_base = view.file_offset;
    d.in_held = view.held;
    d.in_pos = 0;
    d.in_end = view.at_end;
    if (!read) {
        d.stop = DemuxStop::READ_FAILED;
        return false;
    }
    return d.in_held >= need;
}

void demux_fill(Demuxer& d, std::uint8_t* dest, std::uint32_t capacity, std::uint32_t* got) {
    *got = 0;
    const bool transport = d.container == Container::TRANSPORT_STREAM;
    while (*got < capacity && d.stop == DemuxStop::NONE) {
        if (d.pay_left == 0) {
            if (transport) {
                // Most packets take the short way; the first that does not
                // is read below.
                *got += take_transport_payloads(d, dest + *got, capacity - *got);
                if (*got == capacity) break;
            }
            bool found = transport ? next_transport_payload(d) : next_program_payload(d);
            // A stretch of scrambled packets ends at a clear payload or the end.
            if (d.scrambled_open) demux_end_scrambled(d);
            if (!found) break;
            continue;
        }
        std::uint32_t n = capacity - *got < d.pay_left ? capacity - *got : d.pay_left;
        if (!add_run(d, d.stream_end, d.in_base + d.pay_at, n, d.gap_pending)) break;  // the map is full
        d.gap_pending = false;
        std::memcpy(dest + *got, d.in + d.pay_at, n);
        d.pay_at += n;
        d.pay_left -= n;
        d.stream_end += n;
        *got += n;
        if (d.pay_left == 0 && d.gap_after) {
            d.gap_pending = true;
            d.gap_after = false;
        }
    }
}

void demux_forget_before(Demuxer& d, std::uint64_t stream_offset) {
    while (d.run_count > 1) {
        const PayloadRun& r = demux_run(d, 0);
        if (r.stream_offset + r.length > stream_offset) break;
        d.run_first = (d.run_first + 1) & (MAX_RUNS - 1);
        --d.run_count;
    }
}

std::uint64_t demux_file_offset(const Demuxer& d, std::uint64_t stream_offset) {
    long i = stream_offset < d.stream_end ? find_run(d, stream_offset) : -1;
    if (i < 0) return d.in_base + (d.in_end ? d.in_held : d.in_pos);
    return run_file_offset(demux_run(d, static_cast<std::uint32_t>(i)), stream_offset);
}

bool demux_locate(const Demuxer& d, std::uint64_t stream_offset, std::uint32_t count,
                  std::uint64_t* file_offsets) {
    bool damaged = false;
    long i = find_run(d, stream_offset);
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint64_t at = stream_offset + k;
        if (at >= d.stream_end || i < 0) {
            file_offsets[k] = UINT64_MAX;  // not in the stream
            continue;
        }
        while (static_cast<std::uint32_t>(i) + 1 < d.run_count &&
               demux_run(d, static_cast<std::uint32_t>(i) + 1).stream_offset <= at)
            ++i;
        const PayloadRun& r = demux_run(d, static_cast<std::uint32_t>(i));
        if (k > 0 && r.after_gap && r.stream_offset == at) damaged = true;
        file_offsets[k] = run_file_offset(r, at);
    }
    return damaged;
}
