#pragma once

// Sets the process's time zone for one scope, so that a test sees a fixed,
// non-zero offset wherever it runs (a UTC machine hides a missing shift), and
// restores the zone before it.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace qd::test {

class ScopedTimeZone {
public:
    // A POSIX TZ value; "JST-9" needs no zone data: nine hours east, no summer time.
    explicit ScopedTimeZone(const char* tz)
    {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> old_;
};

} // namespace qd::test
