// qdcat: the command-line companion of Qd. It reads and writes the same
// catalog files and uses the same drives as the windows.
#include <QCoreApplication>
#include <cstdio>

#include "Commands.h"

namespace qd::cli {

void printError(const QString& text)
{
    std::fprintf(stderr, "qdcat: %s\n", text.toLocal8Bit().constData());
}

namespace {

// Add a command here and declare its function in Commands.h.
const Command kCommands[] = {
    {"dump", "qdcat dump [--paths] FILE.qd\n"
             "    Print the whole catalog as one JSON object (UTF-8), written as it is made:\n"
             "    one line per folder (name, parent index, ...) and one per file. --paths gives\n"
             "    each folder its full path as well (D:\\PHOTO\\2001).",
     runDump},
    {"ls", "qdcat ls FILE.qd [FOLDER]\n"
           "    List one folder (a path such as D:\\PHOTO\\2001; default the root) as the\n"
           "    contents view shows it: sub-folders, then files, each sorted by name.\n"
           "    Tab-separated: name, size, created, modified, accessed, first comment line.",
     runLs},
    {"search", "qdcat search TEXT [--root CATALOG_ROOT] [--in PATH]\n"
               "    Find the files whose names contain TEXT (exact, case-sensitive, no wildcards)\n"
               "    in every catalog below the root, or below PATH: a catalog folder or a .qd\n"
               "    file, relative to the root or absolute inside it. One line per hit in the\n"
               "    order of the catalog tree, tab-separated: disk title, file name, folder\n"
               "    path. The count goes to standard error. A catalog that cannot be read is\n"
               "    reported there and passed over; exit status 2 only when the root or PATH\n"
               "    cannot be read.",
     runSearch},
    {"drives", "qdcat drives\n"
               "  qdcat drives --map X=FOLDER [--label LABEL] [--serial 1234-ABCD] [--kind KIND]\n"
               "  qdcat drives --unmap X\n"
               "    List the drives: letter, kind, root folder (or \"no disk\"), label, serial,\n"
               "    total and free bytes, tab-separated. --map makes FOLDER drive X (KIND one of\n"
               "    fixed, removable, cdrom, network, ram); --unmap removes that mapping.",
     runDrives},
    {"scan", "qdcat scan X: --title TITLE [--root CATALOG_ROOT] [--folder SUB] [--force]\n"
             "    Catalog the disk in drive X: as <root>/<SUB>/<TITLE>.qd (never replaced without\n"
             "    --force). Ctrl-C stops between folders and writes nothing. Exit status 3 when\n"
             "    the drive has no disk, 4 when the catalog is not written, 130 when stopped.",
     runScan},
    {"identify", "qdcat identify X: [--root CATALOG_ROOT]\n"
                 "    Which catalogued disk is in drive X:, by its serial number: the first catalog\n"
                 "    in the tree's order that records it, as TITLE<TAB>CATALOG_FILE. A catalog that\n"
                 "    cannot be read is named on standard error and passed over. Exit status 1 when\n"
                 "    none is found, 3 when the drive has no disk.",
     runIdentify},
    {"update", "qdcat update FILE.qd FOLDER\n"
               "    Bring one folder of the catalog (a path such as D: or D:\\PHOTO\\2001) up to date\n"
               "    with the disk in its drive: new entries are added, vanished ones removed, the\n"
               "    rest kept as recorded, comments included. Prints added/removed, folder/file and\n"
               "    the name, tab-separated. Exit status 3 when the drive has no disk, 4 when the\n"
               "    catalog is not written, 5 when the drive holds another disk, 6 when the folder\n"
               "    cannot be listed; the catalog is then left as it was.",
     runUpdate},
};

void printHelp()
{
    std::printf("Usage: qdcat COMMAND [ARGUMENTS]\n\n"
                "The command-line companion of Qd, the disk cataloguer.\n\n"
                "Commands:\n");
    for (const Command& c : kCommands)
        std::printf("  %s\n\n", c.usage);
    std::printf("Tab-separated output writes a backslash, tab, carriage return and new line inside\n"
                "a field as \\\\, \\t, \\r and \\n, and any other control character as \\xHH.\n\n"
                "Exit status: 0 on success, 1 for wrong usage, 2 for a catalog that cannot be read.\n");
}

} // namespace
} // namespace qd::cli

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    using namespace qd::cli;
    if (args.isEmpty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printHelp();
        return args.isEmpty() ? kUsage : kOk;
    }
    const QString name = args.takeFirst();
    for (const Command& c : kCommands) {
        if (name == QLatin1String(c.name))
            return c.run(args);
    }
    printError(QStringLiteral("unknown command \"%1\"; see qdcat --help").arg(name));
    return kUsage;
}
