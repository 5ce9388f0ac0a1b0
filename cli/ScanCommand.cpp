// qdcat scan: the volume step and the walk of the windows' new-disk wizard,
// without windows, saved straight to a catalog file.
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "Commands.h"
#include "catalog/DiskFile.h"
#include "catalog/QdLib.h"
#include "platform/CatalogRoot.h"
#include "platform/Dialogs.h"
#include "platform/Drives.h"
#include "platform/FileOps.h"
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

QByteArray bmpImage(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

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
    const QByteArray c = bmpImage(colour), m = bmpImage(mask);
    disk.IconImage.assign(c.constData(), std::size_t(c.size()));
    disk.IconMask.assign(m.constData(), std::size_t(m.size()));
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

int usage(const QString& why)
{
    printError(why + QStringLiteral("\nusage: qdcat scan X: --title TITLE [--root CATALOG_ROOT] [--folder SUB] [--force]"));
    return kUsage;
}

} // namespace

int runScan(const QStringList& args)
{
    QString driveArg, title, root = CatalogRoot(), folder;
    bool force = false, haveTitle = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == u"--title" && hasValue) {
            title = args[++i];
            haveTitle = true;
        } else if (a == u"--root" && hasValue) {
            root = args[++i];
        } else if (a == u"--folder" && hasValue) {
            folder = args[++i];
        } else if (a == u"--force") {
            force = true;
        } else if (!a.startsWith(u"--") && driveArg.isEmpty()) {
            driveArg = a;
        } else {
            return usage(QStringLiteral("unexpected argument \"%1\"").arg(a));
        }
    }
    const std::optional<QChar> drive = ParseDriveLetter(driveArg);
    if (!drive)
        return usage(QStringLiteral("name a drive letter such as D:"));
    const QChar letter = *drive;
    if (!haveTitle || title.isEmpty())
        return usage(QStringLiteral("a title is required (--title)"));
    if (!CheckTitle(toAnsi(title))) {
        printError(QString::fromUtf8(kTitleRefusedMessage));
        return kUsage;
    }
    if (root.isEmpty() || !validFolder(folder))
        return usage(QStringLiteral("the catalog folder must lie inside the catalog root"));

    const QString dir = QDir::cleanPath(folder.isEmpty() ? root : root + u'/' + folder);
    const QString target = dir + u'/' + title;
    if (!force && QFile::exists(target + QStringLiteral(".qd"))) {
        printError(QStringLiteral("%1.qd exists; --force replaces it").arg(target));
        return kNotWritten;
    }

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

    if (!CreateFolderPath(dir)) {
        printError(QStringLiteral("cannot create the folder %1").arg(dir));
        return kNotWritten;
    }
    try {
        SaveDiskData(QFile::encodeName(target).toStdString(), disk);
    } catch (const std::exception& e) {
        printError(QString::fromUtf8(e.what()));
        return kNotWritten;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;

    std::printf("%s -> %s.qd\n", QString(letter).toUtf8().constData(), target.toUtf8().constData());
    std::printf("label \"%s\", serial %04X-%04X, %s total, %s free\n", fromAnsi(disk.VolumeLabel).toUtf8().constData(),
                unsigned(disk.SerialNo >> 16), unsigned(disk.SerialNo & 0xFFFF), SizeToStr(disk.TotalSize).c_str(),
                SizeToStr(disk.FreeSize).c_str());
    std::printf("%zu folders, %d files, %lld bytes, %.2f s\n", disk.DirList.size(), walk.files,
                static_cast<long long>(walk.bytes), seconds);
    std::printf("names substituted %zu, names cut %zu, folders not listed %lld, mount points not entered %lld\n",
                walk.names.substituted, walk.names.cut, static_cast<long long>(walk.unlistable),
                static_cast<long long>(walk.otherFileSystems));
    return kOk;
}

} // namespace qd::cli
