#pragma once

#include <QString>

// What the typing driver types, so that a test can tell which part of it a recovered
// document holds.
namespace Typing {

// Time between two keys within a burst.
inline constexpr int KeyMs = 35;

// Words numbered in order: any prefix of it says how far the typing had come.
inline QString Text()
{
    QString text;
    for (int word = 0; text.size() < 20000; ++word)
        text += QStringLiteral("w%1 ").arg(word);
    return text;
}

} // namespace Typing
