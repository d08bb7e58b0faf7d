// The one input of a run: views of the file's regions and reads at offsets.
#include <gtest/gtest.h>

#include <unistd.h>

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
TEST(InputRead, PipeIsReadOnAndNeverBack) {
    struct Step {
        std::uint64_t offset;
        std::uint32_t count;
        bool ok;
        std::uint64_t got;  // from `offset`
    };
    const Step steps[] = {
        {0, 10, true, 10}, {20, 10, true, 10}, {25, 5, false, 0}, {990, 100, true, 10}, {2000, 5, true, 0},
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

}  // namespace
