#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace Cli {

// Always UTF-8, whatever the locale, so the output is the same on every system.
inline void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

} // namespace Cli
