#pragma once

#include <QCollator>
#include <QList>
#include <QString>
#include <QStringView>

// The text logic of the note editor, apart from the widget so that it can be tested
// (and fuzzed) without a window. Positions in a line count from 1, as the editor's
// link rules are written; spans found by the scanner are 0-based offsets.

// What lies under the pointer; the values are stored and compared as integers.
enum TLinkKind : int {
    lkWebAddress = 0,
    lkFtpAddress = 1,
    lkMailAddress = 2,
    lkFileLink = 3,
    lkNoteLink = 4,
    lkTitleLink = 5,
    lkNone = 6,
};

struct TLinkInfo
{
    TLinkKind Kind = lkNone;
    QString Text;
    // The characters of the line to select (1-based first character and count); a
    // count of 0 selects nothing. Only file, note and title links select.
    qsizetype SelStart = 0;
    qsizetype SelLength = 0;
    // The whole link in the line (1-based, count 0 for none): for addresses, file and
    // note links the characters the editor underlines, for a title link its brackets.
    qsizetype LinkStart = 0;
    qsizetype LinkLength = 0;
};

// The link at the 1-based character position Pos of one line of text (no line break
// inside). A position outside the line finds nothing. A click anywhere on a link the
// editor underlines (FindLinkSpans) follows that link and no other: the text is the
// span's target. Otherwise a title in square brackets, at least two characters, around
// the position (a line whose first "]" has no "[" before it starts its title at the
// line's start); a "note://" or "file://" without its closing ";" is a note or file
// link that names nothing.
TLinkInfo LinkAtLine(QStringView Line, qsizetype Pos);

// A piece of a line the editor shows as a link by itself, and what a click on it opens.
struct TLinkSpan
{
    qsizetype Start = 0; // 0-based offset in the line
    qsizetype Length = 0;
    TLinkKind Kind = lkNone;
    // The address to hand to the shell: "www." and "ftp." get their scheme, a bare
    // mail address "mailto:", a "file://...;" link the file URL of its path (relative
    // paths made absolute), so that no path is ever read as an address; a note link
    // its own text.
    QString Target;
};

// The links the editor detects in one line, left to right, not overlapping:
// - "http://", "https://", "ftp://", "mailto:" and "file://" addresses, and words that
//   start with "www." or "ftp.", up to the next blank, "<", ">" or double quote, less
//   trailing punctuation (and a closing parenthesis that opens nowhere in the link);
// - "file://" ... ";" (a path with blanks), and "note://" ... ";";
// - mail addresses name@host.domain.
// Each must start a word: "xhttp://" is no link.
QList<TLinkSpan> FindLinkSpans(QStringView Line);

// The lines of an editor text (one "\n" per line break; a final line break makes no
// empty last line) sorted ascending with Collator, equal lines keeping their order,
// each followed by "\n". An empty text stays empty.
QString SortLinesText(QStringView EditorText, const QCollator &Collator);
// The same with the user's locale, ignoring case.
QString SortLinesText(QStringView EditorText);

// A body's text form uses CR LF, the editor one "\n" per line break. CR LF, a lone CR
// and the Unicode line and paragraph separators all become "\n" in the editor.
QString BodyTextToEditorText(QStringView BodyText);
QString EditorTextToBodyText(QStringView EditorText);
// 0-based offsets: the same character in the other text form. An offset past the end
// maps past the end.
qsizetype EditorPosToBodyPos(QStringView EditorText, qsizetype EditorPos);
qsizetype BodyPosToEditorPos(QStringView BodyText, qsizetype BodyPos);

// What the editor can show without freezing the window: laying out a line costs far
// more than its length, and a whole text beyond some tens of millions of characters
// takes seconds and gigabytes.
constexpr qsizetype MaxEditorLineLength = 100'000;
constexpr qsizetype MaxEditorTextLength = 32'000'000;
// Each line costs the editor some hundred bytes and a few microseconds whatever its
// length: a text of nothing but line breaks would take gigabytes well before the
// character limit.
constexpr qsizetype MaxEditorLineCount = 1'000'000;
// Whether the editor takes a second or so, or more, to take in a text of this many
// characters and lines: the window shows itself busy meanwhile.
constexpr bool SlowForEditor(qsizetype length, qsizetype lines)
{
    return length > 4'000'000 || lines > 100'000;
}
// Whether a body (its text form) fits; *length gets its length in characters, *lines
// the number of lines the editor would show.
bool FitsEditor(QStringView BodyText, qsizetype *length = nullptr, qsizetype *lines = nullptr);
