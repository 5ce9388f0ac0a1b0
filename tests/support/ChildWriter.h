#pragma once

// Another program writing a catalog: a forked child process that runs hold
// first (keeping what it returns, a lock or nothing, to its end), then one
// step at each next(), so that a test orders them against its own work.

#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "catalog/CatalogLock.h"

namespace qd::test {

class ChildWriter {
public:
    ChildWriter(const std::function<std::optional<CatalogLock>()>& hold, const std::vector<std::function<void()>>& steps = {})
    {
        // Close on exec: a program the test starts must not keep the pipes open.
        if (::pipe2(to_, O_CLOEXEC) != 0 || ::pipe2(from_, O_CLOEXEC) != 0 || (pid_ = ::fork()) < 0)
            return;
        ::close(pid_ == 0 ? to_[1] : to_[0]); // each side keeps its own ends, so that a close is seen
        ::close(pid_ == 0 ? from_[0] : from_[1]);
        if (pid_ == 0) {
            try {
                const std::optional<CatalogLock> held = hold();
                for (std::size_t i = 0; tell(from_[1]) && await(to_[0]) && i < steps.size(); ++i)
                    steps[i]();
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        started_ = await(from_[0]);
    }
    ~ChildWriter() { finish(); }

    bool started() const { return started_; } // the child got past hold
    bool next() { return tell(to_[1]) && await(from_[0]); }
    // Lets the child go and waits for its end; true when it ended well.
    bool finish()
    {
        int status = 0;
        const bool ended = pid_ > 0 && ::close(to_[1]) == 0 && ::waitpid(pid_, &status, 0) == pid_;
        if (pid_ > 0)
            ::close(from_[0]);
        pid_ = 0;
        return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    static bool tell(int fd) { return ::write(fd, "+", 1) == 1; }
    static bool await(int fd)
    {
        char c;
        return ::read(fd, &c, 1) == 1;
    }

    pid_t pid_ = 0;
    int to_[2] = {-1, -1};
    int from_[2] = {-1, -1};
    bool started_ = false;
};

} // namespace qd::test
