#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLocale>
#include <QString>
#include <QStringList>

// The encodings a notes or language file may be in. Files from older systems are
// in the Windows code page of their author's locale; everything new is UTF-8.
enum class TTextEncoding : quint8 { Utf8, Windows1250, Windows1251, Windows1252 };

namespace TextEncoding {

// The legacy code page for a locale: Cyrillic → 1251, Central European → 1250,
// everything else 1252.
TTextEncoding legacyEncodingFor(const QLocale &locale);
TTextEncoding systemLegacyEncoding();

bool isValidUtf8(QByteArrayView bytes);

// Bytes as text: UTF-8 when they are valid UTF-8, otherwise the legacy code page.
// Every byte decodes to a character (undefined code page bytes to the C1 control of
// the same value), so encode() of the result gives the same bytes back.
QString decode(QByteArrayView bytes, TTextEncoding legacy, TTextEncoding *used = nullptr);
// The encoding decode() takes for bytes that are UTF-8 or not: the legacy code page
// when they are not, windows-1252 when no code page is given.
TTextEncoding encodingFor(bool utf8, TTextEncoding legacy);
// Bytes in a known encoding.
QString decodeAs(QByteArrayView bytes, TTextEncoding encoding);
QString decode(QByteArrayView bytes, TTextEncoding *used = nullptr);

QString decodeLegacy(QByteArrayView bytes, TTextEncoding encoding);
// False when a character has no byte in the code page; *out is then incomplete.
bool encodeLegacy(QStringView text, TTextEncoding encoding, QByteArray *out);

// Text in the wanted encoding, or UTF-8 when it does not fit the wanted code page.
// *used says which one it became.
QByteArray encode(QStringView text, TTextEncoding wanted, TTextEncoding *used = nullptr);

QString encodingName(TTextEncoding encoding);

// The bytes up to the first NUL: a NUL ends the text of a notes or text file.
QByteArrayView untilNul(QByteArrayView bytes);
// How many bytes of a chunk of a longer text are whole UTF-8 characters: a character
// the chunk cuts short is left for the next chunk, so each piece is validated and
// decoded as the whole text would be. Only the last four bytes can belong to it.
qsizetype wholeUtf8Prefix(QByteArrayView bytes);
// Splits at CR LF, lone CR or lone LF; a final line break makes no empty last line.
QStringList splitLines(QStringView text);
// Bytes split into lines as above and each line decoded as decode() would decode the
// whole text: one string per line and no copy of the whole text in between.
QStringList decodeLines(QByteArrayView bytes, TTextEncoding legacy, TTextEncoding *used = nullptr);
// The lines, each followed by CR LF.
QString joinLines(const QStringList &lines);

// Writes text as UTF-8 at out, which has room for three bytes a unit, and returns
// the end: the bytes QString::toUtf8 would give, with ASCII runs (most of a notes
// file) done many units at a time.
char *appendUtf8(char *out, QStringView text);

// A text form is what joinLines gives: empty, or lines each followed by CR LF, with
// no other CR or LF in it.
bool isTextForm(QStringView text);
// The text split as splitLines does and joined as joinLines does, without a string
// for every line in between.
QString toTextForm(QStringView text);
// The number of lines of a text form.
qsizetype textFormLineCount(QStringView text);

// Calls take(line) with every line of a text form, as a view into it.
template <typename Take>
void forEachTextFormLine(QStringView text, Take take)
{
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start < n) {
        qsizetype lf = text.indexOf(u'\n', start);
        if (lf < 0)
            lf = n; // not a text form after all: the rest is the last line
        const qsizetype end = lf > start && text[lf - 1] == u'\r' ? lf - 1 : lf;
        take(text.sliced(start, end - start));
        start = lf + 1;
    }
}

} // namespace TextEncoding
