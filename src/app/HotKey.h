#pragma once

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QObject>

class QWidget;
class TPortalShortcut;

// The global hot key Windows key + N, and the desktop's tray host (re)appearing, seen in
// the window system's own events: on X11 a passive grab of Super+N on the root window
// (also with Num Lock and Caps Lock on) and the tray selection's MANAGER notice; on
// Windows RegisterHotKey and the "TaskbarCreated" message. Under Wayland no program
// may grab a key: there the desktop portal's GlobalShortcuts gives it where the session
// offers that portal, and there is no hot key where it does not. Failures are silent:
// the program simply has no hot key then, and IsRegistered says so.
class THotKey final : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit THotKey(QObject *parent = nullptr);
    ~THotKey() override;

    // Registers the key for Window; false when the platform has no global keys or
    // another program holds the key.
    bool Register(QWidget *Window);
    void Unregister();
    bool IsRegistered() const { return m_registered; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    // The hot key was pressed.
    void Activated();
    // A tray host took over the notification area (it started, or restarted).
    void TaskbarCreated();
    // The portal answered later whether the key is ours.
    void RegisteredChanged(bool registered);

private:
    bool registerThroughPortal();

    bool m_registered = false;
    TPortalShortcut *m_portal = nullptr;
    quintptr m_window = 0;
    // X11: the key codes of N, the Super modifier, the modifiers to ignore, atoms.
    QList<quint8> m_keyCodes;
    quint16 m_superMask = 0;
    quint16 m_ignoredMask = 0;
    quint32 m_managerAtom = 0;
    quint32 m_trayAtom = 0;
    // Windows: the registered "TaskbarCreated" message.
    unsigned m_taskbarCreated = 0;
};

// Brings Window to the front and gives it the focus even when another program has
// it: on X11 the request comes as a pager's, which window managers do not refuse as
// focus stealing.
void ActivateWindowForcibly(QWidget *Window);

// Whether the desktop has a notification area right now. On X11 the owner of the tray
// selection is asked each time, so a tray host that has gone is never trusted.
bool SystemTrayAvailable();

// Whether a mouse button is held anywhere on the screen, also while the window manager
// has the pointer (as it has while it moves a window). False where that is unknown.
bool PointerButtonHeld();
