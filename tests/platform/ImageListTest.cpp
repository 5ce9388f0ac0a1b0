#include <gtest/gtest.h>

#include <QPainter>

#include "platform/ImageList.h"
#include "support/IconFixtures.h"

using namespace qd;
using namespace qd::test;

namespace {


bool isWhite(const QImage& m, int x, int y) { return (m.pixel(x, y) | 0xff000000) == kWhite; }

// A red square on a blue ground, with the ground masked out.
QImage redOnBlue()
{
    QImage img(16, 16, QImage::Format_RGB32);
    img.fill(Qt::blue);
    for (int y = 4; y < 12; ++y)
        for (int x = 4; x < 12; ++x)
            img.setPixel(x, y, kRed);
    return img;
}

QImage maskOfSquare()
{
    QImage m(16, 16, QImage::Format_RGB32);
    m.fill(Qt::white);
    for (int y = 4; y < 12; ++y)
        for (int x = 4; x < 12; ++x)
            m.setPixel(x, y, kBlack);
    return m;
}

QImage drawnOnto(const ImageList& list, int i, ImageList::DrawMode mode, QRgb ground)
{
    QImage out(16, 16, QImage::Format_RGB32);
    out.fill(ground);
    QPainter p(&out);
    list.draw(p, i, 0, 0, mode);
    p.end();
    return out;
}

} // namespace

TEST(ImageList, AddKeepsImageAndMaskAndSignalsEachChange)
{
    ImageList list;
    int changes = 0;
    QObject::connect(&list, &ImageList::changed, [&] { ++changes; });
    EXPECT_EQ(list.imageSize(), 16);
    EXPECT_EQ(list.add(redOnBlue(), maskOfSquare()), 0);
    EXPECT_EQ(list.add(redOnBlue(), QImage()), 1);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(changes, 2);

    const QImage m = list.mask(0);
    EXPECT_TRUE(isWhite(m, 0, 0));
    EXPECT_FALSE(isWhite(m, 4, 4));
    EXPECT_EQ(list.image(0).pixel(5, 5), kRed);
    EXPECT_EQ(qAlpha(list.image(0).pixel(0, 0)), 0);
    // Without a mask every pixel is opaque.
    EXPECT_FALSE(isWhite(list.mask(1), 0, 0));
    EXPECT_EQ(list.image(1).pixel(0, 0), 0xff0000ffu);

    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(changes, 3);
}

TEST(ImageList, NullImagesAndOutOfRangeIndexesAreRefused)
{
    ImageList list;
    int changes = 0;
    QObject::connect(&list, &ImageList::changed, [&] { ++changes; });
    EXPECT_EQ(list.add(QImage(), QImage()), -1);
    EXPECT_EQ(list.addIcon(QImage()), -1);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(changes, 0);
    list.addIcon(test::squareIcon(kRed));
    EXPECT_TRUE(list.image(1).isNull());
    EXPECT_TRUE(list.mask(-1).isNull());
    // Drawing a missing index leaves the ground untouched.
    const QImage out = drawnOnto(list, 5, ImageList::DrawMode::Normal, 0xff00ff00);
    EXPECT_EQ(out.pixel(8, 8), 0xff00ff00u);
}

TEST(ImageList, IconsTakeTheirMaskFromAlphaAndKeepSoftEdges)
{
    QImage icon = test::squareIcon(kRed);
    icon.setPixel(3, 3, qRgba(255, 0, 0, 127)); // below half: transparent
    icon.setPixel(4, 3, qRgba(0, 255, 0, 200)); // above half: opaque, still blended when drawn
    ImageList list;
    list.addIcon(icon);
    const QImage m = list.mask(0);
    EXPECT_TRUE(isWhite(m, 0, 0));
    EXPECT_TRUE(isWhite(m, 3, 3));
    EXPECT_FALSE(isWhite(m, 4, 3));
    EXPECT_FALSE(isWhite(m, 8, 8));
    EXPECT_EQ(qAlpha(list.image(0).pixel(3, 3)), 0);
    EXPECT_EQ(qAlpha(list.image(0).pixel(4, 3)), 200);
}

TEST(ImageList, ImagesOfAnotherSizeAreScaled)
{
    ImageList list(32);
    list.addIcon(test::squareIcon(kRed, 16));
    list.add(redOnBlue(), maskOfSquare());
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.image(0).size(), QSize(32, 32));
    EXPECT_EQ(list.mask(1).size(), QSize(32, 32));
    // The square of 4..11 becomes 8..23; the mask stays two-valued.
    EXPECT_TRUE(isWhite(list.mask(1), 7, 7));
    EXPECT_FALSE(isWhite(list.mask(1), 8, 8));
    EXPECT_FALSE(isWhite(list.mask(1), 23, 23));
    EXPECT_TRUE(isWhite(list.mask(1), 24, 24));
    EXPECT_EQ(list.image(1).pixel(16, 16), kRed);
}

TEST(ImageList, DrawsNormallyOrAsMask)
{
    ImageList list;
    list.add(redOnBlue(), maskOfSquare());

    const QImage normal = drawnOnto(list, 0, ImageList::DrawMode::Normal, kWhite);
    EXPECT_EQ(normal.pixel(0, 0), kWhite);
    EXPECT_EQ(normal.pixel(4, 4), kRed);
    EXPECT_EQ(drawnOnto(list, 0, ImageList::DrawMode::Transparent, kWhite), normal);

    // On white the mask drawing reproduces the mask; on another ground the
    // transparent part keeps the ground.
    const QImage onWhite = drawnOnto(list, 0, ImageList::DrawMode::Mask, kWhite);
    EXPECT_EQ(onWhite.pixel(0, 0), kWhite);
    EXPECT_EQ(onWhite.pixel(11, 11), kBlack);
    const QImage onGreen = drawnOnto(list, 0, ImageList::DrawMode::Mask, 0xff00ff00);
    EXPECT_EQ(onGreen.pixel(0, 0), 0xff00ff00u);
    EXPECT_EQ(onGreen.pixel(4, 4), kBlack);
}
