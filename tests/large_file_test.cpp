// A sparse file of 4 GiB + 3 MiB with real headers just below and just above
// the 4 GiB mark and across a window slide beyond it: the report prints every
// offset as the full 64-bit value, and the rewrite patches exactly the right
// 64-bit offsets, prints its progress in full, and writes nothing anywhere
// else (the file's data extents are the same before and after).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "tool_runner.hpp"

namespace {

constexpr std::uint64_t GIB4 = 1ull << 32;
constexpr std::uint64_t WINDOW = 1u << 20;
constexpr std::uint64_t LOOKAHEAD = 197;
constexpr std::uint64_t FILE_SIZE = GIB4 + 3 * WINDOW;
constexpr std::uint32_t TARGET_RATE = 104857600;  // q = 262144: value 0, extension 1

struct Placed {
    std::uint64_t at;
    Bytes original;
    Bytes target;
    std::uint64_t extension;  // offset of its sequence extension
    unsigned bit_rate_value;
};

// A sequence header with the given rate, followed by its extension.
Placed sequence_at(std::uint64_t at, unsigned bit_rate_value) {
    SequenceHeader h;
    h.bit_rate_value = bit_rate_value;
    SequenceHeader th = h;
    th.bit_rate_value = (TARGET_RATE / 400) & 0x3FFFF;
    SequenceExtension te;
    te.bit_rate_extension = (TARGET_RATE / 400) >> 18;
    Bytes header = sequence_header(h);
    return {at, concat({header, sequence_extension({})}),
            concat({sequence_header(th), sequence_extension(te)}), at + header.size(),
            bit_rate_value};
}

// The scan's windows over a file without headers: the first holds WINDOW
// bytes from 0; each later one starts where the last stopped, LOOKAHEAD - 1
// bytes before its end. A sequence header just below a window's limit has
// its extension examined only after the slide.
std::uint64_t slide_after_4gib() {
    std::uint64_t step = WINDOW - (LOOKAHEAD - 1);
    return (GIB4 / step + 1) * step;
}

std::vector<Placed> layout() {
    return {
        sequence_at(GIB4 - 60, 1001),               // wholly below 4 GiB
        sequence_at(GIB4 - 10, 1002),               // bit_rate_value straddles the mark
        sequence_at(GIB4 + 20, 1003),               // wholly above it
        sequence_at(slide_after_4gib() - 6, 1004),  // extension after a slide
        sequence_at(FILE_SIZE - 30, 1005),          // in the last window
    };
}

bool pwrite_all(int fd, const Bytes& b, std::uint64_t at) {
    return pwrite(fd, b.data(), b.size(), static_cast<off_t>(at)) == static_cast<ssize_t>(b.size());
}

Bytes pread_at(int fd, std::uint64_t at, std::size_t count) {
    Bytes b(count);
    ssize_t n = pread(fd, b.data(), count, static_cast<off_t>(at));
    b.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return b;
}

// The file's data extents, as the file system reports them.
std::vector<std::pair<std::uint64_t, std::uint64_t>> data_extents(int fd) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;
    off_t at = 0;
    for (;;) {
        off_t data = lseek(fd, at, SEEK_DATA);
        if (data < 0) break;
        off_t hole = lseek(fd, data, SEEK_HOLE);
        extents.emplace_back(data, hole);
        at = hole;
    }
    return extents;
}

std::string header_lines(const std::string& report) {
    std::string out;
    std::size_t start = 0;
    while (start < report.size()) {
        std::size_t end = report.find('\n', start) + 1;
        if (report[start] != ' ') out += report.substr(start, end - start);
        start = end;
    }
    return out;
}

std::string line(std::uint64_t offset, const char* name) {
    char text[80];
    std::snprintf(text, sizeof text, "%08llx: %s\n", static_cast<unsigned long long>(offset), name);
    return text;
}

TEST(LargeFile, OffsetsAndPatchesBeyond4GiB) {
    ScratchDir dir;
    std::string path = dir.path() + "/big.m2v";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    std::vector<Placed> seqs = layout();
    bool sparse = ftruncate(fd, static_cast<off_t>(FILE_SIZE)) == 0;
    for (const Placed& p : seqs) sparse = sparse && pwrite_all(fd, p.original, p.at);
    struct stat st = {};
    sparse = sparse && fstat(fd, &st) == 0 && st.st_blocks * 512 < 64 * 1024 * 1024;
    if (!sparse) {
        close(fd);
        GTEST_SKIP() << "the file system under " << dir.path()
                     << " cannot hold a sparse file of 4 GiB + 3 MiB";
    }
    auto extents_before = data_extents(fd);
    ASSERT_FALSE(extents_before.empty());

    // The report: every header at its full offset, every rate as stored.
    RunResult report = run_tool({"m2vhdr", path});
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.err, "");
    std::string expected_lines;
    for (const Placed& p : seqs)
        expected_lines += line(p.at, "SEQUENCE_HEADER_CODE") + line(p.extension, "SEQUENCE_EXTENSION");
    EXPECT_EQ(header_lines(report.out), expected_lines);
    EXPECT_NE(report.out.find("100000002: SEQUENCE_EXTENSION\n"), std::string::npos);
    EXPECT_NE(report.out.find("100000014: SEQUENCE_HEADER_CODE\n"), std::string::npos);
    for (const Placed& p : seqs) {
        std::string rate = "nominal bitrate=" + std::to_string(p.bit_rate_value * 400ull) + "bps";
        EXPECT_NE(report.out.find(rate), std::string::npos) << rate;
    }

    // The rewrite.
    RunResult rewrite = run_tool({"m2vhdr", path, std::to_string(TARGET_RATE)});
    EXPECT_EQ(rewrite.status, 0);
    EXPECT_EQ(rewrite.err, "");
    for (const Placed& p : seqs) {
        SCOPED_TRACE("sequence at " + std::to_string(p.at));
        Bytes now = pread_at(fd, p.at, p.target.size());
        EXPECT_EQ(now, p.target);
        // The same bytes an ordinary small file gets (bytes 8..10 and 6..7),
        // and the zeros around the sequence untouched.
        EXPECT_EQ(pread_at(fd, p.at - 8, 8), Bytes(8, 0));
        std::uint64_t after = p.at + p.target.size();
        Bytes tail = pread_at(fd, after, 8);
        EXPECT_EQ(tail, Bytes(tail.size(), 0));
    }
    ASSERT_EQ(fstat(fd, &st), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), FILE_SIZE);
    // No write went into a hole: a write anywhere else would have given the
    // file a new data extent.
    EXPECT_EQ(data_extents(fd), extents_before);

    // Progress: one line per sequence, in full 64-bit decimals.
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t cr; (cr = rewrite.out.find('\r', start)) != std::string::npos; start = cr + 1)
        lines.push_back(rewrite.out.substr(start, cr + 1 - start));
    ASSERT_EQ(lines.size(), seqs.size());
    // The sequence header below the slide pushes the scan past the window's
    // limit, so the next window starts at its extension.
    EXPECT_EQ(lines[3], progress_line(seqs[3].extension, FILE_SIZE,
                                      seqs[3].extension / (FILE_SIZE / 100), "\r"));
    EXPECT_EQ(rewrite.out.substr(start), progress_line(FILE_SIZE - 3, FILE_SIZE, 100, "\n"));
    close(fd);
}

}  // namespace

namespace {

// One film of three pictures over a sparse file: its first sequence at 0, a
// picture coding extension across the 4 GiB mark, the second GOP in the
// last window. Each part as it is and after --pulldown 3:2.
struct FilmPart {
    std::uint64_t at;
    Bytes film, pulled;
};

std::vector<FilmPart> film_parts(std::uint64_t file_size) {
    auto sequence = [](unsigned rate, unsigned progressive) {
        SequenceHeader h;
        h.frame_rate_code = rate;
        SequenceExtension e;
        e.progressive_sequence = progressive;
        return concat({sequence_header(h), sequence_extension(e)});
    };
    auto gop = [](unsigned drop, unsigned pictures) {
        GroupHeader g;
        g.drop_frame_flag = drop;
        g.time_code_pictures = pictures;
        return group_header(g);
    };
    auto picture = [](unsigned tr, unsigned tff, unsigned rff) {
        PictureCodingExtension e;
        e.top_field_first = tff;
        e.repeat_first_field = rff;
        return concat({picture_header({tr, 1}), picture_coding_extension(e)});
    };
    // The second GOP starts at display index 2: 5 fields, 2 whole frames.
    return {
        {0, sequence(1, 1), sequence(4, 0)},
        {GIB4 - 20, concat({gop(0, 0), picture(0, 0, 0), picture(1, 0, 0)}),
         concat({gop(1, 0), picture(0, 1, 1), picture(1, 0, 0)})},
        {file_size - 80, concat({sequence(1, 1), gop(0, 2), picture(0, 0, 0)}),
         concat({sequence(4, 0), gop(1, 2), picture(0, 0, 1)})},
    };
}

TEST(LargeFile, PulldownBeyond4GiB) {
    EnglishMessages english;
    constexpr std::uint64_t SIZE = GIB4 + WINDOW;
    ScratchDir dir;
    std::string path = dir.path() + "/film.m2v";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    std::vector<FilmPart> parts = film_parts(SIZE);
    bool sparse = ftruncate(fd, static_cast<off_t>(SIZE)) == 0;
    for (const FilmPart& p : parts) sparse = sparse && pwrite_all(fd, p.film, p.at);
    struct stat st = {};
    sparse = sparse && fstat(fd, &st) == 0 && st.st_blocks * 512 < 64 * 1024 * 1024;
    if (!sparse) {
        close(fd);
        GTEST_SKIP() << "the file system under " << dir.path() << " cannot hold a sparse file";
    }
    auto extents_before = data_extents(fd);

    RunResult r = run_tool({"m2vhdr", "--pulldown", "3:2", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // Changed: both sequences, both GOPs, the extensions of indices 0 and 2;
    // 3 film frames (0.1251 s) shown for 3 + 2 + 3 fields (0.1335 s).
    EXPECT_EQ(r.out, "3:2 pulldown applied: 3 pictures, 23.976 -> 29.97 fps, 8 headers changed, "
                     "duration 0:00:00.125 -> 0:00:00.133\n");
    for (const FilmPart& p : parts)
        EXPECT_EQ(pread_at(fd, p.at, p.pulled.size()), p.pulled) << "part at " << p.at;
    ASSERT_EQ(fstat(fd, &st), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), SIZE);
    EXPECT_EQ(data_extents(fd), extents_before);
    close(fd);
}

}  // namespace
