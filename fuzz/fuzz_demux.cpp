// libFuzzer entry point: arbitrary bytes as the packets of a transport
// stream (188 or 192 bytes, the sync byte set, after a fixed PAT and PMT
// naming PID 0x100 as MPEG-2 video) or as a program stream (after a pack
// header), read with --demux.
//
// Checked after every input, aborting on a violation:
// - the report and --json runs end with status 0 or 1;
// - each byte the demultiplexer hands out is the file's byte at the offset
//   its map gives for it;
// - a rewrite (bit rate and aspect ratio) writes only bytes that the
//   demultiplexer, run on its own over the same file, hands out as the
//   video stream's payload; the file keeps its length;
// - run again on its result, the rewrite changes nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/run_program.hpp"
#include "demux/demux.hpp"
#include "fake_platform.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// PAT (program 1 at PID 0x20) and PMT (stream_type 2 at PID 0x100), CRCs
// left as zeros: the tool does not check them.
const std::uint8_t pat[] = {0x00, 0x00, 0xb0, 0x0d, 0x00, 0x01, 0xc1, 0x00, 0x00,
                            0x00, 0x01, 0xe0, 0x20, 0, 0, 0, 0};
const std::uint8_t pmt[] = {0x00, 0x02, 0xb0, 0x12, 0x00, 0x01, 0xc1, 0x00, 0x00, 0xe1,
                            0x00, 0xf0, 0x00, 0x02, 0xe1, 0x00, 0xf0, 0x00, 0, 0, 0, 0};

void add_table(Bytes& file, std::uint32_t packet_size, std::uint16_t pid, const std::uint8_t* t,
               std::size_t n) {
    Bytes packet(packet_size, 0xff);
    std::size_t at = packet_size - 188;
    packet[at] = 0x47;
    packet[at + 1] = static_cast<std::uint8_t>(0x40 | pid >> 8);
    packet[at + 2] = static_cast<std::uint8_t>(pid);
    packet[at + 3] = 0x10;
    for (std::size_t i = 0; i < n; ++i) packet[at + 4 + i] = t[i];
    file.insert(file.end(), packet.begin(), packet.end());
}

Bytes as_container(const std::uint8_t* data, std::size_t size) {
    Bytes file;
    const std::uint8_t form = data[0];
    ++data;
    --size;
    if (form & 1) {
        std::uint32_t packet_size = form & 2 ? 192 : 188;
        add_table(file, packet_size, 0, pat, sizeof pat);
        add_table(file, packet_size, 0x20, pmt, sizeof pmt);
        std::size_t sync_at = packet_size - 188;
        for (std::size_t i = 0; i < size; i += packet_size) {
            std::size_t start = file.size();
            file.insert(file.end(), data + i, data + (i + packet_size < size ? i + packet_size : size));
            if (file.size() > start + sync_at) file[start + sync_at] = 0x47;
        }
    } else {
        const std::uint8_t pack[] = {0, 0, 1, 0xba, 0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xc3, 0xf8};
        file.assign(pack, pack + sizeof pack);
        file.insert(file.end(), data, data + size);
    }
    return file;
}

// The file offsets the demultiplexer hands out as the video stream.
std::vector<bool> payload_of(const Bytes& file) {
    std::vector<bool> payload(file.size(), false);
    fake_reset(file);
    FileHandle handle;
    if (!platform_open("fuzz", FileAccess::READ, &handle)) fail("open");
    std::FILE* quiet = std::fopen("/dev/null", "w");
    Input input;
    Demuxer d;
    std::vector<std::uint8_t> buffer(1 << 16);
    if (input_open(input, handle) && demux_open(d) && demux_detect(d, input, quiet, DemuxWarnings{}) &&
        d.container != Container::ELEMENTARY && demux_choose(d, -1, quiet)) {
        std::uint32_t got = 0;
        do {
            demux_fill(d, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &got);
            // Each byte handed out is the file's byte where the map puts it.
            std::uint64_t first = d.stream_end - got;
            for (std::uint32_t i = 0; i < d.run_count; ++i) {
                const PayloadRun& r = demux_run(d, i);
                for (std::uint64_t k = 0; k < r.length; ++k) {
                    std::uint64_t at = run_file_offset(r, r.stream_offset + k);
                    payload.at(at) = true;
                    std::uint64_t s = r.stream_offset + k;
                    if (s >= first && file.at(at) != buffer[s - first]) fail("the map is wrong");
                }
            }
            demux_forget_before(d, d.stream_end);
        } while (got > 0);
    }
    demux_close(d);
    input_close(input);
    platform_close(handle);
    std::fclose(quiet);
    return payload;
}

int run(std::vector<std::string> words) {
    words.insert(words.begin(), "m2vhdr");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::FILE* out = std::fopen("/dev/null", "w");
    std::FILE* err = std::fopen("/dev/null", "w");
    int status = run_program(static_cast<int>(words.size()), argv.data(), out, err);
    std::fclose(out);
    std::fclose(err);
    if (status != EXIT_OK && status != EXIT_FAILED) fail("unexpected exit status");
    if (fake_file().is_open) fail("file left open");
    return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const Bytes file = as_container(data, size);
    const std::vector<bool> payload = payload_of(file);

    fake_reset(file);
    run({"--demux", "fuzz.ts"});
    fake_reset(file);
    run({"--demux", "--json", "fuzz.ts"});

    const std::vector<std::string> rewrite = {"--demux", "--set", "aspect_ratio_information=3",
                                              "fuzz.ts", std::to_string(size * 40000u + 400)};
    fake_reset(file);
    run(rewrite);
    const Bytes after = fake_file().data;
    if (after.size() != file.size()) fail("the rewrite changed the file's length");
    for (const FakeCall& c : fake_file().calls) {
        if (c.op != FakeOp::WRITE) continue;
        for (std::uint64_t k = 0; k < c.count; ++k)
            if (c.offset + k >= payload.size() || !payload[c.offset + k])
                fail("a write outside the video payload");
    }
    fake_reset(after);
    run(rewrite);
    if (fake_file().data != after) fail("a second run changed the file");
    return 0;
}
