#include "app/toolbar_icons.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace tw {
namespace {

QImage Cell(const QImage& strip, int index, int side) {
    return strip.copy(index * side, 0, side, side);
}

// Pixels with some paint on them.
int Coverage(const QImage& image) {
    int painted = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 64) ++painted;
    return painted;
}

TEST(ToolbarImages, TheStripHoldsThirteenSquaresAtEveryPixelRatio) {
    const QPixmap strip = ToolbarImageStrip();
    EXPECT_EQ(strip.size(), QSize(13 * 27, 27));
    const QPixmap sharp = ToolbarImageStrip(2.0);
    EXPECT_EQ(sharp.size(), QSize(13 * 54, 54));
    EXPECT_DOUBLE_EQ(sharp.devicePixelRatio(), 2.0);
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(13 * 27, 27));
}

TEST(ToolbarImages, EachImageIsVisibleOnATransparentGroundAndUnlikeTheOthers) {
    const QImage strip = ToolbarImageStrip().toImage();
    std::vector<QImage> cells;
    for (int i = 0; i < kToolbarImageCount; ++i) {
        const QImage cell = Cell(strip, i, 27);
        // Enough paint to read at a glance, and room left around it.
        EXPECT_GT(Coverage(cell), 27 * 27 / 10) << "image " << i;
        EXPECT_LT(Coverage(cell), 27 * 27 * 7 / 10) << "image " << i;
        EXPECT_EQ(qAlpha(cell.pixel(0, 0)), 0) << "image " << i;
        EXPECT_EQ(qAlpha(cell.pixel(26, 0)), 0) << "image " << i;
        for (std::size_t j = 0; j < cells.size(); ++j)
            EXPECT_NE(cell, cells[j]) << "images " << j << " and " << i;
        cells.push_back(cell);
        // The single image is the strip's cell, drawn the same way.
        EXPECT_EQ(ToolbarImage(i).toImage().convertToFormat(cell.format()), cell) << i;
    }
}

TEST(ToolbarImages, PreviousAndNextPatchAreMirrorImages) {
    const QImage prev = ToolbarImage(kImagePrevPatch).toImage();
    const QImage next = ToolbarImage(kImageNextPatch).toImage();
    // Mirrored up to the edge pixels that anti-aliasing rounds differently.
    const QImage mirrored = prev.mirrored(true, false);
    int differing = 0;
    for (int y = 0; y < 27; ++y)
        for (int x = 0; x < 27; ++x)
            if (std::abs(qAlpha(mirrored.pixel(x, y)) - qAlpha(next.pixel(x, y))) > 96) ++differing;
    EXPECT_LT(differing, 27 * 27 / 30);
    // The arrow of "next" points right: more paint in its right half.
    EXPECT_GT(Coverage(next.copy(14, 0, 13, 27)), Coverage(next.copy(0, 0, 13, 27)));
}

TEST(ToolbarImages, SharpImagesCoverTheSameShapes) {
    // Drawn at twice the pixels, not scaled up: each image covers about four times as many
    // pixels.
    const QImage strip = ToolbarImageStrip().toImage();
    const QImage sharp = ToolbarImageStrip(2.0).toImage();
    for (int i = 0; i < kToolbarImageCount; ++i) {
        const double ratio = double(Coverage(Cell(sharp, i, 54))) / Coverage(Cell(strip, i, 27));
        EXPECT_NEAR(ratio, 4.0, 0.8) << "image " << i;
    }
}

TEST(ProgramIconTest, OffersSmallAndLargeSizes) {
    const QIcon icon = ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(256, 256)));
    EXPECT_GT(Coverage(icon.pixmap(32, 32).toImage()), 32 * 32 / 2);
}

} // namespace
} // namespace tw
