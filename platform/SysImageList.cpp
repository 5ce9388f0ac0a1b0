#include "platform/SysImageList.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include "platform/Drives.h"
#include "platform/IconReader.h"
#include "platform/ImageList.h"

namespace qd {

namespace {

constexpr int kSmall = 16;
constexpr int kLarge = 32;

// A file type of Qd's own, read from the freedesktop MIME description kept in
// the resources; it is matched before the system's MIME database.
struct OwnType {
    QString name;
    QStringList iconNames;
    QList<QRegularExpression> globs;
};

QList<OwnType> ownTypes()
{
    QList<OwnType> types;
    QFile file(QStringLiteral(":/qd/mime/qd-catalog.xml"));
    if (!file.open(QIODevice::ReadOnly))
        return types;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        const auto attrs = xml.attributes();
        if (name == QLatin1String("mime-type")) {
            types.append({attrs.value(QLatin1String("type")).toString(), {}, {}});
        } else if (types.isEmpty()) {
            continue;
        } else if (name == QLatin1String("icon") || name == QLatin1String("generic-icon")) {
            types.last().iconNames.append(attrs.value(QLatin1String("name")).toString());
        } else if (name == QLatin1String("glob")) {
            // Globs match regardless of case unless marked case-sensitive.
            const bool cased = attrs.value(QLatin1String("case-sensitive")) == QLatin1String("true");
            QRegularExpression re(QRegularExpression::wildcardToRegularExpression(attrs.value(QLatin1String("pattern")).toString()),
                                  cased ? QRegularExpression::NoPatternOption : QRegularExpression::CaseInsensitiveOption);
            types.last().globs.append(re);
        }
    }
    return types;
}

// Outside a desktop session the platform may give no icon search paths and
// an empty or "hicolor" theme, which has no folder, device or file-type
// icons: add the freedesktop icon folders and take Adwaita then.
void ensureIconTheme()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    QStringList paths = QIcon::themeSearchPaths();
    QStringList found = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                                  QStandardPaths::LocateDirectory);
    found.prepend(QDir::homePath() + QStringLiteral("/.icons"));
    for (const QString& dir : found)
        if (!paths.contains(dir) && QFileInfo(dir).isDir())
            paths.append(dir);
    if (paths != QIcon::themeSearchPaths())
        QIcon::setThemeSearchPaths(paths);
    const auto lacks = [] {
        return QIcon::fromTheme(QStringLiteral("folder")).isNull() || QIcon::fromTheme(QStringLiteral("text-x-generic")).isNull();
    };
    if (QIcon::themeName().isEmpty() || lacks()) {
        const QString previous = QIcon::themeName();
        QIcon::setThemeName(QStringLiteral("Adwaita"));
        if (lacks())
            QIcon::setThemeName(previous);
    }
    if (QIcon::fallbackThemeName().isEmpty())
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

QImage render(const QIcon& icon, int size)
{
    return icon.pixmap(QSize(size, size), 1.0).toImage();
}

QIcon firstThemeIcon(const QStringList& names)
{
    for (const QString& n : names) {
        if (n.isEmpty())
            continue;
        // Icons only in a form that cannot be read here (SVG without its plugin) do not count.
        QIcon icon = QIcon::fromTheme(n);
        if (!icon.isNull() && !render(icon, kSmall).isNull())
            return icon;
    }
    return {};
}

enum class Drawn { File, Folder, OpenFolder, Drive };

// Plain shapes for a system without any icon theme, so that every lookup
// still gets an index of its own kind.
QImage drawn(Drawn kind, int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.scale(size / 16.0, size / 16.0);
    p.setPen(QColor(60, 60, 60));
    switch (kind) {
    case Drawn::File:
        p.setBrush(Qt::white);
        p.drawRect(3, 1, 10, 14);
        break;
    case Drawn::Folder:
    case Drawn::OpenFolder:
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(1, 3, 6, 2);
        p.drawRect(1, 4, 14, 10);
        if (kind == Drawn::OpenFolder) {
            p.setBrush(QColor(250, 225, 130));
            p.drawRect(3, 7, 12, 7);
        }
        break;
    case Drawn::Drive:
        p.setBrush(QColor(190, 190, 190));
        p.drawRect(1, 5, 14, 7);
        p.fillRect(11, 9, 2, 1, Qt::green);
        break;
    }
    return image;
}

class SysIcons {
public:
    ImageList small{kSmall};
    ImageList large{kLarge};

    SysIcons() : own_(ownTypes())
    {
        ensureIconTheme();
        // The open folder always sits right after the closed one.
        folder_ = addPair(fromTheme({QStringLiteral("folder")}, Drawn::Folder, kSmall),
                          fromTheme({QStringLiteral("folder")}, Drawn::Folder, kLarge));
        addPair(fromTheme({QStringLiteral("folder-open")}, Drawn::OpenFolder, kSmall),
                fromTheme({QStringLiteral("folder-open")}, Drawn::OpenFolder, kLarge));
    }

    int folder() const { return folder_; }

    // As on Windows, the icon of a file follows its extension alone (from the
    // last dot, any case): the type is looked up once per extension, for a
    // stand-in name made of "m" and the extension.
    int forName(const QString& fileName)
    {
        const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
        const QString extension = dot < 0 ? QString() : fileName.sliced(dot).toLower();
        if (const auto it = byExtension_.constFind(extension); it != byExtension_.constEnd())
            return *it;
        const QString probe = QLatin1Char('m') + extension;
        int index;
        if (const OwnType* own = ownType(probe)) {
            index = forType(own->name, own->iconNames);
        } else {
            const QMimeType mime = mimes_.mimeTypeForFile(probe, QMimeDatabase::MatchExtension);
            index = forType(mime.name(), {mime.iconName(), mime.genericIconName()});
        }
        return byExtension_[extension] = index;
    }

    QString typeName(const QString& fileName)
    {
        if (const OwnType* own = ownType(fileName))
            return own->name;
        return mimes_.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension).name();
    }

    int forDrive(QChar letter)
    {
        const Drive* drive = DriveTable::instance().find(letter);
        const QString name = drive ? drive->iconName() : QString();
        return byTheme({name, QStringLiteral("drive-harddisk")}, Drawn::Drive);
    }

    // The file's own first icon; -1 when it has none.
    int forIconFile(const QString& path)
    {
        const auto small = ReadFileIcons(path, kSmall, 1);
        if (small.empty())
            return -1;
        const auto large = ReadFileIcons(path, kLarge, 1);
        const QImage& s = small.front().image;
        const QImage l = large.empty() ? s : large.front().image;
        // Equal icons share one index, as many programs carry the same one.
        QCryptographicHash hash(QCryptographicHash::Sha1);
        hash.addData(QByteArrayView(s.constBits(), s.sizeInBytes()));
        hash.addData(QByteArrayView(l.constBits(), l.sizeInBytes()));
        const QString key = QStringLiteral("file:") + QString::fromLatin1(hash.result().toHex());
        if (const auto it = byKey_.constFind(key); it != byKey_.constEnd())
            return *it;
        return byKey_[key] = addPair(s, l);
    }

private:
    const OwnType* ownType(const QString& fileName) const
    {
        for (const OwnType& t : own_)
            for (const QRegularExpression& glob : t.globs)
                if (glob.match(fileName).hasMatch())
                    return &t;
        return nullptr;
    }

    int forType(const QString& mime, const QStringList& iconNames)
    {
        if (const auto it = byMime_.constFind(mime); it != byMime_.constEnd())
            return *it;
        QStringList names = iconNames;
        names << QStringLiteral("application-x-generic") << QStringLiteral("text-x-generic");
        return byMime_[mime] = byTheme(names, Drawn::File);
    }

    // One index per distinct theme icon: types that come down to the same icon share it.
    int byTheme(const QStringList& names, Drawn fallback)
    {
        const QIcon icon = firstThemeIcon(names);
        const QString key = icon.isNull() ? QStringLiteral("drawn:%1").arg(int(fallback)) : QStringLiteral("theme:") + icon.name();
        if (const auto it = byKey_.constFind(key); it != byKey_.constEnd())
            return *it;
        const QImage s = icon.isNull() ? drawn(fallback, kSmall) : render(icon, kSmall);
        const QImage l = icon.isNull() ? drawn(fallback, kLarge) : render(icon, kLarge);
        return byKey_[key] = addPair(s.isNull() ? drawn(fallback, kSmall) : s, l.isNull() ? drawn(fallback, kLarge) : l);
    }

    QImage fromTheme(const QStringList& names, Drawn fallback, int size)
    {
        const QIcon icon = firstThemeIcon(names);
        const QImage image = icon.isNull() ? QImage() : render(icon, size);
        return image.isNull() ? drawn(fallback, size) : image;
    }

    int addPair(const QImage& s, const QImage& l)
    {
        const int index = small.addIcon(s);
        large.addIcon(l);
        return index;
    }

    QList<OwnType> own_;
    QMimeDatabase mimes_;
    QHash<QString, int> byKey_;
    QHash<QString, int> byMime_;
    QHash<QString, int> byExtension_;
    int folder_ = 0;
};

SysIcons& sysIcons()
{
    static SysIcons icons;
    return icons;
}

// The drive of a drive root "D:" or "D:\\"; nullopt for any other path.
std::optional<QChar> driveOfRoot(const QString& path)
{
    if (path.size() < 2 || path[1] != u':' || (path.size() == 3 && path[2] != u'\\') || path.size() > 3)
        return std::nullopt;
    return DriveLetterOfPath(path);
}

} // namespace

ImageList* GetSysImageList(bool large)
{
    return large ? &sysIcons().large : &sysIcons().small;
}

int GetSysIconIndex(const QString& path)
{
    SysIcons& icons = sysIcons();
    if (const std::optional<QChar> drive = driveOfRoot(path))
        return icons.forDrive(*drive);
    const QFileInfo info(path);
    if (info.isDir())
        return icons.folder();
    const QString suffix = info.suffix().toLower();
    if (info.isFile() && (suffix == QLatin1String("exe") || suffix == QLatin1String("ico"))) {
        const int own = icons.forIconFile(path);
        if (own >= 0)
            return own;
    }
    return icons.forName(info.fileName());
}

int GetSysIconIndexForName(const QString& fileName)
{
    return sysIcons().forName(fileName);
}

QString MimeTypeForName(const QString& fileName)
{
    return sysIcons().typeName(fileName);
}

int FolderIconIndex()
{
    return sysIcons().folder();
}

int AddImageFromList(ImageList& dst, const ImageList& src, int index)
{
    // An index out of range gives a null image, which adds nothing.
    return dst.add(src.imageOnWhite(index), src.mask(index));
}

QString GetSystemDir()
{
    ensureIconTheme();
    for (const QString& base : QIcon::themeSearchPaths()) {
        const QString dir = QDir(base).filePath(QIcon::themeName());
        if (QFileInfo(dir + QStringLiteral("/index.theme")).isFile())
            return QDir::cleanPath(dir);
    }
    return {};
}

int AddSystemIcons(ImageList& list)
{
    // Devices, places and file types of the freedesktop naming, in a fixed order.
    static const char* const kNames[] = {
        "computer", "drive-harddisk", "drive-removable-media", "drive-optical", "media-optical", "media-removable",
        "media-floppy", "media-flash", "printer", "printer-network", "network-server", "network-workgroup",
        "audio-headphones", "input-gaming", "camera-photo", "folder", "folder-open", "folder-documents",
        "folder-download", "folder-music", "folder-pictures", "folder-videos", "folder-publicshare", "folder-templates",
        "folder-remote", "folder-saved-search", "user-home", "user-desktop", "user-bookmarks", "user-trash",
        "start-here", "text-x-generic", "text-x-generic-template", "text-x-script", "text-html", "text-x-preview",
        "application-x-executable", "application-x-sharedlib", "application-x-addon", "application-x-firmware",
        "application-certificate", "application-x-generic", "package-x-generic", "x-package-repository",
        "image-x-generic", "audio-x-generic", "video-x-generic", "font-x-generic", "x-office-document",
        "x-office-spreadsheet", "x-office-presentation", "x-office-drawing", "x-office-calendar",
        "x-office-address-book", "inode-symlink",
    };
    ensureIconTheme();
    int added = 0;
    for (const char* name : kNames) {
        const QIcon icon = QIcon::fromTheme(QLatin1String(name));
        if (!icon.isNull())
            added += list.addIcon(render(icon, list.imageSize())) >= 0;
    }
    return added;
}

} // namespace qd
