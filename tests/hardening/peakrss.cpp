// Test helper: runs a program and writes how it ended and its own peak resident memory to a file.
//
//   pravik-peakrss <timeout-ms> <report-file> <program> [argument...]
//
// A child's peak as the kernel reports it is at least the size of the process it was forked from,
// so a test process that has handled large files cannot measure its children directly; this small
// process forks them instead. The report is one line: "<exit code> <signal> <peak kB> <ms>"; a
// child still running after the timeout is killed (signal 9).

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: pravik-peakrss <timeout-ms> <report-file> <program> [argument...]\n");
        return 2;
    }
    const int timeoutMs = std::atoi(argv[1]);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0)
        return 2;
    if (pid == 0) {
        ::execv(argv[3], argv + 3);
        ::_exit(127);
    }
    const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    pollfd p { pidfd, POLLIN, 0 };
    if (pidfd < 0 || ::poll(&p, 1, timeoutMs) != 1)
        ::kill(pid, SIGKILL);
    int status = 0;
    rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) { }
    const long long ms
        = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
              .count();
    std::FILE *report = std::fopen(argv[2], "w");
    if (!report)
        return 2;
    std::fprintf(report, "%d %d %ld %lld\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1,
        WIFSIGNALED(status) ? WTERMSIG(status) : 0, usage.ru_maxrss, ms);
    return std::fclose(report) == 0 ? 0 : 2;
}
