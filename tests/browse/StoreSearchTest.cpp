#include <gtest/gtest.h>

#include "browse/StoreSearch.h"
#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"

using namespace qd;
using namespace qd::test;

namespace {

// What the sink heard, in order: "found TITLE HITS", "failed FILE".
class Heard final : public StoreSearchSink {
public:
    void found(const QByteArray&, const QString& title, const CatalogHits& hits) override
    {
        events.push_back("found " + title.toStdString() + " " + std::to_string(hits.hits.size()));
    }
    void failed(const QByteArray& file, const QString&) override
    {
        events.push_back("failed " + file.mid(file.lastIndexOf('/') + 1).toStdString());
    }
    std::vector<std::string> events;
};

} // namespace

// Catalogs are read ahead of their turn, yet the sink hears each in the
// tree's order, whatever it gave: more catalogs than are read ahead, good
// ones between damaged ones, one of another data type, and one without the
// magic (no disk, so nothing is said of it), in a folder and below it.
TEST(SearchStore, TellsEachCatalogInTheTreesOrderWhateverItGave)
{
    TempDir dir;
    TDisk disk;
    disk.DirList.push_back({});
    disk.DirList[0].Name = "D:";
    disk.DirList[0].Parent = -1;
    disk.DirList[0].FileList = {sampleFile("hit.txt", 1), sampleFile("miss.txt", 2)};
    const std::string good = BuildDiskData(disk);
    // The data type follows the magic and the two icons, each after its 16-bit length.
    const auto length16 = [&](std::size_t at) {
        return std::size_t((unsigned char)good[at] | (unsigned char)good[at + 1] << 8);
    };
    const std::size_t mask = kCatalogMagic.size() + 2 + length16(kCatalogMagic.size());
    std::string otherType = good;
    otherType[mask + 2 + length16(mask)] = '\x02';
    const struct {
        const char* name;
        std::string image;
    } files[] = {
        {"a1.qd", good},
        {"a2.qd", good.substr(0, good.size() - 3)},
        {"a3.qd", "not a catalog"},
        {"a4.qd", otherType},
        {"b/b1.qd", good},
        {"b/b2.qd", good.substr(0, 40)},
        {"c1.qd", good},
        {"c2.qd", good},
        {"c3.qd", good.substr(0, good.size() - 1)},
        {"c4.qd", good},
    };
    std::filesystem::create_directories(dir / "b");
    for (const auto& f : files)
        writeFile(dir / f.name, f.image);
    Heard heard;
    CatalogSearch scratch;
    ASSERT_TRUE(SearchStore(QByteArray::fromStdString(dir.path().string()), "hit", heard, scratch));
    EXPECT_EQ(heard.events, (std::vector<std::string>{"found a1 1", "failed a2.qd", "failed a4.qd", "found b1 1",
                                                      "failed b2.qd", "found c1 1", "found c2 1", "failed c3.qd",
                                                      "found c4 1"}));
}
