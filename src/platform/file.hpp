// The file operations the tool needs, the console set-up, and the
// system's ways with text.
//
// Everything else in the tool reaches the input file only through these
// functions, so that each operating system gets one backend file here and
// nothing else changes. Every operation reports failure by returning false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum class FileAccess { READ, READ_WRITE };

// An open file; `handle` is the backend's descriptor or handle value.
struct FileHandle {
    std::intptr_t handle = -1;
};

// Opens an existing file (nothing is created). Other processes may read the
// file meanwhile but not write it: an open that would break this, either way
// round, fails. The file is read sequentially from its start.
bool platform_open(const char* path, FileAccess access, FileHandle* file);

// Reads up to `count` bytes at the current position; `*got` is 0 at the end
// of the file.
bool platform_read(FileHandle file, std::uint8_t* buffer, std::uint32_t count,
                   std::uint32_t* got);

// Reads up to `count` bytes at `offset` bytes from the start of the file,
// whatever the current position, which it may move; `*got` is 0 at or past
// the end. Only for a file that can be positioned (platform_is_seekable).
bool platform_read_at(FileHandle file, std::uint64_t offset, std::uint8_t* buffer,
                      std::uint32_t count, std::uint32_t* got);

// A window of a file mapped for reading: its pages are read in place.
struct FileMap {
    const std::uint8_t* bytes = nullptr;  // bytes[i] lies at file offset offset + i
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::uint64_t file_size = 0;  // the file's size when it was mapped
    std::intptr_t slot = -1;      // the backend's record of it
};

// The multiple of which a window's offset must be.
std::uint32_t platform_map_granularity();

// Maps up to `length` bytes from `offset`, as many as the file holds now,
// which must be `least` at least (and one); false when it holds fewer, or
// the file cannot be mapped (it is read instead). A first try, with `least`
// 0, that fails leaves platform_last_error as it was. A window lives until
// platform_unmap, and a process holds a few at most.
bool platform_map(FileHandle file, std::uint64_t offset, std::uint32_t length, std::uint64_t least,
                  FileMap* map);

// False, with the system's reason, when a page of the window could not be
// read since it was mapped (the file was cut short under it, an I/O
// error): such a page reads as zeros instead of ending the process.
bool platform_map_intact(const FileMap& map);

void platform_unmap(FileMap& map);

// True for a file that can be read at any offset (a disk file); false for
// a pipe or a character device, which is read on from where it is.
bool platform_is_seekable(FileHandle file);

// Moves the current position to `offset` bytes from the start of the file.
bool platform_seek(FileHandle file, std::uint64_t offset);

// Writes `count` bytes at the current position; `*written` is the count the
// system accepted.
bool platform_write(FileHandle file, const std::uint8_t* buffer,
                    std::uint32_t count, std::uint32_t* written);

// The file's size in bytes; fails for a pipe or a device, whose size is
// not known before it ends.
bool platform_size(FileHandle file, std::int64_t* size);

// Makes the writes made so far reach the storage device.
bool platform_sync(FileHandle file);

void platform_close(FileHandle file);

// The system's code for why the last of the operations above that failed on
// this thread failed (errno; Windows: GetLastError()); 0 before any failed.
// A directory named for opening fails as "is a directory", a file that
// another process holds against the share rule as "busy" (POSIX) or with
// the sharing violation (Windows).
int platform_last_error();

// The system's code for why the last C library call on a file (fopen,
// fwrite, fclose) failed on this thread, for platform_error_text; 0 when
// none is known.
int platform_stdio_error();

// The system's text for error `code`, in the user's language where the
// system has one, in the encoding that messages printed on `stream` take;
// no final full stop or line end. At most `size` bytes with the final zero.
void platform_error_text(std::FILE* stream, int code, char* text, std::size_t size);

// Sets up a console stream: flushed on every print when it is a terminal,
// buffered in large blocks when it is redirected.
void platform_prepare_console(std::FILE* stream);

// True when `stream` is a terminal (Windows: a console), where a line that
// is redrawn in place can be seen; false for a file, a pipe or a device.
bool platform_is_terminal(std::FILE* stream);

// The shell a command printed for the user to run is written for: sh on
// POSIX, cmd.exe on Windows.
enum class CommandShell { SH, CMD };
CommandShell platform_command_shell();

// The user's locale as far as messages go. POSIX: `messages` is the first
// of LC_ALL, LC_MESSAGES and LANG that is set and not empty, by name, so that
// a locale named but not installed still counts; `codeset` is the codeset of
// LC_CTYPE, or, when that locale is not installed, the one its name gives
// ("ja_JP.eucJP": "eucJP"). Windows: none when the user's UI language is
// Japanese (the tool's first home, like C on POSIX), "en" otherwise, and no
// codeset (bytes written to a file or a
// pipe are Shift_JIS; consoles take text instead, below). `messages` may
// be null; it points into the environment.
struct UserLocale {
    const char* messages = nullptr;
    char codeset[32] = {};  // empty when unknown
};
UserLocale platform_user_locale();

// True when `stream` is a console that takes text rather than bytes: a
// Windows console, where messages then read right whatever its code page.
// Never on POSIX, where a terminal shows the bytes of the locale.
bool platform_is_text_console(std::FILE* stream);

// Writes the UTF-8 `text` to such a console (Windows: as UTF-16, with
// WriteConsoleW).
void platform_write_console(std::FILE* stream, const char* text, std::size_t size);

// The tool's own main (app/main.cpp), which the system's entry point calls
// with the arguments as UTF-8 on Windows, as the system passes them on POSIX.
int m2vhdr_main(int argc, char** argv);
