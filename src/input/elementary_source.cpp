// The elementary stream as a source: stream offsets are file offsets.
#include <initializer_list>

#include "input/stream_source.hpp"

namespace {

constexpr std::uint8_t SYNC_BYTE = 0x47;

// A transport stream carries the video in 188-byte packets (192 with a
// time-code prefix), each starting with the sync byte 0x47.
bool looks_like_transport_stream(const std::uint8_t* data, std::uint32_t held) {
    for (std::uint32_t first : {0u, 4u}) {
        std::uint32_t packet = first == 0 ? 188 : 192;
        std::uint32_t last = first + 2 * packet;
        if (last < held && data[first] == SYNC_BYTE && data[first + packet] == SYNC_BYTE &&
            data[last] == SYNC_BYTE)
            return true;
    }
    return false;
}

SourceFill fill(void* state, std::uint64_t stream_offset, std::uint8_t* dest, std::uint32_t count) {
    SourceFill f;
    if (!state) return f;
    Input& in = *static_cast<ElementarySource*>(state)->in;
    if (!input_read(in, stream_offset, dest, count, &f.got)) {
        f.got = 0;
        f.status = in.failure == InputFailure::SEEK ? SourceStatus::SEEK_FAILED
                                                    : SourceStatus::READ_FAILED;
        return f;
    }
    // The first bytes of a file that is a transport stream are refused.
    if (stream_offset == 0 && looks_like_transport_stream(dest, f.got))
        f.status = SourceStatus::SYSTEM_STREAM;
    return f;
}

// A pipe read from its start already is where a pass starts.
bool rewind(void* state) {
    if (!state) return true;
    const Input& in = *static_cast<ElementarySource*>(state)->in;
    return in.seekable || in.read_end == 0;
}

std::uint64_t file_offset(const void*, std::uint64_t stream_offset) { return stream_offset; }

bool file_offset_after(void*, std::uint64_t stream_offset, std::uint8_t*, std::uint32_t,
                       std::uint64_t* file_offset) {
    *file_offset = stream_offset;
    return true;
}

bool locate(const void*, std::uint64_t stream_offset, std::uint32_t count, std::uint64_t* file_offsets) {
    for (std::uint32_t i = 0; i < count; ++i) file_offsets[i] = stream_offset + i;
    return false;
}

void forget_before(void*, std::uint64_t) {}

}  // namespace

const SourceFunctions elementary_functions = {fill, rewind, file_offset, file_offset_after, locate,
                                              forget_before, true};

StreamSource elementary_source(ElementarySource& state) { return {&elementary_functions, &state}; }
