#include "app/HotKey.h"

#include "settings/LngMan.h"
#include "settings/UtilsGui.h"

#if defined(VT_HAVE_DBUS)
#include "app/PortalShortcut.h"
#endif

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>
#include <QWidget>

#include <utility>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(VT_HAVE_XCB)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>
#endif

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcHotKey, "vellumtree.hotkey", QtCriticalMsg)

namespace {

constexpr int kHotKeyId = 1;

#if defined(VT_HAVE_XCB)
constexpr quint32 kKeysymN = 0x006e;
constexpr quint32 kKeysymSuperL = 0xffeb;
constexpr quint32 kKeysymSuperR = 0xffec;
constexpr quint32 kKeysymNumLock = 0xff7f;

xcb_connection_t *x11Connection()
{
    if (QGuiApplication::platformName() != u"xcb"_s)
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The screen number DISPLAY names (":0.1"), 0 when it names none.
int screenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype dot = display.lastIndexOf('.');
    bool ok = false;
    const int number = dot > display.lastIndexOf(':') ? display.mid(dot + 1).toInt(&ok) : 0;
    return ok ? number : 0;
}

xcb_window_t rootWindow(xcb_connection_t *c)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = screenNumber(); i > 0 && it.rem > 1; --i)
        xcb_screen_next(&it);
    return it.data ? it.data->root : XCB_NONE;
}

xcb_atom_t internAtom(xcb_connection_t *c, const QByteArray &name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, quint16(name.size()), name.constData()),
                              nullptr),
        &std::free);
    return reply ? reply->atom : XCB_NONE;
}

// The selection a tray host owns on the default screen.
xcb_atom_t trayAtom(xcb_connection_t *c)
{
    return internAtom(c, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber()));
}

using KeySymbols = std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)>;

QList<quint8> keyCodes(xcb_key_symbols_t *symbols, quint32 keysym)
{
    QList<quint8> codes;
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> list(
        xcb_key_symbols_get_keycode(symbols, keysym), &std::free);
    for (xcb_keycode_t *k = list.get(); k && *k != XCB_NO_SYMBOL; ++k)
        codes.append(*k);
    return codes;
}

// The modifier bit a key is mapped to (Super is usually Mod4, Num Lock Mod2), or the
// given default when the mapping cannot be read.
quint16 modifierOf(xcb_connection_t *c, const QList<quint8> &codes, quint16 fallback)
{
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, decltype(&std::free)> reply(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr), &std::free);
    if (!reply)
        return fallback;
    const xcb_keycode_t *map = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perModifier = reply->keycodes_per_modifier;
    // Shift, Lock and Control come first; only Mod1..Mod5 can stand for these keys.
    for (int modifier = 3; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            if (codes.contains(map[modifier * perModifier + i]))
                return quint16(1u << modifier);
        }
    }
    return fallback;
}

// Asks the window manager to activate Window, as a pager would.
void requestActivation(QWindow *window)
{
    xcb_connection_t *c = x11Connection();
    if (!c)
        return;
    xcb_client_message_event_t event = {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window->winId());
    event.type = internAtom(c, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 2; // source: a pager, which the user drives
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, rootWindow(c),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(c);
}

// Whether the X server gives the window the keyboard focus.
bool hasInputFocus(const QWindow *window)
{
    xcb_connection_t *c = x11Connection();
    if (!c || !window)
        return false;
    std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> reply(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr), &std::free);
    return reply && reply->focus == xcb_window_t(window->winId());
}

// Requests activation once the window is on the screen; gives up after a while.
class TActivateWhenExposed final : public QObject
{
public:
    explicit TActivateWhenExposed(QWindow *window) : QObject(window)
    {
        window->installEventFilter(this);
        QTimer::singleShot(2000, this, &QObject::deleteLater);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = static_cast<QWindow *>(watched);
        if (event->type() == QEvent::Expose && window->isExposed()) {
            requestActivation(window);
            window->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

// Every combination of the modifiers the grab must not depend on.
QList<quint16> ignoredCombinations(quint16 numLock)
{
    return {0, quint16(XCB_MOD_MASK_LOCK), numLock, quint16(numLock | XCB_MOD_MASK_LOCK)};
}
#endif

} // namespace

THotKey::THotKey(QObject *parent) : QObject(parent)
{
    QCoreApplication::instance()->installNativeEventFilter(this);
#if defined(Q_OS_WIN)
    m_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
#elif defined(VT_HAVE_XCB)
    if (xcb_connection_t *c = x11Connection()) {
        m_managerAtom = internAtom(c, "MANAGER");
        m_trayAtom = trayAtom(c);
    }
#endif
}

THotKey::~THotKey()
{
    Unregister();
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool THotKey::Register(QWidget *Window)
{
    Unregister();
    if (!Window)
        return false;
#if defined(Q_OS_WIN)
    m_window = quintptr(Window->window()->winId());
    m_registered = RegisterHotKey(HWND(m_window), kHotKeyId, MOD_WIN, 'N') != 0;
#elif defined(VT_HAVE_XCB)
    xcb_connection_t *c = x11Connection();
    if (!c) {
        m_registered = registerThroughPortal();
        return m_registered;
    }
    KeySymbols symbols(xcb_key_symbols_alloc(c), &xcb_key_symbols_free);
    if (!symbols)
        return false;
    m_keyCodes = keyCodes(symbols.get(), kKeysymN);
    m_superMask = modifierOf(c, keyCodes(symbols.get(), kKeysymSuperL)
                                    + keyCodes(symbols.get(), kKeysymSuperR),
                             XCB_MOD_MASK_4);
    const quint16 numLock = modifierOf(c, keyCodes(symbols.get(), kKeysymNumLock),
                                       XCB_MOD_MASK_2);
    m_ignoredMask = quint16(numLock | XCB_MOD_MASK_LOCK);
    const xcb_window_t root = rootWindow(c);
    m_window = root;
    bool ok = !m_keyCodes.isEmpty() && root != XCB_NONE;
    for (quint8 code : std::as_const(m_keyCodes)) {
        for (quint16 extra : ignoredCombinations(numLock)) {
            const xcb_void_cookie_t cookie
                = xcb_grab_key_checked(c, 1, root, quint16(m_superMask | extra), code,
                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t *error = xcb_request_check(c, cookie)) {
                // Another program holds the key: no hot key for us.
                qCDebug(lcHotKey) << "Super+N is taken, error" << error->error_code;
                std::free(error);
                ok = false;
            }
        }
    }
    m_registered = true; // so that Unregister releases what was grabbed
    if (!ok)
        Unregister();
#else
    m_registered = registerThroughPortal();
#endif
    return m_registered;
}

bool THotKey::registerThroughPortal()
{
#if defined(VT_HAVE_DBUS)
    // Asked only where a compositor keeps the keys to itself; never offscreen or in a
    // session without a bus.
    if (!QGuiApplication::platformName().startsWith(u"wayland"_s))
        return false;
    if (!m_portal) {
        m_portal = new TPortalShortcut(
            QDBusConnection::sessionBus(), u"restore"_s,
            LanguageManager().GetString(u"hotkey_description"_s, u"Strings"_s), u"LOGO+n"_s,
            this);
        connect(m_portal, &TPortalShortcut::Activated, this, &THotKey::Activated);
        connect(m_portal, &TPortalShortcut::Bound, this, [this](bool ok) {
            m_registered = ok;
            emit RegisteredChanged(ok);
        });
    }
    return m_portal->Start();
#else
    return false;
#endif
}

void THotKey::Unregister()
{
    // Ending the portal's session gives the key back.
    delete std::exchange(m_portal, nullptr);
    if (!m_registered)
        return;
    m_registered = false;
#if defined(Q_OS_WIN)
    UnregisterHotKey(HWND(m_window), kHotKeyId);
#elif defined(VT_HAVE_XCB)
    if (xcb_connection_t *c = x11Connection()) {
        const quint16 numLock = quint16(m_ignoredMask & ~XCB_MOD_MASK_LOCK);
        for (quint8 code : std::as_const(m_keyCodes)) {
            for (quint16 extra : ignoredCombinations(numLock))
                xcb_ungrab_key(c, code, xcb_window_t(m_window), quint16(m_superMask | extra));
        }
        xcb_flush(c);
    }
#endif
}

bool THotKey::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result)
{
    Q_UNUSED(result);
#if defined(Q_OS_WIN)
    if (eventType != "windows_generic_MSG")
        return false;
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message == WM_HOTKEY && m_registered && msg->wParam == kHotKeyId) {
        QMetaObject::invokeMethod(this, &THotKey::Activated, Qt::QueuedConnection);
        return false; // the usual handling goes on
    }
    if (m_taskbarCreated && msg->message == m_taskbarCreated) {
        QMetaObject::invokeMethod(this, &THotKey::TaskbarCreated, Qt::QueuedConnection);
        return true;
    }
#elif defined(VT_HAVE_XCB)
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const quint8 type = event->response_type & 0x7f;
    if (type == XCB_KEY_PRESS && m_registered) {
        const auto *key = static_cast<const xcb_key_press_event_t *>(message);
        if (key->event == xcb_window_t(m_window) && m_keyCodes.contains(key->detail)
            && (key->state & ~m_ignoredMask & 0xff) == m_superMask) {
            QMetaObject::invokeMethod(this, &THotKey::Activated, Qt::QueuedConnection);
            return true;
        }
    } else if (type == XCB_CLIENT_MESSAGE && m_managerAtom != XCB_NONE) {
        const auto *client = static_cast<const xcb_client_message_event_t *>(message);
        if (client->type == m_managerAtom && client->format == 32
            && client->data.data32[1] == m_trayAtom)
            QMetaObject::invokeMethod(this, &THotKey::TaskbarCreated, Qt::QueuedConnection);
    }
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    return false;
}

void ActivateWindowForcibly(QWidget *Window)
{
    if (!Window)
        return;
    QWidget *window = Window->window();
    ForceForegroundWindow(window);
#if defined(Q_OS_WIN)
    // Windows lets only the foreground thread hand the foreground on: borrow its input.
    const HWND target = HWND(window->winId());
    const HWND foreground = GetForegroundWindow();
    const DWORD foregroundThread = GetWindowThreadProcessId(foreground, nullptr);
    const DWORD ownThread = GetCurrentThreadId();
    const bool attach = foreground && foregroundThread != ownThread;
    if (attach)
        AttachThreadInput(foregroundThread, ownThread, TRUE);
    SetForegroundWindow(target);
    if (attach)
        AttachThreadInput(foregroundThread, ownThread, FALSE);
#elif defined(VT_HAVE_XCB)
    if (!x11Connection() || !window->isVisible() || !window->windowHandle())
        return;
    QWindow *handle = window->windowHandle();
    // Hidden and shown again in quick succession, the window can stay Qt's focus window
    // throughout; the activation that follows then changes nothing Qt sees, and the
    // window never counts as active (no keyboard focus, commands disabled). Once the
    // window system has given it the focus, the application is told so.
    const QPointer<QWidget> guard(window);
    for (const int delay : {100, 400, 1000}) {
        QTimer::singleShot(delay, window, [guard] {
            if (guard && guard->isVisible()
                && QGuiApplication::focusWindow() == guard->windowHandle()
                && QApplication::activeWindow() != guard && hasInputFocus(guard->windowHandle())) {
                QT_WARNING_PUSH
                QT_WARNING_DISABLE_DEPRECATED
                QApplication::setActiveWindow(guard);
                QT_WARNING_POP
            }
        });
    }
    if (handle->isExposed()) {
        requestActivation(handle);
        return;
    }
    // A window just shown is not managed yet; the window manager ignores requests
    // for it until it is.
    new TActivateWhenExposed(handle);
#endif
}

bool SystemTrayAvailable()
{
#if defined(VT_HAVE_XCB)
    if (xcb_connection_t *c = x11Connection()) {
        std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, trayAtom(c)), nullptr),
            &std::free);
        return reply && reply->owner != XCB_NONE;
    }
#endif
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool PointerButtonHeld()
{
#if defined(VT_HAVE_XCB)
    if (xcb_connection_t *c = x11Connection()) {
        std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> reply(
            xcb_query_pointer_reply(c, xcb_query_pointer(c, rootWindow(c)), nullptr),
            &std::free);
        return reply
            && (reply->mask
                & (XCB_KEY_BUT_MASK_BUTTON_1 | XCB_KEY_BUT_MASK_BUTTON_2
                   | XCB_KEY_BUT_MASK_BUTTON_3));
    }
#endif
    return false;
}
