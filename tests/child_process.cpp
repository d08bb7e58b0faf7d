#include "child_process.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

pid_t start_child(const std::vector<std::string>& argv, int in_fd, int out_fd, int err_fd) {
    std::vector<std::string> copy = argv;
    std::vector<char*> args;
    for (std::string& a : copy) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid != 0) return pid;
    int null_fd = open("/dev/null", O_RDWR);
    int fds[3] = {in_fd, out_fd, err_fd};
    for (int i = 0; i < 3; ++i) dup2(fds[i] >= 0 ? fds[i] : null_fd, i);
    // Only the three standard streams reach the child.
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    signal(SIGPIPE, SIG_DFL);
    // The tool's messages in their Shift_JIS bytes, whatever the locale.
    setenv("LC_ALL", "C", 1);
    execvp(args[0], args.data());
    _exit(127);
}

int wait_child(pid_t pid, int seconds) {
    for (long waited_ms = 0; waited_ms <= seconds * 1000L; waited_ms += 10) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0) return -2;
        struct timespec ten_ms = {0, 10 * 1000 * 1000};
        nanosleep(&ten_ms, nullptr);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

std::string read_all(int fd) {
    std::string text;
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}
