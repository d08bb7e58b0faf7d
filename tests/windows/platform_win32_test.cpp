// The Windows file backend on real files: which other openers it lets in and
// keeps out, what each mode may do with the file, and positions, sizes and
// data beyond 4 GiB.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winioctl.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t GiB = std::uint64_t{1} << 30;

// A folder of its own under the temporary folder, removed with its files.
class Scratch {
public:
    Scratch() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        static unsigned serial = 0;
        path_ = std::string(temp) + "m2vhdr-win32-" + std::to_string(GetCurrentProcessId()) +
                "-" + std::to_string(serial++);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~Scratch() {
        for (const std::string& f : files_) DeleteFileA(f.c_str());
        RemoveDirectoryA(path_.c_str());
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& path() const { return path_; }

    std::string file(const std::string& name, const Bytes& bytes) {
        std::string path = path_ + "\\" + name;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        if (!bytes.empty())
            WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
        files_.push_back(path);
        return path;
    }

    std::string missing(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
    std::vector<std::string> files_;
};

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Bytes contents(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    Bytes b(4096);
    DWORD got = 0;
    ReadFile(h, b.data(), static_cast<DWORD>(b.size()), &got, nullptr);
    CloseHandle(h);
    b.resize(got);
    return b;
}

// Another opener of the same file, with its own access and share mode.
HANDLE open_other(const std::string& path, DWORD access, DWORD share) {
    return CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

const char* mode_name(FileAccess a) { return a == FileAccess::READ ? "report" : "rewrite"; }

TEST(Win32Open, MissingFileFailsAndIsNotCreated) {
    Scratch dir;
    std::string path = dir.missing("missing.m2v");
    for (FileAccess access : {FileAccess::READ, FileAccess::READ_WRITE}) {
        FileHandle file;
        EXPECT_FALSE(platform_open(path.c_str(), access, &file)) << mode_name(access);
        EXPECT_FALSE(exists(path)) << mode_name(access);
    }
}

TEST(Win32Open, DirectoryFails) {
    Scratch dir;
    for (FileAccess access : {FileAccess::READ, FileAccess::READ_WRITE}) {
        FileHandle file;
        EXPECT_FALSE(platform_open(dir.path().c_str(), access, &file)) << mode_name(access);
    }
}

TEST(Win32Open, DevicesAreReportedButNeverRewritten) {
    FileHandle file;
    ASSERT_TRUE(platform_open("NUL", FileAccess::READ, &file));
    std::uint8_t buffer[16];
    std::uint32_t got = 99;
    EXPECT_TRUE(platform_read(file, buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 0u);
    platform_close(file);
    EXPECT_FALSE(platform_open("NUL", FileAccess::READ_WRITE, &file));
}

// The open asks for synchronous, sequential reading: the system reads ahead
// of the scan. (The archive attribute would only matter to a new file.)
TEST(Win32Open, AsksForSequentialReading) {
    constexpr auto FILE_MODE_INFORMATION = static_cast<FILE_INFORMATION_CLASS>(16);
    Scratch dir;
    std::string path = dir.file("s.m2v", {0, 0, 1, 0xB7});
    for (FileAccess access : {FileAccess::READ, FileAccess::READ_WRITE}) {
        FileHandle file;
        ASSERT_TRUE(platform_open(path.c_str(), access, &file));
        IO_STATUS_BLOCK io;
        ULONG mode = 0;
        NTSTATUS status = NtQueryInformationFile(reinterpret_cast<HANDLE>(file.handle), &io,
                                                 &mode, sizeof mode, FILE_MODE_INFORMATION);
        platform_close(file);
        EXPECT_EQ(status, 0) << mode_name(access);
        EXPECT_EQ(mode, FILE_SEQUENTIAL_ONLY | FILE_SYNCHRONOUS_IO_NONALERT) << mode_name(access);
    }
}

TEST(Win32Open, ReportModeCannotWrite) {
    Scratch dir;
    std::string path = dir.file("s.m2v", {1, 2, 3, 4});
    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &file));
    const std::uint8_t patch[2] = {9, 9};
    std::uint32_t written = 0;
    EXPECT_FALSE(platform_write(file, patch, 2, &written));
    platform_close(file);
    EXPECT_EQ(contents(path), (Bytes{1, 2, 3, 4}));
}

// Which openers may share the file with the tool, in both orders: the tool
// offers reading only, and needs the other opener to let it read (report) or
// read and write (rewrite).
struct ShareCase {
    const char* name;
    FileAccess tool;
    DWORD other_access;
    DWORD other_share;
    bool shared;  // both handles can be open at once
    friend void PrintTo(const ShareCase& c, std::ostream* os) { *os << c.name; }
};

class Win32Sharing : public ::testing::TestWithParam<ShareCase> {};

TEST_P(Win32Sharing, ToolFirst) {
    const ShareCase& c = GetParam();
    Scratch dir;
    std::string path = dir.file("s.m2v", {0, 0, 1, 0xB7});
    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), c.tool, &file));
    HANDLE other = open_other(path, c.other_access, c.other_share);
    EXPECT_EQ(other != INVALID_HANDLE_VALUE, c.shared);
    if (other == INVALID_HANDLE_VALUE) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    } else {
        CloseHandle(other);
    }
    platform_close(file);
}

TEST_P(Win32Sharing, OtherFirst) {
    const ShareCase& c = GetParam();
    Scratch dir;
    std::string path = dir.file("s.m2v", {0, 0, 1, 0xB7});
    HANDLE other = open_other(path, c.other_access, c.other_share);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    FileHandle file;
    bool opened = platform_open(path.c_str(), c.tool, &file);
    EXPECT_EQ(opened, c.shared);
    if (opened) platform_close(file);
    CloseHandle(other);
}

constexpr DWORD R = GENERIC_READ;
constexpr DWORD W = GENERIC_WRITE;
constexpr DWORD SR = FILE_SHARE_READ;
constexpr DWORD SRW = FILE_SHARE_READ | FILE_SHARE_WRITE;

INSTANTIATE_TEST_SUITE_P(
    Table, Win32Sharing,
    ::testing::Values(
        // Readers that share reading: two reports side by side.
        ShareCase{"report_beside_reader", FileAccess::READ, R, SR, true},
        ShareCase{"report_beside_open_reader", FileAccess::READ, R, SRW, true},
        // A writer never shares the file with the tool, whatever it allows.
        ShareCase{"report_beside_writer", FileAccess::READ, W, SRW, false},
        ShareCase{"report_beside_reader_writer", FileAccess::READ, R | W, SRW, false},
        ShareCase{"rewrite_beside_writer", FileAccess::READ_WRITE, W, SRW, false},
        // A reader that does not let others write keeps the rewrite out.
        ShareCase{"rewrite_beside_reader", FileAccess::READ_WRITE, R, SR, false},
        // One that does may read along.
        ShareCase{"rewrite_beside_open_reader", FileAccess::READ_WRITE, R, SRW, true},
        // Nobody shares with an opener that shares nothing.
        ShareCase{"report_beside_exclusive_reader", FileAccess::READ, R, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A sparse file of 5 GiB: positions, the size and the data past 4 GiB,
// where a 32-bit offset would wrap to the start of the file.
TEST(Win32Offsets, BeyondFourGiB) {
    Scratch dir;
    std::string path = dir.file("big.m2v", {});
    const std::uint64_t size = 5 * GiB + 3;
    {
        HANDLE h = open_other(path, GENERIC_WRITE, 0);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD ignored = 0;
        DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        ASSERT_TRUE(SetFilePointerEx(h, end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(h));
        CloseHandle(h);
    }

    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ_WRITE, &file));
    std::int64_t got_size = 0;
    ASSERT_TRUE(platform_size(file, &got_size));
    EXPECT_EQ(static_cast<std::uint64_t>(got_size), size);

    const std::uint64_t at = 4 * GiB + 5;
    const std::uint8_t patch[3] = {0x13, 0x88, 0x3F};
    std::uint32_t written = 0;
    ASSERT_TRUE(platform_seek(file, at));
    ASSERT_TRUE(platform_write(file, patch, 3, &written));
    EXPECT_EQ(written, 3u);

    std::uint8_t around[5] = {};
    std::uint32_t got = 0;
    ASSERT_TRUE(platform_seek(file, at - 1));
    ASSERT_TRUE(platform_read(file, around, 5, &got));
    EXPECT_EQ(got, 5u);
    EXPECT_EQ(Bytes(around, around + 5), (Bytes{0, 0x13, 0x88, 0x3F, 0}));

    // Nothing landed at the wrapped offset.
    std::uint8_t low[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_TRUE(platform_seek(file, 0));
    ASSERT_TRUE(platform_read(file, low, 8, &got));
    EXPECT_EQ(Bytes(low, low + 8), Bytes(8, 0));

    // The last bytes, then the end of the file.
    std::uint8_t tail[8] = {};
    ASSERT_TRUE(platform_seek(file, size - 2));
    ASSERT_TRUE(platform_read(file, tail, 8, &got));
    EXPECT_EQ(got, 2u);
    ASSERT_TRUE(platform_read(file, tail, 8, &got));
    EXPECT_EQ(got, 0u);
    platform_close(file);

    HANDLE h = open_other(path, GENERIC_READ, FILE_SHARE_READ);
    LARGE_INTEGER after;
    ASSERT_TRUE(GetFileSizeEx(h, &after));
    CloseHandle(h);
    EXPECT_EQ(static_cast<std::uint64_t>(after.QuadPart), size);
}

TEST(Win32Offsets, PositionsBeyondInt64AreRefused) {
    Scratch dir;
    std::string path = dir.file("s.m2v", {1, 2, 3});
    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &file));
    EXPECT_FALSE(platform_seek(file, std::uint64_t{1} << 63));
    platform_close(file);
}

TEST(Win32Read, FillsTheRequestThenGivesZeroAtTheEnd) {
    Scratch dir;
    Bytes data(3 * 1000 * 1000 + 7);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    std::string path = dir.file("s.m2v", data);
    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &file));
    Bytes back(4u << 20);
    std::uint32_t got = 0;
    ASSERT_TRUE(platform_read(file, back.data(), 1u << 20, &got));
    EXPECT_EQ(got, 1u << 20);
    std::uint32_t rest = 0;
    ASSERT_TRUE(platform_read(file, back.data() + got, 3u << 20, &rest));
    EXPECT_EQ(got + rest, data.size());
    back.resize(data.size());
    EXPECT_EQ(back, data);
    ASSERT_TRUE(platform_read(file, back.data(), 16, &got));
    EXPECT_EQ(got, 0u);
    platform_close(file);
}

}  // namespace

// A read at an offset takes the bytes there whatever the file pointer, and
// gives zero at and beyond the end; a pipe is not a file that can be read
// so, a disk file is.
TEST(Win32Read, AtAnOffsetTakesTheBytesThere) {
    Scratch dir;
    Bytes data(100000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 13 + i / 256);
    std::string path = dir.file("s.m2v", data);
    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &file));
    EXPECT_TRUE(platform_is_seekable(file));
    const struct {
        std::uint64_t offset;
        std::uint32_t count;
        std::uint32_t got;
    } cases[] = {{70000, 10, 10}, {5, 65536, 65536}, {99990, 100, 10}, {100000, 4, 0}, {200000, 4, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        Bytes back(c.count, 0xee);
        std::uint32_t got = 99;
        ASSERT_TRUE(platform_read_at(file, c.offset, back.data(), c.count, &got));
        ASSERT_EQ(got, c.got);
        if (got > 0) {
            EXPECT_EQ(Bytes(back.begin(), back.begin() + got),
                      Bytes(data.begin() + static_cast<long>(c.offset),
                            data.begin() + static_cast<long>(c.offset + got)));
        }
    }
    platform_close(file);

    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
    EXPECT_FALSE(platform_is_seekable(FileHandle{reinterpret_cast<std::intptr_t>(read_end)}));
    CloseHandle(read_end);
    CloseHandle(write_end);
}

namespace {

// A mapped window holds the file's bytes from its offset, as far as the
// file goes; a window the file does not hold as far as asked is refused.
TEST(Win32Map, WindowsHoldTheFilesBytesAsFarAsTheFileGoes) {
    Scratch dir;
    Bytes data(3 * 1000 * 1000 + 7);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 509);
    std::string path = dir.file("s.m2v", data);
    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &file));
    const std::uint64_t g = platform_map_granularity();
    struct Case {
        std::uint64_t offset;
        std::uint32_t length;
        std::uint64_t least;
        bool ok;
        std::uint32_t held;
    } cases[] = {
        {0, 1u << 21, 0, true, 1u << 21},
        {g, 1u << 21, 1u << 21, true, 1u << 21},
        {data.size() / g * g, 1u << 21, 1, true, static_cast<std::uint32_t>(data.size() % g)},
        {g, 1u << 22, data.size() - g, true, static_cast<std::uint32_t>(data.size() - g)},
        {g, 1u << 22, data.size() - g + 1, false, 0},
        {(data.size() + g) / g * g, 100, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        FileMap map;
        ASSERT_EQ(platform_map(file, c.offset, c.length, c.least, &map), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(map.offset, c.offset);
        EXPECT_EQ(map.file_size, data.size());
        ASSERT_EQ(map.length, c.held);
        EXPECT_TRUE(platform_map_intact(map));
        EXPECT_EQ(Bytes(map.bytes, map.bytes + map.length),
                  Bytes(data.begin() + static_cast<long>(c.offset),
                        data.begin() + static_cast<long>(c.offset + c.held)));
        platform_unmap(map);
        EXPECT_EQ(map.bytes, nullptr);
    }
    platform_close(file);
}

}  // namespace
