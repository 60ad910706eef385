#include "app/qkRicheditText.h"

#include "notes/TextEncoding.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The last occurrence of Marker (any case) that starts at or before the 0-based index
// At, so that a click on the marker's own letters belongs to it.
qsizetype lastMarkerAtOrBefore(QStringView line, QStringView marker, qsizetype at)
{
    return line.lastIndexOf(marker, at, Qt::CaseInsensitive);
}

// The file URL a file link opens: never a bare path, which the shell could take for
// an address with a scheme of its own ("file://evil:x;").
QString fileLinkUrl(QStringView path)
{
    return QUrl::fromLocalFile(QFileInfo(path.toString()).absoluteFilePath())
        .toString(QUrl::FullyEncoded);
}

} // namespace

TLinkInfo LinkAtLine(QStringView Line, qsizetype Pos)
{
    TLinkInfo result;
    if (Pos < 1 || Pos > Line.size())
        return result;
    const qsizetype c = Pos - 1; // 0-based from here on

    // What the editor underlines is what a click follows, from its first character to
    // its last, and nothing else: a word that merely contains an address must not open
    // more (or less) than the underlined part.
    for (const TLinkSpan &span : FindLinkSpans(Line)) {
        if (c < span.Start)
            break;
        if (c >= span.Start + span.Length)
            continue;
        result.Kind = span.Kind;
        result.Text = span.Target;
        result.LinkStart = span.Start + 1;
        result.LinkLength = span.Length;
        if (span.Kind == lkFileLink || span.Kind == lkNoteLink) {
            result.SelStart = result.LinkStart;
            result.SelLength = result.LinkLength;
        }
        return result;
    }

    // Title link: the brackets around the character. With no "[" before the first "]"
    // of the line, the line's start stands in for the opening bracket.
    {
        qsizetype open = Line.first(c + 1).lastIndexOf(u'[');
        const qsizetype close = Line.indexOf(u']', c);
        // A "[" already closed before the character opens nothing here.
        if (open >= 0 && Line.sliced(open, c - open).contains(u']'))
            open = -2;
        const bool lineStart = open == -1 && close >= 0 && !Line.first(close).contains(u'[');
        if (close >= 0 && (open >= 0 || lineStart) && close - open - 1 >= 2) {
            const qsizetype first = open + 1; // the title's first character, 0-based
            result.Kind = lkTitleLink;
            result.Text = Line.sliced(first, close - first).toString();
            result.SelStart = open >= 0 ? open + 1 : 1;
            result.SelLength = close + 1 - result.SelStart + 1;
            result.LinkStart = result.SelStart;
            result.LinkLength = result.SelLength;
            return result;
        }
    }

    // A note or file link whose ";" is missing is underlined nowhere and names nothing;
    // it is still a link of its kind, so Go to internal link shows and does nothing.
    for (const auto &[marker, kind] :
        { std::pair { u"note://"_s, lkNoteLink }, std::pair { u"file://"_s, lkFileLink } }) {
        const qsizetype s = lastMarkerAtOrBefore(Line, marker, c);
        if (s >= 0 && !Line.sliced(s).contains(u';')) {
            result.Kind = kind;
            return result;
        }
    }
    return result;
}

QList<TLinkSpan> FindLinkSpans(QStringView Line)
{
    // One alternative per kind; \b keeps a link from starting inside a word.
    static const QRegularExpression pattern(
        u"\\b(?:"
        u"(?<note>note://[^;\\r\\n]+;)"
        u"|(?<filepath>file://[^;\\r\\n]+;)"
        u"|(?<url>(?:https?|ftp|file)://[^\\s<>\"]+|mailto:[^\\s<>\"]+)"
        u"|(?<host>(?:www|ftp)\\.[^\\s<>\"]+)"
        u"|(?<mail>[A-Za-z0-9._%+-]+@[A-Za-z0-9-]+(?:\\.[A-Za-z0-9-]+)+)"
        u")"_s,
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);

    QList<TLinkSpan> spans;
    QRegularExpressionMatchIterator it = pattern.globalMatch(Line);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        TLinkSpan span;
        span.Start = match.capturedStart();
        QStringView text = match.capturedView();
        if (match.hasCaptured(u"note")) {
            span.Kind = lkNoteLink;
            span.Target = text.toString();
        } else if (match.hasCaptured(u"filepath")) {
            span.Kind = lkFileLink;
            span.Target = fileLinkUrl(text.sliced(7).chopped(1));
        } else if (match.hasCaptured(u"mail")) {
            span.Kind = lkMailAddress;
            span.Target = u"mailto:"_s + text.toString();
        } else {
            // Sentence punctuation after an address is not part of it; a closing
            // parenthesis is when the address opened one itself.
            while (!text.isEmpty()) {
                const QChar last = text.back();
                if (QStringView(u".,:;!?'").contains(last)
                    || (last == u')' && text.count(u'(') < text.count(u')'))) {
                    text.chop(1);
                } else {
                    break;
                }
            }
            const bool bareHost = match.hasCaptured(u"host");
            const qsizetype prefix = bareHost ? 4 : text.indexOf(u':') + 1;
            const QStringView rest = text.sliced(std::min(prefix, text.size()));
            // A scheme or a host prefix alone is no address.
            if (std::all_of(rest.begin(), rest.end(), [](QChar ch) { return ch == u'/'; }))
                continue;
            if (bareHost) {
                const bool ftp = text.startsWith(u"ftp.", Qt::CaseInsensitive);
                span.Kind = ftp ? lkFtpAddress : lkWebAddress;
                span.Target = (ftp ? u"ftp://"_s : u"http://"_s) + text.toString();
            } else {
                span.Target = text.toString();
                if (text.startsWith(u"ftp:", Qt::CaseInsensitive))
                    span.Kind = lkFtpAddress;
                else if (text.startsWith(u"mailto:", Qt::CaseInsensitive))
                    span.Kind = lkMailAddress;
                else if (text.startsWith(u"file:", Qt::CaseInsensitive))
                    span.Kind = lkFileLink;
                else
                    span.Kind = lkWebAddress;
            }
        }
        span.Length = text.size();
        spans.append(span);
    }
    return spans;
}

QString SortLinesText(QStringView EditorText, const QCollator &Collator)
{
    QList<QStringView> lines = EditorText.split(u'\n');
    if (EditorText.endsWith(u'\n') || EditorText.isEmpty())
        lines.removeLast();
    std::stable_sort(lines.begin(), lines.end(),
        [&Collator](QStringView a, QStringView b) { return Collator.compare(a, b) < 0; });
    QString sorted;
    sorted.reserve(EditorText.size() + 1);
    for (QStringView line : std::as_const(lines)) {
        sorted.append(line);
        sorted.append(u'\n');
    }
    return sorted;
}

QString SortLinesText(QStringView EditorText)
{
    QCollator collator { QLocale() };
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return SortLinesText(EditorText, collator);
}

QString BodyTextToEditorText(QStringView BodyText)
{
    QString text;
    text.reserve(BodyText.size());
    for (qsizetype i = 0; i < BodyText.size(); ++i) {
        const QChar ch = BodyText[i];
        if (ch == u'\r') {
            text.append(u'\n');
            if (i + 1 < BodyText.size() && BodyText[i + 1] == u'\n')
                ++i;
        } else if (ch == QChar::LineSeparator || ch == QChar::ParagraphSeparator) {
            text.append(u'\n');
        } else {
            text.append(ch);
        }
    }
    return text;
}

QString EditorTextToBodyText(QStringView EditorText)
{
    QString text = BodyTextToEditorText(EditorText);
    text.replace(u'\n', u"\r\n"_s);
    return text;
}

qsizetype EditorPosToBodyPos(QStringView EditorText, qsizetype EditorPos)
{
    const qsizetype end = std::clamp<qsizetype>(EditorPos, 0, EditorText.size());
    return EditorPos + EditorText.first(end).count(u'\n');
}

qsizetype BodyPosToEditorPos(QStringView BodyText, qsizetype BodyPos)
{
    const qsizetype end = std::clamp<qsizetype>(BodyPos, 0, BodyText.size());
    qsizetype pairs = 0;
    for (qsizetype i = 0; i < end; ++i) {
        if (BodyText[i] == u'\r' && i + 1 < BodyText.size() && BodyText[i + 1] == u'\n')
            ++pairs;
    }
    return BodyPos - pairs;
}

bool FitsEditor(QStringView BodyText, qsizetype *length, qsizetype *lines)
{
    qsizetype total = 0;
    qsizetype count = 0;
    bool fits = true;
    TextEncoding::forEachTextFormLine(BodyText, [&](QStringView line) {
        total += line.size() + 1;
        // The editor breaks a line at the Unicode separators as well.
        count += 1 + line.count(QChar::LineSeparator) + line.count(QChar::ParagraphSeparator);
        fits = fits && line.size() <= MaxEditorLineLength;
    });
    if (length)
        *length = total;
    if (lines)
        *lines = count;
    return fits && total <= MaxEditorTextLength && count <= MaxEditorLineCount;
}
