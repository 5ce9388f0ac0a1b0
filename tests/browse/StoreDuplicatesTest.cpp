#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <unordered_map>

#include "browse/StoreDuplicates.h"
#include "browse/StoreSearch.h"
#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"

using namespace qd;
using namespace qd::test;

namespace {

class Failures final : public StoreSearchSink {
public:
    void found(const QByteArray&, const QString&, const CatalogHits&) override {}
    void failed(const QByteArray& file, const QString&) override { failed_.push_back(file); }
    std::vector<QByteArray> failed_;
};

} // namespace

// Many random names and sizes on a few disks, against a count of every
// (name, size) pair: exactly the pairs on two disks or more come out, each
// with all its places, the largest first.
TEST(FindDuplicates, FindsExactlyThePairsOnTwoDisksAmongMany)
{
    TempDir dir;
    std::mt19937 random(7);
    std::map<std::pair<std::uint32_t, std::string>, std::vector<std::string>> truth; // -> disk titles
    for (int d = 0; d < 3; ++d) {
        TDisk disk;
        disk.DirList.emplace_back().Name = "D:";
        disk.DirList[0].Parent = -1;
        for (int i = 0; i < 40000; ++i) {
            // Few names and sizes, so that many pairs meet by chance, and
            // sizes that share names and names that share sizes abound.
            const std::string name = "f" + std::to_string(random() % 30000);
            const std::uint32_t size = std::uint32_t(random() % 8);
            disk.DirList[0].FileList.push_back(sampleFile(name, size));
            if (size > 0)
                truth[{size, name}].push_back("d" + std::to_string(d));
        }
        SaveDiskData(dir / ("d" + std::to_string(d)), disk);
    }
    Failures failures;
    Duplicates found;
    ASSERT_TRUE(FindDuplicates(QByteArray::fromStdString(dir.path().string()), 1, failures, found));
    EXPECT_TRUE(failures.failed_.empty());

    std::size_t expected = 0;
    for (const auto& [key, disks] : truth)
        expected += std::any_of(disks.begin(), disks.end(), [&](const std::string& t) { return t != disks.front(); });
    ASSERT_EQ(found.groups.size(), expected);
    ASSERT_GT(expected, 1000u);
    for (std::size_t g = 0; g < found.groups.size(); ++g) {
        const Duplicates::Group& group = found.groups[g];
        if (g > 0) {
            ASSERT_GE(found.groups[g - 1].size, group.size);
        }
        std::vector<std::string> titles;
        for (const Duplicates::Place& p : found.placesOf(group))
            titles.push_back(found.catalogs[p.catalog].title.toStdString());
        const std::string name(found.nameOf(group));
        ASSERT_EQ(titles, (truth[{group.size, name}])) << name << " " << group.size;
    }
}

// Names of every length around the words the hash reads, on two disks where
// other bytes follow them (comments, times): each is found on both, and the
// names beside them on one disk, another in the last byte or one byte
// longer, in no group.
TEST(FindDuplicates, NamesOfEveryLengthAreFoundWhateverFollowsThem)
{
    TempDir dir;
    for (int d = 0; d < 2; ++d) {
        TDisk disk;
        disk.DirList.emplace_back().Name = "D:";
        disk.DirList[0].Parent = -1;
        for (std::size_t n = 1; n <= 40; ++n) {
            const std::string name(n, char('a' + n % 26));
            TFile& f = disk.DirList[0].FileList.emplace_back(sampleFile(name, 7));
            f.Comment = std::string(std::size_t(d * 3), 'c');
            f.LastWriteTime = 1000.0 * d + double(n);
            // On one disk only: the name with another last byte, and one byte longer.
            if (d == 0) {
                disk.DirList[0].FileList.push_back(sampleFile(name.substr(0, n - 1) + "#", 7));
                disk.DirList[0].FileList.push_back(sampleFile(name + name.back(), 8));
            }
        }
        SaveDiskData(dir / ("d" + std::to_string(d)), disk);
    }
    Failures failures;
    Duplicates found;
    ASSERT_TRUE(FindDuplicates(QByteArray::fromStdString(dir.path().string()), 1, failures, found));
    std::vector<std::string> names;
    for (const Duplicates::Group& g : found.groups) {
        names.emplace_back(found.nameOf(g));
        EXPECT_EQ(g.count, 2u) << names.back();
    }
    std::vector<std::string> expected;
    for (std::size_t n = 1; n <= 40; ++n)
        expected.push_back(std::string(n, char('a' + n % 26)));
    EXPECT_EQ(names, expected);
}

// A catalog that is damaged after some of its files gives none of them,
// though they were hashed on the first pass, and is reported once; more
// catalogs than are worked on at once, so that its place is used again.
TEST(FindDuplicates, ADamagedCatalogGivesNoneOfTheFilesBeforeTheDamage)
{
    TempDir dir;
    const auto save = [&](const std::string& title, std::vector<TFile> files) {
        TDisk disk;
        disk.DirList.emplace_back().Name = "D:";
        disk.DirList[0].Parent = -1;
        disk.DirList[0].FileList.assign(files.begin(), files.end());
        const std::string image = BuildDiskData(disk);
        writeFile(dir / (title + ".qd"), title == "d03" ? image.substr(0, image.size() - 10) : image);
    };
    for (int d = 0; d < 12; ++d) {
        std::vector<TFile> files = {sampleFile("every.jpg", 5)};
        if (d == 3 || d == 11) // with the damaged d03 its only other place
            files.push_back(sampleFile("two.jpg", 7));
        if (d == 3)
            files.push_back(sampleFile("the damaged tail.txt", 9));
        save((d < 10 ? "d0" : "d") + std::to_string(d), files);
    }
    Failures failures;
    Duplicates found;
    ASSERT_TRUE(FindDuplicates(QByteArray::fromStdString(dir.path().string()), 1, failures, found));
    EXPECT_EQ(failures.failed_, (std::vector<QByteArray>{QByteArray::fromStdString((dir / "d03.qd").string())}));
    ASSERT_EQ(found.groups.size(), 1u);
    std::vector<std::string> titles;
    for (const Duplicates::Place& p : found.placesOf(found.groups[0]))
        titles.push_back(found.catalogs[p.catalog].title.toStdString());
    EXPECT_EQ(titles, (std::vector<std::string>{"d00", "d01", "d02", "d04", "d05", "d06", "d07", "d08", "d09", "d10",
                                                "d11"}));
}

// Two pairs of names that share a hash, each name of one size: the files of
// one hash are split by name. Of the second pair, one name is twice on one
// disk only, which is no group, the other on two disks.
TEST(FindDuplicates, NamesThatShareAHashAreToldApart)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    std::unordered_map<std::uint32_t, std::string> seen;
    for (int i = 0; pairs.size() < 2; ++i) {
        const std::string name = "IMG_" + std::to_string(i) + ".JPG";
        const auto [at, isNew] = seen.emplace(DuplicateKey(name, 100), name);
        if (!isNew)
            pairs.emplace_back(at->second, name);
    }
    const auto& [a, b] = pairs[0];
    const auto& [c, d] = pairs[1];
    TempDir dir;
    const std::vector<std::vector<std::string>> disks = {{a, b, c, c}, {a, d}, {b, d}};
    for (std::size_t n = 0; n < disks.size(); ++n) {
        TDisk disk;
        disk.DirList.emplace_back().Name = "D:";
        disk.DirList[0].Parent = -1;
        for (const std::string& name : disks[n])
            disk.DirList[0].FileList.push_back(sampleFile(name, 100));
        SaveDiskData(dir / ("d" + std::to_string(n)), disk);
    }
    Failures failures;
    Duplicates found;
    ASSERT_TRUE(FindDuplicates(QByteArray::fromStdString(dir.path().string()), 1, failures, found));
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    for (const Duplicates::Group& g : found.groups) {
        auto& [name, titles] = groups.emplace_back(found.nameOf(g), std::vector<std::string>());
        for (const Duplicates::Place& p : found.placesOf(g))
            titles.push_back(found.catalogs[p.catalog].title.toStdString());
    }
    using Group = std::pair<std::string, std::vector<std::string>>;
    EXPECT_EQ(groups, (std::vector<Group>{{a, {"d0", "d1"}}, {b, {"d0", "d2"}}, {d, {"d1", "d2"}}}));
}
