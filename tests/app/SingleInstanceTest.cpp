#include "QtPrinters.h"
#include "app/SingleInstance.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <functional>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

QString uniqueName()
{
    static int counter = 0;
    return u"vt-single-instance-test-%1-%2"_s.arg(QCoreApplication::applicationPid())
        .arg(++counter);
}

// What the peer prints for a text it received.
QByteArray hex(const QString &text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex();
}

// The peer program in its listening role, as the first instance.
class Peer final
{
public:
    // setUp runs in the peer's process before it starts (limits, another user).
    explicit Peer(const QString &name, int handleMs = 0, std::function<void()> setUp = {})
    {
        if (setUp)
            m_process.setChildProcessModifier(setUp);
        m_process.setProgram(QStringLiteral(VT_SINGLE_INSTANCE_PEER));
        m_process.setArguments({ u"listen"_s, name, QString::number(handleMs) });
        m_process.start();
    }
    ~Peer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // The next line the peer prints, or empty after the timeout.
    QByteArray line(int timeoutMs = 10000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!m_process.canReadLine() && !deadline.hasExpired()) {
            if (!m_process.waitForReadyRead(100) && m_process.state() == QProcess::NotRunning)
                break;
        }
        return m_process.canReadLine() ? m_process.readLine().trimmed() : QByteArray();
    }
    // Everything printed within the wait, for checking that nothing came.
    QByteArray drain(int waitMs)
    {
        m_process.waitForReadyRead(waitMs);
        return m_process.readAll();
    }
    void crash()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
};

// The peer program in its sending role, as a second instance.
std::unique_ptr<QProcess> startSender(const QString &name, const QString &text)
{
    auto process = std::make_unique<QProcess>();
    process->start(QStringLiteral(VT_SINGLE_INSTANCE_PEER), { u"send"_s, name, text, u"10000"_s });
    return process;
}

struct HandOverCase
{
    const char *name;
    QString text;
};

class HandOverTest : public testing::TestWithParam<HandOverCase>
{
};

TEST_P(HandOverTest, RunningInstanceReceivesTheTextExactly)
{
    const QString name = uniqueName();
    Peer peer(name);
    ASSERT_EQ(peer.line(), "listening");
    ASSERT_TRUE(TSingleInstance::HandOver(name, GetParam().text, 10000));
    EXPECT_EQ(peer.line(), "begin " + hex(GetParam().text));
    EXPECT_EQ(peer.line(), "end " + hex(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(SingleInstance, HandOverTest,
    testing::Values(HandOverCase { "NoParams", THandOverRequest::NoParams() },
        HandOverCase { "PathWithSpaces", u"/home/user/My notes/Work.vlt"_s },
        HandOverCase { "NonAsciiPath", u"/tmp/Заметки/日本語 \U0001F600.vle"_s },
        HandOverCase { "LargestAllowed", u'/' + QString(TSingleInstance::MaxMessageBytes - 1, u'x') }),
    [](const testing::TestParamInfo<HandOverCase> &info) { return info.param.name; });

// A Wayland compositor brings a window forward only with a token the launcher of the
// second start got for it: the token must arrive unchanged, beside the text.
TEST(SingleInstance, ActivationTokenTravelsBesideTheText)
{
    const QString name = uniqueName();
    Peer peer(name);
    ASSERT_EQ(peer.line(), "listening");
    const QString token = u"kwin-4711_a.b:c=="_s;
    ASSERT_TRUE(TSingleInstance::HandOver(name, u"/tmp/with token.vlt"_s, 10000, nullptr, token));
    EXPECT_EQ(peer.line(), "begin " + hex(u"/tmp/with token.vlt"_s));
    EXPECT_EQ(peer.line(), "end " + hex(u"/tmp/with token.vlt"_s));
    EXPECT_EQ(peer.line(), "token " + token.toUtf8());
    // Without one, no token line follows.
    ASSERT_TRUE(TSingleInstance::HandOver(name, u"/tmp/plain.vlt"_s, 10000));
    EXPECT_EQ(peer.line(), "begin " + hex(u"/tmp/plain.vlt"_s));
    EXPECT_EQ(peer.line(), "end " + hex(u"/tmp/plain.vlt"_s));
    EXPECT_EQ(peer.drain(300), "");
}

TEST(SingleInstance, UnusableTokenIsNeverSent)
{
    const QString name = uniqueName();
    Peer peer(name);
    ASSERT_EQ(peer.line(), "listening");
    for (const QString &token : { u"two words"_s, u"line\nbreak"_s, u"caf\u00e9"_s,
                                  QString(TSingleInstance::MaxTokenBytes + 1, u't') }) {
        bool delivered = true;
        EXPECT_FALSE(TSingleInstance::HandOver(name, u"/tmp/a.vlt"_s, 5000, &delivered, token));
        EXPECT_FALSE(delivered);
    }
    EXPECT_EQ(peer.drain(300), "");
    // The longest usable one still goes.
    const QString longest(TSingleInstance::MaxTokenBytes, u't');
    EXPECT_TRUE(TSingleInstance::HandOver(name, u"/tmp/a.vlt"_s, 10000, nullptr, longest));
    EXPECT_EQ(peer.line(), "begin " + hex(u"/tmp/a.vlt"_s));
    EXPECT_EQ(peer.line(), "end " + hex(u"/tmp/a.vlt"_s));
    EXPECT_EQ(peer.line(), "token " + longest.toUtf8());
}

TEST(SingleInstance, HandOverWaitsUntilTheRequestIsHandled)
{
    const QString name = uniqueName();
    Peer peer(name, 700);
    ASSERT_EQ(peer.line(), "listening");
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(TSingleInstance::HandOver(name, u"/tmp/a.vlt"_s, 10000));
    EXPECT_GE(timer.elapsed(), 600);
    // The answer came after the handler had finished, so its last line is there.
    EXPECT_EQ(peer.line(), "begin " + hex(u"/tmp/a.vlt"_s));
    EXPECT_EQ(peer.line(), "end " + hex(u"/tmp/a.vlt"_s));
}

TEST(SingleInstance, HandOverGivesUpAfterItsTimeout)
{
    const QString name = uniqueName();
    Peer peer(name, 3000);
    ASSERT_EQ(peer.line(), "listening");
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(TSingleInstance::HandOver(name, u"/tmp/slow.vlt"_s, 300));
    EXPECT_LT(timer.elapsed(), 2500);
    // The request is still handled, though its socket went while the handler waited,
    // and the instance goes on taking requests.
    EXPECT_EQ(peer.line(), "begin " + hex(u"/tmp/slow.vlt"_s));
    EXPECT_EQ(peer.line(), "end " + hex(u"/tmp/slow.vlt"_s));
    EXPECT_TRUE(TSingleInstance::HandOver(name, u"/tmp/next.vlt"_s, 10000));
    EXPECT_EQ(peer.line(), "begin " + hex(u"/tmp/next.vlt"_s));
}

TEST(SingleInstance, RequestsArrivingDuringAHandlerWaitTheirTurn)
{
    const QString name = uniqueName();
    Peer peer(name, 400);
    ASSERT_EQ(peer.line(), "listening");
    auto first = startSender(name, u"/tmp/first.vlt"_s);
    ASSERT_EQ(peer.line(), "begin " + hex(u"/tmp/first.vlt"_s));
    // The second arrives while the first one's "dialog" is open.
    auto second = startSender(name, u"/tmp/second.vlt"_s);
    EXPECT_EQ(peer.line(), "end " + hex(u"/tmp/first.vlt"_s));
    EXPECT_EQ(peer.line(), "begin " + hex(u"/tmp/second.vlt"_s));
    EXPECT_EQ(peer.line(), "end " + hex(u"/tmp/second.vlt"_s));
    for (QProcess *sender : { first.get(), second.get() }) {
        ASSERT_TRUE(sender->waitForFinished(10000));
        EXPECT_EQ(sender->exitCode(), 0);
    }
}

TEST(SingleInstance, NoInstanceMeansNoHandOver)
{
    EXPECT_FALSE(TSingleInstance::HandOver(uniqueName(), u"/tmp/a.vlt"_s, 2000));
}

TEST(SingleInstance, TooLongTextIsNotSent)
{
    const QString name = uniqueName();
    Peer peer(name);
    ASSERT_EQ(peer.line(), "listening");
    EXPECT_FALSE(
        TSingleInstance::HandOver(name, QString(TSingleInstance::MaxMessageBytes + 1, u'x'), 5000));
    EXPECT_FALSE(TSingleInstance::HandOver(name, u"a\0b"_s, 5000));
    EXPECT_EQ(peer.drain(300), QByteArray());
}

TEST(SingleInstance, LiveInstanceIsNotTakenOver)
{
    const QString name = uniqueName();
    Peer peer(name);
    ASSERT_EQ(peer.line(), "listening");
    TSingleInstance second(name);
    EXPECT_FALSE(second.Listen());
    EXPECT_FALSE(second.IsListening());
    // The first instance still serves.
    EXPECT_TRUE(TSingleInstance::HandOver(name, u"/tmp/still here.vlt"_s, 10000));
    EXPECT_EQ(peer.line(), "begin " + hex(u"/tmp/still here.vlt"_s));
}

TEST(SingleInstance, StaleSocketOfACrashedInstanceIsTakenOver)
{
    const QString name = uniqueName();
    Peer crashed(name);
    ASSERT_EQ(crashed.line(), "listening");
    crashed.crash();
#ifdef Q_OS_UNIX
    // A killed process leaves its socket file behind.
    ASSERT_TRUE(QFileInfo::exists(QDir::tempPath() + u'/' + name));
#endif
    EXPECT_FALSE(TSingleInstance::HandOver(name, u"/tmp/nobody.vlt"_s, 2000));

    TSingleInstance instance(name);
    ASSERT_TRUE(instance.Listen());
    QSignalSpy spy(&instance, &TSingleInstance::OpenRequest);
    auto sender = startSender(name, u"/tmp/after crash.vlt"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sender->state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(sender->exitCode(), 0);
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].toString(), u"/tmp/after crash.vlt"_s);
}

struct BadRequestCase
{
    const char *name;
    QByteArray bytes;
};

QByteArray framed(const QByteArray &payload, quint32 length)
{
    QByteArray header(4, '\0');
    qToBigEndian(length, header.data());
    return header + payload;
}

class BadRequestTest : public testing::TestWithParam<BadRequestCase>
{
};

TEST_P(BadRequestTest, IsRefusedAndTheInstanceKeepsServing)
{
    const QString name = uniqueName();
    Peer peer(name);
    ASSERT_EQ(peer.line(), "listening");
    {
        QLocalSocket socket;
        socket.connectToServer(name);
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(GetParam().bytes);
        ASSERT_TRUE(socket.waitForBytesWritten(5000) || socket.bytesToWrite() == 0);
        // Refused: the connection is closed without the answer.
        const bool closed
            = socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(5000);
        EXPECT_TRUE(closed);
        EXPECT_NE(socket.readAll(), "done\n");
    }
    EXPECT_TRUE(peer.running());
    EXPECT_TRUE(TSingleInstance::HandOver(name, u"/tmp/good.vlt"_s, 10000));
    // Nothing was delivered for the bad request.
    EXPECT_EQ(peer.line(), "begin " + hex(u"/tmp/good.vlt"_s));
}

INSTANTIATE_TEST_SUITE_P(SingleInstance, BadRequestTest,
    testing::Values(BadRequestCase { "HugeLength", framed("abc", 0xFFFFFFFFu) },
        BadRequestCase { "JustOverTheLimit",
            framed(QByteArray(TSingleInstance::MaxMessageBytes + 1, 'x'),
                quint32(TSingleInstance::MaxMessageBytes + 1)) },
        BadRequestCase { "InvalidUtf8", framed("\xff\xfe\x80", 3) },
        // After a NUL only a token may come: printable ASCII, no second NUL.
        BadRequestCase { "TokenWithASpace", framed(QByteArray("/a\0b c", 6), 6) },
        BadRequestCase { "EmptyTokenAfterNul", framed(QByteArray("/a\0", 3), 3) },
        BadRequestCase { "SecondNul", framed(QByteArray("/a\0b\0c", 6), 6) },
        BadRequestCase { "TokenNotAscii", framed(QByteArray("/a\0\xc3\xa9", 5), 5) },
        BadRequestCase { "TokenTooLong",
            framed(QByteArray("/a\0", 3) + QByteArray(TSingleInstance::MaxTokenBytes + 1, 't'),
                quint32(3 + TSingleInstance::MaxTokenBytes + 1)) },
        BadRequestCase { "Empty", framed("", 0) },
        BadRequestCase { "RelativeName", framed("notes.vlt", 9) }),
    [](const testing::TestParamInfo<BadRequestCase> &info) { return info.param.name; });

TEST(SingleInstance, ThousandsOfIdleConnectionsNeverStopTheInstance)
{
    const QString name = uniqueName();
    // With the common limit of 1,024 descriptors, idle connections once exhausted them
    // and the server stopped accepting for good.
    Peer peer(name, 0, [] {
#ifdef Q_OS_UNIX
        const rlimit limit { 1024, 1024 };
        setrlimit(RLIMIT_NOFILE, &limit);
#endif
    });
    ASSERT_EQ(peer.line(), "listening");
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < 1061; ++i) {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(name);
        socket->waitForConnected(5000);
        idle.push_back(std::move(socket));
    }
    // Still held open by this side, yet a real request gets through at once.
    EXPECT_TRUE(TSingleInstance::HandOver(name, u"/tmp/after flood.vlt"_s, 10000));
    EXPECT_EQ(peer.line(), "begin " + hex(u"/tmp/after flood.vlt"_s));
    EXPECT_TRUE(peer.running());
}

TEST(SingleInstance, ConnectionThatSendsNothingIsDroppedAfterItsTimeout)
{
    const QString name = uniqueName();
    Peer peer(name);
    ASSERT_EQ(peer.line(), "listening");
    QLocalSocket socket;
    socket.connectToServer(name);
    ASSERT_TRUE(socket.waitForConnected(5000));
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(socket.waitForDisconnected(TSingleInstance::RequestTimeoutMs + 5000));
    EXPECT_GE(timer.elapsed(), TSingleInstance::RequestTimeoutMs - 1000);
}

#ifdef Q_OS_UNIX
constexpr uid_t kOtherUser = 65534; // nobody

void becomeOtherUser()
{
    if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0)
        _exit(4);
}

TEST(SingleInstance, HandOverRefusesAnInstanceOfAnotherUser)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to run the instance as another user";
    const QString name = uniqueName();
    Peer other(name, 0, becomeOtherUser);
    ASSERT_EQ(other.line(), "listening");
    bool delivered = true;
    EXPECT_FALSE(TSingleInstance::HandOver(name, u"/tmp/secret.vlt"_s, 5000, &delivered));
    EXPECT_FALSE(delivered);
    EXPECT_EQ(other.drain(300), QByteArray());
}

TEST(SingleInstance, InstanceRefusesARequestFromAnotherUser)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to send as another user";
    const QString name = uniqueName();
    TSingleInstance instance(name);
    ASSERT_TRUE(instance.Listen());
    // Even a socket file anyone may open admits no other user.
    ASSERT_EQ(chmod(QFile::encodeName(QDir::tempPath() + u'/' + name).constData(), 0777), 0);
    QSignalSpy spy(&instance, &TSingleInstance::OpenRequest);
    QProcess sender;
    sender.setChildProcessModifier(becomeOtherUser);
    sender.start(QStringLiteral(VT_SINGLE_INSTANCE_PEER),
                 { u"send"_s, name, u"/tmp/other.vlt"_s, u"3000"_s });
    ASSERT_TRUE(QTest::qWaitFor([&] { return sender.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(sender.exitCode(), 1);
    EXPECT_EQ(spy.size(), 0);
}

struct FolderCase
{
    const char *name;
    bool useRuntime; // else the fallback in the user's cache folder
    int mode;
    bool otherOwner;
    bool symlink;
    bool accepted;
};

class SocketFolderTest : public testing::TestWithParam<FolderCase>
{
};

TEST_P(SocketFolderTest, OnlyAFolderOfThisUserAloneIsUsed)
{
    const FolderCase &c = GetParam();
    if (c.otherOwner && getuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    QTemporaryDir temp;
    const QString folder = c.useRuntime ? temp.filePath(u"runtime"_s)
                                        : temp.filePath(u"cache/vellumtree"_s);
    QDir(temp.path()).mkdir(u"cache"_s);
    if (c.mode >= 0) {
        const QString real = c.symlink ? temp.filePath(u"elsewhere"_s) : folder;
        ASSERT_TRUE(QDir().mkdir(real));
        ASSERT_EQ(chmod(QFile::encodeName(real).constData(), mode_t(c.mode)), 0);
        if (c.otherOwner) {
            ASSERT_EQ(chown(QFile::encodeName(real).constData(), kOtherUser, kOtherUser), 0);
        }
        if (c.symlink) {
            ASSERT_TRUE(QFile::link(real, folder));
        }
    }
    const QString got = TSingleInstance::SocketFolder(c.useRuntime ? folder : QString(),
                                                      temp.filePath(u"cache"_s));
    EXPECT_EQ(got, c.accepted ? folder : QString());
    if (c.accepted) {
        struct stat info {};
        ASSERT_EQ(lstat(QFile::encodeName(folder).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
    }
}

INSTANTIATE_TEST_SUITE_P(SingleInstance, SocketFolderTest,
    testing::Values(FolderCase { "PrivateRuntimeFolder", true, 0700, false, false, true },
        FolderCase { "RuntimeFolderOpenToOthers", true, 0755, false, false, false },
        FolderCase { "RuntimeFolderOfAnotherUser", true, 0700, true, false, false },
        FolderCase { "MissingFallbackIsCreatedPrivate", false, -1, false, false, true },
        FolderCase { "ExistingPrivateFallback", false, 0700, false, false, true },
        FolderCase { "FallbackOpenToEveryone", false, 0777, false, false, false },
        FolderCase { "FallbackOfAnotherUser", false, 0700, true, false, false },
        FolderCase { "FallbackThatIsALink", false, 0700, false, true, false }),
    [](const testing::TestParamInfo<FolderCase> &info) { return info.param.name; });
#endif

#ifdef Q_OS_UNIX
// Without a runtime folder the socket goes to the user's own cache folder: a folder in
// the shared temporary folder could be made first by another user, and so switch one
// window at a time off.
TEST(SingleInstance, WithoutARuntimeFolderTheSocketLivesInTheUsersCache)
{
    QTemporaryDir cache;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    const QString name = TSingleInstance::DefaultServerName();
    if (runtime.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", runtime);
    if (oldCache.isNull())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", oldCache);
    EXPECT_TRUE(name.startsWith(cache.path() + u"/vellumtree/"_s)) << name.toStdString();
}
#endif

TEST(SingleInstance, NoParamsIsRecognisedOnlyWhole)
{
    EXPECT_TRUE(THandOverRequest::IsNoParams(u"no_params"_s));
    EXPECT_FALSE(THandOverRequest::IsNoParams(u"/home/me/no_params/notes.vlt"_s));
    EXPECT_FALSE(THandOverRequest::IsNoParams(u"NO_PARAMS"_s));
}

} // namespace
