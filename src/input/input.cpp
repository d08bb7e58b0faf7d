#include "input/input.hpp"

#include <cstdlib>
#include <cstring>

#include "input/mapped_input.hpp"

InputReading input_reading = InputReading::READ;

bool input_open(Input& in, FileHandle file) {
    InputReading reading = input_reading;
    in = Input{};
    in.file = file;
    in.seekable = platform_is_seekable(file);
#ifdef M2VHDR_BENCH_READING
    // The benchmark's build times both ways of reading.
    if (const char* asked = std::getenv("M2VHDR_BENCH_READING"))
        reading = std::strcmp(asked, "mapped") == 0 ? InputReading::MAPPED : InputReading::READ;
#endif
    if (in.seekable && reading == InputReading::MAPPED) mapped_open(in);
    // Mapped or not, the buffer serves a file that is read.
    in.view = static_cast<std::uint8_t*>(std::malloc(INPUT_VIEW_SIZE));
    return in.view != nullptr;
}

void input_close(Input& in) {
    mapped_close(in);
    std::free(in.view);
    std::free(in.kept);
    in.kept = nullptr;
    in.kept_held = 0;
    in.view = nullptr;
    in.view_held = 0;
}

namespace {

// Reads on at in.read_end, keeping what lies within the first
// INPUT_KEPT_SIZE bytes.
bool read_next(Input& in, std::uint8_t* dest, std::uint32_t count, std::uint32_t* got) {
    if (!platform_read(in.file, dest, count, got)) {
        in.failure = InputFailure::READ;
        return false;
    }
    if (in.kept_held == in.read_end && in.read_end < INPUT_KEPT_SIZE && *got > 0) {
        if (!in.kept) in.kept = static_cast<std::uint8_t*>(std::malloc(INPUT_KEPT_SIZE));
        if (in.kept) {
            std::uint32_t room = INPUT_KEPT_SIZE - in.kept_held;
            std::uint32_t n = *got < room ? *got : room;
            std::memcpy(in.kept + in.kept_held, dest, n);
            in.kept_held += n;
        }
    }
    in.read_end += *got;
    return true;
}

// A file that cannot be positioned: on from where it is, dropping the bytes
// before `file_offset`; behind it from the bytes kept.
bool read_on(Input& in, std::uint64_t file_offset, std::uint8_t* dest, std::uint32_t count,
             std::uint32_t* got) {
    *got = 0;
    if (file_offset < in.read_end) {
        bool inside = file_offset + count <= in.kept_held;
        if (file_offset < in.kept_held && (inside || in.kept_held == in.read_end)) {
            std::uint64_t left = in.kept_held - file_offset;
            std::uint32_t n = left < count ? static_cast<std::uint32_t>(left) : count;
            std::memcpy(dest, in.kept + file_offset, n);
            if (n == count) {
                *got = n;
                return true;
            }
            std::uint32_t more = 0;
            bool ok = read_next(in, dest + n, count - n, &more);
            *got = n + more;
            return ok;
        }
        // Tried for the system's reason (platform_last_error) only.
        platform_seek(in.file, file_offset);
        in.failure = InputFailure::SEEK;
        return false;
    }
    while (in.read_end < file_offset) {
        std::uint64_t skip = file_offset - in.read_end;
        std::uint32_t chunk = count > 0 && skip > count ? count : static_cast<std::uint32_t>(skip);
        if (count == 0) return true;
        std::uint32_t dropped = 0;
        if (!read_next(in, dest, chunk, &dropped)) return false;
        if (dropped == 0) return true;  // the end comes first
    }
    return read_next(in, dest, count, got);
}

}  // namespace

bool input_read(Input& in, std::uint64_t file_offset, std::uint8_t* dest, std::uint32_t count,
                std::uint32_t* got) {
    if (in.mapped) return mapped_read(in, file_offset, dest, count, got);
    in.failure = InputFailure::NONE;
    if (!in.seekable) return read_on(in, file_offset, dest, count, got);
    if (platform_read_at(in.file, file_offset, dest, count, got)) return true;
    in.failure = InputFailure::READ;
    return false;
}

bool input_view(Input& in, std::uint64_t file_offset, std::uint32_t need, InputView* view) {
    if (in.mapped) return mapped_view(in, file_offset, need, view);
    if (need > INPUT_VIEW_SIZE) need = INPUT_VIEW_SIZE;
    if (file_offset >= in.view_base && file_offset - in.view_base <= in.view_held) {
        // The bytes held from there on slide to the front.
        auto skip = static_cast<std::uint32_t>(file_offset - in.view_base);
        if (skip > 0) {
            std::memmove(in.view, in.view + skip, in.view_held - skip);
            in.view_held -= skip;
            in.view_base = file_offset;
        }
    } else {
        in.view_base = file_offset;
        in.view_held = 0;
        in.view_at_end = false;
    }
    bool ok = true;
    while (!in.view_at_end && in.view_held < need) {
        std::uint32_t got = 0;
        if (!input_read(in, in.view_base + in.view_held, in.view + in.view_held,
                        INPUT_VIEW_SIZE - in.view_held, &got)) {
            ok = false;
            break;
        }
        if (got == 0) in.view_at_end = true;
        in.view_held += got;
    }
    view->bytes = in.view;
    view->held = in.view_held;
    view->file_offset = in.view_base;
    view->at_end = in.view_at_end;
    return ok;
}

void input_drop_view(Input& in) {
    in.view_held = 0;
    in.view_at_end = false;
    in.view_base = 0;
}
