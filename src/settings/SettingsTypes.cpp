#include "settings/SettingsTypes.h"

#include <algorithm>
#include <cmath>

#include <QtEndian>

#include <array>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

struct ColorIdent
{
    TColor value;
    QLatin1StringView ident;
};

constexpr TColor sys(quint32 index)
{
    return 0xFF000000u + index;
}

// No two identifiers share a value, so the table reads both ways.
constexpr std::array colorIdents {
    ColorIdent { 0x000000, "clBlack"_L1 },
    ColorIdent { 0x000080, "clMaroon"_L1 },
    ColorIdent { 0x008000, "clGreen"_L1 },
    ColorIdent { 0x008080, "clOlive"_L1 },
    ColorIdent { 0x800000, "clNavy"_L1 },
    ColorIdent { 0x800080, "clPurple"_L1 },
    ColorIdent { 0x808000, "clTeal"_L1 },
    ColorIdent { 0x808080, "clGray"_L1 },
    ColorIdent { 0xC0C0C0, "clSilver"_L1 },
    ColorIdent { 0x0000FF, "clRed"_L1 },
    ColorIdent { 0x00FF00, "clLime"_L1 },
    ColorIdent { 0x00FFFF, "clYellow"_L1 },
    ColorIdent { 0xFF0000, "clBlue"_L1 },
    ColorIdent { 0xFF00FF, "clFuchsia"_L1 },
    ColorIdent { 0xFFFF00, "clAqua"_L1 },
    ColorIdent { 0xFFFFFF, "clWhite"_L1 },
    ColorIdent { 0xC0DCC0, "clMoneyGreen"_L1 },
    ColorIdent { 0xF0CAA6, "clSkyBlue"_L1 },
    ColorIdent { 0xF0FBFF, "clCream"_L1 },
    ColorIdent { 0xA4A0A0, "clMedGray"_L1 },
    ColorIdent { clNone, "clNone"_L1 },
    ColorIdent { clDefault, "clDefault"_L1 },
    ColorIdent { sys(0), "clScrollBar"_L1 },
    ColorIdent { sys(1), "clBackground"_L1 },
    ColorIdent { sys(2), "clActiveCaption"_L1 },
    ColorIdent { sys(3), "clInactiveCaption"_L1 },
    ColorIdent { sys(4), "clMenu"_L1 },
    ColorIdent { sys(5), "clWindow"_L1 },
    ColorIdent { sys(6), "clWindowFrame"_L1 },
    ColorIdent { sys(7), "clMenuText"_L1 },
    ColorIdent { sys(8), "clWindowText"_L1 },
    ColorIdent { sys(9), "clCaptionText"_L1 },
    ColorIdent { sys(10), "clActiveBorder"_L1 },
    ColorIdent { sys(11), "clInactiveBorder"_L1 },
    ColorIdent { sys(12), "clAppWorkSpace"_L1 },
    ColorIdent { sys(13), "clHighlight"_L1 },
    ColorIdent { sys(14), "clHighlightText"_L1 },
    ColorIdent { sys(15), "clBtnFace"_L1 },
    ColorIdent { sys(16), "clBtnShadow"_L1 },
    ColorIdent { sys(17), "clGrayText"_L1 },
    ColorIdent { sys(18), "clBtnText"_L1 },
    ColorIdent { sys(19), "clInactiveCaptionText"_L1 },
    ColorIdent { sys(20), "clBtnHighlight"_L1 },
    ColorIdent { sys(21), "cl3DDkShadow"_L1 },
    ColorIdent { sys(22), "cl3DLight"_L1 },
    ColorIdent { sys(23), "clInfoText"_L1 },
    ColorIdent { sys(24), "clInfoBk"_L1 },
    ColorIdent { sys(26), "clHotLight"_L1 },
    ColorIdent { sys(27), "clGradientActiveCaption"_L1 },
    ColorIdent { sys(28), "clGradientInactiveCaption"_L1 },
    ColorIdent { sys(29), "clMenuHighlight"_L1 },
    ColorIdent { sys(30), "clMenuBar"_L1 },
};


} // namespace

namespace Colors {

QString colorToIdent(TColor color)
{
    for (const auto &entry : colorIdents) {
        if (entry.value == color)
            return QString(entry.ident);
    }
    return {};
}

bool identToColor(QStringView ident, TColor *color)
{
    for (const auto &entry : colorIdents) {
        if (ident.compare(entry.ident, Qt::CaseInsensitive) == 0) {
            *color = entry.value;
            return true;
        }
    }
    return false;
}

QString colorToString(TColor color)
{
    QString ident = colorToIdent(color);
    if (!ident.isEmpty())
        return ident;
    return u'$' + QStringLiteral("%1").arg(uint(color), 8, 16, QChar(u'0')).toUpper();
}

bool stringToColor(QStringView text, TColor *color)
{
    if (identToColor(text, color))
        return true;
    if (text.startsWith(u'$')) {
        return ParseHex32(text.mid(1), color);
    }
    // A stored colour may come as the signed or the unsigned form of the 32 bits.
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < -0x80000000LL || value > 0xFFFFFFFFLL)
        return false;
    *color = TColor(quint64(value) & 0xFFFFFFFFu);
    return true;
}

double luminance(TColor rgb)
{
    // Each channel of the sRGB value made linear, then weighed by the eye's response.
    const auto linear = [](quint32 channel) {
        const double c = channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(rgb & 0xFF) + 0.7152 * linear((rgb >> 8) & 0xFF)
        + 0.0722 * linear((rgb >> 16) & 0xFF);
}

double contrastRatio(TColor a, TColor b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TColor readableAgainst(TColor color, TColor against)
{
    if (contrastRatio(color, against) >= MinimumTextContrast)
        return color;
    constexpr TColor black = 0x000000;
    constexpr TColor white = 0xFFFFFF;
    return contrastRatio(black, against) >= contrastRatio(white, against) ? black : white;
}

} // namespace Colors

QByteArray TWindowPlacement::toBytes() const
{
    const std::array<qint32, 11> fields { length, flags, showCmd, ptMinPosition.x, ptMinPosition.y,
        ptMaxPosition.x, ptMaxPosition.y, rcNormalPosition.left, rcNormalPosition.top,
        rcNormalPosition.right, rcNormalPosition.bottom };
    QByteArray bytes(ByteSize, '\0');
    for (size_t i = 0; i < fields.size(); ++i)
        qToLittleEndian<qint32>(fields[i], bytes.data() + i * 4);
    return bytes;
}

void TWindowPlacement::overlayBytes(QByteArrayView data)
{
    if (data.isEmpty())
        return;
    QByteArray bytes = toBytes();
    std::memcpy(bytes.data(), data.data(), size_t(qMin<qsizetype>(data.size(), ByteSize)));
    auto field = [&bytes](int i) { return qFromLittleEndian<qint32>(bytes.constData() + i * 4); };
    length = field(0);
    flags = field(1);
    showCmd = field(2);
    ptMinPosition = { field(3), field(4) };
    ptMaxPosition = { field(5), field(6) };
    rcNormalPosition = { field(7), field(8), field(9), field(10) };
}

int HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool ParseHex32(QStringView digits, quint32 *value)
{
    if (digits.isEmpty() || digits.size() > 8)
        return false;
    quint32 v = 0;
    for (QChar c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return false;
        v = (v << 4) | quint32(digit);
    }
    *value = v;
    return true;
}
