#pragma once

// Running a piece of a test as another user, for what root is never refused: a folder
// it may not write, a file it does not own. Unix only; the caller skips without root.

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

#include <sys/wait.h>
#include <unistd.h>

constexpr uid_t kOtherUser = 65534; // nobody

// Runs work in a child process as kOtherUser and gives back the text it returned, or
// nothing when the child could not become that user or did not finish.
inline std::optional<QString> RunAsOtherUser(const std::function<QString()> &work)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0)
            ::_exit(4);
        const QByteArray text = work().toUtf8();
        const bool written = ::write(channel[1], text.constData(), size_t(text.size()))
            == text.size();
        ::_exit(written ? 0 : 5);
    }
    ::close(channel[1]);
    QByteArray text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    ::close(channel[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)
        || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return QString::fromUtf8(text);
}
