#include "app/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimer>
#include <QVariant>
#include <QtEndian>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcSingleInstance, "vellumtree.singleinstance", QtCriticalMsg)

namespace {

constexpr qsizetype kHeaderBytes = 4;
const QByteArray kAnswer = QByteArrayLiteral("done\n");
// Marks a socket whose request has been read; anything it sends later is ignored.
const char *const kRequestReadProperty = "vtRequestRead";

QString userId()
{
#ifdef Q_OS_UNIX
    return QString::number(::getuid());
#else
    QString name = qEnvironmentVariable("USERNAME");
    // Pipe names must not hold path separators.
    name.replace(u'\\', u'_').replace(u'/', u'_');
    return name;
#endif
}

// Checks the socket's listening state now and then; Qt closes a server for good when
// an accept fails (for instance when descriptors run out).
constexpr int kWatchdogMs = 2000;

// The time left of a budget.
class Deadline final
{
public:
    explicit Deadline(int timeoutMs) : m_timeoutMs(timeoutMs) { m_timer.start(); }
    int remaining() const
    {
        return static_cast<int>(std::max<qint64>(0, m_timeoutMs - m_timer.elapsed()));
    }

private:
    int m_timeoutMs;
    QElapsedTimer m_timer;
};

} // namespace

#ifdef Q_OS_UNIX
namespace {

// A real folder (not a link) owned by this user that nobody else may enter or list.
bool isPrivateFolder(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

} // namespace
#endif

QString TSingleInstance::SocketFolder(const QString &runtimeDir, const QString &cacheDir)
{
#ifdef Q_OS_UNIX
    QString folder = runtimeDir;
    if (folder.isEmpty() && !cacheDir.isEmpty()) {
        QDir().mkpath(cacheDir);
        folder = cacheDir + u"/vellumtree"_s;
        // Created with its final mode at once; an existing one is checked below like any.
        ::mkdir(QFile::encodeName(folder).constData(), 0700);
    }
    if (folder.isEmpty() || !isPrivateFolder(folder)) {
        // Said where the user sees it: every start then opens a window of its own.
        std::fprintf(stderr,
                     "vellumtree: one window at a time cannot work: the folder %s is not "
                     "this user's alone\n",
                     QFile::encodeName(folder).constData());
        return {};
    }
    return folder;
#else
    Q_UNUSED(cacheDir);
    return runtimeDir;
#endif
}

QString TSingleInstance::DefaultServerName()
{
    const QString name = u"VellumtreeSingleInst"_s + userId();
#ifdef Q_OS_UNIX
    // A bare name would be a socket in the shared temporary folder, where another user
    // could create it first.
    const QString folder
        = SocketFolder(qEnvironmentVariable("XDG_RUNTIME_DIR"),
                       QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
    return folder.isEmpty() ? QString() : folder + u'/' + name;
#else
    return name;
#endif
}

bool TSingleInstance::PeerIsThisUser(const QLocalSocket &socket)
{
#if defined(Q_OS_LINUX)
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED,
                     &credentials, &size)
        != 0)
        return false;
    return credentials.uid == ::getuid();
#elif defined(Q_OS_UNIX)
    uid_t uid = 0;
    gid_t gid = 0;
    if (::getpeereid(static_cast<int>(socket.socketDescriptor()), &uid, &gid) != 0)
        return false;
    return uid == ::getuid();
#else
    // Named pipes created with UserAccessOption admit this user only.
    Q_UNUSED(socket);
    return true;
#endif
}

TSingleInstance::TSingleInstance(QObject *parent) : TSingleInstance(DefaultServerName(), parent) { }

TSingleInstance::TSingleInstance(const QString &serverName, QObject *parent)
    : QObject(parent), m_serverName(serverName), m_server(std::make_unique<QLocalServer>())
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(
        m_server.get(), &QLocalServer::newConnection, this, &TSingleInstance::acceptConnections);
}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::HandOver(const QString &text, int timeoutMs, bool *delivered)
{
    QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (!THandOverRequest::IsUsableToken(token))
        token.clear();
    return HandOver(DefaultServerName(), text, timeoutMs, delivered, token);
}

bool TSingleInstance::HandOver(const QString &serverName, const QString &text, int timeoutMs,
                               bool *delivered, const QString &activationToken)
{
    bool sent = false;
    const auto report = qScopeGuard([&] {
        if (delivered)
            *delivered = sent;
    });
    if (serverName.isEmpty())
        return false;
    const QByteArray payload = THandOverRequest { text, activationToken }.Encode();
    if (payload.isNull()) {
        qCWarning(lcSingleInstance) << "hand-over text refused, length" << text.size();
        return false;
    }
    const Deadline deadline(timeoutMs < 0 ? HandOverTimeoutMs : timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(deadline.remaining())) {
        qCDebug(lcSingleInstance) << "no instance at" << serverName << socket.errorString();
        return false;
    }
    if (!PeerIsThisUser(socket)) {
        qCWarning(lcSingleInstance) << "the socket" << serverName << "belongs to another user";
        return false;
    }
    QByteArray request(kHeaderBytes, '\0');
    qToBigEndian(static_cast<quint32>(payload.size()), request.data());
    request += payload;
    socket.write(request);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(deadline.remaining()))
            return false;
    }
    sent = true;
    QByteArray answer;
    while (answer.size() < kAnswer.size()) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(deadline.remaining())) {
            qCDebug(lcSingleInstance) << "no answer from" << serverName << socket.errorString();
            return false;
        }
        answer += socket.read(kAnswer.size() - answer.size());
    }
    socket.disconnectFromServer();
    return answer == kAnswer;
}

bool TSingleInstance::Listen()
{
    if (m_server->isListening())
        return true;
    if (m_serverName.isEmpty())
        return false;
    {
        // Someone answering means a live instance: its socket is not ours to take.
        // Asked first, because listening with access options replaces the socket file
        // whether anyone is behind it or not.
        QLocalSocket probe;
        probe.connectToServer(m_serverName);
        if (probe.waitForConnected(1000)) {
            probe.abort();
            qCDebug(lcSingleInstance) << "an instance already listens at" << m_serverName;
            return false;
        }
    }
    if (m_server->listen(m_serverName)) {
        keepListening();
        return true;
    }
    if (m_server->serverError() != QAbstractSocket::AddressInUseError) {
        qCWarning(lcSingleInstance)
            << "cannot listen at" << m_serverName << m_server->errorString();
        return false;
    }
    // Nobody answered: the socket was left by a crashed instance.
    qCDebug(lcSingleInstance) << "removing the stale socket" << m_serverName;
    if (!QLocalServer::removeServer(m_serverName) || !m_server->listen(m_serverName))
        return false;
    keepListening();
    return true;
}

void TSingleInstance::keepListening()
{
    if (m_watchdog)
        return;
    m_watchdog = new QTimer(this);
    connect(m_watchdog, &QTimer::timeout, this, [this] {
        if (m_server->isListening())
            return;
        qCWarning(lcSingleInstance) << "the socket stopped accepting; listening again";
        m_server->close();
        Listen();
    });
    m_watchdog->start(kWatchdogMs);
}

bool TSingleInstance::IsListening() const
{
    return m_server->isListening();
}

void TSingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!PeerIsThisUser(*socket)) {
            qCWarning(lcSingleInstance) << "refused a connection from another user";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_waiting.removeAll(nullptr);
        while (m_waiting.size() >= MaxConnections) {
            qCDebug(lcSingleInstance) << "too many connections; dropping the oldest";
            if (QLocalSocket *oldest = m_waiting.takeFirst())
                oldest->abort();
        }
        m_waiting.append(socket);
        // Bounded: no peer makes the instance buffer much more than one request.
        socket->setReadBufferSize(2 * (kHeaderBytes + MaxMessageBytes));
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // A peer that connects and stalls must not hold a socket for ever.
        auto *timer = new QTimer(socket);
        timer->setObjectName(u"requestTimer"_s);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [socket] {
            qCDebug(lcSingleInstance) << "request timed out";
            socket->abort();
        });
        timer->start(RequestTimeoutMs);
        // Data may have arrived with the connection itself.
        readRequest(socket);
    }
}

void TSingleInstance::readRequest(QLocalSocket *socket)
{
    if (socket->property(kRequestReadProperty).toBool()) {
        socket->readAll();
        return;
    }
    if (socket->bytesAvailable() < kHeaderBytes)
        return;
    const QByteArray header = socket->peek(kHeaderBytes);
    const quint32 length = qFromBigEndian<quint32>(header.constData());
    if (length > static_cast<quint32>(MaxMessageBytes)) {
        qCWarning(lcSingleInstance) << "refused a request of" << length << "bytes";
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < kHeaderBytes + qsizetype(length))
        return;
    socket->read(kHeaderBytes);
    THandOverRequest request;
    QString why;
    if (!THandOverRequest::Decode(socket->read(length), &request, &why)) {
        qCWarning(lcSingleInstance) << "refused" << why;
        socket->abort();
        return;
    }
    m_waiting.removeAll(socket);
    socket->setProperty(kRequestReadProperty, true);
    if (auto *timer = socket->findChild<QTimer *>(u"requestTimer"_s))
        timer->stop();
    m_pending.append({ QPointer<QLocalSocket>(socket), request.Text, request.Token });
    // Handled from the event loop, not from inside the socket's readyRead: a handler's
    // dialog runs a nested loop in which the peer may go and its socket be deleted,
    // and the socket's own code would then go on in freed memory.
    QMetaObject::invokeMethod(this, &TSingleInstance::handlePending, Qt::QueuedConnection);
}

void TSingleInstance::handlePending()
{
    // A handler's dialog runs a nested event loop in which more requests may arrive;
    // they wait for the outer loop below, so requests never overlap.
    if (m_handling)
        return;
    m_handling = true;
    const auto reset = qScopeGuard([this] { m_handling = false; });
    while (!m_pending.isEmpty()) {
        const auto [socket, text, token] = m_pending.takeFirst();
        // The peer may have given up meanwhile; its request is still honoured.
        emit OpenRequest(text, token);
        if (socket && socket->state() == QLocalSocket::ConnectedState) {
            socket->write(kAnswer);
            socket->disconnectFromServer();
        }
    }
}
