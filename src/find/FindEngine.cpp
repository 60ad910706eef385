#include "find/FindEngine.h"

#include "notes/CaseFold.h"
#include "notes/NoteTree.h"
#include "notes/TextEncoding.h"

#include <algorithm>
#include <bit>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// Simple case folding of every UTF-16 unit, looked up once per character searched
// instead of going through QChar's property tables. Surrogates stay as they are;
// patterns with surrogate pairs take the slow path.
const char16_t *foldTable()
{
    static const std::unique_ptr<char16_t[]> table = [] {
        auto t = std::make_unique<char16_t[]>(0x10000);
        for (char32_t c = 0; c < 0x10000; ++c) {
            const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
            t[c] = surrogate ? char16_t(c) : char16_t(QChar::toCaseFolded(c));
        }
        return t;
    }();
    return table.get();
}

bool hasLineBreak(QStringView text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

// The code point that ends before index (0 for none).
char32_t codePointBefore(QStringView text, qsizetype index)
{
    if (index <= 0)
        return 0;
    const QChar c = text[index - 1];
    if (c.isLowSurrogate() && index >= 2 && text[index - 2].isHighSurrogate())
        return QChar::surrogateToUcs4(text[index - 2], c);
    return c.unicode();
}

char32_t codePointAt(QStringView text, qsizetype index)
{
    if (index >= text.size())
        return 0;
    const QChar c = text[index];
    if (c.isHighSurrogate() && index + 1 < text.size() && text[index + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(c, text[index + 1]);
    return c.unicode();
}

bool isWordCharacter(char32_t c)
{
    return c != 0 && QChar::isLetterOrNumber(c);
}

} // namespace

// ---------------------------------------------------------------- TTextMatcher

TTextMatcher::TTextMatcher(const QString &text, bool caseSensitive, bool wholeWords)
    : m_text(text), m_caseSensitive(caseSensitive), m_wholeWords(wholeWords)
{
    m_spansLines = hasLineBreak(text);
    m_surrogates = std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSurrogate(); });
    m_pattern = caseSensitive ? text : CaseFold::folded(text);
    // Horspool's shifts, indexed by the low byte of a unit: units that share it only
    // shorten a shift, never make one too long.
    const qsizetype m = m_pattern.size();
    const quint16 full = static_cast<quint16>(std::min<qsizetype>(m, 0xFFFF));
    m_skip.fill(full);
    for (qsizetype j = std::max<qsizetype>(0, m - 0xFFFF); j + 1 < m; ++j)
        m_skip[m_pattern[j].unicode() & 0xFF] = static_cast<quint16>(m - 1 - j);

    if (m < 2 || m_surrogates)
        return;
    // Every unit that stands for the first and the last character.
    auto variants = [this](char16_t unit, std::array<char16_t, MaxVariants> &out) {
        if (m_caseSensitive) {
            out[0] = unit;
            return 1;
        }
        const char16_t *fold = foldTable();
        int count = 0;
        for (char32_t c = 0; c < 0x10000; ++c) {
            if (fold[c] != unit)
                continue;
            if (count == MaxVariants)
                return 0;
            out[static_cast<size_t>(count++)] = char16_t(c);
        }
        return count;
    };
    m_firstCount = variants(m_pattern.front().unicode(), m_first);
    m_lastCount = variants(m_pattern.back().unicode(), m_last);
}

qsizetype TTextMatcher::findSlow(QStringView text, qsizetype from) const
{
    const qsizetype m = m_pattern.size();
    for (qsizetype i = from; i + m <= text.size(); ++i) {
        if (CaseFold::equal(text.sliced(i, m), m_pattern))
            return i;
    }
    return -1;
}

bool TTextMatcher::matchesAt(const char16_t *at) const
{
    const char16_t *p = reinterpret_cast<const char16_t *>(m_pattern.constData());
    const qsizetype m = m_pattern.size();
    if (m_caseSensitive)
        return std::equal(p, p + m, at);
    const char16_t *fold = foldTable();
    for (qsizetype j = 0; j < m; ++j) {
        if (fold[at[j]] != p[j])
            return false;
    }
    return true;
}

qsizetype TTextMatcher::find(QStringView text, qsizetype from) const
{
    const qsizetype m = m_pattern.size();
    const qsizetype n = text.size();
    if (m == 0 || from < 0 || from > n - m)
        return -1;
    if (m_caseSensitive) {
        if (m == 1)
            return text.indexOf(m_pattern[0], from);
    } else if (m_surrogates) {
        return findSlow(text, from);
    }
    // Horspool's shifts beat the vector scan for long patterns, and when case folding
    // gives the scan several units to try.
    if (m_firstCount == 1 && m_lastCount == 1 && m < 12)
        return findVector(text, from);
    return findHorspool(text, from);
}

// Looks at eight places at once for the first and the last character of the
// pattern, and compares the whole pattern only where both are in place.
qsizetype TTextMatcher::findVector(QStringView text, qsizetype from) const
{
    const char16_t *h = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    const qsizetype last = m_pattern.size() - 1;
    qsizetype i = from;
#if defined(__SSE2__)
    __m128i first[MaxVariants];
    __m128i lastUnit[MaxVariants];
    for (int k = 0; k < m_firstCount; ++k)
        first[k] = _mm_set1_epi16(static_cast<short>(m_first[static_cast<size_t>(k)]));
    for (int k = 0; k < m_lastCount; ++k)
        lastUnit[k] = _mm_set1_epi16(static_cast<short>(m_last[static_cast<size_t>(k)]));
    for (; i + last + 8 <= n; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + i + last));
        __m128i hitA = _mm_cmpeq_epi16(a, first[0]);
        for (int k = 1; k < m_firstCount; ++k)
            hitA = _mm_or_si128(hitA, _mm_cmpeq_epi16(a, first[k]));
        __m128i hitB = _mm_cmpeq_epi16(b, lastUnit[0]);
        for (int k = 1; k < m_lastCount; ++k)
            hitB = _mm_or_si128(hitB, _mm_cmpeq_epi16(b, lastUnit[k]));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(hitA, hitB)));
        while (mask != 0) {
            const int bit = std::countr_zero(mask);
            if (matchesAt(h + i + bit / 2))
                return i + bit / 2;
            mask &= ~(3u << bit);
        }
    }
#endif
    const auto isFirst = [this](char16_t c) {
        return std::find(m_first.begin(), m_first.begin() + m_firstCount, c)
            != m_first.begin() + m_firstCount;
    };
    for (; i + last < n; ++i) {
        if (isFirst(h[i]) && matchesAt(h + i))
            return i;
    }
    return -1;
}

qsizetype TTextMatcher::findHorspool(QStringView text, qsizetype from) const
{
    const qsizetype m = m_pattern.size();
    const qsizetype n = text.size();
    const char16_t *h = reinterpret_cast<const char16_t *>(text.utf16());
    const char16_t *p = reinterpret_cast<const char16_t *>(m_pattern.constData());
    const qsizetype last = m - 1;
    const char16_t lastUnit = p[last];
    if (m_caseSensitive) {
        for (qsizetype i = from; i <= n - m;) {
            const char16_t c = h[i + last];
            if (c == lastUnit && std::equal(p, p + last, h + i))
                return i;
            i += m_skip[c & 0xFF];
        }
        return -1;
    }
    const char16_t *fold = foldTable();
    for (qsizetype i = from; i <= n - m;) {
        const char16_t c = fold[h[i + last]];
        if (c == lastUnit) {
            qsizetype j = 0;
            while (j < last && fold[h[i + j]] == p[j])
                ++j;
            if (j == last)
                return i;
        }
        i += m_skip[c & 0xFF];
    }
    return -1;
}

bool TTextMatcher::isWholeWord(QStringView text, qsizetype index, char32_t before) const
{
    return !isWordCharacter(before) && !isWordCharacter(codePointAt(text, index + m_text.size()));
}

bool TTextMatcher::IsWholeWord(QStringView text, qsizetype p) const
{
    return isWholeWord(text, p - 1, codePointBefore(text, p - 1));
}

qsizetype TTextMatcher::SearchText(QStringView text, qsizetype start) const
{
    qsizetype from = std::max<qsizetype>(start, 1) - 1;
    for (;;) {
        const qsizetype index = find(text, from);
        if (index < 0)
            return 0;
        if (!m_wholeWords || IsWholeWord(text, index + 1))
            return index + 1;
        from = index + 1;
    }
}

bool TTextMatcher::Equals(QStringView text) const
{
    if (m_caseSensitive)
        return text == m_text;
    return CaseFold::equal(text, m_text);
}

QString TTextMatcher::ReplaceInText(QStringView text, const QString &replacement,
                                    int *count) const
{
    QString out;
    bool replaced = false;
    qsizetype copied = 0; // text before this is in out
    qsizetype from = 0;
    const qsizetype m = m_text.size();
    for (;;) {
        const qsizetype index = find(text, from);
        if (index < 0)
            break;
        if (m_wholeWords) {
            // The text is searched as it reads after the replacements so far: right
            // after one, the character before is the replacement's last.
            char32_t before = 0;
            if (replaced && index == copied)
                before = codePointBefore(out, out.size());
            else
                before = codePointBefore(text, index);
            if (!isWholeWord(text, index, before)) {
                from = index + 1;
                continue;
            }
        }
        if (!replaced)
            out.reserve(text.size() + replacement.size() - m);
        out.append(text.sliced(copied, index - copied));
        out.append(replacement);
        copied = index + m;
        from = copied;
        replaced = true;
        if (count)
            ++*count;
    }
    if (!replaced)
        return {};
    out.append(text.sliced(copied));
    return out;
}

// ---------------------------------------------------------------- TNoteSearch

TNoteSearch::TNoteSearch(TNoteTree *tree) : m_tree(tree)
{
    Q_ASSERT(tree);
}

void TNoteSearch::ComputeScope(TNote *selected)
{
    switch (Scope) {
    case ssActiveNote:
        ScopeStart = selected;
        ScopeStop = selected;
        break;
    case ssActiveBranch: {
        TNote *start = selected ? selected : m_tree->FirstNote();
        if (start && !start->HasChildren() && start->Parent())
            start = start->Parent();
        ScopeStart = start;
        // A root note without children is a branch of its own: the walk must not go
        // on into the notes after it.
        ScopeStop = start ? TNoteTree::BranchEnd(start) : nullptr;
        if (!ScopeStop)
            ScopeStop = start; // the walk never meets it again: it runs to the end
        break;
    }
    default:
        ScopeStart = m_tree->FirstNote();
        ScopeStop = m_tree->TreeEnd();
        break;
    }
}

void TNoteSearch::SetBranchScope(TNote *root)
{
    Scope = ssActiveBranch;
    ScopeStart = root;
    ScopeStop = root ? TNoteTree::BranchEnd(root) : nullptr;
    if (!ScopeStop)
        ScopeStop = root;
}

qsizetype TNoteSearch::searchBody(const TNote *note, qsizetype start)
{
    // The body's text form is searched as it is stored. A search text without a line
    // break cannot match across one, so this finds what a search line by line would.
    const QString &text = note->BodyText();
    const qsizetype p = Matcher.SearchText(text, start);
    if (p <= 0)
        return p;
    // The line of the match, counted on from the last match in this note.
    qsizetype from = 0;
    int line = 0;
    if (note == m_matchNote && p - 1 >= m_matchLineOffset) {
        from = m_matchLineOffset;
        line = m_matchLine;
    }
    const QStringView before = QStringView(text).sliced(from, p - 1 - from);
    m_matchNote = note;
    m_matchLine = line + static_cast<int>(before.count(u'\n'));
    const qsizetype lineBreak = before.lastIndexOf(u'\n');
    if (lineBreak >= 0)
        m_matchLineOffset = from + lineBreak + 1;
    else
        m_matchLineOffset = from;
    return p;
}

bool TNoteSearch::SearchNote()
{
    Found = false;
    TNote *note = CurrentNote;
    if (!note)
        return false;
    const bool titles = Where & swTitles;
    const bool bodies = Where & swBodies;
    if (titles && (!bodies || BodyPosition == 0)) {
        // A title that has matched is done for this visit, however long it is:
        // searching on in it would find the same title again at every step.
        const qsizetype p = TitlePosition >= TitleMatched
            ? 0
            : Matcher.SearchText(note->Title(), TitlePosition == 0 ? 1 : TitlePosition);
        if (p > 0) {
            Found = true;
            BodyPosition = 0;
            TitlePosition = TitleMatched;
        } else {
            TitlePosition = 0;
        }
    }
    if (bodies && !Found) {
        const qsizetype p = searchBody(note, BodyPosition == 0 ? 1 : BodyPosition);
        if (p > 0) {
            Found = true;
            TitlePosition = 0;
            BodyPosition = p;
        } else {
            BodyPosition = 0;
            TitlePosition = 0;
        }
    }
    return Found;
}

bool TNoteSearch::RunSearch()
{
    if (!CurrentNote)
        return false;
    SearchNote();
    if (Scope == ssActiveNote)
        return Found;
    while (!Found) {
        TNote *next = m_tree->NextInTreeOrder(CurrentNote);
        if (!next || next == ScopeStop)
            break;
        CurrentNote = next;
        SearchNote();
    }
    return Found;
}

bool TNoteSearch::Find()
{
    m_matchNote = nullptr;
    CurrentNote = ScopeStart;
    TitlePosition = 0;
    BodyPosition = 0;
    return RunSearch();
}

bool TNoteSearch::FindNext(TNote *from)
{
    // The positions belong to the note searched last; in another note the search
    // starts at its beginning.
    if (from != CurrentNote) {
        TitlePosition = 0;
        BodyPosition = 0;
    }
    // The tree may have changed since the last step.
    m_matchNote = nullptr;
    CurrentNote = from;
    return RunSearch();
}

void TNoteSearch::MatchShown()
{
    if (BodyPosition != 0)
        ++BodyPosition;
    else if (TitlePosition != 0)
        ++TitlePosition;
    Found = false;
}

bool TNoteSearch::replaceInBody(TNote *note, const QString &replacement, int *count) const
{
    // On the text form: a line break in the replacement makes new lines, as typing
    // it would.
    const QString &text = note->BodyText();
    const QString result = Matcher.ReplaceInText(text, replacement, count);
    if (result.isNull() || result == text)
        return false;
    note->SetBodyText(result);
    return true;
}

int TNoteSearch::ReplaceInScope(const QString &replacement, TNote **lastChanged)
{
    int count = 0;
    TNote *last = ScopeStart;
    // A title is one line: a line break in the replacement would split the notes file.
    QString titleReplacement = replacement;
    if (hasLineBreak(titleReplacement))
        titleReplacement = TextEncoding::splitLines(replacement + u"\r\n"_s).join(u' ');
    TNote *note = ScopeStart;
    while (note) {
        if (Where & swTitles) {
            const QString title = Matcher.ReplaceInText(note->Title(), titleReplacement, &count);
            if (!title.isNull() && title != note->Title()) {
                m_tree->SetTitle(note, title);
                last = note;
            }
        }
        if ((Where & swBodies) && replaceInBody(note, replacement, &count))
            last = note;
        if (Scope == ssActiveNote)
            break;
        note = m_tree->NextInTreeOrder(note);
        if (note == ScopeStop)
            break;
    }
    if (lastChanged)
        *lastChanged = last;
    return count;
}
