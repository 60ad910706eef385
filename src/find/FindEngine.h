#pragma once

#include <QString>
#include <QStringView>

#include <array>

class TNote;
class TNoteTree;

// Where a search looks; the values combine as flags.
enum TSearchWhere : int {
    swBodies = 1,
    swTitles = 2,
};

enum TSearchScope : int {
    ssActiveNote = 0,
    ssActiveBranch = 1,
    ssEntireTree = 2,
};

// The search text and the rules it matches by: exactly, or through Unicode simple
// case folding per character; optionally only as a whole word (a letter or digit is
// QChar::isLetterOrNumber, anything else separates words). Positions count
// characters from 1, 0 meaning none.
class TTextMatcher final
{
public:
    TTextMatcher() = default;
    TTextMatcher(const QString &text, bool caseSensitive, bool wholeWords);

    const QString &Text() const { return m_text; }
    qsizetype Length() const { return m_text.size(); }
    bool CaseSensitive() const { return m_caseSensitive; }
    bool WholeWords() const { return m_wholeWords; }
    // A search text with a line break can only be found in a body's whole text form.
    bool SpansLines() const { return m_spansLines; }

    // The position of the first match at or after start, or 0.
    qsizetype SearchText(QStringView text, qsizetype start) const;
    // Whether the occurrence at p has no letter or digit right before or after it.
    bool IsWholeWord(QStringView text, qsizetype p) const;
    // Whether text is the search text by the case rule (whole words aside).
    bool Equals(QStringView text) const;

    // Every match replaced, each search continuing after the inserted text. A null
    // string when nothing matched, so that callers copy nothing then.
    QString ReplaceInText(QStringView text, const QString &replacement, int *count) const;

private:
    // 0-based index of the first occurrence from `from` on, whole words aside, or -1.
    qsizetype find(QStringView text, qsizetype from) const;
    qsizetype findSlow(QStringView text, qsizetype from) const;
    qsizetype findHorspool(QStringView text, qsizetype from) const;
    qsizetype findVector(QStringView text, qsizetype from) const;
    bool matchesAt(const char16_t *at) const;
    bool isWholeWord(QStringView text, qsizetype index, char32_t before) const;

    QString m_text;
    QString m_pattern; // the text folded when matching without case
    bool m_caseSensitive = false;
    bool m_wholeWords = false;
    bool m_spansLines = false;
    bool m_surrogates = false;
    std::array<quint16, 256> m_skip{};
    // The units that are the pattern's first and last character under the case rule,
    // for the vector scan; empty when there are too many to try.
    static constexpr int MaxVariants = 4;
    std::array<char16_t, MaxVariants> m_first{};
    std::array<char16_t, MaxVariants> m_last{};
    int m_firstCount = 0;
    int m_lastCount = 0;
};

// The search through notes: a scope of the tree, a current note and where in it the
// next step goes on, one step at a time as Find and Find Next take them, and Replace
// All over the scope. The dialog and the command line only feed it.
class TNoteSearch final
{
public:
    // Title position of a title that has matched: the note's title is done for this
    // visit, the next step goes on in the body.
    static constexpr qsizetype TitleMatched = 1000;

    explicit TNoteSearch(TNoteTree *tree);

    TTextMatcher Matcher;
    int Where = swTitles | swBodies;
    int Scope = ssEntireTree;
    TNote *ScopeStart = nullptr;
    TNote *ScopeStop = nullptr; // not part of the scope; none runs to the tree's end
    TNote *CurrentNote = nullptr;
    qsizetype TitlePosition = 0;
    qsizetype BodyPosition = 0; // in the body's text form (CR LF after every line)
    bool Found = false;

    // The scope's first note and the note a walk stops at, from the tree's selection.
    void ComputeScope(TNote *selected);
    // The branch of a note as the scope, the note itself included.
    void SetBranchScope(TNote *root);

    // One search in the current note, going on where the last step in it stopped.
    bool SearchNote();
    // SearchNote, then (unless the scope is one note) the following notes up to the
    // scope stop until something is found. Between two calls that go on from a match
    // the tree must not change (Find and FindNext start afresh).
    bool RunSearch();
    // Find: from the scope start, fresh.
    bool Find();
    // Find Next: from the given note; fresh when it is not the note searched last.
    bool FindNext(TNote *from);
    // After a match has been shown: the next step starts beyond it.
    void MatchShown();

    // The 1-based line and column of the last body match (valid while BodyPosition is).
    int MatchLine() const { return m_matchLine + 1; }
    qsizetype MatchColumn() const { return BodyPosition - m_matchLineOffset; }

    // Replace All over the scope: titles and bodies as Where says. Returns the number
    // of replacements; *lastChanged is the last note whose text changed, or the scope
    // start when none did.
    int ReplaceInScope(const QString &replacement, TNote **lastChanged = nullptr);

private:
    qsizetype searchBody(const TNote *note, qsizetype start);
    bool replaceInBody(TNote *note, const QString &replacement, int *count) const;

    TNoteTree *m_tree;
    // Where the last body match lay, so that stepping through one long body does not
    // count its lines from the top every time.
    const TNote *m_matchNote = nullptr;
    int m_matchLine = 0;
    qsizetype m_matchLineOffset = 0; // 0-based offset of that line in the text form
};
