// A mapped file, read through one window at a time.
//
// The views behave as those read into the input's buffer do, byte for byte:
// a view "reads" as far as a view holds or the file ends, keeps what the
// last view held from its offset on, and finds the end only once the file,
// asked its size again, holds nothing more (a file still being written
// grows under the run). Their bytes are the window's own.
#include <cstring>

#include "input/mapped_input.hpp"

namespace {

bool fail(Input& in) {
    in.failure = InputFailure::READ;
    return false;
}

std::uint64_t window_end(const Input& in) { return in.map.offset + in.map.length; }

// The window holds the file's bytes from `from` on, as far as `want` of them
// or the end of the file; false when the window that held them lost a page,
// the file no longer holds all it held (cut short under the run) or a new
// window cannot be mapped.
bool cover(Input& in, std::uint64_t from, std::uint32_t want) {
    std::uint64_t end = from + want < in.size ? from + want : in.size;
    if (in.map.bytes && from >= in.map.offset && end <= window_end(in)) return true;
    if (!platform_map_intact(in.map)) return fail(in);
    platform_unmap(in.map);
    if (from >= in.size) return true;
    static const std::uint64_t granularity = platform_map_granularity();
    std::uint64_t start = from / granularity * granularity;
    if (!platform_map(in.file, start, MAP_WINDOW, in.size - start, &in.map)) return fail(in);
    in.size = in.map.file_size;
    return true;
}

// The file's size asked again, at what was its end: true when it has grown.
bool grown(Input& in) {
    std::int64_t now = 0;
    if (!platform_size(in.file, &now) || now < 0 || static_cast<std::uint64_t>(now) <= in.size)
        return false;
    in.size = static_cast<std::uint64_t>(now);
    return true;
}

// The bytes of the window from `from` on, at most `count`.
std::uint32_t held_from(const Input& in, std::uint64_t from, std::uint32_t count) {
    if (!in.map.bytes || from >= window_end(in)) return 0;
    std::uint64_t left = window_end(in) - from;
    return left < count ? static_cast<std::uint32_t>(left) : count;
}

}  // namespace

bool mapped_open(Input& in) {
    // An empty file (or one that says so, as some of /proc) is read instead.
    in.mapped = platform_map(in.file, 0, MAP_WINDOW, 0, &in.map);
    in.size = in.map.file_size;
    return in.mapped;
}

void mapped_close(Input& in) {
    platform_unmap(in.map);
    in.mapped = false;
}

bool mapped_read(Input& in, std::uint64_t file_offset, std::uint8_t* dest, std::uint32_t count,
                 std::uint32_t* got) {
    *got = 0;
    in.failure = InputFailure::NONE;
    while (*got < count) {
        std::uint64_t from = file_offset + *got;
        if (!cover(in, from, count - *got)) return false;
        std::uint32_t n = held_from(in, from, count - *got);
        if (n == 0) {
            if (from < in.size || grown(in)) continue;
            break;
        }
        std::memcpy(dest + *got, in.map.bytes + (from - in.map.offset), n);
        // Bytes of a page lost under the copy are not the file's.
        if (!platform_map_intact(in.map)) return fail(in);
        *got += n;
    }
    return true;
}

bool mapped_view(Input& in, std::uint64_t file_offset, std::uint32_t need, InputView* view) {
    if (need > INPUT_VIEW_SIZE) need = INPUT_VIEW_SIZE;
    in.failure = InputFailure::NONE;
    // What the last view handed out was read from intact pages.
    bool ok = platform_map_intact(in.map) || fail(in);
    if (ok && file_offset >= in.view_base && file_offset - in.view_base <= in.view_held) {
        in.view_held -= static_cast<std::uint32_t>(file_offset - in.view_base);
    } else {
        in.view_held = 0;
        in.view_at_end = false;
    }
    in.view_base = file_offset;
    while (ok && !in.view_at_end && in.view_held < need) {
        // As one read of the rest of a view would bring.
        std::uint64_t from = in.view_base + in.view_held;
        std::uint32_t room = INPUT_VIEW_SIZE - in.view_held;
        if (from >= in.size && !grown(in)) {
            in.view_at_end = true;
            break;
        }
        std::uint64_t left = in.size - from;
        // The whole view lies in one window.
        ok = cover(in, in.view_base, INPUT_VIEW_SIZE);
        in.view_held += left < room ? static_cast<std::uint32_t>(left) : room;
    }
    // A read since may have moved the window off the bytes kept.
    if (ok && in.view_held > 0) ok = cover(in, in.view_base, in.view_held);
    if (!ok) in.view_held = 0;
    view->bytes = in.map.bytes && in.view_base >= in.map.offset && in.view_base <= window_end(in)
                      ? in.map.bytes + (in.view_base - in.map.offset)
                      : in.view;
    view->held = in.view_held;
    view->file_offset = in.view_base;
    view->at_end = in.view_at_end;
    return ok;
}
