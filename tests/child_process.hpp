// Child processes for tests that need more than one real m2vhdr at a time,
// or a shell pipeline, and must never hang the suite.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Starts `argv` with its standard streams on the given descriptors (-1 for
// /dev/null), in the C locale. The parent's copies stay open.
pid_t start_child(const std::vector<std::string>& argv, int in_fd, int out_fd, int err_fd);

// The exit status (128 + signal when killed by one), or -1 when the child had
// not ended after `seconds` and was killed.
int wait_child(pid_t pid, int seconds);

// Reads everything from `fd` until end of file.
std::string read_all(int fd);
