// qdcat drives: the drive table as the windows see it, and the "Drives"
// settings that map further letters to folders.
#include <QFileInfo>
#include <cstdio>

#include "Commands.h"
#include "Output.h"
#include "platform/Drives.h"
#include "platform/Settings.h"
#include "platform/Text.h"

namespace qd::cli {

namespace {

void printDrives()
{
    for (const Drive& d : DriveTable::instance().drives()) {
        const std::string root(1, char(d.letter.toLatin1()));
        QString folder = QStringLiteral("no disk"), label, serialText, totalText, freeText;
        std::uint32_t serial = 0;
        std::string ansiLabel;
        std::int64_t total = 0, free = 0;
        if (const auto now = CurrentRoot(d.letter))
            folder = *now;
        if (GetVolumeInfo(root + ":\\", serial, ansiLabel)) {
            label = fromAnsi(ansiLabel);
            serialText = settings::formatSerial(serial);
        }
        if (GetDiskSpace(root + ":\\", total, free)) {
            totalText = QString::number(total);
            freeText = QString::number(free);
        }
        const QString line = TsvRow({QString(d.letter) + u':', settings::kindName(d.kind), folder, label, serialText,
                                     totalText, freeText});
        std::fputs(line.toUtf8().constData(), stdout);
    }
}

int usage(const QString& why)
{
    printError(why + QStringLiteral("; see qdcat --help"));
    return kUsage;
}

} // namespace

int runDrives(const QStringList& args)
{
    if (args.isEmpty()) {
        printDrives();
        return kOk;
    }
    if (args[0] == u"--unmap") {
        if (args.size() != 2)
            return usage(QStringLiteral("--unmap takes one drive letter"));
        const auto letter = ParseDriveLetter(args[1]);
        if (!letter)
            return usage(QStringLiteral("\"%1\" is not a drive letter").arg(args[1]));
        if (!settings::unmapDrive(*letter)) {
            printError(QStringLiteral("%1: is not mapped").arg(*letter));
            return kUsage;
        }
        return kOk;
    }
    if (args[0] != u"--map" || args.size() < 2)
        return usage(QStringLiteral("unknown arguments for drives"));

    const qsizetype eq = args[1].indexOf(u'=');
    settings::DriveMapping m;
    const auto letter = ParseDriveLetter(args[1].left(eq));
    if (eq < 0 || !letter || eq + 1 == args[1].size())
        return usage(QStringLiteral("--map takes LETTER=FOLDER"));
    m.letter = *letter;
    // Kept absolute so that the mapping means the same from any working folder.
    m.path = QFileInfo(args[1].mid(eq + 1)).absoluteFilePath();
    for (qsizetype i = 2; i < args.size(); i += 2) {
        if (i + 1 >= args.size())
            return usage(QStringLiteral("%1 needs a value").arg(args[i]));
        const QString& value = args[i + 1];
        if (args[i] == u"--label") {
            m.label = value;
        } else if (args[i] == u"--serial") {
            m.serial = settings::parseSerial(value);
            if (!m.serial)
                return usage(QStringLiteral("\"%1\" is not a serial such as 1234-ABCD").arg(value));
        } else if (args[i] == u"--kind") {
            const auto kind = settings::parseKind(value);
            if (!kind)
                return usage(QStringLiteral("\"%1\" is not a drive kind").arg(value));
            m.kind = *kind;
        } else {
            return usage(QStringLiteral("unknown option \"%1\"").arg(args[i]));
        }
    }
    if (!settings::mapDrive(m)) {
        printError(QStringLiteral("the settings cannot be written"));
        return kUnreadable;
    }
    return kOk;
}

} // namespace qd::cli
