#include "notes/CaseFold.h"

namespace CaseFold {

QString folded(QStringView text)
{
    // QString::toCaseFolded() is full folding for a few characters (ß stays, but
    // some ligatures grow); simple folding keeps one character for one.
    QString result(text.size(), Qt::Uninitialized);
    QChar *out = result.data();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
            const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(c, text[i + 1]));
            *out++ = QChar(QChar::highSurrogate(folded));
            *out++ = QChar(QChar::lowSurrogate(folded));
            ++i;
        } else {
            *out++ = c.toCaseFolded();
        }
    }
    return result;
}

namespace {

// Folds the character (or surrogate pair) at i and advances i past it.
char32_t foldAt(QStringView text, qsizetype &i)
{
    const QChar c = text[i++];
    if (c.isHighSurrogate() && i < text.size() && text[i].isLowSurrogate())
        return QChar::toCaseFolded(QChar::surrogateToUcs4(c, text[i++]));
    return c.toCaseFolded().unicode();
}

} // namespace

bool equal(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size()) {
        if (foldAt(a, i) != foldAt(b, j))
            return false;
    }
    return true;
}

qsizetype indexOf(QStringView haystack, QStringView needle, qsizetype from)
{
    return QStringView(folded(haystack)).indexOf(folded(needle), from);
}

} // namespace CaseFold
