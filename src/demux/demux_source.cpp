// The demultiplexer as the scanner's source of the video stream.
#include "demux/demux.hpp"

namespace {

// Up to `count` bytes, a part at a time: the window stays in the cache
// beside the demultiplexer's input while the scan reads it.
std::uint32_t take(Demuxer& d, std::uint8_t* dest, std::uint32_t count) {
    if (count > DEMUX_FILL_SIZE) count = DEMUX_FILL_SIZE;
    std::uint32_t got = 0;
    demux_fill(d, dest, count, &got);
    return got;
}

SourceFill fill(void* state, std::uint64_t stream_offset, std::uint8_t* dest, std::uint32_t count) {
    Demuxer& d = *static_cast<Demuxer*>(state);
    SourceFill f;
    // Bytes a handler skipped past the window are read and dropped.
    bool at_end = false;
    while (d.stream_end < stream_offset && d.stop == DemuxStop::NONE) {
        std::uint64_t left = stream_offset - d.stream_end;
        if (take(d, dest, left < count ? static_cast<std::uint32_t>(left) : count) == 0) {
            at_end = true;
            break;
        }
        demux_forget_before(d, d.stream_end);
    }
    if (!at_end && d.stop == DemuxStop::NONE) f.got = take(d, dest, count);
    if (d.stop == DemuxStop::READ_FAILED) {
        f.got = 0;
        f.status = d.input->failure == InputFailure::SEEK ? SourceStatus::SEEK_FAILED
                                                          : SourceStatus::READ_FAILED;
    } else if (d.stop == DemuxStop::SCRAMBLED) {
        f.got = 0;
        f.status = SourceStatus::SCRAMBLED;
        f.file_offset = d.stop_offset;
    }
    return f;
}

bool rewind(void* state) { return demux_rewind(*static_cast<Demuxer*>(state)); }

std::uint64_t file_offset(const void* state, std::uint64_t stream_offset) {
    return demux_file_offset(*static_cast<const Demuxer*>(state), stream_offset);
}

bool file_offset_after(void* state, std::uint64_t stream_offset, std::uint8_t* scratch,
                       std::uint32_t scratch_size, std::uint64_t* file_offset) {
    return demux_map_offset(*static_cast<Demuxer*>(state), stream_offset, scratch, scratch_size,
                            file_offset);
}

bool locate(const void* state, std::uint64_t stream_offset, std::uint32_t count,
            std::uint64_t* file_offsets) {
    return demux_locate(*static_cast<const Demuxer*>(state), stream_offset, count, file_offsets);
}

void forget_before(void* state, std::uint64_t stream_offset) {
    demux_forget_before(*static_cast<Demuxer*>(state), stream_offset);
}

constexpr SourceFunctions functions = {fill, rewind, file_offset, file_offset_after, locate,
                                       forget_before, false};

}  // namespace

StreamSource demux_source(Demuxer& d) { return {&functions, &d}; }
