// The files a run patches in place. A rewrite has one, the stream's own
// file; a run that also patches the files beside a stream adds them.
#pragma once

#include <cstdint>

#include "platform/file.hpp"

struct PatchTarget {
    FileHandle file;
    std::int64_t size = 0;  // measured when it was added: no write goes past it
    const char* name = nullptr;  // as the user typed it, for messages
    bool takes_writes = false;   // false when open for reading only (a dry run)
    bool unflushed_writes = false;  // a patch was written since the last flush
};

// The most files one run patches.
inline constexpr unsigned MAX_PATCH_TARGETS = 16;

// The run's targets; the stream's own file is the first.
struct PatchTargets {
    PatchTarget target[MAX_PATCH_TARGETS] = {};
    unsigned count = 0;
};

// Adds `file`, open as `name`, with the size it has now. Null when the
// size cannot be had (the platform's error stays for the message) or every
// place is taken.
PatchTarget* add_patch_target(PatchTargets& targets, FileHandle file, const char* name,
                              bool takes_writes);
