// Running a program as a benchmark's child: its time, its peak resident
// memory and its status, its output thrown away.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace qd::bench {

struct ChildRun {
    double seconds = 0;
    double cpuSeconds = 0; // user and system: what a busy machine's other work does not add
    long maxRssKb = 0;
    int status = -1;
};

// Waits for the child pid started at start: its time, peak and status.
inline ChildRun waitForChild(pid_t pid, std::chrono::steady_clock::time_point start)
{
    ChildRun r;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &r.status, 0, &usage) != pid)
        return r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.maxRssKb = usage.ru_maxrss;
    return r;
}

// Runs work in a forked child whose exit status is work's result: the peak
// memory of work, which starts with the parent's pages.
inline ChildRun runForked(const std::function<int()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0)
        std::_Exit(work());
    return waitForChild(pid, start);
}

// Runs work in a forked child and returns the figure it measured there (a
// time, a number of bytes), or -1 when the child did not report one: work
// that must start from the parent's state but find no memory of its own
// yet, as the first of something in a run does.
inline double measureForked(const std::function<double()>& work)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const double figure = work();
        const bool written = ::write(fds[1], &figure, sizeof figure) == ssize_t(sizeof figure);
        std::_Exit(written ? 0 : 1);
    }
    ::close(fds[1]);
    double figure = -1;
    if (pid < 0 || ::read(fds[0], &figure, sizeof figure) != ssize_t(sizeof figure))
        figure = -1;
    ::close(fds[0]);
    if (pid > 0)
        ::waitpid(pid, nullptr, 0);
    return figure;
}

// Runs argv (a program found on PATH or by its path) with standard output
// and standard error sent to /dev/null.
inline ChildRun runChild(const std::vector<std::string>& argv)
{
    std::vector<std::string> copy = argv;
    std::vector<char*> args;
    for (std::string& a : copy)
        args.push_back(a.data());
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return waitForChild(pid, start);
}

// Of best and r, into best: the faster time and, apart, processor time, and
// the higher peak.
inline void keepBest(ChildRun& best, const ChildRun& r)
{
    best.seconds = std::min(best.seconds, r.seconds);
    best.cpuSeconds = std::min(best.cpuSeconds, r.cpuSeconds);
    best.maxRssKb = std::max(best.maxRssKb, r.maxRssKb);
    best.status = r.status;
}

// The fastest of runs runs (by time and, apart, by processor time) and the
// highest peak among them; a run that fails ends the benchmark, since its
// figures would mean nothing.
inline ChildRun bestOf(int runs, const std::function<ChildRun()>& run, const std::string& what)
{
    ChildRun b;
    b.seconds = b.cpuSeconds = 1e9;
    for (int i = 0; i < runs; ++i) {
        const ChildRun r = run();
        if (!WIFEXITED(r.status) || WEXITSTATUS(r.status) != 0) {
            std::fprintf(stderr, "%s failed (status %d)\n", what.c_str(), r.status);
            std::exit(1);
        }
        keepBest(b, r);
    }
    return b;
}

// The same for a program run with argv.
inline ChildRun bestOf(int runs, const std::vector<std::string>& argv)
{
    return bestOf(runs, [&] { return runChild(argv); }, argv[0] + (argv.size() > 1 ? " " + argv[1] : std::string()));
}

// The same for work run in a forked child (see runForked).
inline ChildRun bestOfForked(int runs, const std::function<int()>& work, const std::string& what)
{
    return bestOf(runs, [&] { return runForked(work); }, what);
}

} // namespace qd::bench
