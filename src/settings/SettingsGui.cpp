#include "settings/SettingsGui.h"

#include <QGuiApplication>
#include <QPalette>

namespace SettingsGui {

namespace {

// The window system's colour indexes that have a palette role here.
QPalette::ColorRole roleFor(quint32 index)
{
    switch (index) {
    case 1: // background
        return QPalette::Window;
    case 5: // window
        return QPalette::Base;
    case 8: // window text
        return QPalette::Text;
    case 13:
        return QPalette::Highlight;
    case 14:
        return QPalette::HighlightedText;
    case 15: // button face
        return QPalette::Button;
    case 16: // button shadow
        return QPalette::Dark;
    case 17: // grey text
        return QPalette::PlaceholderText;
    case 18:
        return QPalette::ButtonText;
    case 20: // button highlight
        return QPalette::Light;
    case 23:
        return QPalette::ToolTipText;
    case 24:
        return QPalette::ToolTipBase;
    default:
        return QPalette::Window;
    }
}

} // namespace

QColor toQColor(TColor color)
{
    if ((color & 0xFF000000u) == 0xFF000000u)
        return QGuiApplication::palette().color(roleFor(color & 0xFFu));
    if (color == clNone || color == clDefault)
        return QGuiApplication::palette().color(QPalette::Base);
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

TColor fromQColor(const QColor &color)
{
    return TColor(color.red()) | (TColor(color.green()) << 8) | (TColor(color.blue()) << 16);
}

TTextColors textColors(TColor background, TColor text)
{
    TTextColors colors{toQColor(background), toQColor(text)};
    const TColor shownBackground = fromQColor(colors.Background);
    const TColor shownText = fromQColor(colors.Text);
    const auto followsPalette = [](TColor c) {
        return Colors::isSystemColor(c) || c == clNone || c == clDefault;
    };
    // Both the user's, or both the palette's (which pairs them itself): as they are.
    if (followsPalette(background) == followsPalette(text))
        return colors;
    if (followsPalette(text))
        colors.Text = toQColor(Colors::readableAgainst(shownText, shownBackground));
    else
        colors.Background = toQColor(Colors::readableAgainst(shownBackground, shownText));
    return colors;
}

QFont toQFont(const TFontDesc &desc)
{
    QFont font(desc.Name);
    if (desc.Size > 0)
        font.setPointSize(desc.Size);
    font.setBold(desc.Style & fsBold);
    font.setItalic(desc.Style & fsItalic);
    font.setUnderline(desc.Style & fsUnderline);
    font.setStrikeOut(desc.Style & fsStrikeOut);
    if (desc.Pitch == fpFixed) {
        font.setFixedPitch(true);
        font.setStyleHint(QFont::Monospace);
    }
    return font;
}

TFontDesc fromQFont(const QFont &font, TColor color)
{
    TFontDesc desc;
    desc.Name = font.family();
    desc.Size = font.pointSize() > 0 ? font.pointSize() : 8;
    desc.Style = quint8((font.bold() ? fsBold : 0) | (font.italic() ? fsItalic : 0)
                        | (font.underline() ? fsUnderline : 0)
                        | (font.strikeOut() ? fsStrikeOut : 0));
    desc.Pitch = font.fixedPitch() ? fpFixed : fpDefault;
    desc.Color = color;
    return desc;
}

QFont shownFont(const TFontDesc &font)
{
    constexpr int kMaxShownPointSize = 12;
    QFont shown = toQFont(font);
    shown.setPointSize(qBound(1, font.Size, kMaxShownPointSize));
    return shown;
}

} // namespace SettingsGui
