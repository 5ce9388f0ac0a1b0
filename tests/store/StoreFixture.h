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

namespace qd::test {

class StoreFixture : public ::testing::Test {
protected:
    StoreFixture()
    {
        ensureApp<QdApplication>();
        // The locale's collation, not the code order, sorts the tree.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        oldDataHome_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
        QDir().mkpath(dataHome());
    }
    ~StoreFixture() override
    {
        if (oldDataHome_.isEmpty())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", oldDataHome_);
    }

    // The catalog root (not created).
    QString root() const { return temp_.path() + QStringLiteral("/data"); }
    QString dataHome() const { return temp_.path() + QStringLiteral("/xdg-data"); }
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

    QTemporaryDir temp_;
    TempSettings settings_;
    ScriptedDialogs dialogs_;

private:
    QByteArray oldDataHome_;
};

} // namespace qd::test
