// A rewrite killed half-way (SIGKILL, the real binary in a child process)
// and run again leaves the file an uninterrupted run leaves: every patch
// depends only on the target values and the bits it keeps.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "child_process.hpp"
#include "tool_runner.hpp"

namespace {

constexpr std::uint64_t FILE_SIZE = 1ull << 29;
constexpr std::uint64_t STEP = 2 * 1024 * 1024;  // a sequence every 2 MiB: 256 of them

Bytes sequence_bytes() {
    SequenceHeader h;
    h.bit_rate_value = 1000;
    h.vbv_buffer_size_value = 0x3FF;
    SequenceDisplayExtension d;
    d.colour_description = true;
    return concat({sequence_header(h), sequence_extension({}), sequence_display_extension(d),
                   group_header({}), picture_header({}), slice(40)});
}

// A sparse file with the sequences in it; false when the file system
// cannot hold it sparse.
bool make_file(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok = ftruncate(fd, static_cast<off_t>(FILE_SIZE)) == 0;
    const Bytes s = sequence_bytes();
    for (std::uint64_t at = 0; ok && at < FILE_SIZE; at += STEP)
        ok = pwrite(fd, s.data(), s.size(), static_cast<off_t>(at)) == static_cast<ssize_t>(s.size());
    struct stat st = {};
    ok = ok && fstat(fd, &st) == 0 && st.st_blocks * 512 < 256ll * 1024 * 1024;
    close(fd);
    return ok;
}

// The bytes of every sequence, one after the other.
Bytes sequences_of(const std::string& path) {
    const std::size_t length = sequence_bytes().size();
    Bytes all(FILE_SIZE / STEP * length);
    int fd = open(path.c_str(), O_RDONLY);
    for (std::uint64_t k = 0; k < FILE_SIZE / STEP; ++k)
        (void)!pread(fd, all.data() + k * length, length, static_cast<off_t>(k * STEP));
    close(fd);
    return all;
}

TEST(Restart, KilledRewriteCompletesOnTheSecondRun) {
    if (external_tool()) GTEST_SKIP() << "kills this build's binary in a child process";
    ScratchDir dir;
    std::string reference = dir.path() + "/reference.m2v";
    std::string killed = dir.path() + "/killed.m2v";
    if (!make_file(reference) || !make_file(killed))
        GTEST_SKIP() << "the file system under " << dir.path() << " cannot hold sparse files";
    std::vector<std::string> command = {tool_binary(), "--set", "aspect_ratio_information=16:9",
                                        "--set", "vbv_buffer_size=112", "--set",
                                        "colour_primaries=1", "", "8000000"};

    command[7] = reference;
    // In English, where the rewrite ends with its count of sequences.
    RunResult whole = run_command(command, "en_US.UTF-8");
    ASSERT_EQ(whole.status, 0) << whole.err;
    const Bytes expected = sequences_of(reference);
    const Bytes original = sequences_of(killed);
    ASSERT_NE(expected, original);

    // Killed as soon as the first sequence shows its patches.
    command[7] = killed;
    const std::size_t length = sequence_bytes().size();
    pid_t child = start_child(command, -1, -1, -1);
    int fd = open(killed.c_str(), O_RDONLY);
    Bytes first(length);
    for (int tries = 0; tries < 10000000; ++tries) {
        (void)!pread(fd, first.data(), length, 0);
        if (!std::equal(first.begin(), first.end(), original.begin())) break;
    }
    kill(child, SIGKILL);
    close(fd);
    EXPECT_EQ(wait_child(child, 10), 128 + SIGKILL);

    // Killed in the middle: the first sequence patched (at least in part),
    // the last not yet.
    const Bytes stopped = sequences_of(killed);
    EXPECT_FALSE(std::equal(original.begin(), original.begin() + static_cast<long>(length), stopped.begin()));
    EXPECT_TRUE(std::equal(original.end() - static_cast<long>(length), original.end(), stopped.end() - static_cast<long>(length)));

    RunResult again = run_command(command, "en_US.UTF-8");
    EXPECT_EQ(again.status, 0) << again.err;
    // The same closing line; the sequences the killed run had finished are
    // already right now, and every sequence is counted once.
    std::regex summary("Sequences: (\\d+) patched, (\\d+) already right, 0 could not be patched\n");
    std::smatch w, a;
    std::string whole_summary = whole.out.substr(whole.out.find('\n') + 1);
    std::string again_summary = again.out.substr(again.out.find('\n') + 1);
    ASSERT_TRUE(std::regex_match(whole_summary, w, summary)) << whole.out;
    ASSERT_TRUE(std::regex_match(again_summary, a, summary)) << again.out;
    EXPECT_EQ(again.out.substr(0, again.out.find('\n')), whole.out.substr(0, whole.out.find('\n')));
    EXPECT_EQ(w[1], std::to_string(FILE_SIZE / STEP));
    EXPECT_EQ(w[2], "0");
    EXPECT_EQ(std::stoull(a[1]) + std::stoull(a[2]), std::stoull(w[1]));
    EXPECT_EQ(sequences_of(killed), expected);
    struct stat st = {};
    ASSERT_EQ(stat(killed.c_str(), &st), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), FILE_SIZE);
}

}  // namespace
