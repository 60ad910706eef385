// Link recognition in the editor's text: the link under a position and the links the
// editor underlines, on arbitrary lines.
#include "app/qkRicheditText.h"

#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char *>(data),
                                           static_cast<qsizetype>(size));
    for (const TLinkSpan &span : FindLinkSpans(line)) {
        if (span.Start < 0 || span.Length <= 0 || span.Start + span.Length > line.size())
            __builtin_trap();
    }
    for (qsizetype pos = 0; pos <= line.size() + 1; pos += 1 + line.size() / 16) {
        const TLinkInfo info = LinkAtLine(line, pos);
        if (info.SelLength < 0 || info.SelStart + info.SelLength > line.size() + 1)
            __builtin_trap();
    }
    return 0;
}
