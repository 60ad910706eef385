#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

// What the test drivers print for the tests that run them, and how they read options.
namespace DriverOutput {

// One line on standard output, flushed at once: the test reads it while the driver runs.
inline void say(const QString &text)
{
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

// The value after an option name, or fallback when the option is not given.
inline QString option(const QStringList &args, const QString &name, const QString &fallback)
{
    const qsizetype at = args.indexOf(name);
    return at > 0 && at + 1 < args.size() ? args[at + 1] : fallback;
}

} // namespace DriverOutput
