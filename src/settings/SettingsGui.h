#pragma once

#include "settings/SettingsTypes.h"

#include <QColor>
#include <QFont>

// The stored forms of fonts and colours turned into Qt's and back.
namespace SettingsGui {

// Explicit colours are 0x00BBGGRR; system colours (0xFF0000nn) take the matching
// colour of the application's palette.
QColor toQColor(TColor color);
TColor fromQColor(const QColor &color);

// A text area's background and text colours. The colours the user chose stay; one that
// follows the palette gives way to black or white where it would not read against the
// user's (a white background chosen under a light theme, then a dark theme's light text).
struct TTextColors
{
    QColor Background;
    QColor Text;
};
TTextColors textColors(TColor background, TColor text);

QFont toQFont(const TFontDesc &font);
// The font's colour is not part of a QFont, so it is passed in.
TFontDesc fromQFont(const QFont &font, TColor color);

// The font a dialog's font box shows the chosen font in: its face and style, at no more
// than 12 points, so that a large font cannot push the dialog's buttons off the screen.
QFont shownFont(const TFontDesc &font);

} // namespace SettingsGui
