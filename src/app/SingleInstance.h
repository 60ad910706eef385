#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

#include "settings/HandOverRequest.h"

class QLocalServer;
class QLocalSocket;
class QTimer;

// One running instance per user. The first process listens on a local socket; a second
// one hands its command-line file (or "no_params") over and waits until the first has
// handled it, dialogs included, before it ends.
//
// Wire format, both ways untrusted: the request is a 4-byte big-endian length followed
// by that many bytes of a THandOverRequest; the answer is "done\n". Anything else is
// dropped unanswered.
// Both ends talk only to a peer running as the same user.
class TSingleInstance final : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype MaxMessageBytes = THandOverRequest::MaxBytes;
    static constexpr qsizetype MaxTokenBytes = THandOverRequest::MaxTokenBytes;
    // A peer that has not sent its whole request in this time is dropped.
    static constexpr int RequestTimeoutMs = 5000;
    // Connections waiting for their request; a new one beyond this drops the oldest,
    // so idle connections can neither exhaust the descriptors nor lock others out.
    static constexpr int MaxConnections = 16;
    // How long a second start waits for the running instance's answer.
    static constexpr int HandOverTimeoutMs = 60000;


    // The folder for the socket: runtimeDir when given, otherwise the folder
    // "vellumtree" in the user's own cacheDir (never the shared temporary folder, where
    // another user could make it first), created 0700 when missing. Empty, and said on
    // standard error, when the folder is not this user's alone (another owner, access
    // for group or others, not a real folder): a socket there could be taken or watched
    // by someone else.
    static QString SocketFolder(const QString &runtimeDir, const QString &cacheDir);
    // "VellumtreeSingleInst" plus the user's id in SocketFolder() of the environment's
    // runtime folder; empty when there is no private folder (no single instance then).
    static QString DefaultServerName();
    // Whether the process at the other end of a connected socket runs as this user.
    static bool PeerIsThisUser(const QLocalSocket &socket);

    explicit TSingleInstance(QObject *parent = nullptr);
    TSingleInstance(const QString &serverName, QObject *parent = nullptr);
    ~TSingleInstance() override;

    // Second process: false when no instance listens, it runs as another user, or it did
    // not answer in time (timeoutMs bounds the whole exchange; a negative value means
    // HandOverTimeoutMs), or when the text is too long to send. *delivered tells whether
    // the running instance received the whole request, answered or not. The first form
    // passes on the token the desktop gave this start (XDG_ACTIVATION_TOKEN), with which
    // a Wayland compositor lets the running window come forward; an unusable token is
    // left out.
    static bool HandOver(const QString &text, int timeoutMs, bool *delivered = nullptr);
    static bool HandOver(const QString &serverName, const QString &text, int timeoutMs,
                         bool *delivered = nullptr, const QString &activationToken = {});
    // Whether a token may travel with a request.

    // First process: starts listening. A socket left by a crashed instance is removed
    // and taken over; a live instance's socket is never taken (false then). Listening
    // is resumed should the socket ever stop accepting.
    bool Listen();
    bool IsListening() const;
    const QString &ServerName() const { return m_serverName; }

signals:
    // Emitted once per request, one request at a time; the second process gets its
    // answer when the handlers have returned. activationToken is empty when none came.
    void OpenRequest(const QString &text, const QString &activationToken);

private:
    void acceptConnections();
    void readRequest(QLocalSocket *socket);
    void handlePending();
    void keepListening();

    QString m_serverName;
    std::unique_ptr<QLocalServer> m_server;
    // Complete requests in arrival order, waiting while a handler runs.
    struct TRequest
    {
        QPointer<QLocalSocket> socket;
        QString text;
        QString activationToken;
    };
    QList<TRequest> m_pending;
    // Connections whose request has not come yet, oldest first.
    QList<QPointer<QLocalSocket>> m_waiting;
    QTimer *m_watchdog = nullptr;
    bool m_handling = false;
};
