// The one input of a run: views of the file's regions and reads at offsets.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <unistd.h>

#include <thread>

#include "input/input.hpp"
#include "tool_runner.hpp"

namespace {

Bytes pattern(std::size_t size) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 29 + i / 251);
    return b;
}

Bytes slice(const Bytes& b, std::uint64_t from, std::uint64_t count) {
    return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + count));
}

// One view after another over a file a little longer than a view: each
// holds exactly the file's bytes from the offset asked and says where they
// lie and whether the file ends after them, across the end of what the
// last view read, the end of the file and the size of a view.
TEST(InputView, HoldsTheFilesBytesAcrossRegionBorders) {
    constexpr std::uint64_t VIEW = INPUT_VIEW_SIZE;
    const std::uint64_t size = VIEW + 1000;
    struct Step {
        const char* name;
        std::uint64_t offset;
        std::uint32_t need;
        std::uint64_t held;
        bool at_end;
    };
    const Step steps[] = {
        {"the first view, filled", 0, 1, VIEW, false},
        {"inside it: kept, nothing read", 100, 50, VIEW - 100, false},
        {"across the end of what was read", VIEW - 10, 20, 1010, false},
        {"the file's last bytes, the end not yet met", size - 5, 5, 5, false},
        {"one byte more than the file holds", size - 5, 6, 5, true},
        {"beyond the end", size + 7, 1, 0, true},
        {"back near the start: read afresh", 3, 1, VIEW, false},
        {"more than a view holds", 10, INPUT_VIEW_SIZE + 1, VIEW, false},
    };
    const Bytes bytes = pattern(size);
    ScratchDir dir;
    const std::string path = dir.write("input.bin", bytes);
    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &file));
    Input in;
    ASSERT_TRUE(input_open(in, file));
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        InputView v;
        ASSERT_TRUE(input_view(in, s.offset, s.need, &v));
        EXPECT_EQ(v.file_offset, s.offset);
        ASSERT_EQ(v.held, s.held);
        EXPECT_EQ(v.at_end, s.at_end);
        if (s.held > 0) {
            EXPECT_EQ(Bytes(v.bytes, v.bytes + v.held), slice(bytes, s.offset, s.held));
        }
    }
    input_close(in);
    platform_close(file);
}

// A pipe is read on from where it is: bytes before the offset asked are
// dropped, an offset behind what was read fails as a seek would.
// Behind where it is, a pipe is read from the bytes kept of its start.
TEST(InputRead, PipeIsReadOnAndBackOnlyFromItsStart) {
    struct Step {
        std::uint64_t offset;
        std::uint32_t count;
        bool ok;
        std::uint64_t got;  // from `offset`
    };
    const Step steps[] = {
        {0, 10, true, 10},    {20, 10, true, 10},  {25, 5, true, 5},     {5, 30, true, 30},
        {990, 100, true, 10}, {0, 1000, true, 1000}, {2000, 5, true, 0}, {999, 5, true, 1},
    };
    const Bytes bytes = pattern(1000);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), 1000);
    close(ends[1]);
    Input in;
    ASSERT_TRUE(input_open(in, FileHandle{ends[0]}));
    EXPECT_FALSE(in.seekable);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.offset);
        Bytes dest(s.count, 0);
        std::uint32_t got = 7;
        ASSERT_EQ(input_read(in, s.offset, dest.data(), s.count, &got), s.ok);
        EXPECT_EQ(in.failure, s.ok ? InputFailure::NONE : InputFailure::SEEK);
        if (!s.ok) continue;
        ASSERT_EQ(got, s.got);
        if (got > 0) {
            EXPECT_EQ(slice(dest, 0, got), slice(bytes, s.offset, got));
        }
    }
    input_close(in);
    close(ends[0]);
}


// A mapped input hands out exactly what reading gives: the same views, the
// same reads, the same ends, across the borders of its windows, of the
// views and of the file, and after a read has moved the window.
TEST(InputMapped, ViewsAndReadsAreTheReadFilesAcrossWindowBorders) {
    constexpr std::uint64_t W = MAP_WINDOW;
    constexpr std::uint32_t VIEW = INPUT_VIEW_SIZE;
    const std::uint64_t size = 2 * W + 5000;
    struct Step {
        const char* name;
        bool view;  // else a read of `count`
        std::uint64_t offset;
        std::uint32_t count;
    };
    const Step steps[] = {
        {"the first view", true, 0, 1},
        {"a view across the first window's end", true, W - 100, 200},
        {"kept from there, reaching further", true, W - 50, VIEW},
        {"a read across the window's end", false, W - 10, 1u << 20},
        {"a view of bytes kept, the read having moved the window", true, W - 40, 10},
        {"back to the start", true, 3, 1},
        {"a read of the last bytes and past the end", false, size - 7, 100},
        {"the file's last bytes, the end not yet met", true, size - 5, 5},
        {"one byte more than the file holds", true, size - 5, 6},
        {"beyond the end", true, size + 7, 1},
        {"a read beyond the end", false, size + 7, 10},
        {"a read of more than a window", false, 1, 2 * MAP_WINDOW + 100},
    };
    const Bytes bytes = pattern(size);
    ScratchDir dir;
    const std::string path = dir.write("input.bin", bytes);
    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &file));
    Input read;
    Input mapped;
    ASSERT_TRUE(input_open(read, file));
    input_reading = InputReading::MAPPED;
    ASSERT_TRUE(input_open(mapped, file));
    input_reading = InputReading::READ;
    ASSERT_TRUE(mapped.mapped);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        if (s.view) {
            InputView a;
            InputView b;
            ASSERT_TRUE(input_view(read, s.offset, s.count, &a));
            ASSERT_TRUE(input_view(mapped, s.offset, s.count, &b));
            EXPECT_EQ(b.file_offset, a.file_offset);
            ASSERT_EQ(b.held, a.held);
            EXPECT_EQ(b.at_end, a.at_end);
            EXPECT_EQ(Bytes(b.bytes, b.bytes + b.held), Bytes(a.bytes, a.bytes + a.held));
            continue;
        }
        Bytes a(s.count, 1);
        Bytes b(s.count, 2);
        std::uint32_t got_a = 0;
        std::uint32_t got_b = 0;
        ASSERT_TRUE(input_read(read, s.offset, a.data(), s.count, &got_a));
        ASSERT_TRUE(input_read(mapped, s.offset, b.data(), s.count, &got_b));
        ASSERT_EQ(got_b, got_a);
        EXPECT_EQ(slice(b, 0, got_b), slice(a, 0, got_a));
        if (got_a > 0) {
            EXPECT_EQ(slice(a, 0, got_a), slice(bytes, s.offset, got_a));
        }
    }
    input_close(mapped);
    input_close(read);
    platform_close(file);
}

// A mapped file cut short by another process under the run: pages past the
// new end read as zeros instead of ending the process, and the next view or
// read fails as a read of the file does, with the system's reason.
TEST(InputMapped, FileCutShortUnderTheRunFailsAsARead) {
    constexpr std::uint32_t VIEW = INPUT_VIEW_SIZE;
    struct Case {
        const char* name;
        long touch;  // a byte of the first view read after the cut; -1 none
        bool view;   // the next call: a view, else a read
        std::uint64_t offset;
        std::uint32_t count;
    } cases[] = {
        {"a lost page read, then a view of bytes kept", VIEW - 1, true, VIEW - 10, 5},
        {"a lost page read, then a view further on", 5000, true, VIEW + 10, 1},
        {"nothing read, then a view in a new window", -1, true, MAP_WINDOW + 10, 1},
        {"nothing read, then a read that meets the lost pages", -1, false, 100, VIEW},
        {"nothing read, then a read in a new window", -1, false, MAP_WINDOW + 10, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.write("cut.bin", pattern(MAP_WINDOW + 100000));
        FileHandle file;
        ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &file));
        Input in;
        input_reading = InputReading::MAPPED;
        ASSERT_TRUE(input_open(in, file));
        input_reading = InputReading::READ;
        ASSERT_TRUE(in.mapped);
        InputView v;
        ASSERT_TRUE(input_view(in, 0, 1, &v));
        ASSERT_EQ(v.held, VIEW);
        ASSERT_EQ(truncate(path.c_str(), 4096), 0);
        if (c.touch >= 0) {
            volatile const std::uint8_t* lost = v.bytes + c.touch;
            EXPECT_EQ(*lost, 0);
        }
        bool ok = true;
        if (c.view) {
            ok = input_view(in, c.offset, c.count, &v);
            EXPECT_EQ(v.held, 0u);
        } else {
            Bytes dest(c.count);
            std::uint32_t got = 0;
            ok = input_read(in, c.offset, dest.data(), c.count, &got);
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(in.failure, InputFailure::READ);
        EXPECT_EQ(platform_last_error(), EIO);
        input_close(in);
        platform_close(file);
    }
}

// A SIGBUS outside the windows mapped goes on to the handler there was
// before, or to the system: the process ends (by the signal, or, under a
// sanitizer, by its report), as without the handler.
TEST(InputMapped, OtherBusErrorsStillEndTheProcess) {
    ScratchDir dir;
    const std::string path = dir.write("mapped.bin", pattern(100000));
    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &file));
    Input in;
    input_reading = InputReading::MAPPED;
    ASSERT_TRUE(input_open(in, file));
    input_reading = InputReading::READ;
    ASSERT_TRUE(in.mapped);  // the handler is in place
    const auto ended = [](int status) {
        return testing::KilledBySignal(SIGBUS)(status) || !testing::ExitedWithCode(0)(status);
    };
    EXPECT_EXIT(raise(SIGBUS), ended, "");
    input_close(in);
    platform_close(file);
}

// Past the bytes kept of its start, a pipe is never read back.
TEST(InputRead, PipeIsNeverReadBackPastWhatItKept) {
    const std::uint64_t total = INPUT_KEPT_SIZE + (1u << 20);
    const Bytes bytes = pattern(static_cast<std::size_t>(total));
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::thread writer([&] {
        std::size_t at = 0;
        while (at < bytes.size()) {
            ssize_t n = write(ends[1], bytes.data() + at, bytes.size() - at);
            if (n <= 0) break;
            at += static_cast<std::size_t>(n);
        }
        close(ends[1]);
    });
    Input in;
    ASSERT_TRUE(input_open(in, FileHandle{ends[0]}));
    Bytes dest(4096, 0);
    std::uint32_t got = 0;
    const std::uint64_t past = INPUT_KEPT_SIZE + 1000;
    ASSERT_TRUE(input_read(in, past, dest.data(), 100, &got));
    EXPECT_EQ(slice(dest, 0, got), slice(bytes, past, 100));
    // The start is kept; the end of what was kept on to where the pipe is,
    // not.
    ASSERT_TRUE(input_read(in, INPUT_KEPT_SIZE - 100, dest.data(), 100, &got));
    EXPECT_EQ(slice(dest, 0, got), slice(bytes, INPUT_KEPT_SIZE - 100, 100));
    EXPECT_FALSE(input_read(in, INPUT_KEPT_SIZE - 100, dest.data(), 200, &got));
    EXPECT_EQ(in.failure, InputFailure::SEEK);
    EXPECT_FALSE(input_read(in, past, dest.data(), 10, &got));
    EXPECT_EQ(in.failure, InputFailure::SEEK);
    // Reading on drains the pipe for the writer.
    ASSERT_TRUE(input_read(in, total - 10, dest.data(), 100, &got));
    EXPECT_EQ(got, 10u);
    input_close(in);
    close(ends[0]);
    writer.join();
}

}  // namespace
