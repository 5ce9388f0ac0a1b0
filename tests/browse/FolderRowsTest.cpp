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

// FindFolder follows the path through the parent links; it must agree with
// GetDirPath byte for byte, also where a name holds the byte of a backslash
// (the trail byte of 表) or a real one, and where one name is a prefix of another.
TEST(FindFolder, AgreesWithGetDirPathForEveryFolder)
{
    TDisk disk;
    auto dir = [&](std::string_view name, std::int32_t parent) {
        TDir& d = disk.DirList.emplace_back();
        d.Name = name;
        d.Parent = parent;
    };
    dir("D:", -1);            // 0
    dir("A", 0);              // 1
    dir("AB", 0);             // 2
    dir("\x95\x5c", 0);       // 3: 表
    dir("B", 1);              // 4: D:\A\B
    dir("A\\B", 0);           // 5: D:\A\B as well; the first one found wins
    dir("x", 3);              // 6: D:\表\x
    dir("C", 4);              // 7
    for (std::size_t i = 0; i < disk.DirList.size(); ++i) {
        const std::string path = GetDirPath(std::int32_t(i), disk);
        const std::int32_t found = FindFolder(disk, path);
        ASSERT_GE(found, 0) << path;
        EXPECT_EQ(GetDirPath(found, disk), path);
        EXPECT_LE(found, std::int32_t(i)) << "the first folder of that path";
    }
    EXPECT_EQ(FindFolder(disk, "D:\\A\\B"), 4);
    EXPECT_EQ(FindFolder(disk, "D:\\A\\B\\C\\"), 7);
    EXPECT_EQ(FindFolder(disk, "D:\\\x95\x5c\\x"), 6);
    EXPECT_EQ(FindFolder(disk, "D:\\\x95\x5c\\"), 3) << "only a backslash of its own is a separator";
    EXPECT_EQ(FindFolder(disk, "D:\\"), 0);
    for (const char* missing : {"D:\\ABC", "D:\\A\\BC", "D:\\A\\B\\C\\D", "E:", "D:\\\x95", "D:A"})
        EXPECT_EQ(FindFolder(disk, missing), -1) << missing;
}
