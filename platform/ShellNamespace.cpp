#include "ShellNamespace.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "Drives.h"
#include "ShellContextMenu.h"
#include "SysImageList.h"

namespace qd {

// Item bytes after the count: a kind byte, then the kind's data.
//   'C'            the computer folder (a child of the desktop)
//   'D' letter     a drive (a child of the computer folder), letter 'A'..'Z'
//   'N' utf-8      one path component below a drive
// The real file is found again from the drive letter and the components, on
// whatever root the drive has at the time.
namespace {

constexpr std::uint8_t KindComputer = 'C';
constexpr std::uint8_t KindDrive = 'D';
constexpr std::uint8_t KindName = 'N';

class HeapMalloc final : public ShellMalloc {
public:
    void* Alloc(std::size_t size) override { return std::malloc(size == 0 ? 1 : size); }
    void Free(void* p) override { std::free(p); }
};

HeapMalloc heapMalloc;
ShellMalloc* installedMalloc = &heapMalloc;

const std::uint8_t* bytesOf(PCItemIDList item) { return reinterpret_cast<const std::uint8_t*>(item); }

// Where an item-ID list leads.
struct Location {
    enum Level { Desktop, Computer, Drive } level = Desktop;
    QChar letter;
    QStringList names;

    int depth() const { return int(level) + int(names.size()); }
};

const qd::Drive* driveOf(const Location& at) { return DriveTable::instance().find(at.letter); }

// The local path on the drive's medium; empty without a medium. The root is
// the drive's root now, not the one the table saw at start-up: a medium put
// in or mounted elsewhere since then counts.
QString realPathOf(const Location& at, const std::optional<QString>& root)
{
    if (at.level != Location::Drive || !root)
        return QString();
    QString path = *root;
    for (const QString& name : at.names) {
        if (!path.endsWith(u'/'))
            path += u'/';
        path += name;
    }
    return path;
}

QString realPathOf(const Location& at)
{
    return realPathOf(at, at.level == Location::Drive ? CurrentRoot(at.letter) : std::nullopt);
}

// Whether the item at path (realPathOf at) is on the medium now.
bool existsAt(const Location& at, const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (at.names.isEmpty())
        return info.isDir();
    return info.exists() || info.isSymLink();
}

bool existsOnMedium(const Location& at) { return existsAt(at, realPathOf(at)); }

bool isFolder(const Location& at)
{
    switch (at.level) {
    case Location::Desktop:
    case Location::Computer:
        return true;
    case Location::Drive:
        return QFileInfo(realPathOf(at)).isDir();
    }
    return false;
}

// Follows the items of list from base; nullopt for a malformed list.
std::optional<Location> decode(PCItemIDList list, Location at)
{
    const std::uint8_t* p = bytesOf(list);
    for (;;) {
        const std::uint16_t count = ItemIDCount(reinterpret_cast<PCItemIDList>(p));
        if (count == 0)
            return at;
        if (count < 3)
            return std::nullopt;
        const std::uint8_t kind = p[2];
        if (kind == KindComputer && at.level == Location::Desktop && count == 3) {
            at.level = Location::Computer;
        } else if (kind == KindDrive && at.level == Location::Computer && count == 4 && p[3] >= 'A' && p[3] <= 'Z') {
            at.level = Location::Drive;
            at.letter = QChar(p[3]);
        } else if (kind == KindName && at.level == Location::Drive && count > 3) {
            at.names.append(QString::fromUtf8(reinterpret_cast<const char*>(p + 3), count - 3));
        } else {
            return std::nullopt;
        }
        p += count;
    }
}

// The bytes (kind and data) of every item from the desktop to at.
std::vector<QByteArray> itemsOf(const Location& at)
{
    std::vector<QByteArray> items;
    if (at.level >= Location::Computer)
        items.push_back(QByteArray(1, char(KindComputer)));
    if (at.level >= Location::Drive) {
        QByteArray drive(1, char(KindDrive));
        drive.append(char(at.letter.toLatin1()));
        items.push_back(drive);
    }
    for (const QString& name : at.names)
        items.push_back(QByteArray(1, char(KindName)) + name.toUtf8());
    return items;
}

// A new list of the items of at below the first skip items.
PItemIDList encode(const Location& at, int skip)
{
    const std::vector<QByteArray> items = itemsOf(at);
    std::size_t size = 2;
    for (std::size_t i = std::size_t(skip); i < items.size(); ++i)
        size += 2 + std::size_t(items[i].size());
    auto* out = static_cast<std::uint8_t*>(SHGetMalloc().Alloc(size));
    if (!out)
        return nullptr;
    std::uint8_t* p = out;
    for (std::size_t i = std::size_t(skip); i < items.size(); ++i) {
        SetItemIDCount(reinterpret_cast<PItemIDList>(p), std::uint16_t(2 + items[i].size()));
        std::memcpy(p + 2, items[i].constData(), std::size_t(items[i].size()));
        p += 2 + items[i].size();
    }
    SetItemIDCount(reinterpret_cast<PItemIDList>(p), 0);
    return reinterpret_cast<PItemIDList>(out);
}

// Applies backslash-separated components to names; ".." stops at the root.
void appendComponents(QStringList& names, const QString& relative)
{
    for (const QString& part : relative.split(u'\\', Qt::SkipEmptyParts)) {
        if (part == QStringLiteral("."))
            continue;
        if (part == QStringLiteral("..")) {
            if (!names.isEmpty())
                names.removeLast();
            continue;
        }
        names.append(part);
    }
}

// A drive path "X:" or "X:\..." as a location; nullopt for anything else.
std::optional<Location> parseDrivePath(const QString& name)
{
    const std::optional<QChar> letter = DriveLetterOfPath(name);
    if (!letter || name.size() < 2 || name[1] != u':')
        return std::nullopt;
    if (name.size() > 2 && name[2] != u'\\')
        return std::nullopt;
    Location at;
    at.level = Location::Drive;
    at.letter = *letter;
    appendComponents(at.names, name.mid(2));
    return at;
}

QString canonicalOrClean(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

// The components of path below root ("" when equal); nullopt when root does not hold path.
std::optional<QStringList> componentsBelow(const QString& root, const QString& path)
{
    if (path == root)
        return QStringList();
    const QString prefix = root.endsWith(u'/') ? root : root + u'/';
    if (!path.startsWith(prefix))
        return std::nullopt;
    return path.mid(prefix.size()).split(u'/', Qt::SkipEmptyParts);
}

std::optional<Location> parseLocalPath(const QString& name)
{
    if (!QDir::isAbsolutePath(name))
        return std::nullopt;
    const QChar letter = DriveOfLocalPath(name);
    if (letter.isNull())
        return std::nullopt;
    const std::optional<QString> root = CurrentRoot(letter);
    if (!root)
        return std::nullopt;
    const auto below = componentsBelow(canonicalOrClean(*root), canonicalOrClean(name));
    if (!below)
        return std::nullopt;
    Location at;
    at.level = Location::Drive;
    at.letter = letter;
    at.names = *below;
    return at;
}

class ListEnum final : public EnumIDList {
public:
    ListEnum(std::vector<Location> children, int skip) : children_(std::move(children)), skip_(skip) {}
    PItemIDList Next() override
    {
        if (next_ >= children_.size())
            return nullptr;
        return encode(children_[next_++], skip_);
    }

private:
    std::vector<Location> children_;
    int skip_;
    std::size_t next_ = 0;
};

class Folder final : public ShellFolder {
public:
    explicit Folder(Location at) : at_(std::move(at)) {}

    PItemIDList ParseDisplayName(const QString& name) const override
    {
        std::optional<Location> target;
        if (at_.level == Location::Drive) {
            target = at_;
            appendComponents(target->names, name);
        } else {
            target = parseDrivePath(name);
            if (!target)
                target = parseLocalPath(name);
        }
        if (!target || !existsOnMedium(*target))
            return nullptr;
        // ".." may climb above this folder: only names below it are relative to it.
        if (target->depth() < at_.depth() || target->names.mid(0, at_.names.size()) != at_.names)
            return nullptr;
        return encode(*target, at_.depth());
    }

    std::shared_ptr<ShellFolder> BindToObject(PCItemIDList relative) const override
    {
        if (!relative)
            return nullptr;
        const auto target = decode(relative, at_);
        if (!target || target->depth() == at_.depth() || !isFolder(*target))
            return nullptr;
        return std::make_shared<Folder>(*target);
    }

    std::unique_ptr<EnumIDList> EnumObjects(std::uint32_t flags) const override
    {
        std::vector<Location> children;
        const bool folders = flags & SHCONTF_FOLDERS;
        if (at_.level == Location::Desktop) {
            if (folders)
                children.push_back(Location{Location::Computer, QChar(), {}});
        } else if (at_.level == Location::Computer) {
            if (folders) {
                for (const qd::Drive& drive : DriveTable::instance().drives())
                    children.push_back(Location{Location::Drive, drive.letter.toUpper(), {}});
            }
        } else {
            const QDir dir(realPathOf(at_));
            if (dir.path().isEmpty() || !dir.exists() || !dir.isReadable())
                return nullptr;
            QDir::Filters filter = QDir::NoDotAndDotDot | QDir::System;
            if (folders)
                filter |= QDir::Dirs;
            if (flags & SHCONTF_NONFOLDERS)
                filter |= QDir::Files;
            if (flags & SHCONTF_INCLUDEHIDDEN)
                filter |= QDir::Hidden;
            for (const QString& name : dir.entryList(filter, QDir::Name)) {
                Location child = at_;
                child.names.append(name);
                children.push_back(std::move(child));
            }
        }
        return std::make_unique<ListEnum>(std::move(children), at_.depth());
    }

    std::uint32_t GetAttributesOf(PCItemIDList child, std::uint32_t request) const override
    {
        if (!child)
            return 0;
        const auto target = decode(child, at_);
        if (!target || target->depth() == at_.depth())
            return 0;
        std::uint32_t attributes = 0;
        if (target->level == Location::Computer)
            attributes = SFGAO_FOLDER;
        else if (target->names.isEmpty())
            attributes = SFGAO_FOLDER | SFGAO_FILESYSTEM; // a drive, with or without a medium
        else
            attributes = SFGAO_FILESYSTEM | (isFolder(*target) ? SFGAO_FOLDER : 0u);
        return attributes & request;
    }

    PItemIDList AbsoluteIDList() const override { return encode(at_, 0); }

    QStringList RealPathsOf(const std::vector<PCItemIDList>& children) const override
    {
        // The drive's root is looked up once for all: for a medium put in
        // since start-up that reads the mount table.
        const std::optional<QString> root =
            at_.level == Location::Drive ? CurrentRoot(at_.letter) : std::optional<QString>();
        QStringList paths;
        for (PCItemIDList child : children) {
            const auto target = child ? decode(child, at_) : std::nullopt;
            if (!target || target->depth() == at_.depth())
                return {};
            const QString path = target->level == at_.level && target->letter == at_.letter
                                     ? realPathOf(*target, root)
                                     : realPathOf(*target);
            if (!existsAt(*target, path))
                return {};
            paths.append(path);
        }
        return paths;
    }

private:
    Location at_;
};

std::optional<Location> decodeAbsolute(PCItemIDList list)
{
    if (!list)
        return std::nullopt;
    return decode(list, Location{});
}

} // namespace

std::uint16_t ItemIDCount(PCItemIDList item)
{
    std::uint16_t count;
    std::memcpy(&count, item, sizeof count);
    return count;
}

void SetItemIDCount(PItemIDList item, std::uint16_t count) { std::memcpy(item, &count, sizeof count); }

ShellMalloc& SHGetMalloc() { return *installedMalloc; }

ShellMalloc* setShellMalloc(ShellMalloc* m)
{
    ShellMalloc* previous = installedMalloc;
    installedMalloc = m ? m : &heapMalloc;
    return previous == &heapMalloc ? nullptr : previous;
}

void ILFree(PItemIDList list)
{
    if (list)
        SHGetMalloc().Free(list);
}

bool ShellFolder::GetUIObjectOf(const std::vector<PCItemIDList>& children, std::shared_ptr<IContextMenu>& menu) const
{
    const QStringList paths = RealPathsOf(children);
    menu = paths.isEmpty() ? nullptr : shellUIObjects().contextMenu(paths);
    return menu != nullptr;
}

bool ShellFolder::GetUIObjectOf(const std::vector<PCItemIDList>& children, std::shared_ptr<QMimeData>& data) const
{
    const QStringList paths = RealPathsOf(children);
    data = paths.isEmpty() ? nullptr : shellUIObjects().dataObject(paths);
    return data != nullptr;
}

std::shared_ptr<ShellFolder> SHGetDesktopFolder() { return std::make_shared<Folder>(Location{}); }

PItemIDList SHGetSpecialFolderLocation(int csidl)
{
    if (csidl == CSIDL_DESKTOP)
        return encode(Location{}, 0);
    if (csidl == CSIDL_DRIVES)
        return encode(Location{Location::Computer, QChar(), {}}, 0);
    return nullptr;
}

QString SHGetPathFromIDList(PCItemIDList absolute)
{
    const auto at = decodeAbsolute(absolute);
    if (!at || at->level != Location::Drive)
        return QString();
    return QString(at->letter) + QStringLiteral(":\\") + at->names.join(u'\\');
}

QString RealPathFromIDList(PCItemIDList absolute)
{
    const auto at = decodeAbsolute(absolute);
    return at ? realPathOf(*at) : QString();
}

QString DisplayNameFromIDList(PCItemIDList absolute)
{
    const auto at = decodeAbsolute(absolute);
    if (!at)
        return QString();
    switch (at->level) {
    case Location::Desktop:
        return QStringLiteral("Desktop");
    case Location::Computer:
        return QStringLiteral("Computer");
    case Location::Drive:
        break;
    }
    if (!at->names.isEmpty())
        return at->names.last();
    const qd::Drive* drive = driveOf(*at);
    return drive ? drive->displayName() : QString(at->letter) + u':';
}

int SysIconIndexFromIDList(PCItemIDList absolute, unsigned flags)
{
    const auto at = decodeAbsolute(absolute);
    if (!at || at->level != Location::Drive)
        return FolderIconIndex();
    if (at->names.isEmpty())
        return GetSysIconIndex(QString(at->letter) + QStringLiteral(":\\"));
    const QString real = realPathOf(*at);
    if ((flags & SHGFI_OPENICON) && QFileInfo(real).isDir())
        return FolderIconIndex() + 1;
    if (!real.isEmpty() && QFileInfo::exists(real))
        return GetSysIconIndex(real);
    return GetSysIconIndexForName(at->names.last());
}

PItemIDList ItemIDListOfNames(QChar letter, const std::vector<std::string>& names)
{
    Location at;
    at.level = Location::Drive;
    at.letter = letter.toUpper();
    for (const std::string& name : names) {
        const QString text = QString::fromStdString(name);
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
            text.toStdString() != name)
            return nullptr;
        at.names.append(text);
    }
    return encode(at, 0);
}

QChar DriveOfLocalPath(const QString& localPath)
{
    if (!QDir::isAbsolutePath(localPath))
        return QChar();
    const QString path = canonicalOrClean(localPath);
    QChar best;
    qsizetype bestLength = -1;
    for (const qd::Drive& drive : DriveTable::instance().drives()) {
        const std::optional<QString> now = CurrentRoot(drive.letter);
        if (!now)
            continue;
        const QString root = canonicalOrClean(*now);
        if (root.size() > bestLength && componentsBelow(root, path)) {
            best = drive.letter.toUpper();
            bestLength = root.size();
        }
    }
    return best;
}

} // namespace qd
