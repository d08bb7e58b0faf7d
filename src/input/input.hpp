// The one input of a run: the open file, read at explicit offsets.
//
// Every reader of the file goes through here: the elementary stream's
// source reads straight into the scan window, the demultiplexer looks at
// views of the file's regions. No reader depends on the file position, so a
// rewrite may write between two reads without putting anything back.
//
// A file that cannot be positioned (a pipe, a character device) is read on
// from where the last read ended: bytes skipped are read and dropped, and a
// read behind that point fails, except within its first INPUT_KEPT_SIZE
// bytes, which are kept as they are read so that the demultiplexer can look
// for the stream and then read it from the start.
//
// A disk file may instead be mapped, a window of MAP_WINDOW bytes at a
// time: its views are then the file's pages themselves, read in place, and
// a read copies from them. A window is mapped only over bytes the file holds
// when it is mapped; a file cut short under a window fails the next call as
// a read would, and never ends the process. Measured on Linux, mapping and
// unmapping the pages costs more than the copy a read makes (bench/run.sh
// prints both), so the tool reads unless asked otherwise.
#pragma once

#include <cstdint>

#include "platform/file.hpp"

// Bytes a view holds at most.
inline constexpr std::uint32_t INPUT_VIEW_SIZE = 1u << 18;
// Bytes of a file that cannot be positioned that are kept from its start.
inline constexpr std::uint32_t INPUT_KEPT_SIZE = 1u << 22;

// Bytes of the file mapped at a time: a view and a read of a window's size
// fit in one, wherever they start.
inline constexpr std::uint32_t MAP_WINDOW = 1u << 21;

// How the file is read: with reads, or mapped where the system allows.
enum class InputReading { READ, MAPPED };

// Why the last call failed.
enum class InputFailure { NONE, READ, SEEK };

struct Input {
    FileHandle file;
    bool seekable = true;
    std::uint64_t read_end = 0;  // not seekable: the offset the next read starts at
    std::uint8_t* kept = nullptr;  // not seekable: its first kept_held bytes
    std::uint32_t kept_held = 0;
    InputFailure failure = InputFailure::NONE;
    bool mapped = false;     // read through `map`
    FileMap map;             // mapped: the window mapped now, if any
    std::uint64_t size = 0;  // mapped: the file's size, as last seen

    // The view's bytes: view[i] lies at file offset view_base + i.
    std::uint8_t* view = nullptr;  // INPUT_VIEW_SIZE bytes
    std::uint32_t view_held = 0;
    std::uint64_t view_base = 0;
    bool view_at_end = false;  // the file ends after view_held bytes
};

// A region of the file: `held` bytes from file offset `file_offset`.
struct InputView {
    const std::uint8_t* bytes = nullptr;
    std::uint32_t held = 0;
    std::uint64_t file_offset = 0;
    bool at_end = false;  // the file ends right after them
};

// How the inputs opened from now on read their files: READ; the benchmark's
// build (M2VHDR_BENCH_READING=mapped) and the tests may ask for MAPPED.
extern InputReading input_reading;

// Readies an input over `file`, mapped when input_reading asks it and the
// file can be; false when there is no memory.
bool input_open(Input& in, FileHandle file);
void input_close(Input& in);

// Reads up to `count` bytes at `file_offset` into `dest`; *got is less only
// at the end of the file. False after a failure (in.failure says which,
// platform_last_error why).
bool input_read(Input& in, std::uint64_t file_offset, std::uint8_t* dest, std::uint32_t count,
                std::uint32_t* got);

// The file's bytes from `file_offset`: at least `need` of them (at most
// INPUT_VIEW_SIZE) unless the file ends first, and as many more as one
// read brings. Bytes the last view held from that offset on are kept and
// not read again. The view stays valid until the next call. False after a
// failure, as input_read.
bool input_view(Input& in, std::uint64_t file_offset, std::uint32_t need, InputView* view);

// Forgets the view's bytes: the next view reads the file again.
void input_drop_view(Input& in);
