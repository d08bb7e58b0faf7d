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
// - rewrite mode: the file keeps its length, every write lands inside the
//   file on bytes that a sequence header or sequence extension found by the
//   independent scan of rewrite_invariants.cpp may change, and only the
//   bit-rate bits of those bytes change.
// - pulldown mode (FUZZ_PULLDOWN 1, with FUZZ_REWRITE 1): --pulldown 3:2 or
//   none, picked by the input; only the bits pulldown_rewritable_bits allows
//   change; a refused run writes nothing; a run that succeeded, repeated on
//   its own result, changes nothing more; stdout is the same for both reads.
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

std::string slurp_closed(char* buffer, std::size_t size) {
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

Run run_args(const Bytes& input, std::uint32_t read_chunk, int argc, char** argv) {
    fake_reset(input);
    fake_file().read_chunk = read_chunk;
    char* out_buffer = nullptr;
    char* err_buffer = nullptr;
    std::size_t out_size = 0;
    std::size_t err_size = 0;
    std::FILE* out = open_memstream(&out_buffer, &out_size);
    std::FILE* err = open_memstream(&err_buffer, &err_size);
    if (!out || !err) std::abort();
    Run r;
    r.status = run_program(argc, argv, out, err);
    std::fclose(out);
    std::fclose(err);
    r.out = slurp_closed(out_buffer, out_size);
    r.err = slurp_closed(err_buffer, err_size);
    r.file = fake_file().data;
    if ((r.status != EXIT_OK && r.status != EXIT_FAILED) || fake_file().is_open) {
        std::fprintf(stderr, "exit status %d, file %s\n", r.status,
                     fake_file().is_open ? "left open" : "closed");
        std::abort();
    }
    return r;
}

// --pulldown 3:2 (remove false) or none, on a file of `input`.
Run run_pulldown_mode(const Bytes& input, std::uint32_t read_chunk, bool remove) {
    char program[] = "m2vhdr";
    char path[] = "fuzz.m2v";
    char option[] = "--pulldown";
    char apply_value[] = "3:2";
    char remove_value[] = "none";
    char* argv[] = {program, path, option, remove ? remove_value : apply_value, nullptr};
    return run_args(input, read_chunk, 4, argv);
}

Run run(const Bytes& input, std::uint32_t read_chunk, std::uint32_t bit_rate) {
    if (FUZZ_PULLDOWN) return run_pulldown_mode(input, read_chunk, bit_rate & 1);
    fake_reset(input);
    fake_file().read_chunk = read_chunk;

    char program[] = "m2vhdr";
    char path[] = "fuzz.m2v";
    char rate[16];
    std::snprintf(rate, sizeof rate, "%u", bit_rate);
    char* argv[] = {program, path, rate, nullptr};
    int argc = FUZZ_REWRITE ? 3 : 2;

    char* out_buffer = nullptr;
    char* err_buffer = nullptr;
    std::size_t out_size = 0;
    std::size_t err_size = 0;
    std::FILE* out = open_memstream(&out_buffer, &out_size);
    std::FILE* err = open_memstream(&err_buffer, &err_size);
    if (!out || !err) std::abort();

    Run r;
    r.status = run_program(argc, argv, out, err);
    std::fclose(out);
    std::fclose(err);
    r.out = slurp_closed(out_buffer, out_size);
    r.err = slurp_closed(err_buffer, err_size);
    r.file = fake_file().data;

    if (r.status != EXIT_OK && r.status != EXIT_FAILED) {
        std::fprintf(stderr, "exit status %d\n", r.status);
        std::abort();
    }
    if (fake_file().is_open) {
        std::fprintf(stderr, "file left open\n");
        std::abort();
    }
    return r;
}

void check_writes(const Bytes& input) {
    Bytes rewritable = rewritable_bits(input);
    for (const FakeCall& c : fake_file().calls) {
        if (c.op != FakeOp::WRITE) continue;
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

void fail_if(const std::string& why) {
    if (why.empty()) return;
    std::fprintf(stderr, "%s\n", why.c_str());
    std::abort();
}

// Every write and the file afterwards within the pulldown bits; nothing
// written by a refused run; nothing more written by a second run.
void check_pulldown(const Bytes& input, const Run& first, bool remove) {
    Bytes bits = pulldown_rewritable_bits(input);
    for (const FakeCall& c : fake_file().calls)
        if (c.op == FakeOp::WRITE) fail_if(check_write(bits, c.offset, c.count));
    fail_if(check_changed_bits(bits, input, first.file));
    if (first.status != EXIT_OK) {
        if (first.file != input) fail_if("a refused pulldown changed the file");
        return;
    }
    Run again = run_pulldown_mode(first.file, 0, remove);
    if (again.status != EXIT_OK || again.file != first.file)
        fail_if("a second pulldown run changed the file or failed");
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
    // Rates over the whole argument range, so that every patched bit flips
    // on some inputs.
    const std::uint32_t bit_rate = h * 2654435761u;

    Run whole = run(input, 0, bit_rate);
    if (FUZZ_PULLDOWN) {
        check_pulldown(input, whole, bit_rate & 1);
    } else if (FUZZ_REWRITE) {
        check_writes(input);
        std::string why = check_rewrite(input, whole.file);
        if (!why.empty()) {
            std::fprintf(stderr, "%s\n", why.c_str());
            std::abort();
        }
    } else if (whole.file != input) {
        std::fprintf(stderr, "report mode changed the file\n");
        std::abort();
    }

    Run chunked = run(input, chunk, bit_rate);
    expect_same("exit status", whole.status == chunked.status);
    expect_same("stderr", whole.err == chunked.err);
    expect_same("file", whole.file == chunked.file);
    // The rewrite's progress line shows where the window starts, which
    // depends on the read sizes; the report must not.
    if (!FUZZ_REWRITE || FUZZ_PULLDOWN) expect_same("report", whole.out == chunked.out);
    return 0;
}
