#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include "Errors.h"

// A colour in the window system's convention: 0x00BBGGRR for an explicit colour,
// 0xFF0000nn for system colour nn. Stored files keep this form, so it is kept in
// memory too; widgets convert at the edge.
using TColor = quint32;

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clWindow = 0xFF000005;
constexpr TColor clWindowText = 0xFF000008;

namespace Colors {

// The colour's identifier ("clRed", "clWindow", ...), or an empty string when it has none.
QString colorToIdent(TColor color);
// Matches an identifier without regard to case.
bool identToColor(QStringView ident, TColor *color);
// Identifier when there is one, otherwise "$" and eight upper-case hex digits.
QString colorToString(TColor color);
// An identifier, a decimal number (signed or unsigned 32-bit) or "$" and up to eight
// hex digits. False for anything else, including an empty text.
bool stringToColor(QStringView text, TColor *color);

// Whether the colour follows the desktop's palette rather than being one the user chose.
constexpr bool isSystemColor(TColor color)
{
    return (color & 0xFF000000u) == 0xFF000000u;
}

// Text needs this contrast against its background to read well (ordinary text by the
// common accessibility guidelines).
constexpr double MinimumTextContrast = 4.5;
// Relative luminance of an explicit colour, 0 (black) to 1 (white), as those guidelines
// define it.
double luminance(TColor rgb);
// The contrast of two explicit colours: 1 for equal luminance up to 21 for black on white.
double contrastRatio(TColor a, TColor b);
// color when it reads against `against`; otherwise black or white, whichever reads better.
TColor readableAgainst(TColor color, TColor against);

} // namespace Colors

// The value of a hexadecimal digit, -1 for any other character.
int HexDigitValue(QChar c);
// One to eight hexadecimal digits and nothing else (no prefix, no blanks).
bool ParseHex32(QStringView digits, quint32 *value);

// A conversion that found a text it cannot read as the value it should be.
class EConvertError : public EVellumtreeError
{
public:
    using EVellumtreeError::EVellumtreeError;
};

// Font style bits as the font text stores them.
enum TFontStyle : quint8 { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
enum TFontPitch : quint8 { fpDefault = 0, fpVariable = 1, fpFixed = 2 };

// A font as the program stores it; widgets turn it into a QFont. A default-constructed
// value is "a new default font".
struct TFontDesc
{
    QString Name = QStringLiteral("Tahoma");
    qint32 Size = 8; // points
    quint8 Style = 0; // TFontStyle bits
    quint8 Pitch = fpDefault;
    TColor Color = clWindowText;
    quint8 Charset = 1; // DEFAULT_CHARSET

    bool operator==(const TFontDesc &) const = default;
};

struct TPointI
{
    qint32 x = 0;
    qint32 y = 0;
    bool operator==(const TPointI &) const = default;
};

struct TRectI
{
    qint32 left = 0;
    qint32 top = 0;
    qint32 right = 0;
    qint32 bottom = 0;
    bool operator==(const TRectI &) const = default;
};

// The window system's placement record. Its stored form is 44 bytes: eleven
// little-endian signed 32-bit integers in declaration order.
struct TWindowPlacement
{
    static constexpr int ByteSize = 44;

    qint32 length = 0;
    qint32 flags = 0;
    qint32 showCmd = 0;
    TPointI ptMinPosition;
    TPointI ptMaxPosition;
    TRectI rcNormalPosition;

    QByteArray toBytes() const;
    // Copies the first bytes.size() (at most 44) bytes over the stored form and keeps
    // the rest, as a raw read into the record does.
    void overlayBytes(QByteArrayView bytes);

    bool operator==(const TWindowPlacement &) const = default;
};
