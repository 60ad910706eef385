// The global shortcut through the desktop portal, against a portal of the test's own
// on a private session bus: the requests the portal sees, its answers, and which of
// its Activated signals count.

#include "OutsidePrograms.h"
#include "app/PortalShortcut.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kSession = u"/org/freedesktop/portal/desktop/session/1_1/vellumtree"_s;

// The portal's side: answers Get(version), CreateSession and BindShortcuts as the real
// one does, with a Response signal on the request's object.
class FakePortal final : public QDBusVirtualObject
{
public:
    explicit FakePortal(const QString &busName) : m_busName(busName) { }

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        QDBusConnection bus = connection;
        const QString member = message.member();
        if (member == u"Get"_s) {
            bus.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
            return true;
        }
        const QVariantMap options
            = qdbus_cast<QVariantMap>(message.arguments().constLast().value<QDBusArgument>());
        const QString sender = message.service().mid(1).replace(u'.', u'_');
        const QString request = u"/org/freedesktop/portal/desktop/request/"_s + sender + u'/'
            + options.value(u"handle_token"_s).toString();
        bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        uint response = 0;
        QVariantMap results;
        if (member == u"CreateSession"_s) {
            results.insert(u"session_handle"_s, kSession);
        } else if (member == u"BindShortcuts"_s) {
            const auto shortcuts = message.arguments().value(1).value<QDBusArgument>();
            shortcuts.beginArray();
            while (!shortcuts.atEnd()) {
                QString id;
                QVariantMap shortcutOptions;
                shortcuts.beginStructure();
                shortcuts >> id >> shortcutOptions;
                shortcuts.endStructure();
                boundId = id;
                preferredTrigger = shortcutOptions.value(u"preferred_trigger"_s).toString();
            }
            shortcuts.endArray();
            boundSession = message.arguments().value(0).value<QDBusObjectPath>().path();
            response = refuseBind ? 1 : 0;
        } else {
            return false;
        }
        QDBusMessage answer = QDBusMessage::createSignal(
            request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
        answer << response << results;
        bus.send(answer);
        return true;
    }

    std::atomic<bool> refuseBind = false;
    QString boundId;
    QString boundSession;
    QString preferredTrigger;

private:
    QString m_busName;
};

// A private session bus, its own dbus-daemon, with the fake portal served from a
// thread of its own: the shortcut's calls block the test's thread.
class PortalShortcutTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Installed(u"dbus-daemon"_s));
        daemon.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address"_s});
        ASSERT_TRUE(daemon.waitForStarted());
        ASSERT_TRUE(daemon.waitForReadyRead(10000));
        address = QString::fromUtf8(daemon.readLine().trimmed());
        client = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, u"client"_s));
        ASSERT_TRUE(client->isConnected());
    }

    void servePortal()
    {
        portal = std::make_unique<FakePortal>(u"portal"_s);
        thread.start();
        portal->moveToThread(&thread);
        QDBusConnection bus = QDBusConnection::connectToBus(address, u"portal"_s);
        ASSERT_TRUE(bus.isConnected());
        ASSERT_TRUE(bus.registerVirtualObject(QLatin1String(TPortalShortcut::Path), portal.get()));
        ASSERT_TRUE(bus.registerService(QLatin1String(TPortalShortcut::Service)));
    }

    void emitActivated(const QString &session, const QString &id)
    {
        QDBusConnection bus(u"portal"_s);
        QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(TPortalShortcut::Path),
                                                         QLatin1String(TPortalShortcut::Interface),
                                                         u"Activated"_s);
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1)
               << QVariantMap();
        bus.send(signal);
    }

    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(u"portal"_s);
        QDBusConnection::disconnectFromBus(u"client"_s);
        client.reset();
        thread.quit();
        thread.wait();
        portal.reset();
        daemon.terminate();
        daemon.waitForFinished(5000);
    }

    QProcess daemon;
    QString address;
    std::unique_ptr<QDBusConnection> client;
    QThread thread;
    std::unique_ptr<FakePortal> portal;
};

TEST_F(PortalShortcutTest, NoPortalMeansNoShortcut)
{
    EXPECT_EQ(TPortalShortcut::PortalVersion(*client), 0u);
    TPortalShortcut shortcut(*client, u"restore"_s, u"Bring it back"_s, u"LOGO+n"_s);
    EXPECT_FALSE(shortcut.Start());
    EXPECT_FALSE(shortcut.IsBound());
}

TEST_F(PortalShortcutTest, BoundShortcutReportsOnlyItsOwnActivation)
{
    servePortal();
    EXPECT_EQ(TPortalShortcut::PortalVersion(*client), 1u);
    TPortalShortcut shortcut(*client, u"restore"_s, u"Bring it back"_s, u"LOGO+n"_s);
    QSignalSpy bound(&shortcut, &TPortalShortcut::Bound);
    QSignalSpy activated(&shortcut, &TPortalShortcut::Activated);
    ASSERT_TRUE(shortcut.Start());
    ASSERT_TRUE(bound.wait(10000) || bound.size() == 1);
    EXPECT_TRUE(bound.at(0).at(0).toBool());
    EXPECT_TRUE(shortcut.IsBound());
    EXPECT_EQ(portal->boundId, u"restore"_s);
    EXPECT_EQ(portal->boundSession, kSession);
    EXPECT_EQ(portal->preferredTrigger, u"LOGO+n"_s);

    // Another program's shortcut, or another session's, is not ours.
    emitActivated(kSession, u"other"_s);
    emitActivated(u"/org/freedesktop/portal/desktop/session/1_1/someone"_s, u"restore"_s);
    emitActivated(kSession, u"restore"_s);
    ASSERT_TRUE(activated.wait(10000) || activated.size() > 0);
    QTest::qWait(200);
    EXPECT_EQ(activated.size(), 1);
}

TEST_F(PortalShortcutTest, RefusedShortcutIsNotBoundAndNeverFires)
{
    servePortal();
    portal->refuseBind = true;
    TPortalShortcut shortcut(*client, u"restore"_s, u"Bring it back"_s, u"LOGO+n"_s);
    QSignalSpy bound(&shortcut, &TPortalShortcut::Bound);
    QSignalSpy activated(&shortcut, &TPortalShortcut::Activated);
    ASSERT_TRUE(shortcut.Start());
    ASSERT_TRUE(bound.wait(10000) || bound.size() == 1);
    EXPECT_FALSE(bound.at(0).at(0).toBool());
    EXPECT_FALSE(shortcut.IsBound());
    emitActivated(kSession, u"restore"_s);
    QTest::qWait(300);
    EXPECT_EQ(activated.size(), 0);
}

} // namespace
