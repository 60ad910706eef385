// On a screen of pixel ratio 2 the window's own images are the ones drawn at twice the
// size, not 16-pixel images enlarged: the toolbars, the tree, the drag cursors, the tray.
// The program runs with QT_SCALE_FACTOR=2, set before its QApplication starts, and once
// more at 1.5, where the 2x images are drawn smaller rather than 1x ones enlarged.

#include "app/MainWindowFixture.h"
#include "widgets/IcoList.h"

#include <QToolBar>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// 2 unless the run asks for another ratio (1.5 for a fractional one): set while the
// program starts, before the shared test environment makes the QApplication.
[[maybe_unused]] const bool g_ratio = [] {
    if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "2");
    return true;
}();

// True when the image has a 2 x 2 block of unequal pixels: an image enlarged from half
// its size by pixel doubling has none.
bool hasFineDetail(const QImage &image)
{
    for (int y = 0; y + 1 < image.height(); y += 2) {
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb p = image.pixel(x, y);
            if (image.pixel(x + 1, y) != p || image.pixel(x, y + 1) != p
                || image.pixel(x + 1, y + 1) != p)
                return true;
        }
    }
    return false;
}

// A pixmap drawn for ratio 2 at logical size: it says so, has twice the pixels, and is
// not the 1x image enlarged.
void expectDrawnAt2x(const QPixmap &pixmap, QSize logical, const QImage &oneX, const char *what)
{
    SCOPED_TRACE(what);
    EXPECT_EQ(pixmap.devicePixelRatio(), 2.0);
    ASSERT_EQ(pixmap.size(), logical * 2);
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_TRUE(hasFineDetail(image));
    const QImage smooth = oneX.convertToFormat(QImage::Format_ARGB32)
                              .scaled(logical * 2, Qt::IgnoreAspectRatio,
                                      Qt::SmoothTransformation);
    EXPECT_NE(image, smooth) << "a smoothly enlarged 1x image";
}

class HighDpiTest : public MainWindowTest
{
protected:
    void adjust(TSettings &settings) override { settings.NoteImages = true; }
};

TEST_F(HighDpiTest, WindowImagesAreDrawnForRatioTwo)
{
    SetUseThemeIcons(false);
    start();
    const qreal ratio = window->devicePixelRatio();
    ASSERT_EQ(ratio, qEnvironmentVariable("QT_SCALE_FACTOR").toDouble())
        << "QT_SCALE_FACTOR did not take";
    const QSize onScreen = QSize(16, 16) * ratio;

    // Toolbar buttons, as the style asks their icons for the window's ratio.
    const QList<QPixmap> &oneX = ToolbarImages();
    int checked = 0;
    int detailed = 0;
    for (QToolBar *bar : {window->tlbMain, window->tlbMiddle}) {
        for (QToolButton *button : bar->findChildren<QToolButton *>()) {
            if (button->icon().isNull() || button->objectName().startsWith(u"qt_"_s))
                continue;
            const QPixmap pixmap
                = button->icon().pixmap(bar->iconSize(), button->devicePixelRatio());
            EXPECT_EQ(pixmap.devicePixelRatio(), ratio) << button->text().toStdString();
            EXPECT_EQ(pixmap.size(), onScreen) << button->text().toStdString();
            ++checked;
            // An image of straight lines on the grid is the same either way; most
            // have slants and curves, which only the 2x drawing shows finer.
            detailed += ratio != 2.0 || hasFineDetail(pixmap.toImage());
        }
    }
    EXPECT_GE(checked, 20);
    EXPECT_GE(detailed * 4, checked * 3) << detailed << " of " << checked;
    expectDrawnAt2x(window->findChild<QAction *>(u"btnNew"_s)->icon().pixmap(QSize(16, 16), 2.0),
                    QSize(16, 16), oneX.value(0).toImage(), "New");

    // The tree's note image.
    const QIcon note = window->TopicTree->noteIcon();
    ASSERT_FALSE(note.isNull());
    EXPECT_EQ(note.pixmap(QSize(16, 16), ratio).size(), onScreen);
    EXPECT_EQ(note.pixmap(QSize(16, 16), ratio).devicePixelRatio(), ratio);
    expectDrawnAt2x(note.pixmap(QSize(16, 16), 2.0), QSize(16, 16), oneX.value(17).toImage(),
                    "note");
    expectDrawnAt2x(note.pixmap(QSize(16, 16), 2.0, QIcon::Selected), QSize(16, 16),
                    oneX.value(17).toImage(), "selected note");
    // A 1x screen beside it still gets the image drawn for 16 pixels.
    EXPECT_EQ(note.pixmap(QSize(16, 16), 1.0).toImage().convertToFormat(QImage::Format_ARGB32),
              oneX.value(17).toImage().convertToFormat(QImage::Format_ARGB32));

    // The drag cursors.
    for (const QCursor &cursor : {MoveCursor(), NestCursor()}) {
        EXPECT_EQ(cursor.pixmap().devicePixelRatio(), 2.0);
        EXPECT_EQ(cursor.pixmap().size(), QSize(64, 64));
        EXPECT_TRUE(hasFineDetail(cursor.pixmap().toImage()));
        EXPECT_EQ(cursor.hotSpot(), QPoint(1, 1));
    }

    // The tray icon: the image drawn for 32 pixels, not the 16-pixel one enlarged.
    const QIcon tray = window->trayMain->icon();
    const QPixmap trayPixmap = tray.pixmap(QSize(16, 16), 2.0);
    EXPECT_EQ(trayPixmap.devicePixelRatio(), 2.0);
    ASSERT_EQ(trayPixmap.size(), QSize(32, 32));
    EXPECT_EQ(trayPixmap.toImage().convertToFormat(QImage::Format_ARGB32),
              QImage(u":/res/MAINICON/32"_s).convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(tray.pixmap(QSize(16, 16), 1.0).toImage().convertToFormat(QImage::Format_ARGB32),
              QImage(u":/res/MAINICON/16"_s).convertToFormat(QImage::Format_ARGB32));
    SetUseThemeIcons(true);
}

} // namespace
