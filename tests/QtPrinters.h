#pragma once

#include <QString>

#include <ostream>

// Readable failure messages for QString values in GoogleTest assertions.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
