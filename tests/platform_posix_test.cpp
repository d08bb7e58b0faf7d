// This system's file backend against a plain model of a file: a byte string
// and one position. The backend keeps the position of a regular file itself
// and reads and writes at it; whatever order the scanner and the rewriter
// call seek, read and write in, the bytes that come back and the bytes left
// in the file must be the model's.
#include <gtest/gtest.h>

#include <random>

#include "platform/file.hpp"
#include "tool_runner.hpp"

namespace {

struct ModelFile {
    std::string bytes;
    std::uint64_t position = 0;
};

Bytes random_bytes(std::mt19937& rng, std::size_t n) {
    Bytes b(n);
    for (std::uint8_t& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

// One random seek, read or write on both; false after the first mismatch.
void step(std::mt19937& rng, FileHandle file, ModelFile& model, bool may_write) {
    std::uint64_t size = model.bytes.size();
    switch (rng() % (may_write ? 3 : 2)) {
    case 0: {  // seek, now and then past the end
        std::uint64_t to = rng() % (size + 64);
        ASSERT_TRUE(platform_seek(file, to));
        model.position = to;
        break;
    }
    case 1: {  // read
        std::uint32_t count = static_cast<std::uint32_t>(rng() % 3000);
        Bytes got(count + 1, 0xEE);
        std::uint32_t n = 0;
        ASSERT_TRUE(platform_read(file, got.data(), count, &n));
        std::string want = model.position < size ? model.bytes.substr(model.position, count) : "";
        ASSERT_EQ(std::string(got.begin(), got.begin() + n), want) << "at " << model.position;
        EXPECT_EQ(got[count], 0xEE);  // nothing beyond the request
        model.position += n;
        break;
    }
    default: {  // write, inside the file as the rewrite does
        if (model.position + 8 > size) break;
        std::uint32_t count = static_cast<std::uint32_t>(1 + rng() % 8);
        Bytes data = random_bytes(rng, count);
        std::uint32_t written = 0;
        ASSERT_TRUE(platform_write(file, data.data(), count, &written));
        ASSERT_EQ(written, count);
        model.bytes.replace(model.position, count, std::string(data.begin(), data.end()));
        model.position += count;
    }
    }
}

class PosixFile : public ::testing::TestWithParam<FileAccess> {};

TEST_P(PosixFile, RandomSeeksReadsAndWritesMatchTheModel) {
    const bool may_write = GetParam() == FileAccess::READ_WRITE;
    std::mt19937 rng(may_write ? 7 : 11);
    ScratchDir dir;
    Bytes start = random_bytes(rng, 20000);
    std::string path = dir.write("file.bin", start);
    ModelFile model{std::string(start.begin(), start.end()), 0};

    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), GetParam(), &file));
    for (int i = 0; i < 3000 && !HasFatalFailure(); ++i) step(rng, file, model, may_write);
    platform_close(file);

    Bytes after = read_file(path);
    EXPECT_EQ(std::string(after.begin(), after.end()), model.bytes);
}

INSTANTIATE_TEST_SUITE_P(BothModes, PosixFile,
                         ::testing::Values(FileAccess::READ, FileAccess::READ_WRITE),
                         [](const auto& info) {
                             return info.param == FileAccess::READ ? "Report" : "Rewrite";
                         });

// More files open at once than the backend keeps positions for: each still
// reads from its own position, and a file opened after others were closed
// starts at its beginning.
TEST(PosixFile, ManyOpenFilesKeepTheirOwnPositions) {
    ScratchDir dir;
    constexpr int FILES = 12;
    FileHandle files[FILES];
    for (int i = 0; i < FILES; ++i) {
        Bytes content(64);
        for (std::size_t k = 0; k < content.size(); ++k)
            content[k] = static_cast<std::uint8_t>(i * 64 + static_cast<int>(k));
        std::string path = dir.write("f" + std::to_string(i), content);
        ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &files[i]));
    }
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < FILES; ++i) {
            std::uint8_t b[8];
            std::uint32_t n = 0;
            ASSERT_TRUE(platform_read(files[i], b, 8, &n));
            ASSERT_EQ(n, 8u);
            EXPECT_EQ(b[0], static_cast<std::uint8_t>(i * 64 + round * 8)) << i << " " << round;
        }
    }
    for (FileHandle& f : files) platform_close(f);

    std::string path = dir.write("again", Bytes{1, 2, 3});
    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &file));
    std::uint8_t b[4] = {};
    std::uint32_t n = 0;
    ASSERT_TRUE(platform_read(file, b, 4, &n));
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(b[0], 1);
    platform_close(file);
}

TEST(PosixFile, PositionsBeyondInt64AreRefused) {
    ScratchDir dir;
    std::string path = dir.write("f", Bytes{0});
    FileHandle file;
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &file));
    EXPECT_FALSE(platform_seek(file, 1ull << 63));
    EXPECT_TRUE(platform_seek(file, (1ull << 63) - 1));
    platform_close(file);
}

}  // namespace
