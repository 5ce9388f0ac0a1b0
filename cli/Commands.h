#pragma once

#include <QStringList>

namespace qd::cli {

// Exit statuses of every command.
enum Exit { kOk = 0, kUsage = 1, kUnreadable = 2 };

// One command of qdcat: its name, its usage lines for --help, and the function
// that runs it with the arguments after the name.
struct Command {
    const char* name;
    const char* usage;
    int (*run)(const QStringList& args);
};

int runDump(const QStringList& args);
int runLs(const QStringList& args);
int runScan(const QStringList& args);
int runDrives(const QStringList& args);
int runIdentify(const QStringList& args);
int runUpdate(const QStringList& args);
int runSearch(const QStringList& args);

// Prints text to standard error followed by a new line, for errors.
void printError(const QString& text);

} // namespace qd::cli
