#include "RecordArena.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace qd {
namespace {

constexpr std::size_t kFirstChunk = 64 * 1024;
constexpr std::size_t kLargestChunk = 64 * 1024 * 1024;
constexpr std::size_t kHugePage = 2 * 1024 * 1024;

std::size_t roundUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

// size bytes (a multiple of kHugePage) at a kHugePage boundary, or null.
char* mapHuge(std::size_t size)
{
    // Mapped with room to spare, then trimmed to the boundary on both sides.
    const std::size_t spare = size + kHugePage;
    void* p = ::mmap(nullptr, spare, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = roundUp(start, kHugePage);
    if (aligned > start)
        ::munmap(p, aligned - start);
    if (const std::uintptr_t end = aligned + size; end < start + spare)
        ::munmap(reinterpret_cast<void*>(end), start + spare - end);
    char* data = reinterpret_cast<char*>(aligned);
    ::madvise(data, size, MADV_HUGEPAGE); // advice only: without huge pages it is ordinary memory
    return data;
}

} // namespace

RecordArena::~RecordArena()
{
    for (const Chunk& c : chunks_) {
        if (c.mapped)
            ::munmap(c.data, c.size);
        else
            ::operator delete(c.data, std::align_val_t(4096));
    }
}

void* RecordArena::allocate(std::size_t bytes, std::size_t align)
{
    for (;;) {
        if (current_ < chunks_.size()) {
            const Chunk& c = chunks_[current_];
            const std::size_t at = roundUp(used_, align);
            if (at <= c.size && bytes <= c.size - at) {
                used_ = at + bytes;
                handedOut_ += bytes;
                return c.data + at;
            }
            if (current_ + 1 < chunks_.size()) { // a chunk kept by reset()
                ++current_;
                used_ = 0;
                continue;
            }
        }
        addChunk(bytes);
    }
}

const char* RecordArena::store(std::string_view s)
{
    char* at = static_cast<char*>(allocate(s.size(), 1));
    if (!s.empty())
        std::memcpy(at, s.data(), s.size());
    return at;
}

void RecordArena::reset() noexcept
{
    current_ = 0;
    used_ = 0;
    handedOut_ = 0;
    unused_ = 0;
}

void RecordArena::addChunk(std::size_t atLeast)
{
    // Each chunk as large as all before it together, so that a large catalog
    // takes a few chunks and a small one little memory.
    std::size_t size = std::max(atLeast, std::clamp(capacity_, kFirstChunk, kLargestChunk));
    chunks_.reserve(chunks_.size() + 1); // so that a chunk once made is never lost
    Chunk c{nullptr, 0, false};
    if (size >= kHugePage) {
        size = roundUp(size, kHugePage);
        c = {mapHuge(size), size, true};
    }
    if (!c.data) {
        size = roundUp(size, 4096);
        c = {static_cast<char*>(::operator new(size, std::align_val_t(4096))), size, false};
    }
    chunks_.push_back(c);
    capacity_ += size;
    current_ = chunks_.size() - 1;
    used_ = 0;
}

} // namespace qd
