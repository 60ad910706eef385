#pragma once

#include <QList>
#include <QObject>

#include <initializer_list>

class QSocketNotifier;

// Termination signals (SIGTERM from the session's end or `kill`, SIGHUP from a closed
// terminal, SIGINT from Ctrl+C) turned into a Qt signal on the main thread, so that
// they close the window the normal way instead of ending the program on the spot.
// The handler only writes the signal's number to a pipe: nothing else is safe there.
// One gate at a time; destroying it gives the signals their default handling back.
class TSignalGate final : public QObject
{
    Q_OBJECT

public:
    explicit TSignalGate(std::initializer_list<int> numbers, QObject *parent = nullptr);
    ~TSignalGate() override;

    // Whether the handlers are in place (false where the system has none of this).
    bool Active() const { return m_notifier != nullptr; }

signals:
    void Received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
    QList<int> m_signals;
};
