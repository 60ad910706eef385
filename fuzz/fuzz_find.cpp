// The search engine on arbitrary search texts and documents: every match it reports
// is one a plain comparison finds at the same place, it misses none, Replace All
// ends, and stepping through notes always moves on.
#include "find/FindEngine.h"
#include "notes/CaseFold.h"
#include "notes/NoteTree.h"
#include "notes/TextEncoding.h"

#include <cstdint>

using namespace Qt::StringLiterals;

namespace {

qsizetype plainSearch(const TTextMatcher &matcher, QStringView text, qsizetype start)
{
    const qsizetype m = matcher.Length();
    for (qsizetype i = std::max<qsizetype>(start, 1) - 1; m > 0 && i + m <= text.size(); ++i) {
        const QStringView here = text.sliced(i, m);
        const bool equal = matcher.CaseSensitive() ? here == matcher.Text()
                                                   : CaseFold::equal(here, matcher.Text());
        if (equal && (!matcher.WholeWords() || matcher.IsWholeWord(text, i + 1)))
            return i + 1;
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const bool caseSensitive = data[0] & 1;
    const bool wholeWords = data[0] & 2;
    const qsizetype patternLength = data[1] % 12;
    const QString all = QString::fromUtf8(reinterpret_cast<const char *>(data + 2),
                                          static_cast<qsizetype>(size - 2));
    const QString pattern = all.left(patternLength);
    const QString text = all.mid(patternLength);
    const TTextMatcher matcher(pattern, caseSensitive, wholeWords);

    for (qsizetype start = 1; start <= text.size() + 1; start += 1 + text.size() / 8) {
        if (matcher.SearchText(text, start) != plainSearch(matcher, text, start))
            __builtin_trap();
    }
    int count = 0;
    const QString replaced = matcher.ReplaceInText(text, u"<>"_s, &count);
    if ((count == 0) != replaced.isNull())
        __builtin_trap();

    TNoteTree tree;
    TNote *parent = nullptr;
    const QStringList lines = TextEncoding::splitLines(text);
    for (qsizetype i = 0; i < lines.size() && i < 64; ++i)
        parent = tree.AddNote(i % 3 == 0 ? nullptr : parent, lines[i], imLastChild, text);
    TNoteSearch search(&tree);
    search.Matcher = matcher;
    search.ComputeScope(nullptr);
    // Each step moves past the last match: more steps than characters is a loop.
    qsizetype steps = 0;
    for (bool found = search.Find(); found; found = search.RunSearch()) {
        if (++steps > 64 * (text.size() + 2) * 2)
            __builtin_trap();
        search.MatchShown();
    }
    search.ReplaceInScope(u"x"_s);
    return 0;
}
