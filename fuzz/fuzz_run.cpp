// libFuzzer entry point: the whole tool, from run_program down through the
// scanner and every header handler, on arbitrary bytes held by the in-memory
// platform double. Built twice, once per mode (FUZZ_REWRITE 0 or 1).
//
// Checked after every input, aborting on a violation:
// - the exit status is 0 or 1, and the file is closed again;
// - the result does not depend on how the reads are split: the input is run
//   once with whole reads and once delivered in chunks (a chunk size taken
//   from the input, at least 400 bytes so that the first read still shows
//   a transport stream's packets), and must give the same report (report
//   mode) or the same file (rewrite mode), with the same status and stderr;
// - rewrite mode: the command sets a choice of elements (--set, and the
//   positional bit rate) to values taken from the input, now and then one
//   out of range, now and then as a dry run. A value out of range or
//   reserved is a usage error that leaves the file unopened. Otherwise the
//   file keeps its length, every write lands inside the file on bytes that
//   hold bits of those elements in a header found by the independent scan of
//   rewrite_invariants.cpp, and only those bits change; a dry run writes
//   nothing; the same command run again on the result changes nothing; and
//   a run stopped by a failed write, run again, gives the same file as the
//   run that was not stopped.
// - pulldown mode (FUZZ_PULLDOWN 1, with FUZZ_REWRITE 1): --pulldown 3:2 or
//   none, picked by the input; only the bits pulldown_rewritable_bits allows
//   change; a refused run writes nothing; the same checks of a second run
//   and of a run after a stopped one; stdout is the same for both reads.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/run_program.hpp"
#include "fake_platform.hpp"
#include "rewrite_invariants.hpp"

#ifndef FUZZ_REWRITE
#error "define FUZZ_REWRITE as 0 (report) or 1 (rewrite)"
#endif
#ifndef FUZZ_PULLDOWN
#define FUZZ_PULLDOWN 0
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Run {
    int status = -1;
    std::string out;
    std::string err;
    Bytes file;
};

void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

std::string slurp_closed(char* buffer, std::size_t size) {
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// The rewrite's command line, and what it sets.
struct Command {
    std::vector<std::string> args;      // after the program name
    std::vector<std::string> elements;  // as rewrite_invariants.hpp names them
    bool valid = true;                  // every value in range and not reserved
    bool dry_run = false;
};

// The values the harness takes for valid, on its own: a range, and the
// reserved value 3 of the colour tables.
struct Range {
    std::uint32_t minimum, maximum;
    bool colour_table;
};
const Range value_ranges[] = {
    {0, 0, false},  // bit_rate: the positional argument
    {1, 4, false}, {1, 8, false}, {0, 3, false}, {0, 31, false}, {0, 262143, false},
    {0, 5, false}, {1, 7, true},  {1, 8, true},  {1, 7, true},   {0, 16383, false},
    {0, 16383, false},
};

std::uint32_t next_random(std::uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8 ^ *state << 13;
}

Command pick_command(std::uint32_t seed) {
    Command c;
    if (FUZZ_PULLDOWN) {
        c.args = {"fuzz.m2v", "--pulldown", seed & 1 ? "none" : "3:2"};
        return c;
    }
    std::uint32_t r = seed;
    const std::vector<std::string>& names = invariant_elements();
    std::uint32_t chosen = next_random(&r);
    for (std::size_t i = 1; i < names.size(); ++i) {
        if (!(chosen >> i & 1u) || next_random(&r) % 3 != 0) continue;
        const Range& range = value_ranges[i];
        // Mostly in range, now and then one past either end.
        std::uint32_t value = next_random(&r) % (range.maximum + 3);
        if (next_random(&r) % 8 == 0) value = range.maximum;
        if (value < range.minimum || value > range.maximum || (range.colour_table && value == 3))
            c.valid = false;
        c.args.push_back("--set");
        c.args.push_back(names[i] + "=" + std::to_string(value));
        c.elements.push_back(names[i]);
    }
    c.dry_run = next_random(&r) % 8 == 0;
    if (c.dry_run) c.args.push_back("--dry-run");
    c.args.push_back("fuzz.m2v");
    if (c.elements.empty() || chosen & 1u) {
        // Rates over the whole argument range, so that every patched bit
        // flips on some inputs.
        c.args.push_back(std::to_string(seed * 2654435761u));
        c.elements.push_back("bit_rate");
    }
    return c;
}

Run run(const Bytes& input, std::uint32_t read_chunk, const Command& command,
        const std::vector<FakeFault>& faults = {}) {
    fake_reset(input);
    fake_file().read_chunk = read_chunk;
    fake_file().faults = faults;

    std::vector<std::string> words = {"m2vhdr"};
    if (FUZZ_REWRITE) words.insert(words.end(), command.args.begin(), command.args.end());
    else words.push_back("fuzz.m2v");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(words.size());

    char* out_buffer = nullptr;
    char* err_buffer = nullptr;
    std::size_t out_size = 0;
    std::size_t err_size = 0;
    std::FILE* out = open_memstream(&out_buffer, &out_size);
    std::FILE* err = open_memstream(&err_buffer, &err_size);
    if (!out || !err) std::abort();

    Run r;
    r.status = run_program(argc, argv.data(), out, err);
    std::fclose(out);
    std::fclose(err);
    r.out = slurp_closed(out_buffer, out_size);
    r.err = slurp_closed(err_buffer, err_size);
    r.file = fake_file().data;

    bool expected = !FUZZ_REWRITE || command.valid ? r.status == EXIT_OK || r.status == EXIT_FAILED
                                  : r.status == EXIT_USAGE && fake_file().calls.empty();
    if (!expected) {
        std::fprintf(stderr, "exit status %d after %zu calls on the file\n", r.status,
                     fake_file().calls.size());
        std::abort();
    }
    if (fake_file().is_open) {
        std::fprintf(stderr, "file left open\n");
        std::abort();
    }
    return r;
}

void check_writes(const Bytes& input, const Command& command) {
    Bytes rewritable = FUZZ_PULLDOWN ? pulldown_rewritable_bits(input)
                                     : rewritable_bits(input, command.elements);
    for (const FakeCall& c : fake_file().calls) {
        if (c.op != FakeOp::WRITE) continue;
        if (command.dry_run) fail("a dry run wrote to the file");
        std::string why = check_write(rewritable, c.offset, c.count);
        if (!why.empty()) {
            std::fprintf(stderr, "%s\n", why.c_str());
            std::abort();
        }
    }
}

void expect_same(const char* what, bool same) {
    if (!same) {
        std::fprintf(stderr, "%s differs between whole and chunked reads\n", what);
        std::abort();
    }
}

std::uint32_t hash(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(data, data + size);
    const std::uint32_t h = hash(data, size);
    const std::uint32_t chunk = 400 + h % 1700;
    const Command command = pick_command(h);

    Run whole = run(input, 0, command);
    if (FUZZ_REWRITE) {
        if (!command.valid) {
            if (whole.file != input) fail("a refused command changed the file");
            return 0;
        }
        check_writes(input, command);
        std::string why = FUZZ_PULLDOWN
                              ? check_changed_bits(pulldown_rewritable_bits(input), input, whole.file)
                              : check_rewrite(input, whole.file, command.elements);
        if (!why.empty()) fail(why.c_str());
        if (FUZZ_PULLDOWN && whole.status != EXIT_OK && whole.file != input)
            fail("a refused pulldown changed the file");
        if (command.dry_run && whole.file != input) fail("a dry run changed the file");
    } else if (whole.file != input) {
        fail("report mode changed the file");
    }
    const unsigned writes = fake_count(FakeOp::WRITE);

    Run chunked = run(input, chunk, command);
    expect_same("exit status", whole.status == chunked.status);
    expect_same("stderr", whole.err == chunked.err);
    expect_same("file", whole.file == chunked.file);
    // The rewrite's progress line shows where the window starts, which
    // depends on the read sizes; the report must not.
    if (!FUZZ_REWRITE || FUZZ_PULLDOWN) expect_same("report", whole.out == chunked.out);

    if (FUZZ_REWRITE && !command.dry_run) {
        // Every patch depends only on the target values and the bits it keeps.
        if (run(whole.file, 0, command).file != whole.file) fail("a second run changed the file");
        if (writes > 0) {
            FakeFault stop{FakeOp::WRITE, 1 + h % writes, FakeFault::FAIL, 0};
            Run stopped = run(input, 0, command, {stop});
            if (stopped.status != EXIT_FAILED) fail("a failed write did not fail the run");
            if (run(stopped.file, 0, command).file != whole.file)
                fail("a run after a stopped one did not complete the file");
        }
    }
    return 0;
}
