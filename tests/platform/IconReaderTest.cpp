#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <random>

#include "platform/IconReader.h"
#include "platform/ImageList.h"
#include "support/IconFixtures.h"

using namespace qd;
using namespace qd::test;
using test::IconPart;
using test::IconStore;

namespace {


bool maskWhite(const FileIcon& icon, int x, int y) { return (icon.mask.pixel(x, y) | 0xff000000) == kWhite; }

// The square icon read back: transparent border, colour inside, the accent at (2, 2).
void expectSquare(const FileIcon& icon, QRgb colour, QRgb accent = kBlack)
{
    ASSERT_EQ(icon.image.size(), QSize(16, 16));
    ASSERT_EQ(icon.mask.size(), QSize(16, 16));
    EXPECT_TRUE(maskWhite(icon, 0, 0));
    EXPECT_TRUE(maskWhite(icon, 15, 1));
    EXPECT_EQ(qAlpha(icon.image.pixel(0, 0)), 0);
    EXPECT_FALSE(maskWhite(icon, 8, 8));
    EXPECT_EQ(icon.image.pixel(8, 8), colour);
    EXPECT_EQ(icon.image.pixel(13, 13), colour);
    EXPECT_EQ(icon.image.pixel(2, 2), accent);
    EXPECT_FALSE(maskWhite(icon, 2, 2));
}

QByteArray threeIconPe(bool wide = false)
{
    using test::squareIcon;
    return test::makePe({{{squareIcon(kRed, 32), IconStore::Dib32}, {squareIcon(kRed), IconStore::Dib8}},
                         {{squareIcon(kGreen), IconStore::Png}},
                         {{squareIcon(kBlue, 48), IconStore::Dib24}, {squareIcon(kBlue), IconStore::Dib4}}},
                        wide);
}

} // namespace

TEST(IconReader, ReadsEveryStoredFormOfAnIcoImage)
{
    const std::pair<IconStore, QRgb> forms[] = {{IconStore::Dib32, kRed}, {IconStore::Dib24, kGreen},
                                                {IconStore::Dib8, kBlue}, {IconStore::Dib4, kRed},
                                                {IconStore::Dib1, kWhite}, {IconStore::Png, kGreen}};
    for (auto [store, colour] : forms) {
        SCOPED_TRACE(int(store));
        const auto icons = ReadIconsFromData(test::makeIco({{test::squareIcon(colour), store}}));
        ASSERT_EQ(icons.size(), 1u);
        expectSquare(icons[0], colour);
    }
}

TEST(IconReader, TakesTheImageNearestTheSizeAskedFor)
{
    using test::squareIcon;
    const QByteArray ico = test::makeIco({{squareIcon(kBlue, 32), IconStore::Dib32},
                                          {squareIcon(kRed, 16), IconStore::Dib32},
                                          {squareIcon(kGreen, 48), IconStore::Png}});
    const auto small = ReadIconsFromData(ico, 16);
    ASSERT_EQ(small.size(), 1u);
    EXPECT_EQ(small[0].image.pixel(8, 8), kRed);
    const auto large = ReadIconsFromData(ico, 32);
    ASSERT_EQ(large.size(), 1u);
    EXPECT_EQ(large[0].image.size(), QSize(32, 32));
    EXPECT_EQ(large[0].image.pixel(16, 16), kBlue);
    // Only a 48-pixel image: scaled down, its transparent border still transparent.
    const auto scaled = ReadIconsFromData(test::makeIco({{squareIcon(kGreen, 48), IconStore::Dib32}}), 16);
    ASSERT_EQ(scaled.size(), 1u);
    EXPECT_TRUE(maskWhite(scaled[0], 0, 0));
    EXPECT_FALSE(maskWhite(scaled[0], 8, 8));
    EXPECT_EQ(scaled[0].image.pixel(8, 8), kGreen);
}

TEST(IconReader, A32BitImageWithoutAlphaTakesTheAndMask)
{
    QByteArray dib = test::iconImageData({test::squareIcon(kRed), IconStore::Dib32});
    for (int i = 40 + 3; i < 40 + 16 * 16 * 4; i += 4)
        dib[i] = 0;
    QByteArray ico = test::makeIco({{test::squareIcon(kRed), IconStore::Dib32}});
    ico.replace(22, dib.size(), dib);
    const auto icons = ReadIconsFromData(ico);
    ASSERT_EQ(icons.size(), 1u);
    expectSquare(icons[0], kRed);
}

TEST(IconReader, ReadsEveryIconGroupOfAPeFileInOrder)
{
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide);
        const auto icons = ReadIconsFromData(threeIconPe(wide));
        ASSERT_EQ(icons.size(), 3u);
        expectSquare(icons[0], kRed);
        expectSquare(icons[1], kGreen);
        expectSquare(icons[2], kBlue);
    }
    // Only the first icons when fewer are asked for.
    const auto first = ReadIconsFromData(threeIconPe(), 16, 1);
    ASSERT_EQ(first.size(), 1u);
    expectSquare(first[0], kRed);
    EXPECT_TRUE(ReadIconsFromData(threeIconPe(), 16, 0).empty());
}

TEST(IconReader, FilesWithoutIconsGiveNone)
{
    EXPECT_TRUE(ReadIconsFromData(test::makePe({})).empty());
    EXPECT_TRUE(ReadIconsFromData(QByteArray("plain text, not an icon")).empty());
    EXPECT_TRUE(ReadIconsFromData(QByteArray()).empty());
    EXPECT_TRUE(ReadIconsFromData(test::makeIco({})).empty());
    EXPECT_TRUE(ReadFileIcons(QStringLiteral("/nonexistent/file.exe")).empty());
}

TEST(IconReader, DamagedFilesGiveNoneOrTheWholeIconsOnly)
{
    const QByteArray ico = test::makeIco({{test::squareIcon(kRed), IconStore::Dib8}});
    QByteArray offsetOutside = ico;
    test::detail::set32(offsetOutside, 6 + 12, quint32(ico.size()));
    EXPECT_TRUE(ReadIconsFromData(offsetOutside).empty());
    QByteArray hugeWidth = ico;
    test::detail::set32(hugeWidth, 22 + 4, 0x7fffffff);
    EXPECT_TRUE(ReadIconsFromData(hugeWidth).empty());
    QByteArray hugeCount = ico;
    test::detail::set16(hugeCount, 4, 0xffff);
    EXPECT_LE(ReadIconsFromData(hugeCount).size(), 1u);

    const QByteArray pe = threeIconPe();
    QByteArray peHeaderOutside = pe;
    test::detail::set32(peHeaderOutside, 0x3c, 0xfffffff0u);
    EXPECT_TRUE(ReadIconsFromData(peHeaderOutside).empty());
    QByteArray resourcesOutside = pe;
    test::detail::set32(resourcesOutside, 0x40 + 24 + 96 + 16, 0x7ffff000u);
    EXPECT_TRUE(ReadIconsFromData(resourcesOutside).empty());

    // Cut at every length: never more icons than the whole file, each whole.
    for (const QByteArray& whole : {ico, pe}) {
        const size_t all = ReadIconsFromData(whole).size();
        for (qsizetype n = 0; n < whole.size(); ++n) {
            const auto icons = ReadIconsFromData(whole.first(n));
            ASSERT_LE(icons.size(), all) << n;
            for (const FileIcon& icon : icons)
                ASSERT_EQ(icon.image.size(), QSize(16, 16)) << n;
        }
        EXPECT_TRUE(ReadIconsFromData(whole.first(whole.size() / 2)).size() < all);
    }

    // Scattered byte damage, from a fixed seed so that a failure repeats.
    std::mt19937 random(20061208);
    for (int round = 0; round < 3000; ++round) {
        QByteArray damaged = round % 2 ? pe : ico;
        for (int k = 0; k < 4; ++k)
            damaged[qsizetype(random() % damaged.size())] = char(random());
        for (const FileIcon& icon : ReadIconsFromData(damaged))
            ASSERT_EQ(icon.mask.size(), QSize(16, 16)) << round;
    }
}

TEST(IconReader, LoadsTheIconsOfARealFileIntoAList)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString exe = dir.filePath(QStringLiteral("TOOL.EXE"));
    QFile f(exe);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(threeIconPe());
    f.close();

    ImageList list;
    list.addIcon(test::squareIcon(kWhite));
    EXPECT_EQ(LoadFileIcons(list, exe), 3);
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.image(1).pixel(8, 8), kGreen);
    EXPECT_EQ(list.image(2).pixel(8, 8), kBlue);
    // A file without icons leaves the list empty.
    EXPECT_EQ(LoadFileIcons(list, dir.filePath(QStringLiteral("missing.exe"))), 0);
    EXPECT_EQ(list.count(), 0);
}
