#pragma once

// Another program writing a catalog, for the tests of writers taking turns:
// a forked child process that runs its steps only when told, so that a test
// orders them against its own. The child uses the catalog library alone.
//
//     ChildWriter other([&] { return CatalogLock::forCatalog(file); });
//     other.next();    // the child holds the lock now
//     ...              // what this process tries meanwhile
//     other.finish();  // the child lets go and ends

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
    // lock, run first in the child, takes what the child holds to its end
    // (nullopt: nothing); then each next() runs one of steps.
    ChildWriter(const std::function<std::optional<CatalogLock>()>& lock, std::vector<std::function<void()>> steps = {})
    {
        if (::pipe2(toChild_, O_CLOEXEC) != 0 || ::pipe2(fromChild_, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(toChild_[1]);
            ::close(fromChild_[0]);
            try {
                const std::optional<CatalogLock> held = lock();
                tell(fromChild_[1]);
                for (const auto& step : steps) {
                    if (!wait(toChild_[0]))
                        ::_exit(0);
                    step();
                    tell(fromChild_[1]);
                }
                wait(toChild_[0]); // until finish()
                ::_exit(0);
            } catch (...) {
                ::_exit(1);
            }
        }
        ::close(toChild_[0]);
        ::close(fromChild_[1]);
        started_ = wait(fromChild_[0]);
    }
    ~ChildWriter() { finish(); }
    ChildWriter(const ChildWriter&) = delete;
    ChildWriter& operator=(const ChildWriter&) = delete;

    // Whether the child got as far as holding what lock gave it.
    bool started() const { return started_; }
    // Runs the child's next step and waits for it; false when it failed.
    bool next()
    {
        tell(toChild_[1]);
        return wait(fromChild_[0]);
    }
    // Lets the child go and waits for its end; true when it ended well.
    bool finish()
    {
        if (pid_ <= 0)
            return false;
        ::close(toChild_[1]);
        int status = 0;
        const bool ok = ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        ::close(fromChild_[0]);
        pid_ = 0;
        return ok;
    }

private:
    static void tell(int fd) { (void)!::write(fd, "+", 1); }
    static bool wait(int fd)
    {
        char c;
        return ::read(fd, &c, 1) == 1;
    }

    pid_t pid_ = 0;
    int toChild_[2] = {-1, -1};
    int fromChild_[2] = {-1, -1};
    bool started_ = false;
};

} // namespace qd::test
