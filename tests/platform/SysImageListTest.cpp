#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/ImageList.h"
#include "platform/SysImageList.h"
#include "support/IconFixtures.h"
#include "support/QtApp.h"

using namespace qd;
using namespace qd::test;

namespace {


class SysImageList : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureApp(); }

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = writeFileIn(dir, name, bytes);
        EXPECT_FALSE(path.isEmpty()) << name.toStdString();
        return path;
    }

    QTemporaryDir dir;
};

QByteArray peWith(QRgb colour)
{
    using test::IconStore;
    return test::makePe({{{test::squareIcon(colour), IconStore::Dib32}, {test::squareIcon(colour, 32), IconStore::Png}}});
}

} // namespace

TEST_F(SysImageList, BothSizesHoldTheSameIndexes)
{
    ImageList* small = GetSysImageList(false);
    ImageList* large = GetSysImageList(true);
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(small->imageSize(), 16);
    EXPECT_EQ(large->imageSize(), 32);
    GetSysIconIndexForName(QStringLiteral("a.txt"));
    GetSysIconIndex(write(QStringLiteral("own.ico"), test::makeIco({{test::squareIcon(kRed), test::IconStore::Dib32}})));
    EXPECT_EQ(small->count(), large->count());
}

TEST_F(SysImageList, TheOpenFolderFollowsTheClosedOne)
{
    const int folder = FolderIconIndex();
    ImageList* small = GetSysImageList(false);
    ASSERT_LT(folder + 1, small->count());
    EXPECT_EQ(GetSysIconIndex(dir.path()), folder);
    EXPECT_NE(small->image(folder), small->image(folder + 1));
    EXPECT_NE(GetSysIconIndexForName(QStringLiteral("a.txt")), folder + 1);
}

TEST_F(SysImageList, FileTypesGetStableDistinctIndexes)
{
    const int text = GetSysIconIndexForName(QStringLiteral("a.txt"));
    const int image = GetSysIconIndexForName(QStringLiteral("photo.PNG"));
    const int archive = GetSysIconIndexForName(QStringLiteral("data.zip"));
    ImageList* small = GetSysImageList(false);
    ASSERT_GE(text, 0);
    ASSERT_LT(archive, small->count());
    EXPECT_NE(text, image);
    EXPECT_NE(text, archive);
    EXPECT_NE(image, archive);
    EXPECT_NE(text, FolderIconIndex());
    const QImage before = small->image(text);

    EXPECT_EQ(GetSysIconIndexForName(QStringLiteral("README.TXT")), text);
    EXPECT_EQ(GetSysIconIndexForName(QStringLiteral("b.png")), image);
    // A real file of a type goes by its name, the same as a catalogued one.
    EXPECT_EQ(GetSysIconIndex(write(QStringLiteral("note.txt"), "hello")), text);
    for (const char* name : {"x.mp3", "x.pdf", "x.html", "x.c", "x.iso", "x.unknownext"})
        GetSysIconIndexForName(QLatin1String(name));
    EXPECT_EQ(GetSysIconIndexForName(QStringLiteral("c.txt")), text);
    EXPECT_EQ(small->image(text), before);
}

TEST_F(SysImageList, OnlyTheExtensionCounts)
{
    EXPECT_EQ(GetSysIconIndexForName(QStringLiteral("CMakeLists.txt")), GetSysIconIndexForName(QStringLiteral("a.TXT")));
    EXPECT_EQ(GetSysIconIndexForName(QStringLiteral("backup.tar.gz")), GetSysIconIndexForName(QStringLiteral("x.gz")));
    EXPECT_EQ(GetSysIconIndexForName(QStringLiteral("Makefile")), GetSysIconIndexForName(QStringLiteral("README")));
    EXPECT_EQ(GetSysIconIndexForName(QStringLiteral("readme.exe.txt")), GetSysIconIndexForName(QStringLiteral("a.txt")));
    EXPECT_NE(GetSysIconIndexForName(QStringLiteral("photo.jpg")), GetSysIconIndexForName(QStringLiteral("photo")));
}

TEST_F(SysImageList, CatalogFilesAreQdsOwnType)
{
    EXPECT_EQ(MimeTypeForName(QStringLiteral("Disk 1.qd")), QStringLiteral("application/x-qd-catalog"));
    EXPECT_EQ(MimeTypeForName(QStringLiteral("BACKUP.QD")), QStringLiteral("application/x-qd-catalog"));
    EXPECT_EQ(MimeTypeForName(QStringLiteral("a.txt")), QStringLiteral("text/plain"));
    EXPECT_NE(GetSysIconIndexForName(QStringLiteral("a.qd")), GetSysIconIndexForName(QStringLiteral("a.img")));
}

TEST_F(SysImageList, ProgramAndIconFilesShowTheirOwnIcon)
{
    const int typeIcon = GetSysIconIndexForName(QStringLiteral("other.exe"));
    const int red = GetSysIconIndex(write(QStringLiteral("RED.EXE"), peWith(kRed)));
    const int blue = GetSysIconIndex(write(QStringLiteral("blue.exe"), peWith(kBlue)));
    ASSERT_GE(red, 0);
    EXPECT_NE(red, typeIcon);
    EXPECT_NE(red, blue);
    EXPECT_EQ(GetSysImageList(false)->image(red).pixel(8, 8), kRed);
    EXPECT_EQ(GetSysImageList(true)->image(red).pixel(16, 16), kRed);
    EXPECT_EQ(GetSysImageList(false)->image(blue).pixel(8, 8), kBlue);
    // Equal icons share an index; a program without icons shows its type.
    EXPECT_EQ(GetSysIconIndex(write(QStringLiteral("copy.exe"), peWith(kRed))), red);
    EXPECT_EQ(GetSysIconIndex(write(QStringLiteral("bare.exe"), test::makePe({}))), typeIcon);
    EXPECT_EQ(GetSysIconIndex(write(QStringLiteral("broken.exe"), "MZ garbage")), typeIcon);

    using test::IconStore;
    const QByteArray sameAsBlue = test::makeIco({{test::squareIcon(kBlue), IconStore::Dib32}, {test::squareIcon(kBlue, 32), IconStore::Png}});
    EXPECT_EQ(GetSysIconIndex(write(QStringLiteral("Disk.Ico"), sameAsBlue)), blue);
    const int ico = GetSysIconIndex(write(QStringLiteral("only16.ico"), test::makeIco({{test::squareIcon(kRed), IconStore::Dib4}})));
    EXPECT_NE(ico, red);
    EXPECT_EQ(GetSysImageList(true)->image(ico).pixel(16, 16), kRed);
    // A file named .ico that is no icon shows the icon file type.
    EXPECT_EQ(GetSysIconIndex(write(QStringLiteral("fake.ico"), "text")), GetSysIconIndexForName(QStringLiteral("x.ico")));
}

TEST_F(SysImageList, DriveRootsHaveADriveIcon)
{
    const int c = GetSysIconIndex(QStringLiteral("C:\\"));
    ASSERT_GE(c, 0);
    EXPECT_LT(c, GetSysImageList(false)->count());
    EXPECT_EQ(GetSysIconIndex(QStringLiteral("c:")), c);
    EXPECT_NE(c, FolderIconIndex());
}

TEST_F(SysImageList, CopyingAnEntryFillsWhiteAndKeepsTheMask)
{
    ImageList src(16), dst(16);
    QImage icon = test::squareIcon(kRed);
    icon.setPixel(4, 4, qRgba(0, 0, 255, 200));
    src.addIcon(icon);
    dst.addIcon(test::squareIcon(kBlue));
    int changes = 0;
    QObject::connect(&dst, &ImageList::changed, [&] { ++changes; });

    EXPECT_EQ(AddImageFromList(dst, src, 0), 1);
    EXPECT_EQ(changes, 1);
    const QImage colour = dst.image(1), mask = dst.mask(1);
    EXPECT_EQ(colour.pixel(8, 8), kRed);
    EXPECT_EQ(mask.pixel(8, 8) | 0xff000000, kBlack);
    EXPECT_EQ(mask.pixel(0, 0) | 0xff000000, kWhite);
    // A soft edge is blended onto the white ground and counts as opaque.
    const QRgb blended = colour.pixel(4, 4);
    EXPECT_EQ(qBlue(blended), 255);
    EXPECT_GT(qRed(blended), 40);
    EXPECT_LT(qRed(blended), 70);
    EXPECT_EQ(mask.pixel(4, 4) | 0xff000000, kBlack);

    EXPECT_EQ(AddImageFromList(dst, src, 1), -1);
    EXPECT_EQ(AddImageFromList(dst, src, -1), -1);
    EXPECT_EQ(dst.count(), 2);

    // Into a list of another size the copy is scaled.
    ImageList large(32);
    ASSERT_EQ(AddImageFromList(large, src, 0), 0);
    EXPECT_EQ(large.image(0).pixel(16, 16), kRed);
    EXPECT_EQ(large.mask(0).pixel(1, 1) | 0xff000000, kWhite);
}

TEST_F(SysImageList, TheSystemIconSourceIsFixed)
{
    ImageList a, b;
    const int n = AddSystemIcons(a);
    EXPECT_GT(n, 20);
    EXPECT_EQ(a.count(), n);
    EXPECT_EQ(AddSystemIcons(b), n);
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(a.image(i), b.image(i)) << i;
    const QString system = GetSystemDir();
    ASSERT_FALSE(system.isEmpty());
    EXPECT_TRUE(QFileInfo(QDir(system).filePath(QStringLiteral("index.theme"))).isFile());
}
