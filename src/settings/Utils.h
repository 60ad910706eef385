#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>

#include "settings/RegistryStore.h"
#include "settings/SettingsTypes.h"

// Font text: six fields, each followed by a comma: name, size in points, style bits,
// pitch, colour (identifier or "$" and eight hex digits), character set.
QString FontToText(const TFontDesc &font);
// Sets font from a font text. Fields that are not numbers keep the font's own size,
// pitch and character set (style becomes 0); a colour field that is neither an
// identifier nor a number raises EConvertError after the fields decoded before it
// have been applied, the others taking the values of a new default font.
void TextToFont(QStringView text, TFontDesc &font);

// A 32-bit value read before the settings store exists: -1 when the key cannot be
// opened, 0 when the value is missing or longer than 4 bytes, else its little-endian
// bytes whatever its type.
qint32 ReadRegistryInteger(TRegistryRoot rootKey, const QString &subKey, const QString &valueName);

// Moves Source to Target (made absolute), replacing Target. When a plain rename
// cannot do it (another file system), Source is copied over Target - which is never
// missing meanwhile - and deleted only when the copy succeeded. False when Source
// does not exist or the move failed; Source is then left where it was.
bool MoveFileReplacing(const QString &source, const QString &target);

// A file or folder of the program's own (language files, help document): beside the
// executable, or in ../share/vellumtree/ beside its folder when only that exists
// (an installed program).
QString ProgramFilePath(const QString &name);

// The text before the first ".", or an empty text when there is no ".".
QString TextBeforeDot(const QString &text);
// The first maxLength characters and "..." when text is longer than maxLength.
QString ShortenText(const QString &text, qsizetype maxLength);

// Today's date and the current time in the user's locale (at most 255 characters).
QString ShortDateText();
QString LongDateText();
// The locale's own time format with seconds, without the user's overrides.
QString TimeText();
QString ShortDateText(const QDate &date, const QLocale &locale);
QString LongDateText(const QDate &date, const QLocale &locale);
QString TimeText(const QTime &time, const QLocale &locale);

// Puts text at the front of list (moving an entry equal to it ignoring case, which
// keeps its spelling) and drops the entries after the first maxCount.
void AddToHistory(QStringList &list, const QString &text, qsizetype maxCount);

template <typename T> T Choose(bool flag, T a, T b)
{
    return flag ? a : b;
}
