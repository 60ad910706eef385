#pragma once

#include <QString>
#include <QStringView>

// Case-insensitive comparison of titles, links and search texts: Unicode simple
// case folding per character, the same on every system and locale. Working on
// characters, not bytes, keeps it from matching inside multi-byte sequences.
namespace CaseFold {

QString folded(QStringView text);
// Allocates nothing.
bool equal(QStringView a, QStringView b);
// 0-based position of needle in haystack from `from` on, or -1.
qsizetype indexOf(QStringView haystack, QStringView needle, qsizetype from = 0);

} // namespace CaseFold
