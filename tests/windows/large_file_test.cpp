// m2vhdr.exe on a file past 4 GiB: true offsets in the report, and patches
// at the right places.
#include <filesystem>
#include <fstream>
#include <regex>

#include "windows/exe_runner.hpp"

namespace {

constexpr std::uint64_t WINDOW = 1u << 20;
constexpr std::uint64_t LOOK = 197;

using WindowsExe = NeedsWindowsBuild<::testing::Test>;

void write_at(const std::string& path, std::uint64_t offset, const Bytes& bytes) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes read_at(const std::string& path, std::uint64_t offset, std::size_t count) {
    std::ifstream f(path, std::ios::binary);
    f.seekg(static_cast<std::streamoff>(offset));
    Bytes b(count);
    f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(count));
    b.resize(static_cast<std::size_t>(f.gcount()));
    return b;
}

Bytes sequence_pair(std::uint32_t bit_rate_value, unsigned bit_rate_extension) {
    SequenceHeader h;
    h.bit_rate_value = bit_rate_value;
    SequenceExtension e;
    e.bit_rate_extension = bit_rate_extension;
    return concat({sequence_header(h), sequence_extension(e)});
}

// A sparse file just over 4 GiB with one sequence near its start and one
// just past 4 GiB, where a 32-bit offset wraps to 4: a wrapped patch would
// land in the zeros in front of the first sequence.
TEST_F(WindowsExe, PatchesBeyondFourGiBAtTheRightPlace) {
    ScratchDir dir;
    const std::uint64_t low = 0x100;
    const std::uint64_t high = (std::uint64_t{1} << 32) + 4;
    const std::uint64_t size = high + 64 * 1024;
    std::string path = dir.write("big.m2v", {});
    std::filesystem::resize_file(path, size);
    write_at(path, low, sequence_pair(1, 0));
    write_at(path, high, sequence_pair(2, 0));

    RunResult report = run_tool({"m2vhdr", path});
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.err, "");
    std::string offsets;
    std::regex header_line("^[0-9a-f]{8,}: [A-Z_]+$");
    std::string text = report.out;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = text.substr(at, end - at);
        if (std::regex_match(line, header_line)) offsets += line + "\n";
    }
    EXPECT_EQ(offsets,
              "00000100: SEQUENCE_HEADER_CODE\n0000010c: SEQUENCE_EXTENSION\n"
              "100000004: SEQUENCE_HEADER_CODE\n100000010: SEQUENCE_EXTENSION\n");

    // 3000000000 bit/s: q = 7500000, whose bits above 17 go into the
    // extension.
    RunResult rewrite = run_tool({"m2vhdr", path, "3000000000"});
    EXPECT_EQ(rewrite.status, 0);
    EXPECT_EQ(rewrite.err, "");
    const std::uint32_t q = 7500000;
    Bytes front(0x200, 0);
    Bytes low_pair = sequence_pair(q & 0x3FFFF, q >> 18);
    std::copy(low_pair.begin(), low_pair.end(), front.begin() + low);
    EXPECT_EQ(read_at(path, 0, 0x200), front);
    Bytes back(256, 0);
    Bytes high_pair = sequence_pair(q & 0x3FFFF, q >> 18);
    std::copy(high_pair.begin(), high_pair.end(), back.begin() + 16);
    EXPECT_EQ(read_at(path, high - 16, 256), back);
    EXPECT_EQ(std::filesystem::file_size(path), size);

    // Each window moves the scan on by WINDOW - LOOKAHEAD + 1 bytes: the
    // first patch shows 0 done, the second the start of the window that
    // holds the high sequence; the file ends in zeros, whose last three
    // bytes are never examined.
    const std::uint64_t step = WINDOW - LOOK + 1;
    const std::uint64_t second = high / step * step;
    EXPECT_EQ(rewrite.out, progress_line(0, size, 0, "\r") +
                               progress_line(second, size, second / (size / 100), "\r") +
                               progress_line(size - 3, size, 100, "\n"));
}

}  // namespace
