// qdcat: the command-line companion of Qd. It reads and writes the same
// catalog files and uses the same drives as the windows.
#include <malloc.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

#include "CommandLine.h"
#include "Commands.h"

namespace qd::cli {

void printError(const QString& text)
{
    std::fprintf(stderr, "qdcat: %s\n", text.toLocal8Bit().constData());
}

namespace {

// Add a command here and declare its function in Commands.h.
const Command kCommands[] = {
    {"dump", "[--paths] FILE.qd", "Print the whole catalog as one JSON object (UTF-8), written as it is made.",
     "One line per folder (name, parent index, ...) and one per file. --paths gives each folder\n"
     "its full path as well (D:\\PHOTO\\2001).",
     runDump},
    {"ls", "FILE.qd [FOLDER]", "List one folder as the contents view shows it.",
     "FOLDER is a path such as D:\\PHOTO\\2001 (default the root). Sub-folders come first, then\n"
     "files, each sorted by name. Tab-separated: name, size, created, modified, accessed, first\n"
     "comment line.",
     runLs},
    {"export", "FILE.qd [--csv | --json] [--bom]",
     "Print every file of the catalog with its full path, size, times and comment.",
     "One line per file in the order of the catalog: full path (D:\\PHOTO\\a.jpg), size in bytes,\n"
     "created, modified and accessed times (ISO 8601, local; empty when unknown) and the whole\n"
     "comment. Tab-separated by default; --csv writes comma-separated values as RFC 4180 has\n"
     "them (a header line, fields with a comma, quote or line break in quotes, CR LF at the end\n"
     "of each record) for spreadsheet programs, and --bom puts the UTF-8 byte-order mark first,\n"
     "by which they know the text is UTF-8. --json gives one object per line instead.",
     runExport},
    {"search", "[TEXT] [--root CATALOG_ROOT] [--in PATH] [FILTER...] [--json]",
     "Find the files whose names contain TEXT.",
     "TEXT alone is matched exactly, case-sensitive, without wildcards (a TEXT that begins with a\n"
     "dash follows --), in every catalog below the root, or below PATH: a catalog folder or a .qd\n"
     "file, relative to the root or absolute inside it. The filters -i, --glob, --regex,\n"
     "--folders, --min-size, --max-size, --after and --before narrow it, all of them at once;\n"
     "with any of them TEXT may be left out. One line per hit in the order of the catalog tree,\n"
     "tab-separated: disk title, name, folder path (a folder's name ends in a backslash); with\n"
     "--json one object per line with the title, catalog, folder, name, kind, size, created,\n"
     "modified and accessed times (ISO 8601, local) and comment. The count goes to standard\n"
     "error. A catalog that cannot be read, and a folder that cannot be listed, are reported\n"
     "there and passed over; exit status 2 only when the root or PATH cannot be read.",
     runSearch},
    {"disks", "[--root CATALOG_ROOT] [--files] [--json]",
     "List the catalogued disks, one line per catalog in the order of the catalog tree.",
     "Tab-separated: catalog folder (empty for the root itself), title, volume label, serial\n"
     "number, total and free bytes, number of folders, with --files the number of files, the\n"
     "root folder's scan date (ISO 8601, local), and last a column that is empty unless the\n"
     "catalog cannot be read (a .qd file without the magic too): it then holds the reason, and\n"
     "the columns between are empty. A folder that cannot be listed is named on standard error.\n"
     "Only the head of each catalog is read, which says all but the number of files: --files\n"
     "reads every catalog whole to count them (and so also finds damage anywhere in it).\n"
     "--json gives one object per line instead, with \"error\" for a catalog that cannot be\n"
     "read. Exit status 2 when the root cannot be read.",
     runDisks},
    {"duplicates", "[--root CATALOG_ROOT] [--min-size N] [--json]",
     "Find the files of the same name and size on two or more disks.",
     "Names are compared byte for byte (case counts); files smaller than N bytes (1 by default,\n"
     "so empty files are left out) are not looked at. The groups come largest first, tab-\n"
     "separated, one line per file: size, name, disk title, folder path, with a blank line\n"
     "between groups; with --json one object per group and line with the name, size and files\n"
     "(title, catalog, folder). Two files of a group may lie on one disk as long as another\n"
     "disk holds the same. The count goes to standard error; a catalog that cannot be read is\n"
     "reported there and passed over. Every catalog is read twice, and memory grows with the\n"
     "candidates' names and by four bytes per file, not with every name.",
     runDuplicates},
    {"drives", "[--map X=FOLDER [--label LABEL] [--serial 1234-ABCD] [--kind KIND] | --unmap X]",
     "List the drives, or map a folder as a drive.",
     "Without options: letter, kind, root folder (or \"no disk\"), label, serial, total and free\n"
     "bytes, tab-separated. --map makes FOLDER drive X (KIND one of fixed, removable, cdrom,\n"
     "network, ram); --unmap removes that mapping.",
     runDrives},
    {"scan", "X: --title TITLE [--root CATALOG_ROOT] [--folder SUB] [--force]",
     "Catalog the disk in drive X: as <root>/<SUB>/<TITLE>.qd.",
     "A catalog is never replaced without --force. Ctrl-C stops between folders and writes\n"
     "nothing. Exit status 3 when the drive has no disk, 4 when the catalog is not written, 130\n"
     "when stopped.",
     runScan},
    {"identify", "X: [--root CATALOG_ROOT]", "Tell which catalogued disk is in drive X:, by its serial number.",
     "Prints the first catalog in the tree's order that records it, as TITLE<TAB>CATALOG_FILE. A\n"
     "catalog that cannot be read, or a folder that cannot be listed, is named on standard error\n"
     "and passed over. Exit status 1 when none is found, 3 when the drive has no disk.",
     runIdentify},
    {"watch", "[--root CATALOG_ROOT]", "Print a line for every disk put into a drive or taken out, until Ctrl-C.",
     "A disk put in (a medium inserted, a stick plugged in, a mapped folder made):\n"
     "inserted<TAB>X:<TAB>SERIAL<TAB>TITLE<TAB>CATALOG_FILE, the title and the catalog of the first\n"
     "catalog in the tree's order whose head records its serial number, both empty when none\n"
     "does (the serial too when the volume cannot be read). A disk taken out: removed<TAB>X:.\n"
     "Each line is written as it happens. Ctrl-C ends it with exit status 0.",
     runWatch},
    {"update", "FILE.qd FOLDER", "Bring one folder of the catalog up to date with the disk in its drive.",
     "FOLDER is a path such as D: or D:\\PHOTO\\2001. New entries are added, vanished ones\n"
     "removed, the rest kept as recorded, comments included. Prints added/removed, folder/file\n"
     "and the name, tab-separated. Exit status 3 when the drive has no disk, 4 when the catalog\n"
     "is not written, 5 when the drive holds another disk, 6 when the folder cannot be listed;\n"
     "the catalog is then left as it was.",
     runUpdate},
};

QString description()
{
    QString text = QStringLiteral("The command-line companion of Qd, the disk cataloguer.\n\nCommands:\n");
    for (const Command& c : kCommands)
        text += QStringLiteral("  qdcat %1 %2\n      %3\n")
                    .arg(QString::fromLatin1(c.name), QString::fromUtf8(c.arguments), QString::fromUtf8(c.summary));
    text += QStringLiteral(
        "\nqdcat COMMAND --help tells more of a command and its options.\n\n"
        "Tab-separated output writes a backslash, tab, carriage return and new line inside\n"
        "a field as \\\\, \\t, \\r and \\n, and any other control character as \\xHH.\n\n"
        "Exit status: 0 on success, 1 for wrong usage, 2 for a catalog that cannot be read.");
    return text;
}

} // namespace
} // namespace qd::cli

int main(int argc, char** argv)
{
    // qdcat runs once and ends: memory it frees is kept for what it takes
    // next rather than given back, since new memory's page faults cost more
    // than the work that fills it, and a pass over thousands of catalogs
    // takes and frees large blocks all along.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(QD_VERSION));
    using namespace qd::cli;

    // Only qdcat's own options come before the command; everything after its
    // name is the command's.
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("One of the commands above."),
                                 QStringLiteral("COMMAND [ARGUMENTS]"));
    // Names that are not UTF-8 keep their bytes (see ArgumentsOf).
    if (!parser.parse(ArgumentsOf(argc, argv))) {
        printError(parser.errorText() + QStringLiteral(" See qdcat --help."));
        return kUsage;
    }
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    QStringList args = parser.positionalArguments();
    if (args.size() == 2 && args[0] == u"help")
        args = {args[1], QStringLiteral("--help")}; // qdcat help COMMAND
    const bool help = parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"));
    if (help || args.isEmpty() || args[0] == u"help") {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return help || !args.isEmpty() ? kOk : kUsage;
    }
    const QString name = args.takeFirst();
    for (const Command& c : kCommands) {
        if (name == QLatin1String(c.name))
            return c.run(c, args);
    }
    printError(QStringLiteral("unknown command \"%1\"; see qdcat --help").arg(name));
    return kUsage;
}
