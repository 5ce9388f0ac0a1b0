#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "catalog/Disk.h"
#include "support/CatalogFixtures.h"

using namespace qd;

namespace {

// A disk with the given folders (name, parent) in DirList order, one file each.
TDisk diskOf(std::initializer_list<std::pair<const char*, int>> dirs)
{
    TDisk disk;
    for (auto [name, parent] : dirs) {
        TDir& d = disk.DirList.emplace_back();
        d.Name = name;
        d.Parent = parent;
        d.FileList.push_back(test::sampleFile(std::string(name) + ".txt", 1));
    }
    return disk;
}

// root(0) -> A(1), B(2); A -> C(3), D(4); B -> E(5); C -> F(6); D -> G(7), H(8)
TDisk treeDisk()
{
    return diskOf({{"X:", -1}, {"A", 0}, {"B", 0}, {"C", 1}, {"D", 1}, {"E", 2}, {"F", 3}, {"G", 4}, {"H", 4}});
}

std::map<std::string, std::string> pathsByName(const TDisk& disk)
{
    std::map<std::string, std::string> m;
    for (std::size_t i = 0; i < disk.DirList.size(); ++i)
        m[disk.DirList[i].Name.str()] = GetDirPath(std::int32_t(i), disk);
    return m;
}

} // namespace

TEST(GetDirPath, JoinsNamesFromTheRootWithoutTrailingBackslash)
{
    const TDisk disk = treeDisk();
    EXPECT_EQ(GetDirPath(0, disk), "X:");
    EXPECT_EQ(GetDirPath(6, disk), "X:\\A\\C\\F");
    EXPECT_EQ(GetDirPath(-1, disk), "");
    EXPECT_EQ(GetDirPath(99, disk), "");
}

TEST(GetDirPath, EndsOnADamagedParentChain)
{
    TDisk disk = treeDisk();
    disk.DirList[1].Parent = 3; // A -> C -> A -> ...
    const std::string path = GetDirPath(6, disk);
    EXPECT_FALSE(path.empty());
    disk.DirList[2].Parent = 2; // B is its own parent
    EXPECT_FALSE(GetDirPath(5, disk).empty());
    disk.DirList[5].Parent = 1000; // out of range ends the chain
    EXPECT_EQ(GetDirPath(5, disk), "E");
}

TEST(DeleteDir, RemovesExactlyTheSubtreeAndKeepsEveryOtherPath)
{
    TDisk disk = treeDisk();
    auto before = pathsByName(disk);
    DeleteDir(disk, 1); // A with C, D, F, G, H
    ASSERT_EQ(disk.DirList.size(), 3u);
    auto after = pathsByName(disk);
    for (const char* gone : {"A", "C", "D", "F", "G", "H"})
        EXPECT_EQ(after.count(gone), 0u) << gone;
    for (const char* kept : {"X:", "B", "E"})
        EXPECT_EQ(after[kept], before[kept]) << kept;
    EXPECT_EQ(disk.DirList[2].Parent, 1); // E now points at B's new index
    EXPECT_EQ(disk.DirList[2].FileList[0].Name, "E.txt");
    for (std::size_t i = 1; i < disk.DirList.size(); ++i)
        EXPECT_LT(disk.DirList[i].Parent, std::int32_t(i));
}

TEST(DeleteDir, InnerSubtreeAndLastFolder)
{
    TDisk disk = treeDisk();
    auto before = pathsByName(disk);
    DeleteDir(disk, 4); // D with G, H
    auto after = pathsByName(disk);
    EXPECT_EQ(after.size(), 6u);
    for (auto& [name, path] : after)
        EXPECT_EQ(path, before[name]) << name;

    TDisk last = treeDisk();
    DeleteDir(last, 8);
    ASSERT_EQ(last.DirList.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(last.DirList[i].Parent, treeDisk().DirList[i].Parent);

    TDisk same = treeDisk();
    DeleteDir(same, 42); // outside the list: nothing happens
    EXPECT_EQ(same, treeDisk());
}

TEST(DeleteDir, RenumbersParentsPastSeveralRemovedFolders)
{
    // root(0) -> A(1), B(2); A -> C(3), D(4); B -> E(5); E -> I(6). Deleting A
    // removes three folders before E, so I's parent moves from 5 to 2.
    const TDisk tree = diskOf({{"X:", -1}, {"A", 0}, {"B", 0}, {"C", 1}, {"D", 1}, {"E", 2}, {"I", 5}});
    TDisk disk = tree;
    DeleteDir(disk, 1);
    ASSERT_EQ(disk.DirList.size(), 4u);
    EXPECT_EQ(GetDirPath(3, disk), "X:\\B\\E\\I");
    EXPECT_EQ(disk.DirList[3].FileList[0].Name, "I.txt");

    // Whichever folder goes, its subtree goes with it and every survivor keeps its path.
    const auto before = pathsByName(tree);
    const std::pair<std::int32_t, std::size_t> cases[] = {{1, 4}, {2, 4}, {3, 6}, {4, 6}, {5, 5}, {6, 6}};
    for (auto [gone, left] : cases) {
        disk = tree;
        DeleteDir(disk, gone);
        EXPECT_EQ(disk.DirList.size(), left) << "deleting " << gone;
        for (auto& [name, path] : pathsByName(disk))
            EXPECT_EQ(path, before.at(name)) << "deleting " << gone;
    }
}

TEST(DeleteDirs, RemovesSeveralSubtreesAtOnceAndKeepsEveryOtherPath)
{
    // In any order, one inside another's subtree, one twice, one outside the list.
    const std::pair<std::vector<std::int32_t>, std::vector<std::string>> cases[] = {
        {{4, 2}, {"X:", "A", "C", "F"}},
        {{2, 6, 7}, {"X:", "A", "C", "D", "H"}},
        {{3, 1, 3, 99}, {"X:", "B", "E"}},
        {{}, {"X:", "A", "B", "C", "D", "E", "F", "G", "H"}},
    };
    const auto before = pathsByName(treeDisk());
    for (const auto& [gone, left] : cases) {
        TDisk disk = treeDisk();
        DeleteDirs(disk, gone);
        std::vector<std::string> names;
        for (std::size_t i = 0; i < disk.DirList.size(); ++i) {
            names.push_back(disk.DirList[i].Name.str());
            EXPECT_EQ(GetDirPath(std::int32_t(i), disk), before.at(names.back()));
            EXPECT_EQ(disk.DirList[i].FileList[0].Name, names.back() + ".txt");
        }
        EXPECT_EQ(names, left);
    }
}

TEST(SetData, FillsRecordsFromAListingEntry)
{
    DirEntry e;
    e.name = "SETUP.EXE";
    e.attr = 0x1021; // higher bits are not kept
    e.size = 100;
    // 2001-02-03 04:05:06 and 20:00:01 UTC; at +9 hours 13:05:06 that day and
    // 05:00:00 the next (odd second dropped). 2001-02-03 is day 36925.
    e.creationTime = UnixToFileTime(981173106, 0);
    e.lastWriteTime = UnixToFileTime(981230401, 0);
    e.lastAccessTime = UnixToFileTime(100, 0); // before 1980
    const ScanClock clock{9 * 3600, 45000.25};
    const DateTime created = 36925 + (13 * 3600 + 5 * 60 + 6) / 86400.0;
    const DateTime written = 36926 + 5 / 24.0;

    TFile f;
    SetFileData(e, f, clock);
    EXPECT_EQ(f.Name, "SETUP.EXE");
    EXPECT_EQ(f.Attr, 0x21);
    EXPECT_EQ(f.Size, 100u);
    EXPECT_DOUBLE_EQ(f.CreationTime, created);
    EXPECT_DOUBLE_EQ(f.LastWriteTime, written);
    EXPECT_EQ(f.LastAccessTime, 0.0);
    EXPECT_EQ(f.IconIndex, -1);
    EXPECT_TRUE(f.Comment.empty());

    TDir d;
    e.attr = kAttrDirectory;
    SetDirData(e, 7, d, clock);
    EXPECT_EQ(d.Parent, 7);
    EXPECT_EQ(d.Attr, kAttrDirectory);
    EXPECT_DOUBLE_EQ(d.Date, written);
    EXPECT_EQ(d.ScanDate, 45000.25);
    EXPECT_TRUE(d.FileList.empty());
}
