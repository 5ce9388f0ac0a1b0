#pragma once

// A catalog root in a temporary folder with its own settings, trash and
// scripted dialogs, for the tests of the catalog tree and the main window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTreeWidgetItem>
#include <filesystem>
#include <optional>
#include <string>

#include "catalog/DiskFile.h"
#include "store/Application.h"
#include "support/CatalogFixtures.h"
#include "support/QtApp.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"
#include "support/TestHome.h"

namespace qd::test {

class StoreFixture : public ::testing::Test {
protected:
    StoreFixture()
    {
        TestHome(); // before the application reads the environment
        ensureApp<QdApplication>();
        // The locale's collation, not the code order, sorts the tree.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        RemoveTestDataHome(); // an empty trash for every test
        QDir().mkpath(dataHome());
    }

    // The catalog root (not created), as text and as the file system's bytes.
    QString root() const { return folder() + QStringLiteral("/data"); }
    // The test's own temporary folder.
    QString folder() const { return QFile::decodeName(QByteArray::fromStdString(temp_.path().native())); }
    QByteArray nativeRoot() const { return QFile::encodeName(root()); }
    QString dataHome() const { return TestDataHome(); }
    QString trashFiles() const { return dataHome() + QStringLiteral("/Trash/files"); }
    std::filesystem::path rootPath(const QString& relative = QString()) const
    {
        return std::filesystem::path(QFile::encodeName(relative.isEmpty() ? root() : root() + u'/' + relative).toStdString());
    }

    void mkdir(const QString& relative) const { ASSERT_TRUE(QDir().mkpath(root() + u'/' + relative)); }

    // Writes a catalog (relative path without ".qd") whose icon is filled with grey.
    void catalog(const QString& relativeWithoutExtension, unsigned char grey = 0x80) const
    {
        TDisk disk = sampleDisk();
        disk.IconImage = smallBmp(24, grey);
        disk.IconMask = smallBmp(1, 0x00);
        std::filesystem::create_directories(rootPath(relativeWithoutExtension).parent_path());
        SaveDiskData(rootPath(relativeWithoutExtension), disk);
    }
    // Writes the bytes of a catalog under any file name, with the given data type.
    void catalogFile(const QString& relativeName, std::uint8_t dataType = 1, unsigned char grey = 0x80) const
    {
        TDisk disk = sampleDisk();
        disk.IconImage = smallBmp(24, grey);
        disk.IconMask = smallBmp(1, 0x00);
        std::string bytes = BuildDiskData(disk);
        bytes[5 + 2 + disk.IconImage.size() + 2 + disk.IconMask.size()] = char(dataType);
        std::filesystem::create_directories(rootPath(relativeName).parent_path());
        writeFile(rootPath(relativeName), bytes);
    }

    static QTreeWidgetItem* child(QTreeWidgetItem* parent, const QString& text)
    {
        for (int i = 0; parent && i < parent->childCount(); ++i)
            if (parent->child(i)->text(0) == text)
                return parent->child(i);
        return nullptr;
    }
    static QStringList texts(QTreeWidgetItem* parent)
    {
        QStringList out;
        for (int i = 0; parent && i < parent->childCount(); ++i)
            out << parent->child(i)->text(0);
        return out;
    }

    TempDir temp_; // removed by bytes: names need not be UTF-8
    TempSettings settings_;
    ScriptedDialogs dialogs_;
};

} // namespace qd::test
