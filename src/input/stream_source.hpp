// Where the scanner's bytes come from: a source of one video stream.
//
// The scanner asks a source for the stream's bytes by stream offset and for
// the file offsets of the bytes it holds; it never knows what kind of file
// is read. The elementary stream is the identity (stream offset == file
// offset); a program or transport stream's demultiplexer hands out the PES
// payloads of one stream and keeps the map back to the file. A source is a
// table of functions and the state they share.
#pragma once

#include <cstdint>

#include "input/input.hpp"

enum class SourceStatus { OK, READ_FAILED, SEEK_FAILED, SCRAMBLED, SYSTEM_STREAM };

// What a fill brought.
struct SourceFill {
    std::uint32_t got = 0;  // 0 at the end of the stream
    SourceStatus status = SourceStatus::OK;
    std::uint64_t file_offset = 0;  // SCRAMBLED: the packet that stopped it
};

struct SourceFunctions {
    // Up to `count` stream bytes from `stream_offset` into `dest`. The scan
    // asks in order: never behind the end of the last fill; bytes between
    // it and `stream_offset` are passed over (`dest` may serve to drop
    // them). SYSTEM_STREAM: the first fill found the file to be a transport
    // stream.
    SourceFill (*fill)(void* state, std::uint64_t stream_offset, std::uint8_t* dest,
                       std::uint32_t count);
    // Back to the stream's first byte, for another pass; false when that
    // fails (not reported).
    bool (*rewind)(void* state);
    // The file offset of a stream byte the last fills brought and that has
    // not been forgotten; past the end of what was brought, where reading
    // has reached.
    std::uint64_t (*file_offset)(const void* state, std::uint64_t stream_offset);
    // The file offset of any stream byte, once the pass is over: the source
    // may read the stream again from its start, into `scratch`. False when
    // that read fails or the stream ends before the byte (not reported).
    bool (*file_offset_after)(void* state, std::uint64_t stream_offset, std::uint8_t* scratch,
                              std::uint32_t scratch_size, std::uint64_t* file_offset);
    // The file offsets of `count` stream bytes from `stream_offset`
    // (UINT64_MAX past the stream's end); true when any of them follows a
    // gap in the stream that the first does not.
    bool (*locate)(const void* state, std::uint64_t stream_offset, std::uint32_t count,
                   std::uint64_t* file_offsets);
    // The stream bytes before `stream_offset` are not asked about again.
    void (*forget_before)(void* state, std::uint64_t stream_offset);
    // The stream is the file as it lies, not read out of a container.
    bool whole_file;
};

// The elementary stream's functions; with no state, a stream of no bytes.
extern const SourceFunctions elementary_functions;

// A source; by default the elementary stream of no file, whose offsets are
// the identity.
struct StreamSource {
    const SourceFunctions* functions = &elementary_functions;
    void* state = nullptr;
};

inline SourceFill source_fill(const StreamSource& s, std::uint64_t stream_offset, std::uint8_t* dest,
                              std::uint32_t count) {
    return s.functions->fill(s.state, stream_offset, dest, count);
}
inline bool source_rewind(const StreamSource& s) { return s.functions->rewind(s.state); }
inline std::uint64_t source_file_offset(const StreamSource& s, std::uint64_t stream_offset) {
    return s.functions->file_offset(s.state, stream_offset);
}
inline bool source_file_offset_after(const StreamSource& s, std::uint64_t stream_offset,
                                     std::uint8_t* scratch, std::uint32_t scratch_size,
                                     std::uint64_t* file_offset) {
    return s.functions->file_offset_after(s.state, stream_offset, scratch, scratch_size, file_offset);
}
inline bool source_locate(const StreamSource& s, std::uint64_t stream_offset, std::uint32_t count,
                          std::uint64_t* file_offsets) {
    return s.functions->locate(s.state, stream_offset, count, file_offsets);
}
inline void source_forget_before(const StreamSource& s, std::uint64_t stream_offset) {
    s.functions->forget_before(s.state, stream_offset);
}

// The elementary stream: the file itself, read through `in`.
struct ElementarySource {
    Input* in = nullptr;
};
StreamSource elementary_source(ElementarySource& state);
