#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

namespace qd {

// Memory for the many small pieces of one job (the folder and file lists and
// the long names of a loaded catalog, the keys of a pass over thousands of
// catalogs), taken from the system in chunks that grow with what is asked:
// one allocation per chunk instead of one per piece. Chunks of 2 MiB and more
// are offered to the kernel for huge pages, so that filling them costs one
// page fault per 2 MiB rather than one per 4 KiB page: new memory's faults,
// not the writing, are most of what filling it costs. Nothing is given back
// piece by piece (deallocate only counts); reset() forgets everything and
// keeps the chunks for what comes next.
class RecordArena {
public:
    RecordArena() = default;
    RecordArena(const RecordArena&) = delete;
    RecordArena& operator=(const RecordArena&) = delete;
    ~RecordArena();

    // bytes aligned to align (a power of two, at most 4096).
    void* allocate(std::size_t bytes, std::size_t align);
    // Takes note that bytes handed out are no longer used.
    void deallocate(std::size_t bytes) noexcept { unused_ += bytes; }
    // Copies s and returns where it now lives.
    const char* store(std::string_view s);
    // Forgets everything handed out: only when nothing lives in it any more.
    void reset() noexcept;

    std::size_t handedOut() const noexcept { return handedOut_; } // since the last reset
    std::size_t unused() const noexcept { return unused_; }       // of that, no longer used

private:
    struct Chunk {
        char* data;
        std::size_t size;
        bool mapped; // by mmap, else by new
    };
    void addChunk(std::size_t atLeast);

    std::vector<Chunk> chunks_;
    std::size_t current_ = 0; // the chunk being filled
    std::size_t used_ = 0;    // of it
    std::size_t capacity_ = 0;
    std::size_t handedOut_ = 0;
    std::size_t unused_ = 0;
};

// An allocator for the containers of a record: from an arena, or from the heap
// when it has none (records made one by one: a walk, a test). A container
// moved or swapped takes its allocator along; a copy gets the heap, so that
// it owns its memory and may outlive the arena.
template <typename T> class RecordAllocator {
public:
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    using propagate_on_container_copy_assignment = std::false_type;
    using is_always_equal = std::false_type;

    RecordAllocator() noexcept = default;
    explicit RecordAllocator(RecordArena* arena) noexcept : arena_(arena) {}
    template <typename U> RecordAllocator(const RecordAllocator<U>& o) noexcept : arena_(o.arena()) {}

    T* allocate(std::size_t n)
    {
        if (!arena_)
            return std::allocator<T>().allocate(n);
        return static_cast<T*>(arena_->allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        if (arena_)
            arena_->deallocate(n * sizeof(T));
        else
            std::allocator<T>().deallocate(p, n);
    }
    RecordAllocator select_on_container_copy_construction() const noexcept { return {}; }

    RecordArena* arena() const noexcept { return arena_; }
    template <typename U> bool operator==(const RecordAllocator<U>& o) const noexcept { return arena_ == o.arena(); }

private:
    RecordArena* arena_ = nullptr;
};

// The arena of one TDisk, made by its first load and kept from load to load.
// A copy starts without one (copied records own their memory); a move-assign
// swaps, so that the records the target held until then still have their
// arena while they are destroyed, and it goes with the moved-from disk.
class DiskArena {
public:
    DiskArena() = default;
    DiskArena(const DiskArena&) noexcept {}
    DiskArena& operator=(const DiskArena&) noexcept { return *this; }
    DiskArena(DiskArena&&) noexcept = default;
    DiskArena& operator=(DiskArena&& o) noexcept
    {
        arena_.swap(o.arena_);
        return *this;
    }

    RecordArena& get()
    {
        if (!arena_)
            arena_ = std::make_unique<RecordArena>();
        return *arena_;
    }
    // Storage, not content: two disks are equal whatever their arenas hold.
    bool operator==(const DiskArena&) const noexcept { return true; }

private:
    std::unique_ptr<RecordArena> arena_;
};

} // namespace qd
