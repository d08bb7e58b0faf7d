// The file offset of a stream byte that the map has already forgotten.
#include "demux/demux.hpp"

bool demux_map_offset(Demuxer& d, std::uint64_t stream_offset, std::uint8_t* scratch,
                      std::uint32_t scratch_size, std::uint64_t* file_offset) {
    std::FILE* err = d.err;
    d.err = nullptr;  // the pass that read the stream first printed the warnings
    bool found = demux_rewind(d);
    while (found && d.stream_end <= stream_offset) {
        demux_forget_before(d, d.stream_end);
        std::uint32_t got = 0;
        demux_fill(d, scratch, scratch_size, &got);
        if (got == 0) found = false;
    }
    d.err = err;
    if (found) *file_offset = demux_file_offset(d, stream_offset);
    return found;
}
