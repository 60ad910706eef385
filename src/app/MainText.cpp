#include "app/MainText.h"

#include "settings/Utils.h"

using namespace Qt::StringLiterals;

namespace MainText {

QString TitleFromClipboardText(const QString &text, const QString &fallback)
{
    qsizetype start = 0;
    while (start < text.size() && text[start] == u' ')
        ++start;
    qsizetype end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
        ++end;
    const QString title = text.mid(start, end - start);
    return ShortenText(title.isEmpty() ? fallback : title, 255);
}

QString TitleFromSelection(const QString &selection)
{
    QString text = selection;
    // A selection in the editor separates its paragraphs with U+2029.
    text.replace(u"\r\n"_s, u" "_s);
    text.replace(QChar::ParagraphSeparator, u' ');
    text.replace(u'\n', u' ');
    qsizetype a = 0;
    qsizetype b = text.size();
    while (a < b && text[a] == u' ')
        ++a;
    while (b > a && text[b - 1] == u' ')
        --b;
    text = text.mid(a, b - a);
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

QString TrayTip(const QString &caption)
{
    constexpr qsizetype kMaxTipLength = 63;
    QString tip = caption.section(u'|', 0, 0);
    if (tip.size() > kMaxTipLength)
        tip.truncate(tip.at(kMaxTipLength - 1).isHighSurrogate() ? kMaxTipLength - 1
                                                                 : kMaxTipLength);
    return tip;
}

} // namespace MainText
