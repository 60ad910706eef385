#include "widgets/IcoList.h"

#include <gtest/gtest.h>

#include <QBitmap>
#include <QImage>
#include <QSet>

namespace {

class ImagesTest : public testing::Test
{
protected:
    void SetUp() override { SetUseThemeIcons(false); }
    void TearDown() override { SetUseThemeIcons(true); }
};

// Opaque pixels of an image, so an empty or wrongly cut image shows up.
int opaquePixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) == 255;
    }
    return count;
}

TEST_F(ImagesTest, EveryToolbarIndexHasItsOwnVisibleImage)
{
    ASSERT_EQ(ToolbarImages().size(), ToolbarImageCount);
    QSet<QByteArray> seen;
    for (int i = 0; i < ToolbarImageCount; ++i) {
        SCOPED_TRACE(i);
        const QIcon icon = ToolbarIcon(i);
        ASSERT_FALSE(icon.isNull());
        const QImage image = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(16, 16));
        // Clearly drawn, and not a solid block either: the background is transparent.
        const int opaque = opaquePixels(image);
        EXPECT_GT(opaque, 30);
        EXPECT_LT(opaque, 256);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x)
                ASSERT_NE(image.pixel(x, y) | 0xFF000000u, qRgb(255, 0, 255)) << x << "," << y;
        }
        const QByteArray bytes(
            reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
        EXPECT_FALSE(seen.contains(bytes)) << "image " << i << " repeats an earlier one";
        seen.insert(bytes);
    }
    EXPECT_TRUE(ToolbarIcon(-1).isNull());
    EXPECT_TRUE(ToolbarIcon(ToolbarImageCount).isNull());
}

TEST_F(ImagesTest, MainIconLogoAndCursorsAreThere)
{
    const QIcon icon = MainIcon();
    ASSERT_FALSE(icon.isNull());
    // The tray asks for 16 x 16: it must get an image drawn for that size.
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_GT(opaquePixels(icon.pixmap(16, 16).toImage()), 100);
    EXPECT_GT(opaquePixels(icon.pixmap(256, 256).toImage()), 20000);
    EXPECT_FALSE(Logo().isNull());
    for (const QCursor &cursor : { MoveCursor(), NestCursor() }) {
        EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
        EXPECT_FALSE(cursor.pixmap().isNull());
        EXPECT_EQ(cursor.hotSpot(), QPoint(1, 1));
    }
    EXPECT_NE(MoveCursor().pixmap().toImage(), NestCursor().pixmap().toImage());
}

} // namespace
