#pragma once

#include <QCursor>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>

// The program's own images: the toolbar strip "TOOLBAR" (ToolbarImageCount images of
// 16 x 16 in the main window's image-list order), the main icon, the about-box logo
// and the drag cursors. They need a running QGuiApplication.

constexpr int ToolbarImageCount = 27;

// Resource path of the strip, for LoadImageList.
QString ToolbarResource();

// The freedesktop icon name that stands for the image at Index, or empty when none fits.
QString ToolbarThemeName(int Index);

// The strip cut into its images, magenta made transparent; loaded once.
const QList<QPixmap> &ToolbarImages();

// The icon for the image at Index: the desktop theme's icon of the same meaning when
// theme icons are on and the theme has it, else the strip image (which every index
// has). Null for an index outside the strip.
QIcon ToolbarIcon(int Index);

// Theme icons are on by default; off, every icon is the program's own.
void SetUseThemeIcons(bool Use);
bool UseThemeIcons();

// "MAINICON" in every size drawn for it, for the window and the tray.
QIcon MainIcon();
// "LOGO" for the about box.
QPixmap Logo();
// "MOVE" and "COPY": shown while a note is dragged to be moved after the target, or
// nested under it.
QCursor MoveCursor();
QCursor NestCursor();
