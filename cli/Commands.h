#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>
#include <vector>

namespace qd::cli {

// Exit statuses of every command.
enum Exit { kOk = 0, kUsage = 1, kUnreadable = 2 };

// One command of qdcat: its name, its arguments as the usage line shows them,
// a line that says what it does, more lines for its --help, and the function
// that runs it with the arguments after the name.
struct Command {
    const char* name;
    const char* arguments;
    const char* summary;
    const char* details;
    int (*run)(const Command& command, const QStringList& args);
};

int runDump(const Command& command, const QStringList& args);
int runLs(const Command& command, const QStringList& args);
int runScan(const Command& command, const QStringList& args);
int runDrives(const Command& command, const QStringList& args);
int runIdentify(const Command& command, const QStringList& args);
int runUpdate(const Command& command, const QStringList& args);
int runSearch(const Command& command, const QStringList& args);
int runDisks(const Command& command, const QStringList& args);
int runExport(const Command& command, const QStringList& args);
int runDuplicates(const Command& command, const QStringList& args);
int runWatch(const Command& command, const QStringList& args);

// The catalogs of the store in the order the tree lists them, for the
// identification: their files as the file system names them, their titles.
// nullopt when the root cannot be listed. A folder inside that cannot be
// listed is named on standard error and sets unread (when given).
struct StoreCatalogs {
    std::vector<QByteArray> names;
    std::vector<QString> titles;
    std::vector<std::filesystem::path> files;
};
std::optional<StoreCatalogs> ListCatalogs(const QByteArray& root, bool* unread = nullptr);

// Prints text to standard error followed by a new line, for errors.
void printError(const QString& text);

} // namespace qd::cli
