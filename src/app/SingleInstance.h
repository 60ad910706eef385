#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;

// One running instance per user. The first process listens on a local socket; a second
// one hands its command-line file (or "no_params") over and waits until the first has
// handled it, dialogs included, before it ends.
//
// Wire format, both ways untrusted: the request is a 4-byte big-endian length followed
// by that many bytes of UTF-8 (at most MaxMessageBytes, no NUL); the answer is "done\n".
class TSingleInstance final : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype MaxMessageBytes = 32 * 1024;
    // A peer that has not sent its whole request in this time is dropped.
    static constexpr int RequestTimeoutMs = 10000;

    // What a second start without a file name sends.
    static QString NoParams();
    // True only for exactly "no_params": a file whose path merely contains that text
    // is still a file.
    static bool IsNoParams(const QString &text);

    // "VellumtreeSingleInst" plus the user's id; on Unix a socket in the user's private
    // runtime folder, so no other user can squat on the name or read the hand-over.
    static QString DefaultServerName();

    explicit TSingleInstance(QObject *parent = nullptr);
    TSingleInstance(const QString &serverName, QObject *parent = nullptr);
    ~TSingleInstance() override;

    // Second process: false when no instance listens or it did not answer in time
    // (timeoutMs bounds the whole exchange; -1 waits as long as the first process
    // takes), or when the text is too long to send.
    static bool HandOver(const QString &text, int timeoutMs);
    static bool HandOver(const QString &serverName, const QString &text, int timeoutMs);

    // First process: starts listening. A socket left by a crashed instance is removed
    // and taken over; a live instance's socket is never taken (false then).
    bool Listen();
    bool IsListening() const;
    const QString &ServerName() const { return m_serverName; }

signals:
    // Emitted once per request, one request at a time; the second process gets its
    // answer when the handlers have returned.
    void OpenRequest(const QString &text);

private:
    void acceptConnections();
    void readRequest(QLocalSocket *socket);
    void handlePending();

    QString m_serverName;
    std::unique_ptr<QLocalServer> m_server;
    // Complete requests in arrival order, waiting while a handler runs.
    QList<QPair<QPointer<QLocalSocket>, QString>> m_pending;
    bool m_handling = false;
};
