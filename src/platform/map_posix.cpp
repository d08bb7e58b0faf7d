// POSIX windows of a file mapped for reading.
//
// A page of a mapping that lies past the end of a file cut short after it
// was mapped raises SIGBUS when it is read. The handler here puts a page of
// zeros in its place, notes the window as damaged and lets the read go on;
// the reader asks platform_map_intact before it trusts what it read, and
// ends the run with a read error. Only the windows registered here are
// handled so: any other SIGBUS goes on to the handler that was there before.
#include "platform/failure.hpp"
#include "platform/file.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The windows mapped now, process-wide: the handler reads them.
struct LiveWindow {
    std::atomic<std::uintptr_t> start{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> lost{false};
    bool taken = false;  // under window_lock
};
constexpr int WINDOWS = 16;
LiveWindow windows[WINDOWS];
std::mutex window_lock;
std::uintptr_t page_size = 4096;
struct sigaction previous = {};

void on_bus_error(int signal, siginfo_t* info, void* context) {
    int saved = errno;
    auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (LiveWindow& w : windows) {
        if (at < w.start.load() || at >= w.end.load()) continue;
        void* page = reinterpret_cast<void*>(at & ~(page_size - 1));
        if (mmap(page, page_size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
            MAP_FAILED) {
            w.lost.store(true);
            errno = saved;
            return;
        }
    }
    errno = saved;
    if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
        previous.sa_sigaction(signal, info, context);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
    } else {
        // The system's own ending, as without this handler.
        sigaction(SIGBUS, &previous, nullptr);
        raise(signal);
    }
}

bool install_handler() {
    static bool installed = [] {
        long size = sysconf(_SC_PAGESIZE);
        if (size > 0) page_size = static_cast<std::uintptr_t>(size);
        struct sigaction action = {};
        action.sa_sigaction = on_bus_error;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        return sigaction(SIGBUS, &action, &previous) == 0;
    }();
    return installed;
}

}  // namespace

std::uint32_t platform_map_granularity() {
    long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::uint32_t>(size) : 4096;
}

bool platform_map(FileHandle file, std::uint64_t offset, std::uint32_t length, std::uint64_t least,
                  FileMap* map) {
    int fd = static_cast<int>(file.handle);
    auto refuse = [least](int code) { return least > 0 && platform_note_failure(static_cast<std::uint32_t>(code)); };
    struct stat st = {};
    if (fstat(fd, &st) != 0) return refuse(errno);
    if (!S_ISREG(st.st_mode) || !install_handler()) return refuse(ENODEV);
    auto size = static_cast<std::uint64_t>(st.st_size);
    // A file cut short since the bytes were seen no longer holds them.
    if (size < offset + (least > 0 ? least : 1)) return refuse(EIO);
    if (size - offset < length) length = static_cast<std::uint32_t>(size - offset);
    int slot = -1;
    {
        std::lock_guard<std::mutex> hold(window_lock);
        for (int i = 0; i < WINDOWS && slot < 0; ++i) {
            if (!windows[i].taken) {
                windows[i].taken = true;
                slot = i;
            }
        }
    }
    if (slot < 0) return refuse(ENOMEM);
    int flags = MAP_SHARED;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;  // the window's pages in one call, not a fault each
#endif
    void* p = mmap(nullptr, length, PROT_READ, flags, fd, static_cast<off_t>(offset));
    if (p == MAP_FAILED) {
        int code = errno;
        std::lock_guard<std::mutex> hold(window_lock);
        windows[slot].taken = false;
        return refuse(code);
    }
    LiveWindow& w = windows[slot];
    w.lost.store(false);
    w.start.store(reinterpret_cast<std::uintptr_t>(p));
    w.end.store(reinterpret_cast<std::uintptr_t>(p) + length);
    map->bytes = static_cast<const std::uint8_t*>(p);
    map->offset = offset;
    map->length = length;
    map->file_size = size;
    map->slot = slot;
    return true;
}

bool platform_map_intact(const FileMap& map) {
    if (map.slot < 0 || !windows[map.slot].lost.load()) return true;
    return platform_note_failure(EIO);
}

void platform_unmap(FileMap& map) {
    if (map.slot < 0) return;
    LiveWindow& w = windows[map.slot];
    w.start.store(0);
    w.end.store(0);
    munmap(const_cast<std::uint8_t*>(map.bytes), map.length);
    {
        std::lock_guard<std::mutex> hold(window_lock);
        w.taken = false;
    }
    map = FileMap{};
}
