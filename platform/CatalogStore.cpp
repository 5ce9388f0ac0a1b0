#include "CatalogStore.h"

#include <QCollator>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "catalog/DiskFile.h"
#include "catalog/OpenPath.h"
#include "catalog/UniqueFd.h"
#include "platform/Logging.h"
#include "platform/Text.h"

namespace qd {

QString DisplayFileName(const QByteArray& name)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(name);
    if (!utf8.hasError())
        return text;
    return fromAnsi(std::string_view(name.constData(), std::size_t(name.size())));
}

QByteArray NativeFileName(const QString& text)
{
    return text.toUtf8();
}

QByteArray JoinPath(const QByteArray& folder, const QByteArray& name)
{
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

QByteArray CatalogTitle(const QByteArray& fileName)
{
    const std::string_view title = CatalogTitle(std::string_view(fileName.constData(), std::size_t(fileName.size())));
    return QByteArray(title.data(), qsizetype(title.size()));
}

QString CatalogFileName(const QString& title)
{
    return QString::fromStdString(CatalogFileName(title.toStdString()));
}

std::vector<qsizetype> StoreSortOrder(const QStringList& texts)
{
    QCollator collator;
    collator.setNumericMode(false);
    std::vector<qsizetype> order(std::size_t(texts.size()));
    for (qsizetype i = 0; i < texts.size(); ++i)
        order[std::size_t(i)] = i;
    if (texts.size() < 64) {
        std::sort(order.begin(), order.end(),
                  [&](qsizetype a, qsizetype b) { return collator.compare(texts[a], texts[b]) < 0; });
        return order;
    }
    // Large folders: one key per text instead of collating on every comparison.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(std::size_t(texts.size()));
    for (const QString& t : texts)
        keys.push_back(collator.sortKey(t));
    std::sort(order.begin(), order.end(),
              [&](qsizetype a, qsizetype b) { return keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0; });
    return order;
}

namespace {

// Lists the folder open on folderFd (not taken); folder names it in the log.
StoreListing listFolder(int folderFd, const QByteArray& folder)
{
    StoreListing listing;
    UniqueFd fd(folderFd >= 0 ? ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0) : -1);
    DIR* dir = fd ? ::fdopendir(fd.get()) : nullptr;
    if (!dir) {
        listing.error = errno;
        qCDebug(lcCatalog) << "store folder cannot be listed:" << folder << std::strerror(listing.error);
        return listing;
    }
    fd.release(); // the stream owns it now
    listing.listed = true;
    std::vector<StoreEntry> found;
    for (;;) {
        errno = 0;
        const dirent* d = ::readdir(dir);
        if (!d) {
            // The end, or a read error: keep what was found.
            if (const int err = errno; err != 0) {
                listing.error = err;
                qCDebug(lcCatalog) << "store folder listed only in part:" << folder << std::strerror(err);
            }
            break;
        }
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        unsigned char type = d->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            const QByteArray bytes(name);
            found.push_back({StoreEntry::Folder, bytes, DisplayFileName(bytes)});
        } else if (type == DT_REG) {
            const std::string_view view(name);
            if (HasCatalogExtension(view)) {
                const QByteArray bytes(name);
                found.push_back({StoreEntry::Catalog, bytes, DisplayFileName(CatalogTitle(bytes))});
            } else if (IsSaveLeftover(view)) {
                listing.leftovers.emplace_back(name);
            }
        }
    }
    ::closedir(dir);

    QStringList texts;
    texts.reserve(qsizetype(found.size()));
    for (const StoreEntry& e : found)
        texts << e.text;
    listing.entries.reserve(found.size());
    for (qsizetype i : StoreSortOrder(texts))
        listing.entries.push_back(std::move(found[std::size_t(i)]));
    return listing;
}

UniqueFd openFolder(const QByteArray& path)
{
    return UniqueFd(OpenPath(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

} // namespace

StoreListing ListStoreFolder(const QByteArray& folder)
{
    const UniqueFd fd = openFolder(folder);
    return listFolder(fd.get(), folder);
}

bool ForEachCatalog(const QByteArray& folder,
                    const std::function<bool(const QByteArray& file, const StoreEntry& entry)>& visit,
                    const UnlistedFolder& unlisted)
{
    const auto tell = [&](const QByteArray& path, const StoreListing& listing) {
        if (listing.error && unlisted)
            unlisted(path, listing.error);
    };
    // An explicit stack rather than recursion: a store may nest deeply. Each
    // folder is opened from the one above it (openat), so that depth costs
    // nothing: the deepest levels keep their folders open for that, and one
    // above them is opened again by its path should it hold another folder.
    constexpr std::size_t kOpenLevels = 32;
    struct Level {
        QByteArray path;
        UniqueFd fd;
        std::vector<StoreEntry> entries;
        std::size_t next = 0;
    };
    UniqueFd topFd = openFolder(folder);
    StoreListing top = listFolder(topFd.get(), folder);
    if (!top.listed)
        return false;
    tell(folder, top);
    std::vector<Level> stack;
    stack.push_back({folder, std::move(topFd), std::move(top.entries)});
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.entries.size()) {
            stack.pop_back();
            continue;
        }
        const StoreEntry& entry = level.entries[level.next++];
        QByteArray path = JoinPath(level.path, entry.name);
        if (entry.kind == StoreEntry::Catalog) {
            if (!visit(path, entry))
                return true;
            continue;
        }
        if (!level.fd)
            level.fd = openFolder(level.path);
        // Never through a link that has taken the folder's place meanwhile.
        UniqueFd fd(level.fd ? ::openat(level.fd.get(), entry.name.constData(),
                                        O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW)
                             : -1);
        StoreListing children = listFolder(fd.get(), path);
        tell(path, children);
        stack.push_back({std::move(path), std::move(fd), std::move(children.entries)}); // may move `level`
        if (stack.size() > kOpenLevels)
            stack[stack.size() - kOpenLevels - 1].fd.reset();
    }
    return true;
}

std::optional<QByteArray> ExistingCatalogName(const QByteArray& folder, const QString& title)
{
    const QString wanted = CatalogFileName(title);
    UniqueFd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return std::nullopt;
    DIR* dir = ::fdopendir(fd.get());
    if (!dir)
        return std::nullopt;
    fd.release();
    std::optional<QByteArray> hit;
    while (const dirent* d = ::readdir(dir)) {
        // "." is never the second byte of a double-byte character, so only
        // names ending in the extension can decode to the wanted one.
        if (!HasCatalogExtension(d->d_name))
            continue;
        const QByteArray bytes(d->d_name);
        const QString text = DisplayFileName(bytes);
        if (text.compare(wanted, Qt::CaseInsensitive) != 0)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
            continue; // a folder is no catalog
        // The exact spelling wins over another case.
        if (!hit || text == wanted)
            hit = bytes;
    }
    ::closedir(dir);
    return hit;
}

int RemoveOldLeftovers(const QByteArray& folder)
{
    std::vector<QByteArray> leftovers;
    UniqueFd fd(OpenPath(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (DIR* dir = fd ? ::fdopendir(fd.get()) : nullptr) {
        fd.release(); // the stream owns it now
        while (const dirent* d = ::readdir(dir)) {
            if (IsSaveLeftover(d->d_name))
                leftovers.emplace_back(d->d_name);
        }
        ::closedir(dir);
    }
    return RemoveOldLeftovers(folder, leftovers);
}

int RemoveOldLeftovers(const QByteArray& folder, const std::vector<QByteArray>& leftovers, qint64 maxAgeSeconds)
{
    if (leftovers.empty())
        return 0; // nearly always: no folder opened on a refresh for nothing
    UniqueFd dir(OpenPath(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return 0;
    const std::time_t now = std::time(nullptr);
    int removed = 0;
    for (const QByteArray& name : leftovers) {
        struct stat st {};
        if (!IsSaveLeftover(std::string_view(name.constData(), std::size_t(name.size()))) || ::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || now - st.st_mtime < maxAgeSeconds)
            continue;
        if (::unlinkat(dir.get(), name.constData(), 0) == 0)
            ++removed;
    }
    return removed;
}

} // namespace qd
