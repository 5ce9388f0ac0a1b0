// qdcat drives: the drive table as the windows see it, and the "Drives"
// settings that map further letters to folders.
#include <QFileInfo>
#include <cstdio>

#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "platform/CatalogStore.h"
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
        Print(TsvRow({QString(d.letter) + u':', settings::kindName(d.kind), folder, label, serialText, totalText,
                      freeText}));
    }
}

} // namespace

int runDrives(const Command& command, const QStringList& args)
{
    CommandLine line(command);
    const QString map = QStringLiteral("map"), unmap = QStringLiteral("unmap"), label = QStringLiteral("label"),
                  serial = QStringLiteral("serial"), kind = QStringLiteral("kind");
    line.option({map}, QStringLiteral("Make FOLDER drive X."), QStringLiteral("X=FOLDER"));
    line.option({label}, QStringLiteral("The mapped drive's volume label."), QStringLiteral("LABEL"));
    line.option({serial}, QStringLiteral("The mapped drive's serial number, such as 1234-ABCD."), QStringLiteral("SERIAL"));
    line.option({kind}, QStringLiteral("The mapped drive's kind: fixed, removable, cdrom, network or ram."),
                QStringLiteral("KIND"));
    line.option({unmap}, QStringLiteral("Remove the mapping of drive X."), QStringLiteral("X"));
    if (const auto exit = line.parse(args))
        return *exit;
    if (const auto exit = line.atMost(0))
        return *exit;
    const bool mapping = line.isSet(map);
    if (!mapping && (line.isSet(label) || line.isSet(serial) || line.isSet(kind)))
        return line.usage(QStringLiteral("--label, --serial and --kind go with --map"));
    if (mapping && line.isSet(unmap))
        return line.usage(QStringLiteral("--map and --unmap do not go together"));
    if (line.isSet(unmap)) {
        const QString value = line.value(unmap);
        const auto letter = ParseDriveLetter(value);
        if (!letter)
            return line.usage(QStringLiteral("\"%1\" is not a drive letter").arg(value));
        if (!settings::unmapDrive(*letter)) {
            printError(QStringLiteral("%1: is not mapped").arg(*letter));
            return kUsage;
        }
        return kOk;
    }
    if (!mapping) {
        printDrives();
        return kOk;
    }

    const QString target = line.value(map);
    const qsizetype eq = target.indexOf(u'=');
    settings::DriveMapping m;
    const auto letter = ParseDriveLetter(target.left(eq));
    if (eq < 0 || !letter || eq + 1 == target.size())
        return line.usage(QStringLiteral("--map takes LETTER=FOLDER"));
    m.letter = *letter;
    // The settings keep a mapping's folder as text, which a name that is not
    // UTF-8 would not survive: it would map another folder.
    const QString folder = target.mid(eq + 1);
    if (!ArgumentBytes(folder).isValidUtf8())
        return line.usage(QStringLiteral("the folder %1 is not named in UTF-8, which the settings cannot keep")
                              .arg(DisplayFileName(ArgumentBytes(folder))));
    // Kept absolute so that the mapping means the same from any working folder.
    m.path = QFileInfo(folder).absoluteFilePath();
    if (line.isSet(label))
        m.label = line.value(label);
    if (line.isSet(serial)) {
        m.serial = settings::parseSerial(line.value(serial));
        if (!m.serial)
            return line.usage(QStringLiteral("\"%1\" is not a serial such as 1234-ABCD").arg(line.value(serial)));
    }
    if (line.isSet(kind)) {
        const auto parsed = settings::parseKind(line.value(kind));
        if (!parsed)
            return line.usage(QStringLiteral("\"%1\" is not a drive kind").arg(line.value(kind)));
        m.kind = *parsed;
    }
    if (!settings::mapDrive(m)) {
        printError(QStringLiteral("the settings cannot be written"));
        return kUnreadable;
    }
    return kOk;
}

} // namespace qd::cli
