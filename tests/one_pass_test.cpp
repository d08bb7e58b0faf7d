// A rewrite inside a transport or program stream reads the file once: its
// patches are kept during the pass and written after it, so a scrambled
// packet after the last patch still leaves the file, and the output, as a
// refusal before any write would. Patches beyond the budget make the run
// read the stream twice, and write the same bytes. The in-memory platform
// double counts every read and write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "fake_platform.hpp"
#include "rewrite/patch_collection.hpp"
#include "tool_runner.hpp"

namespace {

constexpr unsigned PID = 0x100;
constexpr std::uint32_t TARGET_RATE = 120000000;  // q = 300000: value 37856, extension 1
constexpr unsigned SEQUENCES = 8;

// The elementary stream: SEQUENCES sequences of about 100 KB with rates of
// their own, or every one built with TARGET_RATE. The scan warns of the
// layer at the start of the second one, the transport's demultiplexer of a
// continuity gap 50 000 bytes into it (in the next 128 KiB it hands out).
Bytes elementary(bool target) {
    Bytes es;
    for (unsigned i = 0; i < SEQUENCES; ++i) {
        SequenceHeader h;
        h.bit_rate_value = target ? (TARGET_RATE / 400) & 0x3FFFF : 1000 + 77 * i;
        SequenceExtension e;
        e.bit_rate_extension = target ? (TARGET_RATE / 400) >> 18 : 0;
        append(es, concat({sequence_header(h), sequence_extension(e), group_header({})}));
        // The second sequence's GOP header is followed by a picture coding
        // extension out of its layer: a warning.
        if (i == 1) append(es, picture_coding_extension({}));
        append(es, concat({picture_header({}), picture_coding_extension({}), slice(100000)}));
    }
    return es;
}

struct Container {
    Bytes file;
    std::vector<std::uint64_t> where;  // the file offset of each video byte
    std::uint64_t scrambled_at = 0;  // the scrambled packet, if any
    std::uint64_t gap_at = 0;        // transport: the packet after a continuity gap
};

// One transport packet of `pid` with `payload` (at most 184 bytes), stuffed
// with an adaptation field to its full size.
void put_packet(Bytes& file, unsigned pid, bool start, unsigned cc, const Bytes& payload,
                unsigned scrambling = 0) {
    Bytes p = {0x47, static_cast<std::uint8_t>((start ? 0x40 : 0) | pid >> 8), static_cast<std::uint8_t>(pid),
               static_cast<std::uint8_t>(scrambling << 6 | 0x10 | (cc & 15))};
    std::size_t stuffing = 184 - payload.size();
    if (stuffing > 0) {
        p[3] |= 0x20;
        p.push_back(static_cast<std::uint8_t>(stuffing - 1));
        if (stuffing > 1) p.push_back(0x00);
        while (p.size() < 188 - payload.size()) p.push_back(0xff);
    }
    append(file, p);
    append(file, payload);
}

// A table section with its CRC_32 (polynomial 0x04c11db7, from all ones),
// behind pointer_field 0.
Bytes section_payload(Bytes section) {
    std::uint32_t crc = 0xffffffff;
    for (std::uint8_t b : section) {
        crc ^= std::uint32_t{b} << 24;
        for (int k = 0; k < 8; ++k) crc = crc & 0x80000000u ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<std::uint8_t>(crc >> shift));
    return concat({{0}, section});
}

// PAT (program 1, PMT on PID 0x20), PMT (MPEG-2 video on PID), the video in
// one unbounded PES packet with a continuity counter skipped in the middle
// of the second sequence's slice, and, when asked, one scrambled packet of
// the video after the last sequence.
Container transport(const Bytes& es, bool scrambled) {
    Container c;
    put_packet(c.file, 0, true, 0, section_payload({0, 0xb0, 0x0d, 0, 1, 0xc1, 0, 0, 0, 1, 0xe0, 0x20}));
    put_packet(c.file, 0x20, true, 0,
               section_payload({2, 0xb0, 0x12, 0, 1, 0xc1, 0, 0, 0xe1, 0, 0xf0, 0, 2,
                                static_cast<std::uint8_t>(0xe0 | PID >> 8), static_cast<std::uint8_t>(PID), 0xf0, 0}));
    const Bytes pes = {0, 0, 1, 0xe0, 0, 0, 0x80, 0, 0};
    const std::size_t gap_at = es.size() / SEQUENCES + 50000;
    unsigned cc = 0;
    for (std::size_t at = 0; at < es.size(); ++cc) {
        std::size_t n = std::min<std::size_t>(at == 0 ? 184 - pes.size() : 184, es.size() - at);
        Bytes part(es.begin() + static_cast<long>(at), es.begin() + static_cast<long>(at + n));
        if (at <= gap_at && gap_at < at + n) {
            ++cc;  // one packet's counter value missing, none of its bytes
            c.gap_at = c.file.size();
        }
        for (std::size_t i = 0; i < n; ++i) c.where.push_back(c.file.size() + 188 - n + i);
        put_packet(c.file, PID, at == 0, cc, at == 0 ? concat({pes, part}) : part);
        at += n;
    }
    if (scrambled) {
        c.scrambled_at = c.file.size();
        put_packet(c.file, PID, false, cc, filler(184, 0x33), 2);
    }
    put_packet(c.file, 0x1fff, false, 0, filler(184));
    return c;
}

// MPEG-2 packs, each with one PES packet of up to 2000 bytes of the video,
// and, when asked, a scrambled PES packet of it after the last sequence.
Container program(const Bytes& es, bool scrambled) {
    Container c;
    const Bytes pack = {0, 0, 1, 0xba, 0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xc3, 0xf8};
    auto put_pes = [&](const Bytes& body, std::uint8_t flags) {
        append(c.file, pack);
        const std::size_t length = 3 + body.size();
        append(c.file, {0, 0, 1, 0xe0, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
                        flags, 0, 0});
        append(c.file, body);
    };
    for (std::size_t at = 0; at < es.size(); at += 2000) {
        std::size_t n = std::min<std::size_t>(2000, es.size() - at);
        for (std::size_t i = 0; i < n; ++i) c.where.push_back(c.file.size() + pack.size() + 9 + i);
        put_pes(Bytes(es.begin() + static_cast<long>(at), es.begin() + static_cast<long>(at + n)), 0x80);
    }
    if (scrambled) {
        c.scrambled_at = c.file.size() + pack.size();
        put_pes(filler(500, 0x33), 0x80 | 0x20);  // PES_scrambling_control '10'
    }
    append(c.file, {0, 0, 1, 0xb9});  // MPEG_program_end_code
    return c;
}

const std::string LAYER_WARNING = "Warning: found a picture extension code outside the picture layer.\n";

// The stream offset of the picture coding extension after the second
// GOP header.
std::size_t layer_warning_offset() {
    const Bytes es = elementary(false);
    const Bytes pce = picture_coding_extension({});
    const Bytes gop = group_header({});
    auto second_gop = std::search(std::search(es.begin(), es.end(), gop.begin(), gop.end()) + 1, es.end(),
                                  gop.begin(), gop.end());
    return static_cast<std::size_t>(second_gop - es.begin()) + gop.size();
}

struct Kind {
    const char* name;
    Container (*lay)(const Bytes&, bool);
    bool transport;
    friend void PrintTo(const Kind& k, std::ostream* os) { *os << k.name; }
};

std::string hex8(std::uint64_t v) {
    char text[32];
    std::snprintf(text, sizeof text, "%08llx", static_cast<unsigned long long>(v));
    return text;
}

RunResult run(const std::vector<std::string>& options) {
    std::vector<std::string> args = {"m2vhdr", "--demux"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("fake.ts");
    args.push_back(std::to_string(TARGET_RATE));
    return run_in_process(args);
}

std::vector<FakeCall> calls_of(FakeOp op) {
    std::vector<FakeCall> out;
    for (const FakeCall& call : fake_file().calls)
        if (call.op == op) out.push_back(call);
    return out;
}

// The bytes the reads brought, in order of their offsets: each byte of the
// file exactly once when the reads tile it without overlap.
bool each_byte_read_once(std::uint64_t size) {
    std::vector<FakeCall> reads = calls_of(FakeOp::READ);
    reads = calls_of(FakeOp::READ);
    std::sort(reads.begin(), reads.end(), [](const FakeCall& a, const FakeCall& b) { return a.offset < b.offset; });
    std::uint64_t next = 0;
    for (const FakeCall& r : reads) {
        if (r.done == 0) continue;
        if (r.offset != next) return false;
        next += r.done;
    }
    return next == size;
}

std::uint64_t bytes_read() {
    std::uint64_t total = 0;
    for (const FakeCall& r : calls_of(FakeOp::READ)) total += r.done;
    return total;
}

// "OFFSET: OLD -> NEW" for each write the real run made, from the original
// file's bytes and the written ones.
std::string listing_of(const std::vector<FakeCall>& writes, const Bytes& original) {
    std::string out;
    for (const FakeCall& w : writes) {
        out += hex8(w.offset) + ":";
        char byte[8];
        for (std::uint32_t i = 0; i < w.count; ++i) {
            std::snprintf(byte, sizeof byte, " %02x", original[w.offset + i]);
            out += byte;
        }
        out += " ->";
        for (std::uint8_t b : w.bytes) {
            std::snprintf(byte, sizeof byte, " %02x", b);
            out += byte;
        }
        out += "\n";
    }
    return out;
}

// The patches array of a --json document, as written by a rewrite of
// `writes`, in its indentation.
std::string json_patches(const std::vector<FakeCall>& writes, const Bytes& original) {
    std::string out;
    for (std::size_t k = 0; k < writes.size(); ++k) {
        const FakeCall& w = writes[k];
        out += "    {\"offset\": " + std::to_string(w.offset) + ", \"old\": \"";
        char byte[4];
        for (std::uint32_t i = 0; i < w.count; ++i) {
            std::snprintf(byte, sizeof byte, "%02x", original[w.offset + i]);
            out += byte;
        }
        out += "\", \"new\": \"";
        for (std::uint8_t b : w.bytes) {
            std::snprintf(byte, sizeof byte, "%02x", b);
            out += byte;
        }
        out += k + 1 < writes.size() ? "\"},\n" : "\"}\n";
    }
    return out;
}

// The patch budget while it lives.
struct Budget {
    explicit Budget(std::size_t bytes) { patch_budget = bytes; }
    ~Budget() { patch_budget = PATCH_BUDGET; }
    Budget(const Budget&) = delete;
    Budget& operator=(const Budget&) = delete;
};

class OnePass : public ::testing::TestWithParam<Kind> {};

// The clear stream: the file becomes the one built with the target rate,
// after reading each byte once; the warning of the gap on standard error;
// the dry run lists what the real run writes, and the JSON document lists
// it too, with "passes": 1.
TEST_P(OnePass, WritesAfterReadingEachByteOnce) {
    EnglishMessages english;
    const Kind& k = GetParam();
    const Container original = k.lay(elementary(false), false);
    const Container target = k.lay(elementary(true), false);
    ASSERT_EQ(original.file.size(), target.file.size());
    const std::string gap = LAYER_WARNING + (k.transport ? "m2vhdr: warning: continuity counter gap on PID 0x0100 at " +
                                                               hex8(original.gap_at) + ": bytes of the video are lost\n"
                                                         : "");
    fake_reset(original.file);
    RunResult w = run({});
    EXPECT_EQ(w.status, 0);
    EXPECT_EQ(w.err, gap);
    EXPECT_EQ(w.out, closing_line(original.file.size()) + rewrite_summary(SEQUENCES, 0, 0));
    EXPECT_EQ(fake_file().data, target.file);
    EXPECT_TRUE(each_byte_read_once(original.file.size()));
    EXPECT_EQ(fake_count(FakeOp::SYNC), 1u);
    const std::vector<FakeCall> writes = calls_of(FakeOp::WRITE);
    ASSERT_GE(writes.size(), 2u * SEQUENCES);
    // Written after the pass: no read follows the first write.
    auto first_write = std::find_if(fake_file().calls.begin(), fake_file().calls.end(),
                                    [](const FakeCall& c) { return c.op == FakeOp::WRITE; });
    EXPECT_TRUE(std::none_of(first_write, fake_file().calls.end(),
                             [](const FakeCall& c) { return c.op == FakeOp::READ; }));

    fake_reset(original.file);
    RunResult dry = run({"--dry-run"});
    EXPECT_EQ(dry.status, 0);
    EXPECT_EQ(dry.err, gap);
    EXPECT_EQ(dry.out, listing_of(writes, original.file));
    EXPECT_EQ(fake_count(FakeOp::WRITE), 0u);
    EXPECT_TRUE(each_byte_read_once(original.file.size()));

    fake_reset(original.file);
    RunResult j = run({"--json"});
    EXPECT_EQ(j.status, 0);
    EXPECT_EQ(j.err, gap);
    const std::string stream =
        k.transport ? "{\n    \"container\": \"transport\",\n    \"packet_size\": 188,\n    \"pid\": 256\n  }"
                    : "{\n    \"container\": \"program\",\n    \"mpeg1\": false,\n    \"stream_id\": 224\n  }";
    EXPECT_EQ(j.out, "{\n  \"file\": \"fake.ts\",\n  \"stream\": " + stream +
                         ",\n  \"passes\": 1,\n  \"bit_rate\": 120000000,\n  \"patches\": [\n" +
                         json_patches(writes, original.file) + "  ],\n  \"warnings\": [\n    {\"offset\": " +
                         std::to_string(original.where[layer_warning_offset()]) +
                         ", \"message\": \"picture extension code found outside the picture layer\"}\n  ],\n"
                         "  \"warnings_omitted\": 0,\n  \"status\": \"complete\"\n}\n");
    EXPECT_EQ(fake_file().data, target.file);

    // A rerun on the finished file reads it once and writes nothing.
    RunResult again = run({});
    EXPECT_EQ(again.out, closing_line(original.file.size()) + rewrite_summary(0, SEQUENCES, 0));
    EXPECT_EQ(fake_count(FakeOp::WRITE), writes.size());
    EXPECT_EQ(fake_file().data, target.file);
}

// A scrambled packet after the last patch: the refusal alone, in every
// form of the rewrite, and the file untouched; no warning the pass met
// before it is printed or listed.
TEST_P(OnePass, ScrambledAfterTheLastPatchWritesNothing) {
    EnglishMessages english;
    const Kind& k = GetParam();
    const Container c = k.lay(elementary(false), true);
    const std::string refusal =
        "m2vhdr: the video stream is scrambled (packet at " + hex8(c.scrambled_at) + "); the file is not changed\n";
    const std::string refused_document =
        "{\n  \"file\": \"fake.ts\",\n  \"bit_rate\": 120000000,\n  \"patches\": [],\n"
        "  \"warnings\": [],\n  \"warnings_omitted\": 0,\n  \"status\": \"refused\"\n}\n";
    for (std::size_t budget : {PATCH_BUDGET, std::size_t{64}}) {
        Budget kept(budget);
        for (const auto& options : std::vector<std::vector<std::string>>{{}, {"--dry-run"}, {"--json"}}) {
            SCOPED_TRACE(testing::PrintToString(options) + " budget " + std::to_string(budget));
            fake_reset(c.file);
            RunResult r = run(options);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, refusal);
            EXPECT_EQ(r.out, options.empty() || options[0] != "--json" ? "" : refused_document);
            EXPECT_EQ(fake_count(FakeOp::WRITE), 0u);
            EXPECT_EQ(fake_count(FakeOp::SYNC), 0u);
            EXPECT_EQ(fake_file().data, c.file);
            // The fallback reads up to the packet twice, at most.
            if (budget == PATCH_BUDGET) {
                EXPECT_TRUE(each_byte_read_once(c.file.size()));
            }
        }
    }
}

// Patches beyond a small budget: the stream is read to its end, then again
// to write as it goes, with the same file, lines and patches as one pass,
// and "passes": 2.
TEST_P(OnePass, FallsBackToTwoPassesBeyondTheBudget) {
    EnglishMessages english;
    const Kind& k = GetParam();
    const Container original = k.lay(elementary(false), false);
    const Container target = k.lay(elementary(true), false);
    for (const auto& options : std::vector<std::vector<std::string>>{{}, {"--dry-run"}, {"--json"}}) {
        SCOPED_TRACE(testing::PrintToString(options));
        fake_reset(original.file);
        RunResult one = run(options);
        const std::vector<FakeCall> one_writes = calls_of(FakeOp::WRITE);
        const Bytes one_file = fake_file().data;
        // Room for a few parts of patches, not for all of them.
        Budget small(64);
        fake_reset(original.file);
        RunResult two = run(options);
        EXPECT_EQ(two.status, one.status);
        EXPECT_EQ(two.err, one.err);
        EXPECT_EQ(calls_of(FakeOp::WRITE), one_writes);
        EXPECT_EQ(fake_file().data, one_file);
        EXPECT_EQ(fake_file().data, options.empty() || options[0] != "--dry-run" ? target.file : original.file);
        EXPECT_GT(bytes_read(), original.file.size() + original.file.size() / 2);
        if (!options.empty() && options[0] == "--json") {
            std::string want = one.out;
            std::size_t at = want.find("\"passes\": 1,");
            ASSERT_NE(at, std::string::npos);
            EXPECT_EQ(two.out, want.replace(at, 12, "\"passes\": 2,"));
        } else {
            EXPECT_EQ(two.out, one.out);
        }
    }
}

// A write that fails after the pass stops the run there: the patches told
// are the ones written, the document says "error", nothing closes the run;
// a second run finishes the file.
TEST_P(OnePass, FailedWriteAfterThePassStopsThere) {
    EnglishMessages english;
    const Container original = GetParam().lay(elementary(false), false);
    fake_reset(original.file);
    fake_file().faults.push_back(FakeFault{FakeOp::WRITE, 2, FakeFault::FAIL, 0});
    RunResult j = run({"--json"});
    EXPECT_EQ(j.status, 1);
    // Before the warning of the gap, which the second sequence's bytes bring.
    EXPECT_EQ(j.err, "m2vhdr: cannot write 'fake.ts': fake error 5\n");
    std::vector<FakeCall> writes = calls_of(FakeOp::WRITE);
    ASSERT_EQ(writes.size(), 2u);
    writes.pop_back();
    EXPECT_NE(j.out.find("\"patches\": [\n" + json_patches(writes, original.file) + "  ],\n"), std::string::npos)
        << j.out;
    EXPECT_NE(j.out.find("\"status\": \"error\""), std::string::npos);
    EXPECT_EQ(fake_count(FakeOp::SYNC), 0u);
    // Run again, the rewrite finishes what the first run began.
    fake_file().faults.clear();
    RunResult again = run({});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(fake_file().data, GetParam().lay(elementary(true), false).file);
}

INSTANTIATE_TEST_SUITE_P(Containers, OnePass,
                         ::testing::Values(Kind{"transport", transport, true}, Kind{"program", program, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
