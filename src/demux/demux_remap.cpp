// Reading the stream again without the scanner: to check all of it before
// a rewrite, or to find where a byte the map has forgotten lies in the file.
#include "demux/demux.hpp"

bool demux_skim(Demuxer& d, std::uint64_t until, std::uint8_t* scratch, std::uint32_t scratch_size) {
    bool own_pass = d.own_pass;
    d.own_pass = true;  // the scanner's own pass gives the warnings
    bool reached = true;
    while (d.stream_end < until) {
        demux_forget_before(d, d.stream_end);
        std::uint32_t got = 0;
        demux_fill(d, scratch, scratch_size, &got);
        if (got == 0) {
            reached = false;
            break;
        }
    }
    d.own_pass = own_pass;
    return reached;
}

bool demux_map_offset(Demuxer& d, std::uint64_t stream_offset, std::uint8_t* scratch,
                      std::uint32_t scratch_size, std::uint64_t* file_offset) {
    if (!demux_rewind(d) || !demux_skim(d, stream_offset + 1, scratch, scratch_size)) return false;
    *file_offset = demux_file_offset(d, stream_offset);
    return true;
}
