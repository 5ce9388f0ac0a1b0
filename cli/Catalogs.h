#pragma once

#include <QString>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/Disk.h"

namespace qd::cli {

// Loads the catalog file or says why not on standard error; false means
// exit status kUnreadable.
bool LoadCatalog(const QString& file, TDisk& disk);

// Standard output through a buffer of its own, written out in large pieces,
// so that a catalog printed whole is never held whole as text.
class Out {
public:
    ~Out() { flush(); }
    // Text as it is (UTF-8).
    Out& text(std::string_view s)
    {
        buffer_ += s;
        if (buffer_.size() >= kChunk)
            flush();
        return *this;
    }
    // A value as JSON; doubles with enough digits to read back exactly.
    Out& json(const nlohmann::ordered_json& value)
    {
        return text(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
    void flush();

private:
    static constexpr std::size_t kChunk = 1 << 16;
    std::string buffer_;
};

// The full paths of the folders (UTF-8, D:\PHOTO\2001), in DirList order,
// each made from its parent's. A path is dropped once the last of its
// sub-folders has been given its own, so only the walk's frontier is held:
// a chain of n folders keeps two paths, not n.
class FolderPaths {
public:
    explicit FolderPaths(const TDisk& disk);
    // The path of folder i; to be asked in increasing order of i. Valid
    // until the next call.
    const std::string& next(std::size_t i);

private:
    const TDisk& disk_;
    std::vector<std::string> paths_;
    std::vector<std::int32_t> lastChild_;
    std::string last_;
};

} // namespace qd::cli
