// A test double of the platform layer: one file held in memory, a record of
// every call the tool makes on it, and a script of faults to inject.
//
// Linked in place of the system backend, it lets a test fail the k-th read,
// seek, write or size query, or cut the k-th read or write short, and then
// check what the tool did before and after the fault.
#pragma once

#include <cstdint>
#include <vector>

enum class FakeOp { OPEN, READ, SEEK, WRITE, SIZE, SYNC, CLOSE, MAP };

// What happens at the `call`-th (1-based) call of `op`.
struct FakeFault {
    // CUT: the MAP call succeeds, then the file is cut to `limit` bytes,
    // as another process may cut it under the run.
    enum Kind { FAIL, SHORT, CUT };
    FakeOp op = FakeOp::READ;
    unsigned call = 0;
    Kind kind = FAIL;
    // SHORT: at most this many bytes are read or written (0 allowed for a
    // write; a short read delivers at least one byte while any remain).
    std::uint32_t limit = 0;
};

// One call as the tool made it.
struct FakeCall {
    FakeOp op;
    bool ok;
    std::uint64_t offset;  // position before the call (SEEK: the target)
    std::uint32_t count;   // bytes asked for
    std::uint32_t done;    // bytes read or written
    std::vector<std::uint8_t> bytes;  // WRITE: the bytes written

    bool operator==(const FakeCall&) const = default;
};

struct FakeFile {
    std::vector<std::uint8_t> data;  // the file's content; writes past the end grow it
    std::uint64_t position = 0;
    bool is_open = false;
    std::vector<FakeFault> faults;
    std::vector<FakeCall> calls;
    // When non-zero, every read delivers at most this many bytes, as a pipe
    // or a slow device may.
    std::uint32_t read_chunk = 0;
    // Whether platform_map maps the file (a copy of the window's bytes); a
    // window the file no longer holds whole has lost its pages.
    bool mappable = false;
    // The code platform_last_error gives: FAKE_ERROR after any failed call,
    // whose text is "fake error 5".
    int last_error = 0;
};
inline constexpr int FAKE_ERROR = 5;

// The one file every platform_open of the process opens, whatever the path.
FakeFile& fake_file();

// Forgets the calls and faults and holds `data` as the file.
void fake_reset(std::vector<std::uint8_t> data);

// Calls of `op` made so far.
unsigned fake_count(FakeOp op);
