#include "fake_platform.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file.hpp"
#include "platform/folder.hpp"

namespace {

// The fault scripted for this call of `op`, if any.
const FakeFault* fault_for(FakeOp op) {
    FakeFile& f = fake_file();
    unsigned call = fake_count(op) + 1;
    for (const FakeFault& fault : f.faults)
        if (fault.op == op && fault.call == call) return &fault;
    return nullptr;
}

FakeCall& record(FakeOp op, bool ok, std::uint64_t offset, std::uint32_t count,
                 std::uint32_t done) {
    FakeFile& f = fake_file();
    if (!ok) f.last_error = FAKE_ERROR;
    f.calls.push_back(FakeCall{op, ok, offset, count, done, {}});
    return f.calls.back();
}

}  // namespace

FakeFile& fake_file() {
    static FakeFile file;
    return file;
}

void fake_reset(std::vector<std::uint8_t> data) {
    FakeFile& f = fake_file();
    f = FakeFile{};
    f.data = std::move(data);
}

unsigned fake_count(FakeOp op) {
    const FakeFile& f = fake_file();
    return static_cast<unsigned>(std::count_if(
        f.calls.begin(), f.calls.end(), [op](const FakeCall& c) { return c.op == op; }));
}

bool platform_open(const char*, FileAccess, FileHandle* file) {
    FakeFile& f = fake_file();
    const FakeFault* fault = fault_for(FakeOp::OPEN);
    bool ok = !fault && !f.is_open;
    record(FakeOp::OPEN, ok, 0, 0, 0);
    if (!ok) return false;
    f.is_open = true;
    f.position = 0;
    file->handle = 3;
    return true;
}

bool platform_read(FileHandle, std::uint8_t* buffer, std::uint32_t count,
                   std::uint32_t* got) {
    FakeFile& f = fake_file();
    const FakeFault* fault = fault_for(FakeOp::READ);
    std::uint64_t at = f.position;
    if (!f.is_open || (fault && fault->kind == FakeFault::FAIL)) {
        record(FakeOp::READ, false, at, count, 0);
        return false;
    }
    std::uint64_t left = at < f.data.size() ? f.data.size() - at : 0;
    std::uint64_t n = std::min<std::uint64_t>(count, left);
    if (f.read_chunk != 0) n = std::min<std::uint64_t>(n, f.read_chunk);
    if (fault && fault->kind == FakeFault::SHORT)
        n = std::min<std::uint64_t>(n, std::max<std::uint32_t>(fault->limit, 1));
    if (n > 0) std::memcpy(buffer, f.data.data() + at, n);
    f.position = at + n;
    *got = static_cast<std::uint32_t>(n);
    record(FakeOp::READ, true, at, count, *got);
    return true;
}

// A read at an explicit offset is recorded as a READ there; it leaves the
// position where it was.
bool platform_read_at(FileHandle, std::uint64_t offset, std::uint8_t* buffer, std::uint32_t count,
                      std::uint32_t* got) {
    FakeFile& f = fake_file();
    std::uint64_t kept = f.position;
    f.position = offset;
    bool ok = platform_read(FileHandle{}, buffer, count, got);
    f.position = kept;
    return ok;
}

bool platform_is_seekable(FileHandle) { return true; }

bool platform_seek(FileHandle, std::uint64_t offset) {
    FakeFile& f = fake_file();
    const FakeFault* fault = fault_for(FakeOp::SEEK);
    bool ok = f.is_open && !fault;
    record(FakeOp::SEEK, ok, offset, 0, 0);
    if (ok) f.position = offset;
    return ok;
}

bool platform_write(FileHandle, const std::uint8_t* buffer, std::uint32_t count,
                    std::uint32_t* written) {
    FakeFile& f = fake_file();
    const FakeFault* fault = fault_for(FakeOp::WRITE);
    std::uint64_t at = f.position;
    if (!f.is_open || (fault && fault->kind == FakeFault::FAIL)) {
        record(FakeOp::WRITE, false, at, count, 0);
        return false;
    }
    std::uint32_t n = count;
    if (fault && fault->kind == FakeFault::SHORT) n = std::min(n, fault->limit);
    // Like a real file, a write past the end lengthens it.
    if (at + n > f.data.size()) f.data.resize(at + n, 0);
    if (n > 0) std::memcpy(f.data.data() + at, buffer, n);
    f.position = at + n;
    *written = n;
    FakeCall& c = record(FakeOp::WRITE, true, at, count, n);
    c.bytes.assign(buffer, buffer + n);
    return true;
}

bool platform_size(FileHandle, std::int64_t* size) {
    FakeFile& f = fake_file();
    const FakeFault* fault = fault_for(FakeOp::SIZE);
    bool ok = f.is_open && !fault;
    record(FakeOp::SIZE, ok, f.position, 0, 0);
    if (ok) *size = static_cast<std::int64_t>(f.data.size());
    return ok;
}

std::uint32_t platform_map_granularity() { return 4096; }

bool platform_map(FileHandle, std::uint64_t offset, std::uint32_t length, std::uint64_t least,
                  FileMap* map) {
    static std::vector<std::uint8_t> windows[4];
    static unsigned next = 0;
    FakeFile& f = fake_file();
    if (!f.mappable) return false;  // read instead, as a pipe is
    const FakeFault* fault = fault_for(FakeOp::MAP);
    bool ok = f.is_open && !(fault && fault->kind == FakeFault::FAIL) &&
              offset + std::max<std::uint64_t>(least, 1) <= f.data.size();
    if (ok) length = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, f.data.size() - offset));
    int kept_error = f.last_error;
    record(FakeOp::MAP, ok, offset, length, ok ? length : 0);
    if (!ok && least == 0) f.last_error = kept_error;  // a first try
    if (!ok) return false;
    std::uint64_t size = f.data.size();
    std::vector<std::uint8_t>& w = windows[next++ % 4];
    w.assign(f.data.begin() + static_cast<long>(offset),
             f.data.begin() + static_cast<long>(offset + length));
    if (fault && fault->kind == FakeFault::CUT) f.data.resize(fault->limit);
    *map = FileMap{w.data(), offset, length, size, 0};
    return true;
}

bool platform_map_intact(const FileMap& map) {
    FakeFile& f = fake_file();
    if (!map.bytes || map.offset + map.length <= f.data.size()) return true;
    f.last_error = FAKE_ERROR;
    return false;
}

void platform_unmap(FileMap& map) { map = FileMap{}; }

bool platform_sync(FileHandle) {
    FakeFile& f = fake_file();
    bool ok = f.is_open && !fault_for(FakeOp::SYNC);
    record(FakeOp::SYNC, ok, f.position, 0, 0);
    return ok;
}

void platform_close(FileHandle) {
    FakeFile& f = fake_file();
    record(FakeOp::CLOSE, f.is_open, f.position, 0, 0);
    f.is_open = false;
}

int platform_last_error() { return fake_file().last_error; }

int platform_stdio_error() { return errno; }

void platform_error_text(std::FILE*, int code, char* text, std::size_t size) {
    std::snprintf(text, size, "fake error %d", code);
}

void platform_prepare_console(std::FILE*) {}

bool platform_is_text_console(std::FILE*) { return false; }

CommandShell platform_command_shell() { return CommandShell::SH; }

bool platform_is_terminal(std::FILE*) { return false; }

void platform_write_console(std::FILE* stream, const char* text, std::size_t size) {
    std::fwrite(text, 1, size, stream);
}

// The fake system has one file and no folders; a run over several names
// (tests/batch_test.cpp has those) holds its output in real spool files.
bool platform_folder_id(const char*, FolderId*) { return false; }

bool platform_folder_entries(const char*, std::vector<FolderEntry>*) { return false; }

char platform_path_separator() { return '/'; }

bool platform_expands_patterns() { return false; }

bool platform_match_pattern(const char*, std::vector<FolderEntry>*) { return false; }

bool platform_open_standard_input(FileHandle*) { return false; }

std::FILE* platform_spool_file() { return std::tmpfile(); }
