#pragma once

#include <unistd.h>

namespace qd::test {

// While it lives, this process acts with the rights of nobody when the tests
// run as root, whom no permission refuses, so that a folder closed by its
// mode really cannot be listed; any other user keeps its own rights. ok() is
// false when root could not take nobody's.
class Unprivileged {
public:
    Unprivileged()
    {
        if (::geteuid() != 0)
            return;
        wasRoot_ = true;
        ok_ = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
    }
    ~Unprivileged()
    {
        if (wasRoot_ && (::seteuid(0) != 0 || ::setegid(0) != 0))
            ::_exit(70); // a test process left without its rights would mislead every test after it
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;
    bool ok() const { return ok_; }

private:
    bool wasRoot_ = false;
    bool ok_ = true;
};

} // namespace qd::test
