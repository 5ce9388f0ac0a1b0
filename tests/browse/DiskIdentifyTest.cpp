#include "browse/DiskIdentify.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CatalogFixtures.h"
#include "support/QtApp.h"
#include "support/TempSettings.h"

using namespace qd;
using namespace qd::test;

namespace {

class DiskIdentifyTest : public ::testing::Test {
protected:
    DiskIdentifyTest() { ensureApp(); }

    // A catalog of the sample disk with the given serial number.
    std::filesystem::path disk(const char* title, std::uint32_t serial)
    {
        TDisk d = sampleDisk();
        d.SerialNo = serial;
        SaveDiskData(dir / title, d);
        return dir / (std::string(title) + ".qd");
    }
    std::filesystem::path raw(const char* name, const std::string& bytes)
    {
        writeFile(dir / name, bytes);
        return dir / name;
    }
    // The sample disk's bytes with the given serial number and data type.
    static std::string bytes(std::uint32_t serial, std::uint8_t dataType = 1)
    {
        TDisk d = sampleDisk();
        d.SerialNo = serial;
        std::string b = BuildDiskData(d);
        b[5 + 2 + d.IconImage.size() + 2 + d.IconMask.size()] = char(dataType);
        return b;
    }

    std::optional<std::size_t> find(std::uint32_t serial, const std::vector<std::filesystem::path>& files)
    {
        skipped.clear();
        return FindDiskBySerial(serial, files, loaded, [&](const SkippedCatalog& s) { skipped.push_back(s); });
    }

    TempDir dir;
    TDisk loaded;
    std::vector<SkippedCatalog> skipped;
};

TEST_F(DiskIdentifyTest, CatalogsThatFailAreToldAndPassedOverNeverMatched)
{
    std::string cutBody = bytes(7);
    cutBody.resize(cutBody.size() - 10);
    const std::vector<std::filesystem::path> files = {
        dir / "missing.qd",                   // 5101
        raw("magic.qd", "QD410" + bytes(7).substr(5)), // 5104
        raw("type0.qd", bytes(7, 0)),         // 5105
        raw("type2.qd", bytes(7, 2)),         // 5105
        raw("type3.qd", bytes(7, 3)),         // not a disk the identification looks at
        raw("cuthead.qd", bytes(7).substr(0, 20)),
        raw("cutbody.qd", cutBody),           // its head matches; the whole load finds the damage
        disk("good", 7),
    };
    EXPECT_EQ(find(7, files), 7u);
    EXPECT_EQ(loaded.DirList.size(), sampleDisk().DirList.size()) << "the match is loaded whole";
    ASSERT_EQ(skipped.size(), 6u);
    const LoadStatus statuses[] = {LoadStatus::Missing, LoadStatus::WrongVersion, LoadStatus::WrongDataType,
                                   LoadStatus::WrongDataType};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(skipped[i].index, i);
        EXPECT_EQ(skipped[i].load.status, statuses[i]);
        EXPECT_FALSE(skipped[i].error.has_value());
    }
    EXPECT_NE(skipped[0].load.message.find("(5101)"), std::string::npos);
    EXPECT_EQ(skipped[3].load.message, "データタイプの指定エラーです。(5105)");
    EXPECT_EQ(skipped[4].index, 5u);
    ASSERT_TRUE(skipped[4].error.has_value());
    EXPECT_EQ(skipped[5].index, 6u);
    ASSERT_TRUE(skipped[5].error.has_value());
    EXPECT_EQ(skipped[5].error->code(), CatalogError::Code::Damaged);
    EXPECT_EQ(skipped[5].error->file(), (dir / "cutbody.qd").native());

    // The damaged one alone: no match, though its head records the serial.
    EXPECT_EQ(find(7, {files[6]}), std::nullopt);
    EXPECT_EQ(skipped.size(), 1u);
}

// Only the heads of catalogs of other serial numbers are read: damage after
// the head of one of them is not the identification's business. All 32 bits
// count, also where two serials share a half or differ in the top bit alone.
TEST_F(DiskIdentifyTest, OtherSerialNumbersAreJudgedByTheirHeadAlone)
{
    constexpr std::uint32_t target = 0x89ABCDEF;
    for (const std::uint32_t other : {0x00000001u, 0x1234CDEFu, 0x89AB1234u, 0x09ABCDEFu}) {
        std::string cut = bytes(other);
        cut.resize(cut.size() - 10);
        EXPECT_EQ(find(target, {raw("cut.qd", cut), disk("whole", other), disk("good", target)}), 2u)
            << std::hex << other;
        EXPECT_TRUE(skipped.empty()) << std::hex << other;
    }
}

// The quick look when a disk is put in reads heads alone: the first head that
// records the serial wins, even one whose body is damaged, and nothing is told
// of catalogs that only fail after their head.
TEST_F(DiskIdentifyTest, HeadsOnlyLookupTakesTheFirstMatchingHeadInOrder)
{
    std::string cutBody = bytes(7);
    cutBody.resize(cutBody.size() - 10);
    const std::vector<std::filesystem::path> files = {raw("type3.qd", bytes(7, 3)), raw("cuthead.qd", bytes(7).substr(0, 20)),
                                                      raw("cutbody.qd", cutBody), disk("good", 7)};
    std::vector<std::size_t> told;
    const auto tell = [&](const SkippedCatalog& s) { told.push_back(s.index); };
    EXPECT_EQ(FindCatalogBySerial(7, files, tell), 2u);
    EXPECT_EQ(told, std::vector<std::size_t>{1});
    EXPECT_EQ(FindCatalogBySerial(7, files, tell, 3), 3u);
    EXPECT_EQ(FindCatalogBySerial(8, files, tell), std::nullopt);
}

TEST_F(DiskIdentifyTest, DriveWithoutDiskWithoutSerialAndWithOne)
{
    const MappedDrive present(QChar('D'), {.serial = 0xABCD0123});
    const MappedDrive empty(QChar('E'), QStringLiteral("/no/such/folder"));
    EXPECT_EQ(ReadDriveDisk(QChar('E')).state, DriveDisk::NoDisk);
    EXPECT_EQ(ReadDriveDisk(QChar('Q')).state, DriveDisk::NoDisk); // no drive at all
    const DriveDisk d = ReadDriveDisk(QChar('d'));
    EXPECT_EQ(d.state, DriveDisk::Present);
    EXPECT_EQ(d.serialNo, 0xABCD0123u);
}

} // namespace
