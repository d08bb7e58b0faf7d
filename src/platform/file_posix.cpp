// POSIX backend of the file operations.
//
// Windows offers the file to other processes for reading only; here the same
// rule is kept with an open-file-description lock on the whole file, shared
// for reading and exclusive for reading and writing.
//
// The position of a regular file is kept here rather than in the kernel: a
// seek only notes where the next read or write goes, and that read or write
// names the place itself (pread, pwrite). A patch of the rewrite is then one
// system call instead of two. Pipes and devices keep the kernel's position.
#include "platform/file.hpp"
#include "platform/failure.hpp"
#include "platform/folder.hpp"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int fd_of(FileHandle file) { return static_cast<int>(file.handle); }

thread_local int last_error = 0;

// Notes why an operation failed, for platform_last_error; false.
bool failed(int code) {
    last_error = code;
    return false;
}

// The regular files open now, with their positions. A file opened while
// every slot is taken keeps the kernel's position throughout. Runs on several
// threads open and close files at once: a slot is claimed and given back
// under the lock, and only the thread that holds its file moves its position.
struct TrackedFile {
    int fd = -1;
    std::uint64_t position = 0;
};
TrackedFile tracked_files[8];
std::mutex tracked_lock;

TrackedFile* tracked(int fd) {
    std::lock_guard<std::mutex> hold(tracked_lock);
    for (TrackedFile& t : tracked_files) {
        if (t.fd == fd) return &t;
    }
    return nullptr;
}

void track(int fd) {
    std::lock_guard<std::mutex> hold(tracked_lock);
    for (TrackedFile& t : tracked_files) {
        if (t.fd == -1) {
            t = {fd, 0};
            return;
        }
    }
}

void untrack(int fd) {
    std::lock_guard<std::mutex> hold(tracked_lock);
    for (TrackedFile& t : tracked_files) {
        if (t.fd == fd) t.fd = -1;
    }
}

bool lock_whole_file(int fd, FileAccess access) {
    struct flock lock = {};
    lock.l_type = access == FileAccess::READ_WRITE ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;  // to the end, however far the file grows
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
    // A conflicting lock means another process is using the file in a way
    // the share rule forbids. A file system without locks cannot conflict.
    if (errno == EAGAIN || errno == EACCES) return failed(EBUSY);
    return true;
}

}  // namespace

bool platform_note_failure(std::uint32_t code) { return failed(static_cast<int>(code)); }

bool platform_open(const char* path, FileAccess access, FileHandle* file) {
    // O_NONBLOCK keeps a FIFO without a writer from hanging the open; it is
    // cleared again below so that reads wait for data as usual.
    int flags = access == FileAccess::READ_WRITE ? O_RDWR : O_RDONLY;
    int fd = open(path, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return failed(errno);

    // Only a regular file can be patched in place; a device or a pipe can
    // still be reported.
    struct stat st = {};
    int refusal = 0;
    if (fstat(fd, &st) != 0) refusal = errno;
    else if (S_ISDIR(st.st_mode)) refusal = EISDIR;
    else if (access == FileAccess::READ_WRITE && !S_ISREG(st.st_mode)) refusal = ESPIPE;
    if (refusal == 0) {
        int fl = fcntl(fd, F_GETFL);
        if (fl < 0 || fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) refusal = errno;
        else if (!lock_whole_file(fd, access)) refusal = last_error;
    }
    if (refusal != 0) {
        close(fd);
        return failed(refusal);
    }
    if (S_ISREG(st.st_mode)) {
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        track(fd);
    }
    file->handle = fd;
    last_error = 0;
    return true;
}

bool platform_read(FileHandle file, std::uint8_t* buffer, std::uint32_t count,
                   std::uint32_t* got) {
    // Fill the request as far as the file allows, as a Windows read of a disk
    // file does: a pipe may hand data over in smaller pieces.
    int fd = fd_of(file);
    TrackedFile* t = tracked(fd);
    std::uint32_t total = 0;
    while (total < count) {
        ssize_t n = t ? pread(fd, buffer + total, count - total,
                              static_cast<off_t>(t->position + total))
                      : read(fd, buffer + total, count - total);
        if (n < 0) {
            if (errno == EINTR) continue;
            return failed(errno);
        }
        if (n == 0) break;
        total += static_cast<std::uint32_t>(n);
    }
    if (t) t->position += total;
    *got = total;
    return true;
}

bool platform_read_at(FileHandle file, std::uint64_t offset, std::uint8_t* buffer,
                      std::uint32_t count, std::uint32_t* got) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX) - count) return failed(EINVAL);
    int fd = fd_of(file);
    std::uint32_t total = 0;
    while (total < count) {
        ssize_t n = pread(fd, buffer + total, count - total, static_cast<off_t>(offset + total));
        if (n < 0) {
            if (errno == EINTR) continue;
            return failed(errno);
        }
        if (n == 0) break;
        total += static_cast<std::uint32_t>(n);
    }
    *got = total;
    return true;
}

bool platform_is_seekable(FileHandle file) {
    struct stat st = {};
    return fstat(fd_of(file), &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

bool platform_seek(FileHandle file, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return failed(EINVAL);
    if (TrackedFile* t = tracked(fd_of(file))) {
        t->position = offset;  // a regular file can be positioned anywhere
        return true;
    }
    return lseek(fd_of(file), static_cast<off_t>(offset), SEEK_SET) >= 0 || failed(errno);
}

bool platform_write(FileHandle file, const std::uint8_t* buffer,
                    std::uint32_t count, std::uint32_t* written) {
    int fd = fd_of(file);
    TrackedFile* t = tracked(fd);
    ssize_t n;
    do {
        n = t ? pwrite(fd, buffer, count, static_cast<off_t>(t->position))
              : write(fd, buffer, count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return failed(errno);
    if (t) t->position += static_cast<std::uint64_t>(n);
    *written = static_cast<std::uint32_t>(n);
    return true;
}

bool platform_size(FileHandle file, std::int64_t* size) {
    struct stat st = {};
    if (fstat(fd_of(file), &st) != 0) return failed(errno);
    // A pipe's st_size is what waits in it, not the length of what comes.
    if (!S_ISREG(st.st_mode)) return failed(ESPIPE);
    *size = st.st_size;
    return true;
}

bool platform_sync(FileHandle file) {
    if (fdatasync(fd_of(file)) == 0) return true;
    // A device or pipe that cannot be synchronised has nothing cached for it.
    return errno == EINVAL || errno == EROFS || failed(errno);
}

void platform_close(FileHandle file) {
    untrack(fd_of(file));
    close(fd_of(file));
}

void platform_prepare_console(std::FILE* stream) {
    if (isatty(fileno(stream))) {
        std::setvbuf(stream, nullptr, _IONBF, 0);
    } else {
        std::setvbuf(stream, nullptr, _IOFBF, 1 << 16);
    }
}

int platform_last_error() { return last_error; }

int platform_stdio_error() { return errno; }

void platform_error_text(std::FILE*, int code, char* text, std::size_t size) {
    // The text of the user's locale (its language and its codeset), while
    // the tool itself stays in the C locale.
    locale_t user = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
    const char* reason = user ? strerror_l(code, user) : std::strerror(code);
    std::snprintf(text, size, "%s", reason);
    if (user) freelocale(user);
}

CommandShell platform_command_shell() { return CommandShell::SH; }

bool platform_is_terminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

namespace {

const char* first_set(const char* a, const char* b, const char* c) {
    for (const char* name : {a, b, c}) {
        const char* value = std::getenv(name);
        if (value && *value != '\0') return value;
    }
    return nullptr;
}

}  // namespace

UserLocale platform_user_locale() {
    UserLocale locale;
    char* codeset = locale.codeset;
    locale.messages = first_set("LC_ALL", "LC_MESSAGES", "LANG");
    // Only the codeset is wanted: the tool goes on in the C locale, so that
    // nothing else it prints depends on the environment.
    if (std::setlocale(LC_CTYPE, "")) {
        const char* installed = nl_langinfo(CODESET);
        std::snprintf(codeset, sizeof locale.codeset, "%s", installed ? installed : "");
        std::setlocale(LC_CTYPE, "C");
    } else {
        // Not installed: the name says it, between '.' and '@'.
        const char* name = first_set("LC_ALL", "LC_CTYPE", "LANG");
        const char* dot = name ? std::strchr(name, '.') : nullptr;
        std::size_t length = dot ? std::strcspn(dot + 1, "@") : 0;
        if (length >= sizeof locale.codeset) length = 0;
        if (dot) std::memcpy(codeset, dot + 1, length);
        codeset[length] = '\0';
    }
    return locale;
}

bool platform_is_text_console(std::FILE*) { return false; }

void platform_write_console(std::FILE* stream, const char* text, std::size_t size) {
    std::fwrite(text, 1, size, stream);
}
