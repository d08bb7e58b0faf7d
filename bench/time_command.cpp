// m2vhdr_time_command COMMAND [ARGUMENT...]
//
// Runs COMMAND with standard input from /dev/null and standard output to
// /dev/null, and prints "SECONDS PEAK_KIB CPU_SECONDS": its wall-clock time,
// the peak resident memory of that one process and the processor time it
// used (user and system). On a busy machine the processor time is the
// steadier figure. Exits 1 if the command could not be
// run or did not exit with status 0.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <ctime>

extern char** environ;

namespace {

double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: m2vhdr_time_command COMMAND [ARGUMENT...]\n", stderr);
        return 2;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);

    double start = now();
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[1], &actions, nullptr, argv + 1, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        std::fprintf(stderr, "m2vhdr_time_command: cannot run %s\n", argv[1]);
        return 1;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return 1;
    double seconds = now() - start;

    double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    std::printf("%.6f %ld %.6f\n", seconds, usage.ru_maxrss, cpu);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "m2vhdr_time_command: %s failed\n", argv[1]);
        return 1;
    }
    return 0;
}
