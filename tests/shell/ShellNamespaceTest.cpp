#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

#include "platform/Drives.h"
#include "platform/ShellNamespace.h"
#include "platform/SysImageList.h"
#include "shell/ItemIDList.h"
#include "shell/ShCtrls.h"
#include "support/CountingMalloc.h"
#include "support/QtApp.h"
#include "support/TempSettings.h"

using namespace qd;
using qd::itemidlist::BindToShellFolder;
using qd::itemidlist::PathToItemIDList;

namespace {

test::MappedDrive::Options labelled(const QString& label)
{
    test::MappedDrive::Options options;
    options.label = label;
    return options;
}


class ShellNamespace : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApp<QApplication>();
        drive.write(QStringLiteral("A/B/x.txt"), "x");
        drive.write(QStringLiteral("A/.hidden"), "h");
        drive.mkdir(QStringLiteral("A/C"));
        drive.write(QString::fromUtf8("日本語.txt"), "j");
    }

    test::TempSettings settings;
    test::MappedDrive drive{u'P', labelled(QStringLiteral("DATA"))};
};

ItemIDListPtr parse(const QString& path) { return ItemIDListPtr(PathToItemIDList(path)); }

bool sameList(PCItemIDList a, PCItemIDList b)
{
    const std::uint16_t size = shctrls::ItemIDListSize(a);
    return size == shctrls::ItemIDListSize(b) && std::memcmp(a, b, size) == 0;
}

// The display names of the children a folder lists with the flags.
QStringList childNames(const ShellFolder& folder, std::uint32_t flags)
{
    QStringList names;
    const ItemIDListPtr self(folder.AbsoluteIDList());
    const auto children = folder.EnumObjects(flags);
    if (!children)
        return {QStringLiteral("<cannot list>")};
    while (PItemIDList child = children->Next()) {
        const ItemIDListPtr childList(child);
        const ItemIDListPtr absolute(shctrls::ConcatItemIDLists(self.get(), child));
        names.append(DisplayNameFromIDList(absolute.get()));
    }
    return names;
}

} // namespace

TEST_F(ShellNamespace, ParsesDrivePathsIntoListsThatFindTheFileAgain)
{
    const ItemIDListPtr list = parse(QStringLiteral("p:\\A\\B\\x.txt"));
    ASSERT_TRUE(list);
    EXPECT_EQ(SHGetPathFromIDList(list.get()), QStringLiteral("P:\\A\\B\\x.txt"));
    EXPECT_EQ(RealPathFromIDList(list.get()), drive.path(QStringLiteral("A/B/x.txt")));
    EXPECT_EQ(DisplayNameFromIDList(list.get()), QStringLiteral("x.txt"));

    const ItemIDListPtr root = parse(QStringLiteral("P:\\"));
    ASSERT_TRUE(root);
    EXPECT_EQ(SHGetPathFromIDList(root.get()), QStringLiteral("P:\\"));
    EXPECT_EQ(DisplayNameFromIDList(root.get()), drive.drive().displayName());
    EXPECT_EQ(SysIconIndexFromIDList(root.get(), 0), GetSysIconIndex(QStringLiteral("P:\\")));
}

TEST_F(ShellNamespace, TrailingBackslashDotsAndLocalPathsGiveTheSameList)
{
    const ItemIDListPtr plain = parse(QStringLiteral("P:\\A\\B"));
    ASSERT_TRUE(plain);
    for (const QString& other : {QStringLiteral("P:\\A\\B\\"), QStringLiteral("P:\\A\\.\\C\\..\\B"),
                                 drive.path(QStringLiteral("A/B"))}) {
        const ItemIDListPtr list = parse(other);
        ASSERT_TRUE(list) << other.toStdString();
        EXPECT_TRUE(sameList(plain.get(), list.get())) << other.toStdString();
    }
}

TEST_F(ShellNamespace, NamesOutsideCodePage932SurviveInTheItems)
{
    const QString name = QString::fromUtf8("日本語.txt");
    const ItemIDListPtr list = parse(QStringLiteral("P:\\") + name);
    ASSERT_TRUE(list);
    EXPECT_EQ(DisplayNameFromIDList(list.get()), name);
    EXPECT_EQ(RealPathFromIDList(list.get()), drive.path(name));
}

TEST_F(ShellNamespace, PathsThatDoNotExistDoNotParse)
{
    QTemporaryDir gone;
    const QString missingFolder = gone.path() + QStringLiteral("/none");
    test::MappedDrive empty(u'Q', missingFolder);
    EXPECT_FALSE(parse(QStringLiteral("P:\\A\\nothing.txt")));
    EXPECT_FALSE(parse(QStringLiteral("Q:\\")));            // a drive with no medium
    EXPECT_FALSE(parse(QStringLiteral("Q:\\A")));
    EXPECT_FALSE(parse(QStringLiteral("\\\\server\\share"))); // no drive letter
    EXPECT_FALSE(parse(QStringLiteral("A\\B")));
    EXPECT_FALSE(parse(QString()));
    EXPECT_TRUE(DriveTable::instance().find(u'Q'));
}

TEST_F(ShellNamespace, ADriveFollowsItsMediumAfterTheTableWasBuilt)
{
    // The table sees no medium at first; the folder turns up afterwards, as
    // a disc put in the drive after the program started.
    QTemporaryDir shelf;
    const QString later = shelf.path() + QStringLiteral("/disc");
    test::MappedDrive drive(u'F', later);
    ASSERT_FALSE(drive.drive().present());
    EXPECT_FALSE(parse(QStringLiteral("F:\\x.txt")));

    ASSERT_TRUE(QDir().mkpath(later));
    QFile(later + QStringLiteral("/x.txt")).open(QIODevice::WriteOnly);
    const ItemIDListPtr list = parse(QStringLiteral("F:\\x.txt"));
    ASSERT_TRUE(list);
    EXPECT_EQ(RealPathFromIDList(list.get()), later + QStringLiteral("/x.txt"));
    EXPECT_EQ(DriveOfLocalPath(later + QStringLiteral("/x.txt")), QChar(u'F'));
    EXPECT_TRUE(ItemIDListPtr(parse(later + QStringLiteral("/x.txt"))));

    // Taken out again: the list made meanwhile finds nothing.
    ASSERT_TRUE(QDir(later).removeRecursively());
    EXPECT_TRUE(RealPathFromIDList(list.get()).isEmpty());
    EXPECT_FALSE(parse(QStringLiteral("F:\\x.txt")));
}

TEST_F(ShellNamespace, ComputerFolderListsEveryDriveOfTheTableInItsOrder)
{
    QTemporaryDir gone;
    test::MappedDrive empty(u'Q', gone.path() + QStringLiteral("/none"));
    const ItemIDListPtr computerList(SHGetSpecialFolderLocation(CSIDL_DRIVES));
    std::shared_ptr<ShellFolder> computer;
    BindToShellFolder(computerList.get(), computer);
    ASSERT_TRUE(computer);

    QStringList expected;
    for (const qd::Drive& d : DriveTable::instance().drives())
        expected.append(QString(d.letter) + QStringLiteral(":\\"));

    QStringList paths;
    const auto children = computer->EnumObjects(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN);
    ASSERT_TRUE(children);
    while (PItemIDList child = children->Next()) {
        const ItemIDListPtr childList(child);
        // Drives with and without a medium alike are file-system folders.
        EXPECT_EQ(computer->GetAttributesOf(child, SFGAO_FOLDER | SFGAO_FILESYSTEM), SFGAO_FOLDER | SFGAO_FILESYSTEM);
        EXPECT_EQ(computer->GetAttributesOf(child, SFGAO_FILESYSTEM), SFGAO_FILESYSTEM);
        const ItemIDListPtr absolute(shctrls::ConcatItemIDLists(computerList.get(), child));
        paths.append(SHGetPathFromIDList(absolute.get()));
    }
    EXPECT_EQ(paths, expected);
    EXPECT_TRUE(paths.contains(QStringLiteral("P:\\")));
    EXPECT_TRUE(paths.contains(QStringLiteral("Q:\\")));
    EXPECT_TRUE(childNames(*computer, SHCONTF_NONFOLDERS).isEmpty());
}

TEST_F(ShellNamespace, FoldersListTheirChildrenByTheFlags)
{
    const ItemIDListPtr list = parse(QStringLiteral("P:\\A"));
    std::shared_ptr<ShellFolder> folder;
    BindToShellFolder(list.get(), folder);
    ASSERT_TRUE(folder);
    EXPECT_EQ(childNames(*folder, SHCONTF_FOLDERS), (QStringList{QStringLiteral("B"), QStringLiteral("C")}));
    EXPECT_TRUE(childNames(*folder, SHCONTF_NONFOLDERS).isEmpty());
    EXPECT_EQ(childNames(*folder, SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN), QStringList{QStringLiteral(".hidden")});

    const ItemIDListPtr child(folder->ParseDisplayName(QStringLiteral("B\\x.txt")));
    ASSERT_TRUE(child);
    EXPECT_EQ(folder->GetAttributesOf(child.get(), SFGAO_FOLDER | SFGAO_FILESYSTEM), SFGAO_FILESYSTEM);
    const ItemIDListPtr b(folder->ParseDisplayName(QStringLiteral("B")));
    ASSERT_TRUE(b);
    EXPECT_EQ(folder->GetAttributesOf(b.get(), SFGAO_FOLDER | SFGAO_FILESYSTEM), SFGAO_FOLDER | SFGAO_FILESYSTEM);
    // A name that climbs out of the folder is not relative to it.
    drive.mkdir(QStringLiteral("Other"));
    EXPECT_FALSE(ItemIDListPtr(folder->ParseDisplayName(QStringLiteral("..\\Other"))));
    EXPECT_TRUE(ItemIDListPtr(SHGetDesktopFolder()->ParseDisplayName(QStringLiteral("P:\\A\\..\\Other"))));
}

TEST_F(ShellNamespace, BindingFailsForFilesMissingMediaAndMalformedLists)
{
    std::shared_ptr<ShellFolder> folder = SHGetDesktopFolder();
    const ItemIDListPtr file = parse(QStringLiteral("P:\\A\\B\\x.txt"));
    BindToShellFolder(file.get(), folder);
    EXPECT_FALSE(folder);

    const ItemIDListPtr root = parse(QStringLiteral("P:\\"));
    QTemporaryDir moved;
    QDir().rename(drive.root(), moved.path() + QStringLiteral("/away"));
    BindToShellFolder(root.get(), folder);
    EXPECT_FALSE(folder);
    EXPECT_EQ(SHGetPathFromIDList(root.get()), QStringLiteral("P:\\")); // the drive path stays
    EXPECT_TRUE(RealPathFromIDList(root.get()).isEmpty() || !QDir(RealPathFromIDList(root.get())).exists());
    QDir().rename(moved.path() + QStringLiteral("/away"), drive.root());

    // An item of an unknown kind, then the terminator.
    const std::uint8_t junk[] = {4, 0, 'Z', 'Z', 0, 0};
    BindToShellFolder(reinterpret_cast<PCItemIDList>(junk), folder);
    EXPECT_FALSE(folder);
    EXPECT_TRUE(SHGetPathFromIDList(reinterpret_cast<PCItemIDList>(junk)).isEmpty());
    BindToShellFolder(nullptr, folder);
    EXPECT_FALSE(folder);
}

TEST_F(ShellNamespace, EveryListComesFromTheShellAllocator)
{
    test::CountingMalloc heap;
    {
        const ItemIDListPtr list = parse(QStringLiteral("P:\\A\\B"));
        ASSERT_TRUE(list);
        EXPECT_EQ(heap.live(), 1u);
        const ItemIDListPtr computer(SHGetSpecialFolderLocation(CSIDL_DRIVES));
        EXPECT_EQ(heap.live(), 2u);
    }
    EXPECT_EQ(heap.live(), 0u);
    EXPECT_EQ(heap.foreignFrees, 0);
    heap.refuse = true;
    EXPECT_FALSE(parse(QStringLiteral("P:\\A")));
}

TEST_F(ShellNamespace, LocalPathsBelongToTheDriveWithTheLongestRootThatHoldsThem)
{
    const QString inner = drive.mkdir(QStringLiteral("inner"));
    test::MappedDrive nested(u'R', inner);
    test::MappedDrive sibling(u'S', drive.mkdir(QStringLiteral("in")));
    EXPECT_EQ(DriveOfLocalPath(drive.path(QStringLiteral("A/B"))), QChar(u'P'));
    EXPECT_EQ(DriveOfLocalPath(inner + QStringLiteral("/x")), QChar(u'R'));
    EXPECT_EQ(DriveOfLocalPath(inner), QChar(u'R'));
    // "in" is a prefix of "inner" by characters, not by components.
    EXPECT_EQ(DriveOfLocalPath(drive.path(QStringLiteral("inner2"))), QChar(u'P'));
    EXPECT_EQ(DriveOfLocalPath(QStringLiteral("relative/path")), QChar());

    test::MappedDrive noMedium(u'C', drive.path(QStringLiteral("missing")));
    for (const qd::Drive& d : DriveTable::instance().drives()) {
        if (d.present() && !d.mapped())
            GTEST_SKIP() << "this machine has mounted drives besides the root file system";
    }
    // With C: elsewhere, only the mapped folders are drives.
    QTemporaryDir outside;
    EXPECT_EQ(DriveOfLocalPath(outside.path()), QChar());
}

TEST_F(ShellNamespace, SplitAndJoinGiveTheParentFolderAndTheLastItem)
{
    test::CountingMalloc heap;
    const ItemIDListPtr list = parse(QStringLiteral("P:\\A\\B\\x.txt"));
    ASSERT_TRUE(list);
    std::vector<PItemIDList> items;
    ASSERT_TRUE(itemidlist::SplitItemIDList(list.get(), &items));
    ASSERT_EQ(items.size(), 5u); // computer, drive, A, B, x.txt

    const ItemIDListPtr parent(itemidlist::JoinItemIDs({items.begin(), items.end() - 1}));
    const ItemIDListPtr last(itemidlist::JoinItemIDs({items.back()}));
    ASSERT_TRUE(parent && last);
    EXPECT_EQ(SHGetPathFromIDList(parent.get()), QStringLiteral("P:\\A\\B"));

    std::shared_ptr<ShellFolder> folder;
    BindToShellFolder(parent.get(), folder);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->GetAttributesOf(last.get(), SFGAO_FOLDER | SFGAO_FILESYSTEM), SFGAO_FILESYSTEM);
    const ItemIDListPtr again(shctrls::ConcatItemIDLists(parent.get(), last.get()));
    EXPECT_TRUE(sameList(again.get(), list.get()));
}
