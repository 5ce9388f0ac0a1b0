#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "shell/FileProperties.h"
#include "support/QtApp.h"

using namespace qd;

namespace {

class FilePropertiesTest : public ::testing::Test {
protected:
    FilePropertiesTest()
    {
        test::ensureApp<QApplication>();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    ~FilePropertiesTest() override { QLocale::setDefault(QLocale::system()); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(FilePropertiesTest, ShowsEachItemsSizeTimesAndPermissions)
{
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1204, 'x'));
    }
    const QDateTime written(QDate(2001, 2, 3), QTime(4, 5, 6));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(written, QFileDevice::FileModificationTime));
    }
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QString folder = dir.filePath(QStringLiteral("sub"));
    ASSERT_TRUE(QDir().mkdir(folder));

    TFileProperties window({file, folder});
    EXPECT_EQ(window.windowTitle(), QStringLiteral("a.txt, ... のプロパティ"));
    ASSERT_EQ(window.ListView1->topLevelItemCount(), 2);
    const QTreeWidgetItem* a = window.ListView1->topLevelItem(0);
    EXPECT_EQ(a->text(TFileProperties::Name), QStringLiteral("a.txt"));
    EXPECT_EQ(a->text(TFileProperties::Location), dir.path());
    EXPECT_EQ(a->text(TFileProperties::Size), QStringLiteral("1.17 KB (1,204 バイト)"));
    EXPECT_FALSE(a->text(TFileProperties::Modified).isEmpty());
    EXPECT_FALSE(a->text(TFileProperties::Accessed).isEmpty());
    EXPECT_EQ(a->text(TFileProperties::Permissions), QStringLiteral("-rw-r-----"));
    EXPECT_FALSE(a->text(TFileProperties::Type).isEmpty());

    const QTreeWidgetItem* sub = window.ListView1->topLevelItem(1);
    EXPECT_EQ(sub->text(TFileProperties::Name), QStringLiteral("sub"));
    EXPECT_TRUE(sub->text(TFileProperties::Size).isEmpty()); // a folder's size is not added up
    EXPECT_TRUE(sub->text(TFileProperties::Permissions).startsWith(u'd'));

    // Dates read as the contents list gives them, seconds included.
    for (const QLocale& locale : {QLocale(QLocale::Japanese, QLocale::Japan), QLocale::c()}) {
        QLocale::setDefault(locale);
        const TFileProperties shown({file});
        EXPECT_EQ(shown.ListView1->topLevelItem(0)->text(TFileProperties::Modified), QStringLiteral("2001/02/03 4:05:06"))
            << locale.name().toStdString();
    }
}

TEST_F(FilePropertiesTest, TheWindowStandsAloneAndGoesWhenClosed)
{
    QPointer<TFileProperties> window = TFileProperties::Show({dir.path()});
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->parentWidget(), nullptr);
    EXPECT_FALSE(window->isModal());
    window->B_Close->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window);
}
