#pragma once

#include <chrono>
#include <filesystem>
#include <vector>

#include "UniqueFd.h"

namespace qd {

// Writers of catalogs take turns. Each holds the exclusive lock of the
// catalog's folder for its whole read-change-write, so that a second writer
// never loads a catalog the first is about to replace, nor replaces one the
// first has just written. Readers never lock: a save is an atomic rename.
//
// A save replaces the catalog's file by a new one, so a lock on that file
// would not bind the next writer: the lock is on kLockFileName, a hidden file
// of the folder the catalog is written into (the folder of its target when
// the catalog is a symbolic link), which no save replaces. It is an open file
// description lock, which also holds between machines on NFS v4 and most SMB
// shares; on a file system that has no locks at all a writer goes on without.
inline constexpr const char* kLockFileName = ".qdlock";

class CatalogLock {
public:
    // How long a writer waits for the one before it; kWaitForever has no limit.
    using Wait = std::chrono::milliseconds;
    static constexpr Wait kWaitBriefly{3000};
    static constexpr Wait kWaitForever{-1};

    // The lock of the folder that holds the catalog file, which need not
    // exist yet. Throws CatalogError: Busy when another writer still holds it
    // after the wait, Create when the lock file cannot be made or opened.
    static CatalogLock forCatalog(const std::filesystem::path& file, Wait wait = kWaitBriefly);
    // The lock of a catalog folder.
    static CatalogLock forFolder(const std::filesystem::path& folder, Wait wait = kWaitBriefly);
    // The locks of a folder and of every folder below it (links are not
    // followed), for moving or removing all their catalogs at once; taken
    // from the top down. A folder in which no lock file may be made (no
    // permission, read-only) holds no catalog that anyone could write, and is
    // passed over; any other failure to make one throws. Throws as
    // forFolder; the locks taken so far are released then.
    static std::vector<CatalogLock> forTree(const std::filesystem::path& folder, Wait wait = kWaitBriefly);

    CatalogLock(CatalogLock&&) noexcept = default;
    CatalogLock& operator=(CatalogLock&&) noexcept = default;
    ~CatalogLock() = default; // closing the lock file releases the lock

private:
    explicit CatalogLock(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;
};

} // namespace qd
