#include <gtest/gtest.h>

#include <QDate>
#include <QTime>
#include <QLocale>

#include "browse/FolderRows.h"
#include "platform/NameOrder.h"
#include "support/CatalogFixtures.h"
#include "support/QtApp.h"

using namespace qd;

TEST(DateTimeText, ShortDateLongTimeNoTimeAtMidnightEmptyForUnknown)
{
    const QLocale c(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(DateTimeText(0, c), "");
    const QString midnight = DateTimeText(CivilToDateTime({2001, 2, 3, 0, 0, 0}), c);
    EXPECT_EQ(midnight, c.toString(QDate(2001, 2, 3), QLocale::ShortFormat));
    const QString afternoon = DateTimeText(CivilToDateTime({2001, 2, 3, 13, 4, 6}), c);
    EXPECT_TRUE(afternoon.startsWith(midnight + " ")) << afternoon.toStdString();
    EXPECT_TRUE(afternoon.contains("1:04:06")) << afternoon.toStdString();
    EXPECT_FALSE(afternoon.contains("UTC")); // catalog times carry no zone
    // Japanese, and no locale at all, as a Japanese desktop shows dates.
    for (const QLocale& l : {QLocale(QLocale::Japanese, QLocale::Japan), QLocale::c()}) {
        EXPECT_EQ(DateTimeText(CivilToDateTime({2001, 2, 3, 13, 4, 6}), l), "2001/02/03 13:04:06");
        EXPECT_EQ(DateTimeText(CivilToDateTime({2001, 2, 3, 9, 4, 6}), l), "2001/02/03 9:04:06");
        EXPECT_EQ(DateTimeText(CivilToDateTime({2001, 12, 3, 0, 0, 0}), l), "2001/12/03");
    }
}

TEST(FirstLine, StopsAtTheFirstLineBreak)
{
    EXPECT_EQ(FirstLine(""), "");
    EXPECT_EQ(FirstLine("one\r\ntwo"), "one");
    EXPECT_EQ(FirstLine("one\ntwo"), "one");
    EXPECT_EQ(FirstLine("\r\ntwo"), "");
    EXPECT_EQ(FirstLine("\x83\x81\x83\x82"), QString::fromUtf8("メモ"));
}

TEST(ArrangeFolder, SortsTheShownFolderInPlaceAndCountsEveryFile)
{
    qd::test::ensureApp();
    TDisk disk = qd::test::sampleDisk(); // PHOTO holds b.jpg, A.jpg; DOCS; PHOTO\2001
    const NameOrder order;
    const ArrangedFolder root = ArrangeFolder(disk, 0, order);
    EXPECT_EQ(root.totalFileCount, 4);
    ASSERT_EQ(root.rows.size(), 3u); // DOCS, PHOTO, README.TXT
    EXPECT_EQ(root.rows[0].kind, FolderRow::Folder);
    EXPECT_EQ(root.rows[0].index, 2);
    EXPECT_EQ(root.rows[1].index, 1);
    EXPECT_EQ(root.rows[2].kind, FolderRow::File);
    EXPECT_EQ(disk.DirList[1].FileList[0].Name, "b.jpg"); // not shown yet: untouched

    const ArrangedFolder photo = ArrangeFolder(disk, 1, order);
    ASSERT_EQ(photo.rows.size(), 3u);
    EXPECT_EQ(photo.rows[0].index, 3); // the folder 2001
    EXPECT_EQ(disk.DirList[1].FileList[0].Name, "A.jpg");
    EXPECT_EQ(disk.DirList[1].FileList[1].Name, "b.jpg");
    EXPECT_EQ(disk.DirList[1].FileList[0].Size, 3000000u); // records move whole

    EXPECT_TRUE(ArrangeFolder(disk, 99, order).rows.empty());
    EXPECT_EQ(FindFolder(disk, "D:\\PHOTO\\2001"), 3);
    EXPECT_EQ(FindFolder(disk, "D:\\PHOTO\\"), 1);
    EXPECT_EQ(FindFolder(disk, "D:"), 0);
    EXPECT_EQ(FindFolder(disk, "D:\\photo"), -1);
}
