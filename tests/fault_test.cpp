// Faults of the file operations, injected through the in-memory platform
// double at every call position, in both modes: each stops the run with its
// message and exit status 1, makes no further call on the file (above all no
// write), keeps the patches written before it, and prints no closing
// progress line. Short reads are only smaller pieces of the same file; a
// short write is a write error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "fake_platform.hpp"
#include "input/input.hpp"
#include "tool_runner.hpp"

namespace {

constexpr std::size_t WINDOW = 1u << 20;
constexpr std::size_t LOOKAHEAD = 197;
constexpr std::uint32_t TARGET_RATE = 120000000;  // q = 300000: value 37856, extension 1

struct Sequence {
    std::size_t header;     // offset of 00 00 01 B3
    std::size_t extension;  // offset of its sequence extension
};

struct Layout {
    Bytes original;
    Bytes target;  // the same stream built with the target rate in every sequence
    std::vector<Sequence> sequences;
};

void place(Bytes& s, std::size_t at, const Bytes& part) {
    std::copy(part.begin(), part.end(), s.begin() + static_cast<long>(at));
}

// Five sequences over four windows: one right at the start, one with its
// extension just past the first lookahead limit of a later window, one after
// a quantiser-matrix extension that reaches past the end of the first window
// (so the scan discards or seeks past it), and one near the end of the file.
Layout build_layout() {
    const std::size_t size = 3 * WINDOW + 500000;
    std::vector<std::size_t> at = {0, 300000, 2 * WINDOW - 140, 2 * WINDOW + 500000, size - 40};
    Layout l;
    l.original = filler(size);
    l.target = filler(size);
    for (std::size_t i = 0; i < at.size(); ++i) {
        SequenceHeader h;
        h.bit_rate_value = 1000 + 77 * static_cast<unsigned>(i);
        h.vbv_buffer_size_value = 0x3FF;  // all ones below the rate bits
        SequenceExtension e;
        SequenceHeader th = h;
        th.bit_rate_value = (TARGET_RATE / 400) & 0x3FFFF;
        SequenceExtension te = e;
        te.bit_rate_extension = (TARGET_RATE / 400) >> 18;
        Bytes header = sequence_header(h);
        place(l.original, at[i], concat({header, sequence_extension(e)}));
        place(l.target, at[i], concat({sequence_header(th), sequence_extension(te)}));
        l.sequences.push_back({at[i], at[i] + header.size()});
    }
    // A picture whose quantiser matrices run 60 bytes past the first window.
    Bytes picture = concat({picture_header({}), quant_matrix_extension(true, true, true, true, 0x10)});
    std::size_t picture_at = WINDOW - 200 - picture_header({}).size();
    place(l.original, picture_at, picture);
    place(l.target, picture_at, picture);
    return l;
}

const Layout& layout() {
    static const Layout l = build_layout();
    return l;
}

// The original with the first `writes` patches of a rewrite in file order:
// per sequence, bytes 8..10 of the header, then bytes 6..7 of the extension,
// each taken from the stream built with the target rate.
Bytes after_writes(std::size_t writes) {
    const Layout& l = layout();
    Bytes b = l.original;
    for (std::size_t w = 0; w < writes; ++w) {
        const Sequence& s = l.sequences[w / 2];
        std::size_t from = w % 2 == 0 ? s.header + 8 : s.extension + 6;
        std::size_t count = w % 2 == 0 ? 3 : 2;
        std::copy_n(l.target.begin() + static_cast<long>(from), count,
                    b.begin() + static_cast<long>(from));
    }
    return b;
}

struct Clean {
    RunResult result;
    std::vector<FakeCall> calls;
};

RunResult run(bool rewrite) {
    std::vector<std::string> args = {"m2vhdr", "fake.m2v"};
    if (rewrite) args.push_back(std::to_string(TARGET_RATE));
    return run_in_process(args);
}

const Clean& clean_run(bool rewrite) {
    static Clean runs[2];
    static bool done[2] = {false, false};
    Clean& c = runs[rewrite];
    if (!done[rewrite]) {
        fake_reset(layout().original);
        c.result = run(rewrite);
        c.calls = fake_file().calls;
        done[rewrite] = true;
    }
    return c;
}

// The report blocks (a line "%08llx: NAME" and its detail lines) whose
// header lies at most `last` bytes into the file.
std::string report_up_to(const std::string& report, long long last) {
    std::string out;
    bool keep = false;
    std::size_t start = 0;
    while (start < report.size()) {
        std::size_t end = report.find('\n', start);
        end = end == std::string::npos ? report.size() : end + 1;
        std::string line = report.substr(start, end - start);
        if (line[0] != ' ') keep = std::stoll(line, nullptr, 16) <= last;
        if (keep) out += line;
        start = end;
    }
    return out;
}

// The first `n` progress lines of a rewrite's output.
std::string progress_prefix(const std::string& out, std::size_t n) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < n; ++i) end = out.find('\r', end) + 1;
    return out.substr(0, end);
}

TEST(FaultFree, RewriteMatchesTheStreamBuiltWithTheTargetRate) {
    const Clean& c = clean_run(true);
    EXPECT_EQ(c.result.status, 0);
    EXPECT_EQ(c.result.err, "");
    EXPECT_EQ(fake_file().data, layout().target);
    EXPECT_EQ(std::count(c.result.out.begin(), c.result.out.end(), '\r'), 5);
    EXPECT_EQ(c.result.out.substr(c.result.out.rfind('\r') + 1),
              progress_line(layout().original.size() - 3, layout().original.size(), 100, "\n"));
    // The read after the quantiser matrices lands right after them.
    bool sought = std::any_of(c.calls.begin(), c.calls.end(), [](const FakeCall& call) {
        return call.op == FakeOp::READ && call.offset == WINDOW + 61;
    });
    EXPECT_TRUE(sought);
}

TEST(FaultFree, ReportShowsEverySequence) {
    const Clean& c = clean_run(false);
    EXPECT_EQ(c.result.status, 0);
    EXPECT_EQ(c.result.err, "");
    for (const Sequence& s : layout().sequences) {
        char text[64];
        std::snprintf(text, sizeof text, "%08zx: SEQUENCE_EXTENSION\n", s.extension);
        EXPECT_NE(c.result.out.find(text), std::string::npos) << text;
    }
    // The scan passed over the 61 bytes of quantiser matrices past the
    // window: its next read lands right after them.
    bool discarded = std::any_of(c.calls.begin(), c.calls.end(), [](const FakeCall& call) {
        return call.op == FakeOp::READ && call.offset == WINDOW + 61;
    });
    EXPECT_TRUE(discarded);
}

// A run writes only the patches whose bytes differ and flushes only when it
// wrote: on the file left after `done` patches it writes the others (a dry
// run lists just those), on the finished file nothing, and it prints the
// first run's lines every time.
TEST(FaultFree, RerunWritesOnlyTheBytesThatDiffer) {
    const Clean& c = clean_run(true);
    std::vector<FakeCall> all;
    for (const FakeCall& call : c.calls)
        if (call.op == FakeOp::WRITE) all.push_back(call);
    ASSERT_EQ(all.size(), 10u);
    for (std::size_t done : {0u, 1u, 4u, 9u, 10u}) {
        SCOPED_TRACE("after " + std::to_string(done) + " patches");
        fake_reset(after_writes(done));
        RunResult r = run(true);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.result.out);
        EXPECT_EQ(fake_file().data, layout().target);
        std::vector<FakeCall> writes;
        for (const FakeCall& call : fake_file().calls)
            if (call.op == FakeOp::WRITE) writes.push_back(call);
        EXPECT_EQ(writes, std::vector<FakeCall>(all.begin() + static_cast<long>(done), all.end()));
        EXPECT_EQ(fake_count(FakeOp::SYNC), done == all.size() ? 0u : 1u);

        fake_reset(after_writes(done));
        RunResult dry = run_in_process({"m2vhdr", "--dry-run", "fake.m2v", std::to_string(TARGET_RATE)});
        std::string expected;
        for (std::size_t i = done; i < all.size(); ++i) {
            char line[64];
            auto at = static_cast<long>(all[i].offset);
            int n = std::snprintf(line, sizeof line, "%08llx:", static_cast<unsigned long long>(all[i].offset));
            for (std::size_t b = 0; b < all[i].count; ++b)
                n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " %02x",
                                   layout().original[static_cast<std::size_t>(at) + b]);
            n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " ->");
            for (std::size_t b = 0; b < all[i].count; ++b)
                n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " %02x",
                                   layout().target[static_cast<std::size_t>(at) + b]);
            expected += std::string(line) + "\n";
        }
        EXPECT_EQ(dry.out, expected);
        EXPECT_EQ(fake_count(FakeOp::WRITE), 0u);
    }
}

struct FaultCase {
    const char* name;
    bool rewrite;
    FakeOp op;
    FakeFault::Kind kind;
    std::uint32_t limit;      // SHORT only
    const char* message;      // UTF-8; empty when the run goes on
    friend void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }
};

class Fault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Fault, AtEveryCallPosition) {
    const FaultCase& fc = GetParam();
    const Clean& clean = clean_run(fc.rewrite);
    ASSERT_EQ(clean.result.status, 0);
    std::vector<std::size_t> positions;  // indices into clean.calls of each call of the op
    for (std::size_t i = 0; i < clean.calls.size(); ++i)
        if (clean.calls[i].op == fc.op) positions.push_back(i);
    ASSERT_FALSE(positions.empty());
    RecordProperty("injected", static_cast<int>(positions.size()));

    for (std::size_t k = 1; k <= positions.size(); ++k) {
        SCOPED_TRACE("call " + std::to_string(k) + " of " + std::to_string(positions.size()));
        fake_reset(layout().original);
        fake_file().faults.push_back(FakeFault{fc.op, static_cast<unsigned>(k), fc.kind, fc.limit});
        RunResult r = run(fc.rewrite);
        const std::vector<FakeCall>& calls = fake_file().calls;

        if (fc.kind == FakeFault::SHORT && fc.op == FakeOp::READ) {
            // Only the pieces differ: the same report, the same file.
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(fake_file().data, fc.rewrite ? layout().target : layout().original);
            if (fc.rewrite) {
                EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\r'), 5);
                EXPECT_EQ(r.out.substr(r.out.rfind('\r') + 1),
                          clean.result.out.substr(clean.result.out.rfind('\r') + 1));
            } else {
                EXPECT_EQ(r.out, clean.result.out);
            }
            continue;
        }

        // Everything up to the fault as in the fault-free run, then the
        // failed call, then only the close.
        std::size_t m = positions[k - 1];
        ASSERT_EQ(calls.size(), m + 2);
        for (std::size_t i = 0; i < m; ++i) EXPECT_EQ(calls[i], clean.calls[i]) << "call " << i;
        EXPECT_EQ(calls[m].op, fc.op);
        EXPECT_EQ(calls[m].offset, clean.calls[m].offset);
        EXPECT_EQ(calls[m].count, clean.calls[m].count);
        EXPECT_EQ(calls[m + 1].op, FakeOp::CLOSE);

        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, sjis(fc.message));

        std::size_t writes = 0;  // complete writes before the fault
        std::uint64_t bytes_read = 0;  // how far reading reached
        for (std::size_t i = 0; i < m; ++i) {
            if (calls[i].op == FakeOp::WRITE) ++writes;
            if (calls[i].op == FakeOp::READ)
                bytes_read = std::max<std::uint64_t>(bytes_read, calls[i].offset + calls[i].done);
        }
        // A short write leaves its part in the file; the rest of the patch
        // and everything after it is not written.
        Bytes expected = after_writes(writes);
        if (fc.op == FakeOp::WRITE && fc.kind == FakeFault::SHORT) {
            EXPECT_EQ(calls[m].done, fc.limit);
            const FakeCall& w = clean.calls[m];
            std::copy_n(w.bytes.begin(), fc.limit, expected.begin() + static_cast<long>(w.offset));
        }
        EXPECT_EQ(fake_file().data, expected);

        if (fc.rewrite) {
            // One progress line per finished patch, and no closing line.
            EXPECT_EQ(r.out, progress_prefix(clean.result.out, writes / 2));
            EXPECT_EQ(r.out.find('\n'), std::string::npos);
        } else {
            // Every header with its full lookahead read before the fault.
            long long last = static_cast<long long>(bytes_read) - static_cast<long long>(LOOKAHEAD);
            EXPECT_EQ(r.out, report_up_to(clean.result.out, last));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Injected, Fault,
    ::testing::Values(
        FaultCase{"report_read_fails", false, FakeOp::READ, FakeFault::FAIL, 0, "読み取りエラーです\n"},
        FaultCase{"report_read_short", false, FakeOp::READ, FakeFault::SHORT, 1000, ""},
        FaultCase{"report_read_one_byte", false, FakeOp::READ, FakeFault::SHORT, 1, ""},
        FaultCase{"rewrite_read_fails", true, FakeOp::READ, FakeFault::FAIL, 0, "読み取りエラーです\n"},
        FaultCase{"rewrite_read_short", true, FakeOp::READ, FakeFault::SHORT, 1000, ""},
        FaultCase{"rewrite_seek_fails", true, FakeOp::SEEK, FakeFault::FAIL, 0, "シークエラーです\n"},
        FaultCase{"rewrite_write_fails", true, FakeOp::WRITE, FakeFault::FAIL, 0, "書き込みエラーです\n"},
        FaultCase{"rewrite_write_none", true, FakeOp::WRITE, FakeFault::SHORT, 0, "書き込みエラーです\n"},
        FaultCase{"rewrite_write_short", true, FakeOp::WRITE, FakeFault::SHORT, 1, "書き込みエラーです\n"},
        // Success is only reported once the patches have reached the device.
        FaultCase{"rewrite_sync_fails", true, FakeOp::SYNC, FakeFault::FAIL, 0, "書き込みエラーです\n"},
        // Without the size the rewrite cannot keep inside the file.
        FaultCase{"rewrite_size_fails", true, FakeOp::SIZE, FakeFault::FAIL, 0, "読み取りエラーです\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Fault, FailedSizeQueryWritesNothingAndReadsNothing) {
    fake_reset(layout().original);
    fake_file().faults.push_back(FakeFault{FakeOp::SIZE, 1, FakeFault::FAIL, 0});
    RunResult r = run(true);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(fake_count(FakeOp::READ), 0u);
    EXPECT_EQ(fake_count(FakeOp::WRITE), 0u);
    EXPECT_EQ(fake_file().data, layout().original);
}

}  // namespace

namespace {

// The document of a --json run, read back by Python's json module: the
// status, then one line per patch ("offset new-hex") or per header entry
// ("offset name"). Empty when it does not parse.
std::string parsed_document(const std::string& out) {
    ScratchDir dir;
    std::string path = dir.write("out.json", Bytes(out.begin(), out.end()));
    RunResult r = run_command({"python3", "-c",
                               "import json, sys\n"
                               "d = json.load(open(sys.argv[1], encoding='utf-8'))\n"
                               "print(d['status'])\n"
                               "for p in d.get('patches', []): print(p['offset'], p['new'])\n"
                               "for h in d.get('headers', []): print(h['offset'], h['name'])\n",
                               path});
    return r.status == 0 ? r.out : "";
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char pair[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", b);
        text += pair;
    }
    return text;
}

// A failure in the middle of a --json run still closes the document, says
// "error", and lists exactly the bytes that reached the file, a short
// write's part included; messages and exit status as without --json.
TEST(Fault, JsonDocumentClosesWithTheError) {
    struct Case {
        bool rewrite;
        FakeFault fault;
        const char* message;
    } cases[] = {
        // --json is an option: the file and the system's reason are named;
        // a short write gives no reason.
        // (--json reads a container by itself: the first read is that of
        // the look at the file's start, the next two the scan's windows.)
        {false, {FakeOp::READ, 3, FakeFault::FAIL, 0}, "m2vhdr: 'fake.m2v' を読み取れません: fake error 5\n"},
        {true, {FakeOp::READ, 3, FakeFault::FAIL, 0}, "m2vhdr: 'fake.m2v' を読み取れません: fake error 5\n"},
        {true, {FakeOp::WRITE, 4, FakeFault::SHORT, 1}, "m2vhdr: 'fake.m2v' に書き込めません: 原因は不明です\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        fake_reset(layout().original);
        fake_file().faults.push_back(c.fault);
        std::vector<std::string> args = {"m2vhdr", "--json", "fake.m2v"};
        if (c.rewrite) args.push_back(std::to_string(TARGET_RATE));
        RunResult r = run_in_process(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, sjis(c.message));
        std::string expected = "error\n";
        for (const FakeCall& call : fake_file().calls)
            if (call.op == FakeOp::WRITE && call.done > 0)
                expected += std::to_string(call.offset) + " " + hex(call.bytes) + "\n";
        if (!c.rewrite) {
            // The first window's headers (see build_layout), then the end.
            std::size_t picture = WINDOW - 200 - picture_header({}).size();
            for (std::size_t i = 0; i < 2; ++i)
                expected += std::to_string(layout().sequences[i].header) + " SEQUENCE_HEADER_CODE\n" +
                            std::to_string(layout().sequences[i].extension) + " SEQUENCE_EXTENSION\n";
            expected += std::to_string(picture) + " PICTURE_START_CODE\n" +
                        std::to_string(WINDOW - 200) + " QUANT_MATRIX_EXTENSION\n";
        }
        EXPECT_EQ(parsed_document(r.out), expected);
    }
}


// A mapped file cut short by another process under the run, before or
// after the window that meets the cut was mapped: the run ends with the
// read error and status 1, having printed only what the whole file gives
// up to there, and reads nothing more.
TEST(Fault, MappedFileCutShortUnderTheRunEndsWithTheReadError) {
    struct Case {
        const char* name;
        bool json;
        unsigned map_call;  // the map after which the file is cut
        std::uint32_t cut_to;
        unsigned maps;  // platform_map calls made in all
        const char* message;
    } cases[] = {
        {"in the first window", false, 1, 1500000, 1, "読み取りエラーです\n"},
        {"past the first window, found when mapping the next", false, 1, 2 * WINDOW + 100, 2,
         "読み取りエラーです\n"},
        {"in the second window", false, 2, 2 * WINDOW + 300000, 2, "読み取りエラーです\n"},
        {"--json: the file and the reason named", true, 2, 2 * WINDOW + 300000, 2,
         "m2vhdr: 'fake.m2v' を読み取れません: fake error 5\n"},
    };
    const std::vector<std::string> report = {"m2vhdr", "fake.m2v"};
    fake_reset(layout().original);
    const RunResult whole = run_in_process(report);
    ASSERT_EQ(whole.status, 0);
    input_reading = InputReading::MAPPED;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake_reset(layout().original);
        fake_file().mappable = true;
        fake_file().faults.push_back({FakeOp::MAP, c.map_call, FakeFault::CUT, c.cut_to});
        std::vector<std::string> args = report;
        if (c.json) args.insert(args.begin() + 1, "--json");
        RunResult r = run_in_process(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, sjis(c.message));
        if (!c.json) {
            EXPECT_LT(r.out.size(), whole.out.size());
            EXPECT_EQ(r.out, whole.out.substr(0, r.out.size()));
        }
        EXPECT_EQ(fake_count(FakeOp::READ), 0u);
        EXPECT_EQ(fake_count(FakeOp::MAP), c.maps);
    }
    input_reading = InputReading::READ;
}

}  // namespace
