#pragma once

#include <cstddef>
#include <cstdlib>
#include <set>

#include "platform/ShellNamespace.h"

namespace qd::test {

// A shell allocator that counts what is live, remembers the size of the last
// allocation, refuses on request, and installs itself while it lives. Freeing
// memory it did not hand out is counted as a fault.
class CountingMalloc final : public ShellMalloc {
public:
    CountingMalloc() { previous_ = setShellMalloc(this); }
    ~CountingMalloc() override { setShellMalloc(previous_); }
    CountingMalloc(const CountingMalloc&) = delete;
    CountingMalloc& operator=(const CountingMalloc&) = delete;

    void* Alloc(std::size_t size) override
    {
        ++calls;
        lastSize = size;
        if (refuse)
            return nullptr;
        void* p = std::malloc(size == 0 ? 1 : size);
        live_.insert(p);
        return p;
    }
    void Free(void* p) override
    {
        if (!p)
            return;
        if (live_.erase(p) == 0) {
            ++foreignFrees;
            return;
        }
        std::free(p);
    }

    std::size_t live() const { return live_.size(); }
    bool refuse = false;
    int calls = 0;
    std::size_t lastSize = 0;
    int foreignFrees = 0;

private:
    std::set<void*> live_;
    ShellMalloc* previous_ = nullptr;
};

} // namespace qd::test
