#include "widgets/IcoList.h"

#include "settings/UtilsGui.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScreen>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcImages, "vellumtree.images", QtCriticalMsg)

// Outside any namespace, as Q_INIT_RESOURCE requires. The resource lives in a static
// library, where nothing else would pull its object file into the program.
static void initImageResource()
{
    Q_INIT_RESOURCE(vellumtree);
}

namespace {

bool g_useThemeIcons = true;

void ensureResource()
{
    static const bool done = [] {
        initImageResource();
        return true;
    }();
    Q_UNUSED(done);
}

// Index order of the strip; a name only where the theme's icon means the same thing.
const char *const kThemeNames[ToolbarImageCount] = {
    "document-new", // 0 New
    "document-open", // 1 Open
    "document-save", // 2 Save
    "document-save-as", // 3 Save As
    "edit-cut", // 4 Cut
    "edit-copy", // 5 Copy
    "edit-paste", // 6 Paste
    "edit-undo", // 7 Undo
    "help-about", // 8 About
    "application-exit", // 9 Exit
    "preferences-system", // 10 Options
    "document-print", // 11 Print
    "edit-find-replace", // 12 Search and replace
    "view-restore", // 13 Restore (tray)
    nullptr, // 14 Hide (tray)
    "application-exit", // 15 Exit (tray)
    "list-add", // 16 Add note
    nullptr, // 17 Note: the program's own, so the tree looks the same everywhere
    "list-remove", // 18 Delete note
    "go-up", // 19 Move up
    "go-down", // 20 Move down
    "go-next", // 21 Move right
    nullptr, // 22 Paste as sibling
    nullptr, // 23 Paste as child
    "edit-rename", // 24 Rename
    "go-previous", // 25 Move left
    "insert-link", // 26 Note link
};

// The screens' highest pixel ratio: an image drawn for it is sharp there and only
// shrinks elsewhere.
qreal highestPixelRatio()
{
    qreal ratio = 1;
    for (const QScreen *screen : QGuiApplication::screens())
        ratio = qMax(ratio, screen->devicePixelRatio());
    return qMax(ratio, qApp ? qApp->devicePixelRatio() : 1.0);
}

QCursor dragCursor(const QString &resource)
{
    ensureResource();
    // A screen above 1x takes the image drawn at twice the size; the hot spot stays in
    // the cursor's own (device-independent) pixels.
    QPixmap image;
    if (highestPixelRatio() > 1) {
        image = QPixmap(resource + u"@2x"_s);
        image.setDevicePixelRatio(2);
    }
    if (image.isNull())
        image = QPixmap(resource);
    if (image.isNull()) {
        qCWarning(lcImages) << "missing cursor" << resource;
        return QCursor(Qt::DragMoveCursor);
    }
    // The arrow's tip.
    return QCursor(image, 1, 1);
}

// The strip drawn at twice the size, each image marked as such; empty when missing.
const QList<QPixmap> &toolbarImages2x()
{
    static const QList<QPixmap> images = [] {
        ensureResource();
        QList<QPixmap> list;
        if (!LoadImageList(list, ToolbarResource() + u"@2x"_s, QSize(32, 32)))
            qCWarning(lcImages) << "missing 2x toolbar strip";
        for (QPixmap &image : list)
            image.setDevicePixelRatio(2);
        return list;
    }();
    return images;
}

} // namespace

QString ToolbarResource()
{
    return u":/res/TOOLBAR"_s;
}

QString ToolbarThemeName(int Index)
{
    if (Index < 0 || Index >= ToolbarImageCount || !kThemeNames[Index])
        return QString();
    return QString::fromLatin1(kThemeNames[Index]);
}

const QList<QPixmap> &ToolbarImages()
{
    static const QList<QPixmap> images = [] {
        ensureResource();
        QList<QPixmap> list;
        if (!LoadImageList(list, ToolbarResource()))
            qCWarning(lcImages) << "missing toolbar strip";
        return list;
    }();
    return images;
}

QIcon ToolbarIcon(int Index)
{
    const QList<QPixmap> &images = ToolbarImages();
    if (Index < 0 || Index >= images.size())
        return QIcon();
    // Both sizes: Qt hands a 2x screen the image drawn for it instead of an enlarged one.
    // Qt picks an icon's image by exact pixel ratio, else the 1x one; so a screen of a
    // fractional ratio (1.5) gets the 2x image made smaller for it.
    QIcon own(images[Index]);
    if (Index < toolbarImages2x().size()) {
        const QPixmap &twice = toolbarImages2x()[Index];
        own.addPixmap(twice);
        for (const QScreen *screen : QGuiApplication::screens()) {
            const qreal ratio = screen->devicePixelRatio();
            if (ratio <= 1 || ratio == 2)
                continue;
            QPixmap scaled = twice.scaled(QSize(16, 16) * ratio, Qt::IgnoreAspectRatio,
                                          Qt::SmoothTransformation);
            scaled.setDevicePixelRatio(ratio);
            own.addPixmap(scaled);
        }
    }
    const QString name = ToolbarThemeName(Index);
    if (!g_useThemeIcons || name.isEmpty())
        return own;
    return QIcon::fromTheme(name, own);
}

void SetUseThemeIcons(bool Use)
{
    g_useThemeIcons = Use;
}

bool UseThemeIcons()
{
    return g_useThemeIcons;
}

QIcon MainIcon()
{
    ensureResource();
    QIcon icon;
    for (int size : { 16, 24, 32, 48, 64, 128, 256 })
        icon.addFile(u":/res/MAINICON/%1"_s.arg(size), QSize(size, size));
    return icon;
}

QPixmap Logo()
{
    ensureResource();
    return QPixmap(u":/res/LOGO"_s);
}

QCursor MoveCursor()
{
    return dragCursor(u":/res/MOVE"_s);
}

QCursor NestCursor()
{
    return dragCursor(u":/res/COPY"_s);
}
