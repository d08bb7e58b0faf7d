// Windows backend of the file operations.
//
// The file is opened with read sharing only: other processes may read it
// while the tool runs, none may write it, and the open fails while another
// process already holds it with write access. A directory cannot be opened
// at all, because the open asks for no backup semantics.
//
// Names and messages cross this layer as UTF-8 and reach the system as
// UTF-16, so that any file name opens and a console shows any message.
#include "platform/file.hpp"
#include "platform/failure.hpp"
#include "platform/folder.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

HANDLE handle_of(FileHandle file) {
    return reinterpret_cast<HANDLE>(file.handle);
}

// UTF-8 `text` of `size` bytes (-1: up to its zero, which is converted too)
// as UTF-16 in a new buffer that the caller frees; null when the text is not
// valid UTF-8 or there is no memory.
wchar_t* to_utf16(const char* text, int size, int* length) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, size, nullptr, 0);
    if (n <= 0) return nullptr;
    auto* wide = static_cast<wchar_t*>(std::malloc(static_cast<std::size_t>(n) * sizeof(wchar_t)));
    if (wide && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, size, wide, n) != n) {
        std::free(wide);
        return nullptr;
    }
    *length = n;
    return wide;
}

HANDLE handle_of_stream(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

thread_local DWORD last_error = 0;

// Notes why an operation failed, for platform_last_error; false.
bool failed(DWORD code) {
    last_error = code;
    return false;
}

}  // namespace

bool platform_note_failure(std::uint32_t code) { return failed(code); }

bool platform_open(const char* path, FileAccess access, FileHandle* file) {
    DWORD desired = access == FileAccess::READ_WRITE
                        ? GENERIC_READ | GENERIC_WRITE
                        : GENERIC_READ;
    int length = 0;
    wchar_t* wide_path = to_utf16(path, -1, &length);
    if (!wide_path) return failed(ERROR_INVALID_NAME);
    HANDLE h = CreateFileW(wide_path, desired, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING,
                           FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_SEQUENTIAL_SCAN,
                           nullptr);
    std::free(wide_path);
    if (h == INVALID_HANDLE_VALUE) return failed(GetLastError());
    // Only a disk file can be patched in place; a device or a pipe can still
    // be reported.
    if (access == FileAccess::READ_WRITE && GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return failed(ERROR_INVALID_FUNCTION);
    }
    file->handle = reinterpret_cast<std::intptr_t>(h);
    last_error = 0;
    return true;
}

bool platform_read(FileHandle file, std::uint8_t* buffer, std::uint32_t count,
                   std::uint32_t* got) {
    // A disk file fills the request up to its end; a pipe may hand data over
    // in smaller pieces and ends when its writer closes it.
    std::uint32_t total = 0;
    while (total < count) {
        DWORD n = 0;
        if (!ReadFile(handle_of(file), buffer + total, count - total, &n,
                      nullptr)) {
            DWORD code = GetLastError();
            if (code == ERROR_BROKEN_PIPE) break;
            return failed(code);
        }
        if (n == 0) break;
        total += n;
    }
    *got = total;
    return true;
}

bool platform_read_at(FileHandle file, std::uint64_t offset, std::uint8_t* buffer,
                      std::uint32_t count, std::uint32_t* got) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX) - count) return failed(ERROR_NEGATIVE_SEEK);
    // On a handle opened for synchronous reading, the offset of an
    // OVERLAPPED record names where the read starts; the read waits for
    // its data and leaves the file pointer after it.
    std::uint32_t total = 0;
    while (total < count) {
        std::uint64_t at = offset + total;
        OVERLAPPED where = {};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD n = 0;
        if (!ReadFile(handle_of(file), buffer + total, count - total, &n, &where)) {
            DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF) break;  // at or past the end
            return failed(code);
        }
        if (n == 0) break;
        total += n;
    }
    *got = total;
    return true;
}

bool platform_is_seekable(FileHandle file) { return GetFileType(handle_of(file)) == FILE_TYPE_DISK; }

bool platform_seek(FileHandle file, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return failed(ERROR_NEGATIVE_SEEK);
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(handle_of(file), distance, nullptr, FILE_BEGIN) != 0 ||
           failed(GetLastError());
}

bool platform_write(FileHandle file, const std::uint8_t* buffer,
                    std::uint32_t count, std::uint32_t* written) {
    DWORD n = 0;
    if (!WriteFile(handle_of(file), buffer, count, &n, nullptr)) return failed(GetLastError());
    *written = n;
    return true;
}

bool platform_size(FileHandle file, std::int64_t* size) {
    LARGE_INTEGER value;
    if (!GetFileSizeEx(handle_of(file), &value)) return failed(GetLastError());
    *size = value.QuadPart;
    return true;
}

bool platform_sync(FileHandle file) {
    return FlushFileBuffers(handle_of(file)) != 0 || failed(GetLastError());
}

void platform_close(FileHandle file) { CloseHandle(handle_of(file)); }

int platform_last_error() { return static_cast<int>(last_error); }

// The C runtime keeps the system's code of its failed file calls apart
// from errno.
int platform_stdio_error() { return static_cast<int>(_doserrno); }

void platform_error_text(std::FILE* stream, int code, char* text, std::size_t size) {
    // The system's text in the user's UI language, as UTF-8 for a console
    // that takes text and as Shift_JIS bytes elsewhere, like the messages.
    if (size == 0) return;
    text[0] = '\0';
    wchar_t wide[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(code), 0, wide,
                                  sizeof wide / sizeof wide[0], nullptr);
    while (length > 0 && (wide[length - 1] == L'\r' || wide[length - 1] == L'\n' ||
                          wide[length - 1] == L' ' || wide[length - 1] == L'.' ||
                          wide[length - 1] == 0x3002)) {  // the ideographic full stop
        --length;
    }
    UINT code_page = platform_is_text_console(stream) ? CP_UTF8 : 932;
    int n = length > 0 ? WideCharToMultiByte(code_page, 0, wide, static_cast<int>(length), text,
                                             static_cast<int>(size - 1), nullptr, nullptr)
                       : 0;
    if (n <= 0) {
        std::snprintf(text, size, "error %d", code);
        return;
    }
    text[n] = '\0';
}

void platform_prepare_console(std::FILE* stream) {
    int fd = _fileno(stream);
    // A text stream: each "\n" reaches the console or a redirected file as
    // CR LF, while the lone "\r" that ends a progress line stays alone.
    _setmode(fd, _O_TEXT);
    // Only a console shows each line as it is printed. Other character
    // devices are buffered like files, so that a failed write still shows
    // when the stream is flushed at the end.
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD console_mode = 0;
    if (GetConsoleMode(h, &console_mode)) {
        std::setvbuf(stream, nullptr, _IONBF, 0);
    } else {
        std::setvbuf(stream, nullptr, _IOFBF, 1 << 16);
    }
}

UserLocale platform_user_locale() {
    // A Japanese UI is where the tool's first texts were written: it counts
    // as no locale named, the C locale of POSIX (original_locale).
    UserLocale locale;
    locale.messages = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? nullptr : "en";
    return locale;
}

bool platform_is_text_console(std::FILE* stream) {
    DWORD console_mode = 0;
    return GetConsoleMode(handle_of_stream(stream), &console_mode) != 0;
}

CommandShell platform_command_shell() { return CommandShell::CMD; }

bool platform_is_terminal(std::FILE* stream) { return platform_is_text_console(stream); }

void platform_write_console(std::FILE* stream, const char* text, std::size_t size) {
    // Whatever the C library still holds for the stream goes first.
    std::fflush(stream);
    int length = 0;
    wchar_t* wide = size > 0 && size <= INT_MAX
                        ? to_utf16(text, static_cast<int>(size), &length)
                        : nullptr;
    if (!wide) return;
    DWORD written = 0;
    WriteConsoleW(handle_of_stream(stream), wide, static_cast<DWORD>(length), &written, nullptr);
    std::free(wide);
}
