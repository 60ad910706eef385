#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

class QDBusMessage;

// A global shortcut through the desktop portal (org.freedesktop.portal.GlobalShortcuts),
// the one way a program gets a desktop-wide key under Wayland. The portal asks the
// user to confirm the key, and may give another than the one proposed; everything
// travels as asynchronous requests whose answers come as Response signals.
class TPortalShortcut final : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *Service = "org.freedesktop.portal.Desktop";
    static constexpr const char *Path = "/org/freedesktop/portal/desktop";
    static constexpr const char *Interface = "org.freedesktop.portal.GlobalShortcuts";

    // The version of the portal's GlobalShortcuts interface on the bus; 0 when the
    // session offers none.
    static uint PortalVersion(const QDBusConnection &bus);

    // id names the shortcut to the portal; description and preferredTrigger (in the
    // portal's form, "LOGO+n") are what the user is shown and offered.
    TPortalShortcut(const QDBusConnection &bus, const QString &id, const QString &description,
                    const QString &preferredTrigger, QObject *parent = nullptr);
    ~TPortalShortcut() override;

    // Asks for the shortcut; false at once when there is no portal. Bound tells later
    // whether the portal gave it.
    bool Start();
    bool IsBound() const { return m_bound; }

signals:
    void Bound(bool ok);
    void Activated();

private slots:
    void sessionResponse(uint response, const QVariantMap &results);
    void bindResponse(uint response, const QVariantMap &results);
    void portalActivated(const QDBusMessage &message);

private:
    // Sends a request whose answer comes to slot; false when the call itself fails.
    bool request(const QString &method, const QVariantList &arguments, const char *slot);
    void fail();

    QDBusConnection m_bus;
    QString m_id;
    QString m_description;
    QString m_trigger;
    QString m_session;
    QString m_requestPath;
    const char *m_requestSlot = nullptr;
    bool m_bound = false;
    int m_tokenCounter = 0;
};
