#pragma once

// The home of a test process. GLib, which moves files to the trash, reads
// HOME and XDG_DATA_HOME once per process and keeps them, so tests cannot
// point the trash elsewhere test by test: every test of the process shares
// one temporary home, set before anything reads it, and empties its trash.

#include <QFile>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "support/CatalogFixtures.h"

namespace qd::test {

// Removed with everything in it, names that are not UTF-8 included, at exit.
inline const QString& TestHome()
{
    static TempDir dir;
    static const QString home = [] {
        const std::string path = dir.path().native();
        ::setenv("HOME", path.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (path + "/.local/share").c_str(), 1);
        return QFile::decodeName(QByteArray::fromStdString(path));
    }();
    return home;
}

// $XDG_DATA_HOME of the process: the home trash is its "Trash" folder.
inline QString TestDataHome() { return TestHome() + QStringLiteral("/.local/share"); }

// Removes the whole data folder, trash included, as a new user's home has none.
inline void RemoveTestDataHome()
{
    std::error_code ec; // by bytes: a trashed name need not be UTF-8
    std::filesystem::remove_all(QFile::encodeName(TestDataHome()).toStdString(), ec);
}

} // namespace qd::test
