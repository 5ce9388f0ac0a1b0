// qdcat scan: the volume step and the walk of the windows' new-disk wizard,
// without windows, saved straight to a catalog file.
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include "Catalogs.h"
#include "CommandLine.h"
#include "Commands.h"
#include "catalog/CatalogLock.h"
#include "catalog/DiskFile.h"
#include "catalog/QdLib.h"
#include "platform/CatalogRoot.h"
#include "platform/CatalogStore.h"
#include "platform/Dialogs.h"
#include "platform/Drives.h"
#include "platform/FileOps.h"
#include "platform/ImageList.h"
#include "platform/Settings.h"
#include "platform/Text.h"
#include "registration/Scanner.h"

namespace qd::cli {
namespace {

// Exit statuses of scan beyond the common ones.
enum ScanExit { kNoDisk = 3, kNotWritten = 4, kInterrupted = 130 };

// Messages of the volume step go to standard error; there is nobody to ask.
class StderrDialogs final : public Dialogs {
public:
    StderrDialogs() { previous_ = setDialogs(this); }
    ~StderrDialogs() override { setDialogs(previous_); }
    DialogAnswer ask(const DialogRequest& r) override
    {
        printError(r.text);
        return r.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    }

private:
    Dialogs* previous_ = nullptr;
};

// Progress on a terminal, a few times a second at most; Ctrl-C stops the walk
// between two folders without a question.
class TerminalControl final : public ScanControl {
public:
    TerminalControl() : terminal_(::isatty(STDERR_FILENO) == 1) { clock_.start(); }
    ~TerminalControl() override { endLine(); }

    void progress(const QString& folderPath, std::int32_t files, std::int32_t folders) override
    {
        if (!terminal_ || (shown_ && clock_.elapsed() < 250))
            return;
        clock_.restart();
        shown_ = true;
        std::fprintf(stderr, "\r\033[K%d folders, %d files  %s", folders, files, folderPath.toLocal8Bit().constData());
        std::fflush(stderr);
    }
    bool confirmStop() override { return true; }
    void endLine()
    {
        if (shown_)
            std::fprintf(stderr, "\r\033[K");
        shown_ = false;
    }

private:
    bool terminal_;
    bool shown_ = false;
    QElapsedTimer clock_;
};

ScanControl* g_interruptTarget = nullptr;

extern "C" void onInterrupt(int)
{
    if (g_interruptTarget)
        g_interruptTarget->requestCancel();
}

// Routes SIGINT to the control while it lives.
class InterruptGuard {
public:
    explicit InterruptGuard(ScanControl& control)
    {
        g_interruptTarget = &control;
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGINT, &sa, &old_);
    }
    ~InterruptGuard()
    {
        ::sigaction(SIGINT, &old_, nullptr);
        g_interruptTarget = nullptr;
    }

private:
    struct sigaction old_ {};
};

// The catalog's icon: a grey disc with a hole, 24-bit colour, 1-bit mask
// (white = transparent).
void makeDiscIcon(TDisk& disk)
{
    QImage colour(16, 16, QImage::Format_RGB888);
    colour.fill(Qt::white);
    QImage mask(16, 16, QImage::Format_Mono);
    mask.setColorCount(2);
    mask.setColor(0, qRgb(0, 0, 0));
    mask.setColor(1, qRgb(255, 255, 255));
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int dx2 = 2 * x - 15, dy2 = 2 * y - 15; // twice the offset from the centre
            const int r2 = dx2 * dx2 + dy2 * dy2;
            const bool disc = r2 <= 15 * 15 && r2 > 3 * 3;
            mask.setPixel(x, y, disc ? 0 : 1);
            if (disc)
                colour.setPixelColor(x, y, r2 > 13 * 13 ? QColor(96, 96, 112) : QColor(176, 184, 208 - x * 4));
        }
    }
    disk.IconImage = ColourBmp(colour);
    disk.IconMask = MaskBmp(mask);
}

// A catalog folder below the root: relative, no "." or ".." steps.
bool validFolder(const QString& sub)
{
    if (sub.startsWith(u'/'))
        return false;
    for (const QString& part : sub.split(u'/', Qt::SkipEmptyParts))
        if (part == u"." || part == u"..")
            return false;
    return true;
}

// The first existing level of the catalog folder (root + parts) that resolves
// outside the root, e.g. through a link; empty when every level is inside.
QString folderOutsideRoot(const QByteArray& root, const QStringList& parts)
{
    QByteArray path = root;
    for (const QString& part : parts) {
        path = JoinPath(path, ArgumentBytes(part));
        if (!DirectoryExists(path) && !FileExists(path))
            break; // made later, inside the level checked last
        if (!InsideFolder(path, root))
            return DisplayFileName(path);
    }
    return {};
}

// The levels of a catalog folder made for one scan, removed again when the
// catalog is not written, so a failed scan leaves no empty folders behind.
class CreatedFolders {
public:
    // Makes the missing levels of the root, then of root + parts, one at a
    // time, each of the latter checked to lie inside the root once made.
    // False (with error) on the first failure.
    bool create(const QByteArray& root, const QStringList& parts)
    {
        std::vector<QByteArray> missing;
        for (QByteArray up = root; !up.isEmpty() && !DirectoryExists(up); up = up.left(qMax(up.lastIndexOf('/'), 0)))
            missing.push_back(up);
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            if (!CreateFolder(*it)) {
                error = QStringLiteral("cannot create the catalog root %1").arg(DisplayFileName(root));
                removeAll();
                return false;
            }
            made_.push_back(*it);
        }
        QByteArray path = root;
        for (const QString& part : parts) {
            path = JoinPath(path, ArgumentBytes(part));
            if (!DirectoryExists(path)) {
                if (!CreateFolder(path)) {
                    error = QStringLiteral("cannot create the folder %1").arg(DisplayFileName(path));
                    removeAll();
                    return false;
                }
                made_.push_back(path);
            }
            if (!InsideFolder(path, root)) {
                error = QStringLiteral("%1 lies outside the catalog root; nothing written").arg(DisplayFileName(path));
                removeAll();
                return false;
            }
        }
        return true;
    }
    // With the lock file made in them, but only while this scan holds the
    // lock: one that another writer holds is theirs, and the folder stays.
    void removeAll(bool lockHeld = false)
    {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            if (lockHeld)
                ::unlink(JoinPath(*it, kLockFileName).constData());
            ::rmdir(it->constData());
        }
        made_.clear();
    }
    QString error;

private:
    std::vector<QByteArray> made_;
};

} // namespace

int runScan(const Command& command, const QStringList& args)
{
    CommandLine line(command);
    line.positional(QStringLiteral("X:"), QStringLiteral("The drive letter."));
    line.option({QStringLiteral("title")}, QStringLiteral("The disk's title: the catalog's file name."), QStringLiteral("TITLE"));
    line.rootOption();
    line.option({QStringLiteral("folder")}, QStringLiteral("The catalog folder below the root."), QStringLiteral("SUB"));
    line.option({QStringLiteral("force")}, QStringLiteral("Replace a catalog of that title."));
    line.option({QStringLiteral("wait")}, QStringLiteral("Wait for another program writing the catalog, however long."));
    if (const auto exit = line.parse(args))
        return *exit;
    if (const auto exit = line.atMost(1))
        return *exit;
    const QString driveArg = line.positionals().value(0);
    const QString title = line.value(QStringLiteral("title"));
    const QString root = line.root();
    const QString folder = line.value(QStringLiteral("folder"));
    const bool force = line.isSet(QStringLiteral("force"));
    const std::optional<QChar> drive = ParseDriveLetter(driveArg);
    if (!drive)
        return line.usage(QStringLiteral("name a drive letter such as D:"));
    const QChar letter = *drive;
    if (title.isEmpty())
        return line.usage(QStringLiteral("a title is required (--title)"));
    // The wizard's rule: characters without a code page 932 form are fine in
    // a file name; only the refused ones count.
    if (!CheckTitle(toAnsi(title, '_'))) {
        printError(QString::fromUtf8(kTitleRefusedMessage));
        return kUsage;
    }
    if (root.isEmpty() || !validFolder(folder))
        return line.usage(QStringLiteral("the catalog folder must lie inside the catalog root"));

    const QStringList parts = folder.split(u'/', Qt::SkipEmptyParts);
    // File and folder names as their bytes (see ArgumentsOf).
    const QByteArray rootPath = ArgumentBytes(QDir::cleanPath(root));
    const QByteArray dir = ArgumentBytes(QDir::cleanPath(folder.isEmpty() ? root : root + u'/' + folder));
    if (const QString outside = folderOutsideRoot(rootPath, parts); !outside.isEmpty()) {
        printError(QStringLiteral("%1 lies outside the catalog root %2; nothing written").arg(outside, DisplayFileName(rootPath)));
        return kNotWritten;
    }
    // A title differing only in case names the same disk in the tree.
    const std::optional<QByteArray> existing = ExistingCatalogName(dir, title);
    if (existing && !force) {
        printError(QStringLiteral("%1 exists; --force replaces it").arg(DisplayFileName(JoinPath(dir, *existing))));
        return kNotWritten;
    }
    const QByteArray target = JoinPath(dir, existing ? *existing : NativeFileName(title + QStringLiteral(".qd")));

    StderrDialogs messages;
    TerminalControl control;
    InterruptGuard interrupt(control);
    QElapsedTimer clock;
    clock.start();

    TDisk disk;
    if (!ReadVolume(nullptr, letter, disk))
        return kNoDisk;
    // qdcat has no icon picker, so no disk icons are collected.
    const WalkResult walk = WalkDrive(letter, disk, control, nullptr);
    control.endLine();
    if (!walk.completed) {
        printError(QStringLiteral("stopped; nothing written"));
        return kInterrupted;
    }
    makeDiscIcon(disk);

    CreatedFolders made;
    if (!made.create(rootPath, parts)) {
        printError(made.error);
        return kNotWritten;
    }
    std::optional<CatalogLock> lock;
    if (!LockCatalog(target.toStdString(), line.isSet(QStringLiteral("wait")), lock)) {
        made.removeAll();
        return kNotWritten;
    }
    try {
        // Without --force nothing is replaced, not even a catalog that
        // appeared while the drive was walked.
        SaveDiskFile(target.toStdString(), disk, force ? SaveMode::CreateOrReplace : SaveMode::CreateNew);
    } catch (const CatalogError& e) {
        if (e.code() == CatalogError::Code::Exists)
            printError(QStringLiteral("%1 appeared while the drive was read; --force replaces it").arg(DisplayFileName(target)));
        else
            printError(QString::fromUtf8(e.what()));
        made.removeAll(true);
        return kNotWritten;
    }
    RemoveOldLeftovers(dir); // what saves killed here long ago left behind
    const double seconds = double(clock.nsecsElapsed()) / 1e9;

    std::printf("%s -> %s\n", QString(letter).toUtf8().constData(), DisplayFileName(target).toUtf8().constData());
    std::printf("label \"%s\", serial %s, %s total, %s free\n", fromAnsi(disk.VolumeLabel).toUtf8().constData(),
                settings::formatSerial(disk.SerialNo).toUtf8().constData(), SizeToStr(disk.TotalSize).c_str(),
                SizeToStr(disk.FreeSize).c_str());
    std::printf("%zu folders, %d files, %lld bytes, %.2f s\n", disk.DirList.size(), walk.files,
                static_cast<long long>(walk.bytes), seconds);
    std::printf("names substituted %zu, names cut %zu, folders not listed %lld, mount points not entered %lld\n",
                walk.names.substituted, walk.names.cut, static_cast<long long>(walk.unlistable),
                static_cast<long long>(walk.otherFileSystems));
    return kOk;
}

} // namespace qd::cli
