// Font texts from the registry or the print settings. A font that decodes without
// a failure and has no comma in its name must come back the same from its own text.
#include <cstdint>
#include <cstdlib>

#include "settings/Utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    TFontDesc font;
    try {
        TextToFont(text, font);
    } catch (const EConvertError &) {
        return 0;
    }
    if (font.Name.contains(u',') || font.Style > 15 || font.Pitch > 2)
        std::abort();
    TFontDesc back { QStringLiteral("x"), 1, 0, 0, 0, 0 };
    TextToFont(FontToText(font), back);
    if (!(back == font))
        std::abort();
    return 0;
}
