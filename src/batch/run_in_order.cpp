// Several files read at once, their output in argument order.
//
// Each worker thread takes the next file and runs it with its standard
// output and its standard error each spooled to a temporary file; the main
// thread waits for the file that is due, copies its two spools out, closes
// them, and goes on to the next. A file's output thus never waits in memory:
// it waits on disk, whatever its size, and the memory of a job stays that of
// the run of one file. Workers run at most 2 x jobs files ahead of the one
// due, so that a slow file does not leave the rest of the folder spooled
// behind it. A file whose spool cannot be made waits for its turn and runs
// then, straight onto the outputs.
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "batch/batch.hpp"
#include "batch/batch_messages.hpp"
#include "batch/batch_run.hpp"
#include "exit_status.hpp"
#include "platform/folder.hpp"
#include "scan/file_failure.hpp"

namespace {

struct Slot {
    std::FILE* out = nullptr;
    std::FILE* err = nullptr;
    int status = 0;
    bool done = false;
    bool deferred = false;  // not run: no spool could be made
};

struct Turns {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Slot> slots;
    std::size_t next_to_start = 0;
    std::size_t due = 0;  // the file whose output goes out next
    std::size_t ahead = 0;  // files started at most past `due`
};

void close_spools(Slot& s) {
    if (s.out) std::fclose(s.out);
    if (s.err) std::fclose(s.err);
    s.out = s.err = nullptr;
}

void run_worker(const BatchRun& b, Turns& t) {
    for (;;) {
        std::size_t index;
        {
            std::unique_lock<std::mutex> hold(t.lock);
            t.changed.wait(hold, [&] {
                return t.next_to_start >= t.slots.size() || t.next_to_start < t.due + t.ahead;
            });
            if (t.next_to_start >= t.slots.size()) return;
            index = t.next_to_start++;
        }
        Slot s;
        s.out = platform_spool_file();
        s.err = s.out ? platform_spool_file() : nullptr;
        if (!s.err) {
            close_spools(s);
            s.deferred = true;
        } else {
            // Nothing reads a spool before the run ends: no progress lines.
            s.status = run_input(b, index, s.out, s.err, ProgressStyle::NONE);
        }
        std::lock_guard<std::mutex> hold(t.lock);
        s.done = true;
        t.slots[index] = s;
        t.changed.notify_all();
    }
}

// Copies a spool out from its start; false when it could not be read back
// (its content was lost).
bool copy_spool(std::FILE* spool, std::FILE* to) {
    if (std::fflush(spool) != 0 || std::ferror(spool)) return false;
    std::rewind(spool);
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, spool)) > 0) std::fwrite(buffer, 1, n, to);
    return !std::ferror(spool);
}

}  // namespace

int run_inputs_in_order(const BatchRun& b, unsigned jobs, std::FILE* out, std::FILE* err) {
    Turns t;
    t.slots.resize(b.inputs->list.size());
    t.ahead = 2 * static_cast<std::size_t>(jobs);
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < jobs; ++i) workers.emplace_back(run_worker, std::cref(b), std::ref(t));

    int status = EXIT_OK;
    for (std::size_t i = 0; i < t.slots.size(); ++i) {
        Slot s;
        {
            std::unique_lock<std::mutex> hold(t.lock);
            t.changed.wait(hold, [&] { return t.slots[i].done; });
            s = t.slots[i];
        }
        if (s.deferred) {
            s.status = run_input(b, i, out, err, ProgressStyle::NONE);
        } else {
            bool kept = copy_spool(s.out, out);
            kept = copy_spool(s.err, err) && kept;
            if (!kept) {
                char reason[256];
                failure_reason(err, platform_stdio_error(), reason, sizeof reason);
                print_message(err, batch_msg::spool_failed, b.inputs->list[i].path.c_str(),
                              reason);
                s.status = more_serious_status(s.status, EXIT_FAILED);
            }
            close_spools(s);
        }
        status = more_serious_status(status, s.status);
        std::lock_guard<std::mutex> hold(t.lock);
        t.due = i + 1;
        t.changed.notify_all();
    }
    for (std::thread& w : workers) w.join();
    return status;
}
