#include "app/PortalShortcut.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QLoggingCategory>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcPortal, "vellumtree.portal", QtCriticalMsg)

namespace {

const QString kRequestInterface = u"org.freedesktop.portal.Request"_s;
const QString kSessionInterface = u"org.freedesktop.portal.Session"_s;

// One entry of BindShortcuts' a(sa{sv}).
struct TShortcutEntry
{
    QString id;
    QVariantMap options;
};

} // namespace

Q_DECLARE_METATYPE(TShortcutEntry)

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const TShortcutEntry &entry)
{
    argument.beginStructure();
    argument << entry.id << entry.options;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, TShortcutEntry &entry)
{
    argument.beginStructure();
    argument >> entry.id >> entry.options;
    argument.endStructure();
    return argument;
}

void registerTypes()
{
    static const bool done = [] {
        qDBusRegisterMetaType<TShortcutEntry>();
        qDBusRegisterMetaType<QList<TShortcutEntry>>();
        return true;
    }();
    Q_UNUSED(done);
}

// The portal names a request's object after the caller's unique name and the token.
QString requestPath(const QDBusConnection &bus, const QString &token)
{
    QString sender = bus.baseService();
    sender.remove(0, sender.startsWith(u':') ? 1 : 0).replace(u'.', u'_');
    return u"/org/freedesktop/portal/desktop/request/"_s + sender + u'/' + token;
}

} // namespace

uint TPortalShortcut::PortalVersion(const QDBusConnection &bus)
{
    if (!bus.isConnected())
        return 0;
    QDBusMessage get = QDBusMessage::createMethodCall(QLatin1String(Service), QLatin1String(Path),
                                                      u"org.freedesktop.DBus.Properties"_s,
                                                      u"Get"_s);
    get << QLatin1String(Interface) << u"version"_s;
    // Short: a session without the portal must not hold up the window.
    const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return 0;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt();
}

TPortalShortcut::TPortalShortcut(const QDBusConnection &bus, const QString &id,
                                 const QString &description, const QString &preferredTrigger,
                                 QObject *parent)
    : QObject(parent), m_bus(bus), m_id(id), m_description(description),
      m_trigger(preferredTrigger)
{
    registerTypes();
}

TPortalShortcut::~TPortalShortcut()
{
    if (!m_session.isEmpty()) {
        m_bus.call(QDBusMessage::createMethodCall(QLatin1String(Service), m_session,
                                                  kSessionInterface, u"Close"_s),
                   QDBus::NoBlock);
    }
}

bool TPortalShortcut::Start()
{
    if (PortalVersion(m_bus) == 0)
        return false;
    if (!m_bus.connect(QLatin1String(Service), QLatin1String(Path), QLatin1String(Interface),
                       u"Activated"_s, this,
                       SLOT(portalActivated(QDBusMessage))))
        qCDebug(lcPortal) << "cannot listen for activations:" << m_bus.lastError().message();
    const QVariantMap options{
        {u"handle_token"_s, u"vellumtree%1"_s.arg(++m_tokenCounter)},
        {u"session_handle_token"_s, u"vellumtree"_s},
    };
    return request(u"CreateSession"_s, {options}, SLOT(sessionResponse(uint, QVariantMap)));
}

bool TPortalShortcut::request(const QString &method, const QVariantList &arguments,
                              const char *slot)
{
    // The answer may come before the call returns: listen at the path it will have.
    const QVariantMap options = arguments.constLast().toMap();
    m_requestPath = requestPath(m_bus, options.value(u"handle_token"_s).toString());
    m_requestSlot = slot;
    m_bus.connect(QLatin1String(Service), m_requestPath, kRequestInterface, u"Response"_s, this,
                  slot);
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(Service), QLatin1String(Path),
                                                       QLatin1String(Interface), method);
    call.setArguments(arguments);
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qCDebug(lcPortal) << method << "failed:" << reply.errorMessage();
        fail();
        return false;
    }
    return true;
}

void TPortalShortcut::fail()
{
    if (m_requestSlot)
        m_bus.disconnect(QLatin1String(Service), m_requestPath, kRequestInterface, u"Response"_s,
                         this, m_requestSlot);
    m_requestSlot = nullptr;
    m_bound = false;
    emit Bound(false);
}

void TPortalShortcut::sessionResponse(uint response, const QVariantMap &results)
{
    m_bus.disconnect(QLatin1String(Service), m_requestPath, kRequestInterface, u"Response"_s,
                     this, SLOT(sessionResponse(uint, QVariantMap)));
    m_requestSlot = nullptr;
    // The handle comes as a string from some portals and as an object path from others.
    const QVariant handle = results.value(u"session_handle"_s);
    m_session = handle.canConvert<QDBusObjectPath>() && handle.userType() != QMetaType::QString
        ? handle.value<QDBusObjectPath>().path()
        : handle.toString();
    if (response != 0 || m_session.isEmpty()) {
        qCDebug(lcPortal) << "no session, response" << response;
        m_session.clear();
        fail();
        return;
    }
    const QList<TShortcutEntry> shortcuts{
        {m_id, {{u"description"_s, m_description}, {u"preferred_trigger"_s, m_trigger}}}};
    const QVariantMap options{{u"handle_token"_s, u"vellumtree%1"_s.arg(++m_tokenCounter)}};
    request(u"BindShortcuts"_s,
            {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
             QString(), options},
            SLOT(bindResponse(uint, QVariantMap)));
}

void TPortalShortcut::bindResponse(uint response, const QVariantMap &results)
{
    Q_UNUSED(results);
    m_bus.disconnect(QLatin1String(Service), m_requestPath, kRequestInterface, u"Response"_s,
                     this, SLOT(bindResponse(uint, QVariantMap)));
    m_requestSlot = nullptr;
    if (response != 0) {
        qCDebug(lcPortal) << "shortcut refused, response" << response;
        fail();
        return;
    }
    m_bound = true;
    emit Bound(true);
}

void TPortalShortcut::portalActivated(const QDBusMessage &message)
{
    // Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options): only this
    // session's shortcut is ours.
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const QString session = arguments.at(0).value<QDBusObjectPath>().path();
    if (m_bound && session == m_session && arguments.at(1).toString() == m_id)
        emit Activated();
}
