#pragma once

#include <QLatin1String>
#include <QString>

// Pseudo-random text made of a few words, the same for the same seed in every run.
inline QString words(quint32 seed, int count)
{
    static const char *const kWords[] = { "alpha", "budget", "Computers", "delta", "Echo", "fjord",
        "garden", "harbour", "Index", "journal", "kettle", "lemon", "Meeting", "north", "orbit",
        "parcel", "quartz", "river", "Summer", "timber" };
    QString text;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        if (i)
            text += u' ';
        text += QLatin1String(kWords[(seed >> 16) % 20]);
    }
    return text;
}

// A five-line note body of seven words a line, as the tree benchmarks fill their notes with.
inline QString noteBody(quint32 seed)
{
    QString text;
    for (int line = 0; line < 5; ++line)
        text += words(seed + line * 7919u, 7) + QStringLiteral("\r\n");
    return text;
}
