#include "app/SignalGate.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// The pipe's two ends: the handler writes to [0], the gate reads [1].
int pipeEnds[2] = { -1, -1 };

extern "C" void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a byte that wakes the gate: losing this one is harmless.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[0], &byte, 1);
    errno = saved;
}
#endif

} // namespace

TSignalGate::TSignalGate(std::initializer_list<int> numbers, QObject *parent) : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (pipeEnds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeEnds) != 0)
        return;
    for (const int end : pipeEnds)
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TSignalGate::readPipe);
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : numbers) {
        if (::sigaction(number, &action, nullptr) == 0)
            m_signals << number;
    }
#else
    Q_UNUSED(numbers);
#endif
}

TSignalGate::~TSignalGate()
{
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    for (const int number : std::as_const(m_signals))
        ::signal(number, SIG_DFL);
    delete m_notifier;
    for (int &end : pipeEnds) {
        ::close(end);
        end = -1;
    }
#endif
}

void TSignalGate::readPipe()
{
#ifdef Q_OS_UNIX
    unsigned char bytes[16];
    const ssize_t count = ::read(pipeEnds[1], bytes, sizeof bytes);
    for (ssize_t i = 0; i < count; ++i)
        emit Received(bytes[i]);
#endif
}
