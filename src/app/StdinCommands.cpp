#include "app/StdinCommands.h"

#include "app/Main.h"
#include "app/qkRichedit.h"

#include <QAction>
#include <QSocketNotifier>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

bool TStdinCommands::Enabled()
{
    return qEnvironmentVariable("VELLUMTREE_STDIN_COMMANDS") == u"1"_s;
}

TStdinCommands::TStdinCommands(TfrmMain *window) : QObject(window), m_window(window)
{
#ifdef Q_OS_UNIX
    m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TStdinCommands::readInput);
#endif
}

void TStdinCommands::readInput()
{
#ifdef Q_OS_UNIX
    char chunk[4096];
    const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (got <= 0) {
        // The test has closed its end: nothing more will come.
        m_notifier->setEnabled(false);
        return;
    }
    m_buffer.append(chunk, got);
    qsizetype end;
    while ((end = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.first(end);
        m_buffer.remove(0, end + 1);
        const QByteArray answer = Run(line) + '\n';
        std::fwrite(answer.constData(), 1, size_t(answer.size()), stdout);
        std::fflush(stdout);
    }
#endif
}

QByteArray TStdinCommands::Run(const QByteArray &line)
{
    const qsizetype space = line.indexOf(' ');
    const QByteArray verb = space < 0 ? line : line.first(space);
    const QString argument = space < 0 ? QString() : QString::fromUtf8(line.mid(space + 1));
    if (verb == "type") {
        m_window->Notes->insertPlainText(argument);
        return "ok";
    }
    if (verb == "run") {
        auto *command = m_window->findChild<QAction *>(argument);
        if (!command)
            return "error no command " + argument.toUtf8();
        if (!command->isEnabled())
            return "error disabled " + argument.toUtf8();
        command->trigger();
        return "ok";
    }
    if (verb == "file")
        return "ok " + m_window->NoteFile().toUtf8();
    return "error unknown " + verb;
}
