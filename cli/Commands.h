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

// Prints text to standard error followed by a new line, for errors.
void printError(const QString& text);

} // namespace qd::cli
