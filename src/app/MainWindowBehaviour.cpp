// How the main window behaves as a window: the tray icon and its menu, minimising and
// closing to the tray, restoring (from the tray, the hot key or a second start), Esc,
// staying on top, snapping to the edges of the work area, and where the window starts.

#include "app/EdgeSnap.h"
#include "app/HotKey.h"
#include "app/Main.h"
#include "app/MainText.h"
#include "settings/Options.h"
#include "settings/Settings.h"
#include "settings/UtilsGui.h"
#include "widgets/IcoList.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>

#if defined(Q_OS_WIN)
#include <windows.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// Images of the tray menu in the toolbar strip.
constexpr int imgRestore = 13;
constexpr int imgHide = 14;
constexpr int imgTrayExit = 15;

// A move that has rested this long has ended: the window manager does not say when
// the user lets go of a window it moves.
constexpr int kMoveSettledMs = 250;
// How often a window hidden in the tray checks that the tray is still there.
constexpr int kTrayWatchMs = 1000;

TSnapWindow snapped(const QRect &frame, const QRect &workArea)
{
    const TSnapArea area{workArea.left(), workArea.top(), workArea.right() + 1,
                         workArea.bottom() + 1};
    return SnapToWorkArea(area, {frame.x(), frame.y(), frame.width(), frame.height()});
}

} // namespace

void TfrmMain::createTray()
{
    action("miRestore")->setIcon(ToolbarIcon(imgRestore));
    action("miHide")->setIcon(ToolbarIcon(imgHide));
    action("miExit")->setIcon(ToolbarIcon(imgTrayExit));
    connect(action("miRestore"), &QAction::triggered, this, &TfrmMain::miRestoreClick);
    connect(action("miHide"), &QAction::triggered, this, &TfrmMain::miHideClick);
    connect(action("miSettingsOnTop"), &QAction::triggered, this,
            &TfrmMain::miSettingsOnTopClick);

    // Every drawn size: the notification area takes 16 x 16 on a 1x screen and the
    // image drawn for 32 x 32 on a 2x one, instead of an enlarged 16.
    trayMain = new QSystemTrayIcon(MainIcon(), this);
    trayMain->setObjectName(u"trayMain"_s);
    trayMain->setContextMenu(mnuTray);
    connect(trayMain, &QSystemTrayIcon::activated, this, &TfrmMain::trayMainClick);

    m_hotKey = new THotKey(this);
    connect(m_hotKey, &THotKey::Activated, this, &TfrmMain::miRestoreClick);
    connect(m_hotKey, &THotKey::TaskbarCreated, this, &TfrmMain::TaskbarCreated);
    // Under Wayland the key is the portal's to give, and it answers later.
    connect(m_hotKey, &THotKey::RegisteredChanged, this,
            [](bool registered) { TfrmOptions::HotKeyWorks = registered; });
    TfrmOptions::HotKeyWorks = m_hotKey->Register(this);

    // While the window waits in the tray, the tray must stay: a tray host that ends
    // would take the only way back with it.
    m_trayWatch = new QTimer(this);
    m_trayWatch->setInterval(kTrayWatchMs);
    connect(m_trayWatch, &QTimer::timeout, this, [this] {
        if (!m_inTray)
            m_trayWatch->stop();
        else if (!TrayAvailable())
            showInTaskbar();
    });

    m_snapTimer = new QTimer(this);
    m_snapTimer->setSingleShot(true);
    m_snapTimer->setInterval(kMoveSettledMs);
    connect(m_snapTimer, &QTimer::timeout, this, &TfrmMain::snapToWorkArea);
}

bool TfrmMain::TrayAvailable()
{
    return SystemTrayAvailable();
}

void TfrmMain::applyTraySettings()
{
    const bool active = Settings->MinimizeToTray || Settings->CloseToTray;
    // Asked for while no tray host runs, the icon appears when one starts: Qt watches
    // for one on X11. Under Wayland it cannot; an icon shown there without a tray
    // (no StatusNotifierItem host) would come to nothing but a warning.
    const bool canWait = CanPlaceWindows() || TrayAvailable();
    trayMain->setVisible(active && !trayMain->icon().isNull() && canWait);
    // A window hidden in the tray gets its taskbar button back, still minimised.
    if (!active && m_inTray)
        showInTaskbar();
}

void TfrmMain::showInTaskbar()
{
    leaveTray();
    if (isHidden() && m_shown)
        showMinimized();
}

void TfrmMain::leaveTray()
{
    m_inTray = false;
    m_trayWatch->stop();
}

void TfrmMain::miRestoreClick()
{
    // Only a minimised or hidden window is restored: a maximised one stays maximised.
    if (isHidden() && m_shown) {
        leaveTray();
        // The window manager may report a window hidden while minimised as no longer
        // minimised, while the window system still keeps "start iconic" for it: a mere
        // show would then map it iconic again, and back it would go into the tray.
        // Passing through minimised makes the state change that resets that.
        {
            const QScopedValueRollback restoring(m_restoring, true);
            if (!isMinimized())
                setWindowState(windowState() | Qt::WindowMinimized);
            // Said outright: a window first shown minimised would come back minimised.
            if (m_maximizedBeforeTray)
                showMaximized();
            else
                showNormal();
        }
        m_restoredAt.start();
    } else if (isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    ActivateWindowForcibly(this);
    SetNoteFile(m_noteFile);
}

void TfrmMain::miHideClick()
{
    showMinimized();
}

void TfrmMain::trayMainClick(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick) {
        if (QAction *item = mnuTray->defaultAction())
            item->trigger();
    } else if (reason == QSystemTrayIcon::Trigger
               && !(QGuiApplication::keyboardModifiers()
                    & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))) {
        miRestoreClick();
    }
}

void TfrmMain::ApplicationMinimize()
{
    if (!Settings || !Settings->MinimizeToTray || m_closing || m_restoring)
        return;
    // Without a tray the window would be out of reach: it stays on the taskbar.
    if (!TrayAvailable())
        return;
    trayMain->setToolTip(MainText::TrayTip(windowTitle().replace(u"[*][*]"_s, u"[*]"_s)));
    trayMain->show();
    m_inTray = true;
    m_maximizedBeforeTray = windowState().testFlag(Qt::WindowMaximized);
    m_trayWatch->start();
    // Hidden only after the minimise has run its course in the window system.
    QTimer::singleShot(0, this, [this] {
        if (m_inTray && isMinimized())
            hide();
    });
}

void TfrmMain::TaskbarCreated()
{
    // The new host knows nothing of the icon: take it away and add it again. An icon
    // the settings keep off stays off.
    if (!trayMain->isVisible())
        return;
    trayMain->hide();
    trayMain->show();
}

bool TfrmMain::closeToTray(QCloseEvent *event)
{
    // Only the window system's close (the close button, Alt+F4, the window menu) goes
    // to the tray; File → Exit, the tray's Exit and the end of the session close.
    if (!event->spontaneous() || !Settings || !Settings->CloseToTray || !m_shown)
        return false;
    event->ignore();
    miHideClick();
    return true;
}

void TfrmMain::miSettingsOnTopClick()
{
    Settings->StayOnTop = action("miSettingsOnTop")->isChecked();
    SetStayOnTop(this, Settings->StayOnTop);
}

void TfrmMain::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
#if !defined(Q_OS_WIN)
    // Snapping waits for the move to end, so it never fights the window manager.
    if (m_shown && !m_snapping && windowState() == Qt::WindowNoState && CanPlaceWindows())
        m_snapTimer->start();
#endif
}

void TfrmMain::snapToWorkArea()
{
    if (windowState() != Qt::WindowNoState || !isVisible() || !screen())
        return;
    // The user still holds the window: the move has not ended.
    if (PointerButtonHeld()) {
        m_snapTimer->start();
        return;
    }
    const QRect frame = frameGeometry();
    const TSnapWindow to = snapped(frame, screen()->availableGeometry());
    if (to.x == frame.x() && to.y == frame.y() && to.cx == frame.width()
        && to.cy == frame.height())
        return;
    // The frame's margins stay as they are; only the window inside them is placed.
    const QMargins margins(geometry().left() - frame.left(), geometry().top() - frame.top(),
                           frame.right() - geometry().right(),
                           frame.bottom() - geometry().bottom());
    m_snapping = true;
    setGeometry(QRect(to.x, to.y, to.cx, to.cy).marginsRemoved(margins));
    m_snapping = false;
}

bool TfrmMain::nativeEvent(const QByteArray &eventType, void *message, qintptr *result)
{
#if defined(Q_OS_WIN)
    // Windows lets the program adjust a move before it happens.
    auto *msg = static_cast<MSG *>(message);
    if (eventType == "windows_generic_MSG" && msg->message == WM_WINDOWPOSCHANGING) {
        auto *pos = reinterpret_cast<WINDOWPOS *>(msg->lParam);
        if ((pos->flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
            RECT work;
            if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
                const TSnapWindow to = SnapToWorkArea({work.left, work.top, work.right,
                                                       work.bottom},
                                                      {pos->x, pos->y, pos->cx, pos->cy});
                pos->x = to.x;
                pos->y = to.y;
                pos->cx = to.cx;
                pos->cy = to.cy;
            }
        }
    }
#endif
    return QMainWindow::nativeEvent(eventType, message, result);
}

void TfrmMain::placeFirstWindow()
{
    // Without a placement of the user's own: a comfortable share of the screen, centred,
    // never smaller than the window as designed.
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QSize size(std::max(624, available.width() * 3 / 5),
                     std::max(486, available.height() * 2 / 3));
    // Where the compositor places windows, only the size is the program's to choose.
    if (!CanPlaceWindows()) {
        resize(size.boundedTo(available.size()));
        return;
    }
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter,
                                    size.boundedTo(available.size()), available));
}

void TfrmMain::restorePlacement()
{
    const TWindowPlacement &p = Settings->WindowPos;
    const TRectI &r = p.rcNormalPosition;
    const QRect normal(r.left, r.top, r.right - r.left, r.bottom - r.top);
    // A placement from another screen layout must not put the window out of reach.
    const QRect available = QGuiApplication::primaryScreen()
        ? QGuiApplication::primaryScreen()->virtualGeometry()
        : QRect();
    if (!CanPlaceWindows()) {
        // The compositor places the window; the stored position stays for X11.
        if (normal.width() > 50 && normal.height() > 50)
            resize(normal.size().boundedTo(available.isNull() ? normal.size()
                                                              : available.size()));
    } else if (normal.width() > 50 && normal.height() > 50
               && (available.isNull() || available.intersects(normal))) {
        setGeometry(normal);
    }
    switch (p.showCmd) {
    case 2:
    case 6:
    case 7:
        setWindowState(Qt::WindowMinimized);
        break;
    case 3:
        setWindowState(Qt::WindowMaximized);
        break;
    default:
        setWindowState(Qt::WindowNoState);
        break;
    }
}
