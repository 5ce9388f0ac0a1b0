// The desktop's context menu over two applications of our own, registered
// in a data folder that is put first in XDG_DATA_DIRS when the program
// starts, before GIO reads it (once per process, whichever test asks first).
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTest>

#include "platform/ShellContextMenu.h"
#include "support/QtApp.h"
#include "support/TestHome.h"

using namespace qd;

namespace {

const QString kViewer = QStringLiteral("Qd Test Viewer");
const QString kEditor = QStringLiteral("Qd Test Editor & Co");

bool writeText(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

// The viewer takes Fortran sources and is their default; the editor takes
// Fortran and Pascal sources, is the default for Pascal, and writes the
// files it is given to launched.txt.
class Desktop {
public:
    Desktop()
    {
        const QString apps = dir_.filePath(QStringLiteral("share/applications"));
        recorder_ = dir_.filePath(QStringLiteral("record.sh"));
        writeText(recorder_, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/launched.tmp\"\n"
                             "mv \"$(dirname \"$0\")/launched.tmp\" \"$(dirname \"$0\")/launched.txt\"\n");
        QFile::setPermissions(recorder_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeText(apps + QStringLiteral("/qd-test-viewer.desktop"),
                  "[Desktop Entry]\nType=Application\nName=" + kViewer.toUtf8() +
                      "\nExec=/bin/true %F\nMimeType=text/x-fortran;\n");
        writeText(apps + QStringLiteral("/qd-test-editor.desktop"),
                  "[Desktop Entry]\nType=Application\nName=" + kEditor.toUtf8() + "\nExec=" +
                      QFile::encodeName(recorder_) + " %F\nMimeType=text/x-fortran;text/x-pascal;\n");
        // What update-desktop-database makes of the entries' MimeType keys.
        writeText(apps + QStringLiteral("/mimeinfo.cache"), "[MIME Cache]\n"
                                                            "text/x-fortran=qd-test-viewer.desktop;qd-test-editor.desktop;\n"
                                                            "text/x-pascal=qd-test-editor.desktop;\n");
        writeText(apps + QStringLiteral("/mimeapps.list"), "[Default Applications]\n"
                                                           "text/x-fortran=qd-test-viewer.desktop\n"
                                                           "text/x-pascal=qd-test-editor.desktop\n");
        QByteArray dirs = qgetenv("XDG_DATA_DIRS");
        if (dirs.isEmpty())
            dirs = "/usr/local/share:/usr/share";
        qputenv("XDG_DATA_DIRS", QFile::encodeName(dir_.filePath(QStringLiteral("share"))) + ':' + dirs);
    }
    QString launched() const { return dir_.filePath(QStringLiteral("launched.txt")); }

private:
    QTemporaryDir dir_;
    QString recorder_;
};

const Desktop desktop;

class ShellContextMenuTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::TestHome(); // the trash of the process, before GIO reads where it is
        test::ensureApp<QGuiApplication>();
    }
    void SetUp() override
    {
        test::RemoveTestDataHome();
        ASSERT_TRUE(QDir().mkpath(test::TestDataHome()));
    }

    QString file(const QString& name, const QByteArray& text = "x")
    {
        const QString path = files_.filePath(name);
        EXPECT_TRUE(writeText(path, text)) << path.toStdString();
        return path;
    }
    static ShellMenu menuOf(IContextMenu& menu, int first = 1, int last = 999)
    {
        ShellMenu entries;
        menu.QueryContextMenu(entries, 0, first, last, CMF_EXPLORE);
        return entries;
    }
    static QStringList texts(const ShellMenu& menu)
    {
        QStringList out;
        for (const ShellMenuItem& item : menu)
            out << item.text;
        return out;
    }
    static int idOf(const ShellMenu& menu, const QString& text)
    {
        for (const ShellMenuItem& item : menu)
            if (item.text == text)
                return item.id;
        return 0;
    }

    QTemporaryDir files_;
};

const QStringList kFileCommands = {QString(),
                                   QStringLiteral("ファイルの場所を開く(&I)"),
                                   QStringLiteral("パスのコピー(&A)"),
                                   QString(),
                                   QStringLiteral("ゴミ箱へ移動(&D)"),
                                   QString(),
                                   QStringLiteral("プロパティ(&R)")};

} // namespace

TEST_F(ShellContextMenuTest, TheDefaultApplicationComesFirstThenTheOthersThenTheFileCommands)
{
    const QString source = file(QStringLiteral("a.f90"));
    ASSERT_EQ(QMimeDatabase().mimeTypeForFile(source).name(), QStringLiteral("text/x-fortran"));
    const auto menu = DesktopContextMenu({source});
    ASSERT_TRUE(menu);
    const ShellMenu entries = menuOf(*menu);
    const QStringList captions = texts(entries);

    ASSERT_GE(captions.size(), 2 + kFileCommands.size());
    EXPECT_EQ(captions.first(), kViewer + QStringLiteral(" で開く(&O)"));
    // A "&" in an application's name is no access key.
    EXPECT_TRUE(captions.contains(QStringLiteral("Qd Test Editor && Co で開く")));
    EXPECT_EQ(captions.count(kViewer + QStringLiteral(" で開く")), 0); // the default is not offered twice
    EXPECT_EQ(captions.mid(captions.size() - kFileCommands.size()), kFileCommands);

    // Commands are numbered from the first identifier without gaps; separators carry 0.
    int next = 1;
    for (const ShellMenuItem& item : entries) {
        if (item.text.isEmpty()) {
            EXPECT_EQ(item.id, 0);
            continue;
        }
        EXPECT_EQ(item.id, next++) << item.text.toStdString();
    }
}

TEST_F(ShellContextMenuTest, ASetOfTwoTypesOffersTheApplicationsThatTakeBoth)
{
    const auto menu = DesktopContextMenu({file(QStringLiteral("a.f90")), file(QStringLiteral("b.pas"))});
    const QStringList captions = texts(menuOf(*menu));
    // The two types have different defaults: each file opens with its own.
    EXPECT_EQ(captions.first(), QStringLiteral("開く(&O)"));
    EXPECT_TRUE(captions.contains(QStringLiteral("Qd Test Editor && Co で開く")));
    EXPECT_FALSE(captions.contains(kViewer + QStringLiteral(" で開く")));
    EXPECT_FALSE(captions.contains(kViewer + QStringLiteral(" で開く(&O)")));
}

// One file that cannot be opened any more does not keep the others shut.
TEST_F(ShellContextMenuTest, OpenEachGoesOnPastAFileThatFails)
{
    const QStringList paths = {file(QStringLiteral("gone.f90")), file(QStringLiteral("b.pas"))};
    const auto menu = DesktopContextMenu(paths);
    const int id = idOf(menuOf(*menu), QStringLiteral("開く(&O)"));
    ASSERT_GT(id, 0);
    ASSERT_TRUE(QFile::remove(paths[0]));
    QFile::remove(desktop.launched());
    EXPECT_FALSE(menu->InvokeCommand({id - 1, SW_SHOWNORMAL}));
    ASSERT_TRUE(QTest::qWaitFor([] { return QFileInfo::exists(desktop.launched()); }, 10000));
    QFile launched(desktop.launched());
    ASSERT_TRUE(launched.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(launched.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts), QStringList{paths[1]});
}

TEST_F(ShellContextMenuTest, OpenWithLaunchesTheApplicationWithEveryFile)
{
    const QStringList paths = {file(QStringLiteral("a.f90")), file(QStringLiteral("b.f90"))};
    const auto menu = DesktopContextMenu(paths);
    const ShellMenu entries = menuOf(*menu, 10, 999);
    const int id = idOf(entries, QStringLiteral("Qd Test Editor && Co で開く"));
    ASSERT_GT(id, 0);
    QFile::remove(desktop.launched());
    EXPECT_TRUE(menu->InvokeCommand({id - 10, SW_SHOWNORMAL}));

    // The application runs on its own; wait for what it wrote.
    ASSERT_TRUE(QTest::qWaitFor([] { return QFileInfo::exists(desktop.launched()); }, 10000));
    QFile launched(desktop.launched());
    ASSERT_TRUE(launched.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(launched.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts), paths);
}

TEST_F(ShellContextMenuTest, CopyThePathsPutsThemOnTheClipboard)
{
    const QStringList paths = {file(QStringLiteral("one.txt")), file(QString::fromUtf8("日本語 名.txt"))};
    const auto menu = DesktopContextMenu(paths);
    const ShellMenu entries = menuOf(*menu);
    QGuiApplication::clipboard()->clear();
    EXPECT_TRUE(menu->InvokeCommand({idOf(entries, QStringLiteral("パスのコピー(&A)")) - 1}));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), paths.join(QLatin1Char('\n')));
}

TEST_F(ShellContextMenuTest, TrashAndPropertiesActOnEveryPath)
{
    QDir().mkpath(files_.filePath(QStringLiteral("folder/inner")));
    const QStringList paths = {file(QStringLiteral("gone.txt")), files_.filePath(QStringLiteral("folder"))};
    const auto menu = DesktopContextMenu(paths);
    const ShellMenu entries = menuOf(*menu);

    // Without a properties window the command is refused.
    const ShowPropertiesHandler before = setShowProperties({});
    const int properties = idOf(entries, QStringLiteral("プロパティ(&R)"));
    EXPECT_FALSE(menu->InvokeCommand({properties - 1}));
    QStringList shown;
    setShowProperties([&](const QStringList& p) { shown = p; });
    EXPECT_TRUE(menu->InvokeCommand({properties - 1}));
    setShowProperties(before);
    EXPECT_EQ(shown, paths);

    EXPECT_TRUE(menu->InvokeCommand({idOf(entries, QStringLiteral("ゴミ箱へ移動(&D)")) - 1}));
    EXPECT_FALSE(QFileInfo::exists(paths[0]));
    EXPECT_FALSE(QFileInfo::exists(paths[1]));
    EXPECT_TRUE(QFileInfo::exists(test::TestDataHome() + QStringLiteral("/Trash/files/folder/inner")));
}

TEST_F(ShellContextMenuTest, TheMenuKeepsToItsIdentifiersAndItsPlace)
{
    const auto menu = DesktopContextMenu({file(QStringLiteral("a.f90"))});
    ShellMenu entries = {{QStringLiteral("before"), 500}, {QStringLiteral("after"), 501}};
    const int used = menu->QueryContextMenu(entries, 1, 7, 9, CMF_EXPLORE);
    EXPECT_EQ(used, 3);
    ASSERT_GE(entries.size(), 5u);
    EXPECT_EQ(entries.front().text, QStringLiteral("before"));
    EXPECT_EQ(entries.back().text, QStringLiteral("after"));
    EXPECT_EQ(entries[1].id, 7);
    // Commands beyond the last identifier are left out, and no separator
    // is left at the end of what was inserted.
    EXPECT_FALSE(entries[entries.size() - 2].text.isEmpty());
    EXPECT_EQ(entries[entries.size() - 2].id, 9);
    EXPECT_FALSE(menu->InvokeCommand({3}));
    EXPECT_FALSE(menu->InvokeCommand({-1}));
    EXPECT_FALSE(DesktopContextMenu({}));
}
