// qdcat watch: a line for every disk put into a drive or taken out, as the
// main window's notice tells them, for scripts that update or register a
// disk when it is put in.
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "Catalogs.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "browse/DiskIdentify.h"
#include "platform/CatalogStore.h"
#include "platform/DriveWatch.h"
#include "platform/Drives.h"
#include "platform/Settings.h"

namespace qd::cli {
namespace {

int g_interruptPipe[2] = {-1, -1};

extern "C" void onWatchInterrupt(int)
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(g_interruptPipe[1], &byte, 1);
}

// The fields after "inserted" and the letter: serial, title, catalog.
QStringList identify(QChar letter, const QByteArray& root)
{
    const DriveDisk drive = ReadDriveDisk(letter);
    if (drive.state != DriveDisk::Present)
        return {QString(), QString(), QString()};
    const QString serial = settings::formatSerial(drive.serialNo);
    const std::optional<StoreCatalogs> catalogs = ListCatalogs(root);
    if (!catalogs) {
        printError(QStringLiteral("the catalog root cannot be read: %1").arg(QFile::decodeName(root)));
        return {serial, QString(), QString()};
    }
    // A catalog that cannot be read is passed over: the line is what matters here.
    const auto match = FindCatalogBySerial(drive.serialNo, catalogs->files, [](const SkippedCatalog&) {});
    if (!match)
        return {serial, QString(), QString()};
    return {serial, catalogs->titles[*match], DisplayFileName(catalogs->names[*match])};
}

void printLine(const QStringList& fields)
{
    Print(TsvRow(fields));
    std::fflush(stdout); // a script reads each line as it comes
}

} // namespace

int runWatch(const Command& command, const QStringList& args)
{
    CommandLine line(command);
    line.rootOption();
    if (const auto exit = line.parse(args))
        return *exit;
    if (const auto exit = line.atMost(0))
        return *exit;
    const std::optional<QByteArray> root = line.rootPath();
    if (!root)
        return kUsage;

    if (::pipe(g_interruptPipe) != 0) {
        printError(QStringLiteral("cannot watch for Ctrl-C"));
        return kUnreadable;
    }
    struct sigaction sa {};
    sa.sa_handler = onWatchInterrupt;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    QSocketNotifier interrupt(g_interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupt, &QSocketNotifier::activated, qApp, &QCoreApplication::quit);

    DriveWatcher watcher;
    QObject::connect(&watcher, &DriveWatcher::inserted, qApp, [&](QChar letter) {
        printLine(QStringList{QStringLiteral("inserted"), QString(letter) + u':'} + identify(letter, *root));
    });
    QObject::connect(&watcher, &DriveWatcher::removed, qApp,
                     [](QChar letter) { printLine({QStringLiteral("removed"), QString(letter) + u':'}); });
    // Once this is written the watch is on: a disk put in from now on is told.
    printError(QStringLiteral("watching the drives; Ctrl-C ends"));
    QCoreApplication::exec();
    return kOk;
}

} // namespace qd::cli
