// Link recognition in the editor's text: the link under a position and the links the
// editor underlines, on arbitrary lines; what a browser would be started with.
#include "app/qkRicheditText.h"
#include "settings/ShellTarget.h"

#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line
        = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (const TLinkSpan &span : FindLinkSpans(line)) {
        if (span.Start < 0 || span.Length <= 0 || span.Start + span.Length > line.size())
            __builtin_trap();
    }
    for (qsizetype pos = 0; pos <= line.size() + 1; pos += 1 + line.size() / 16) {
        const TLinkInfo info = LinkAtLine(line, pos);
        if (info.SelLength < 0 || info.SelStart + info.SelLength > line.size() + 1)
            __builtin_trap();
        // A link reaches no further than the characters around the position.
        if (info.LinkLength > 0
            && (pos < info.LinkStart || pos >= info.LinkStart + info.LinkLength
                || info.LinkStart + info.LinkLength > line.size() + 1))
            __builtin_trap();
        const QStringList command
            = BrowserCommand(QStringLiteral("browser"), BrowserAddress(info.Text));
        if (!command.isEmpty() && command.last().startsWith(QLatin1Char('-')))
            __builtin_trap();
    }
    return 0;
}
