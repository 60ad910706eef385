#pragma once

#include "Errors.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace Cli {

// Exit codes of every command: 0 done, 1 failed, 2 wrong use.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Always UTF-8, whatever the locale, so the output is the same on every system.
inline void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

// The line a failed read or write of fileName reports: a file error names its file
// itself, any other error is told after the file's name.
inline QString errorLine(const EVellumtreeError &e, const QString &fileName)
{
    if (dynamic_cast<const EFileError *>(&e))
        return e.message();
    return fileName + QStringLiteral(": ") + e.message();
}

} // namespace Cli
