#pragma once

// Runs a piece of work in a forked child, as another program changing the
// same files would, and waits for it. True when it ran to its end.

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace qd::test {

inline bool InAnotherProcess(const std::function<void()>& work)
{
    const pid_t child = ::fork();
    if (child == 0) {
        work();
        ::_exit(0); // no destructors of the parent's objects run twice
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace qd::test
