// The PNG writer: pictures of few colours go in a palette with the quick
// deflate of runs and rows, others in RGB; both read back pixel for pixel.
#include "export/PngWriter.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include <cstdint>
#include <cstring>
#include <tuple>
#include <random>

namespace kavum::exporting {
namespace {

int ColourType(const QByteArray& png) { return png.size() > 25 ? static_cast<unsigned char>(png[25]) : -1; }

QImage ReadBack(const QByteArray& png) {
    QImage back = QImage::fromData(png, "PNG");
    return back.convertToFormat(QImage::Format_RGB32);
}

// A picture like a map: a white ground, lines, runs of every length up to
// past the longest match, rows repeating the row above and noise, in up to
// `colours` colours.
QImage MapLike(int w, int h, int colours, unsigned seed) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    std::mt19937 random(seed);
    auto colour = [&](int k) { return qRgb((k * 37) & 0xFF, (k * 91) & 0xFF, k < 256 ? k : 255 - (k & 0xFF)); };
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        if (y % 7 == 3 && y > 0) {
            // The row above again.
            std::memcpy(row, image.constScanLine(y - 1), static_cast<std::size_t>(w) * 4);
            continue;
        }
        int x = 0;
        while (x < w) {
            const int run = static_cast<int>(random() % (y % 3 == 0 ? 600 : 5)) + 1;
            const QRgb c = random() % 3 == 0 ? qRgb(255, 255, 255) : colour(static_cast<int>(random() % colours));
            for (int k = 0; k < run && x < w; ++k) row[x++] = c;
        }
    }
    return image;
}

TEST(FastPng, FewColoursGoInAPaletteAndReadBackPixelForPixel) {
    for (const auto& [w, h, colours] : {std::tuple{300, 200, 5}, std::tuple{1017, 60, 255}, std::tuple{1, 1, 1},
                                        std::tuple{2, 700, 3}, std::tuple{40000, 3, 200}}) {
        const QImage image = MapLike(w, h, colours, static_cast<unsigned>(w + h));
        const QByteArray png = FastPng(image, 3780);
        EXPECT_EQ(ColourType(png), 3) << w << "x" << h;
        const QImage back = QImage::fromData(png, "PNG");
        ASSERT_FALSE(back.isNull()) << w << "x" << h;
        EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), image) << w << "x" << h;
        EXPECT_EQ(back.dotsPerMeterX(), 3780);
        // The same pixels give the same bytes, after other pictures too.
        FastPng(MapLike(500, 50, 40, 9), 0);
        EXPECT_EQ(FastPng(image, 3780), png);
    }
}

TEST(FastPng, ALargePictureIsIndexedOverItsOwnPixels) {
    // Past the size of the kept buffer the indices go over the picture's
    // own memory: the same file as a buffer gives, and the caller's image
    // is left as it was.
    QImageReader::setAllocationLimit(0);
    const QImage image = MapLike(6000, 6000, 30, 7);
    const QImage copy = image;
    const QByteArray png = FastPng(copy, 0);
    EXPECT_EQ(ColourType(png), 3);
    EXPECT_EQ(copy, image);
    EXPECT_EQ(ReadBack(png), image);
    // With more than 256 colours found late, the pixels are still whole.
    QImage many = image;
    for (int k = 0; k < 300; ++k) many.setPixel(k, 5999, qRgb(k & 0xFF, k >> 8, 77));
    const QByteArray rgb = FastPng(many, 0);
    EXPECT_EQ(ColourType(rgb), 2);
    EXPECT_EQ(ReadBack(rgb), many);
}

TEST(FastPng, ManyColoursStayRgbAndBothKindsShowTheSamePicture) {
    // 256 colours still take a palette, one more does not.
    QImage image(256, 40, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x, 255 - x, (x * 7) & 0xFF));
    }
    const QByteArray palette = FastPng(image, 0);
    EXPECT_EQ(ColourType(palette), 3);
    EXPECT_EQ(ReadBack(palette), image);
    image.setPixel(17, 33, qRgb(1, 2, 3));
    const QByteArray rgb = FastPng(image, 0);
    EXPECT_EQ(ColourType(rgb), 2);
    EXPECT_EQ(ReadBack(rgb), image);
    // The alpha of a 32-bit picture plays no part.
    QImage alpha = MapLike(50, 20, 4, 1).convertToFormat(QImage::Format_ARGB32);
    QImage opaque = alpha.convertToFormat(QImage::Format_RGB32);
    alpha.setPixel(0, 0, qRgba(12, 34, 56, 0));
    opaque.setPixel(0, 0, qRgb(12, 34, 56));
    EXPECT_EQ(ReadBack(FastPng(alpha, 0)), opaque);
}

}  // namespace
}  // namespace kavum::exporting
