#include "app/qkRicheditText.h"

#include "notes/TextEncoding.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

bool containsCi(QStringView text, QStringView what)
{
    return text.contains(what, Qt::CaseInsensitive);
}

// The last occurrence of Marker (any case) that ends before the 0-based index Before.
qsizetype lastMarkerBefore(QStringView line, QStringView marker, qsizetype before)
{
    const qsizetype latestStart = before - marker.size();
    if (latestStart < 0)
        return -1;
    return line.first(before).lastIndexOf(marker, latestStart, Qt::CaseInsensitive);
}

bool hasWebScheme(QStringView word)
{
    return containsCi(word, u"http://") || containsCi(word, u"https://");
}

} // namespace

bool IsLinkWordDelimiter(QChar ch)
{
    switch (ch.unicode()) {
    case u'\t':
    case u'\n':
    case u'\r':
    case u' ':
    case u'"':
    case u'\'':
    case u'(':
    case u')':
    case u',':
    case u';':
    case u'<':
    case u'>':
        return true;
    default:
        return false;
    }
}

TLinkInfo LinkAtLine(QStringView Line, qsizetype Pos)
{
    TLinkInfo result;
    if (Pos < 1 || Pos > Line.size())
        return result;
    const qsizetype c = Pos - 1; // 0-based from here on

    // Title link. With no "[" before the character the line's start stands in for it.
    {
        const qsizetype open = c > 0 ? Line.first(c).lastIndexOf(u'[') : -1;
        const qsizetype close = Line.indexOf(u']', c);
        const qsizetype a = open + 1; // 1-based, 0 for none
        const qsizetype b = close + 1;
        if (b - a > 2) {
            result.Kind = lkTitleLink;
            result.Text = Line.sliced(a, b - a - 1).toString();
            result.SelStart = a > 0 ? a : 1;
            result.SelLength = b - result.SelStart + 1;
            return result;
        }
    }

    // Note and file links: the marker must lie wholly before the character, so a click
    // on "note://" itself is no note link.
    for (const auto &[marker, kind] :
        { std::pair { u"note://"_s, lkNoteLink }, std::pair { u"file://"_s, lkFileLink } }) {
        const qsizetype s = lastMarkerBefore(Line, marker, c);
        if (s < 0)
            continue;
        result.Kind = kind;
        const qsizetype e = Line.indexOf(u';', c);
        if (e >= 0) {
            const QStringView link = Line.sliced(s, e - s + 1);
            result.Text = (kind == lkNoteLink ? link : link.sliced(7).chopped(1)).toString();
            result.SelStart = s + 1;
            result.SelLength = link.size();
        }
        return result;
    }

    // Addresses: the word around the character.
    if (IsLinkWordDelimiter(Line[c]))
        return result;
    qsizetype begin = c;
    while (begin > 0 && !IsLinkWordDelimiter(Line[begin - 1]))
        --begin;
    qsizetype end = c + 1;
    while (end < Line.size() && !IsLinkWordDelimiter(Line[end]))
        ++end;
    QString word = Line.sliced(begin, end - begin).toString();
    result.Text = word;
    if (word.size() < 4)
        return result;

    if (word.endsWith(u',') || word.endsWith(u'.') || word.endsWith(u':'))
        word.chop(1);
    // An address that already has a web scheme keeps it: "https://www.x" must not become
    // "http://https://www.x", nor "http://ftp.x" an ftp address "ftp://http://ftp.x".
    if (containsCi(word, u"www.") && !hasWebScheme(word))
        word.prepend(u"http://"_s);
    if (containsCi(word, u"ftp.") && !containsCi(word, u"ftp://") && !hasWebScheme(word))
        word.prepend(u"ftp://"_s);

    if (containsCi(word, u"ftp://")) {
        result.Kind = lkFtpAddress;
    } else if (hasWebScheme(word)) {
        result.Kind = lkWebAddress;
    } else if (word.contains(u'@')) {
        if (!containsCi(word, u"mailto:"))
            word.prepend(u"mailto:"_s);
        result.Kind = lkMailAddress;
    }
    result.Text = word;
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
            span.Target = text.sliced(7).chopped(1).toString();
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

bool FitsEditor(QStringView BodyText, qsizetype *length)
{
    qsizetype total = 0;
    bool fits = true;
    TextEncoding::forEachTextFormLine(BodyText, [&](QStringView line) {
        total += line.size() + 1;
        fits = fits && line.size() <= MaxEditorLineLength;
    });
    if (length)
        *length = total;
    return fits && total <= MaxEditorTextLength;
}
