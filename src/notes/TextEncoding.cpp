#include "notes/TextEncoding.h"

#include <QStringDecoder>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <array>
#include <cstring>

namespace {

// windows-1250, bytes 0x80..0xFF
const char16_t kCp1250[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// windows-1251, bytes 0x80..0xFF
const char16_t kCp1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// windows-1252, bytes 0x80..0xFF
const char16_t kCp1252[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

const char16_t *tableFor(TTextEncoding encoding)
{
    switch (encoding) {
    case TTextEncoding::Windows1250:
        return kCp1250;
    case TTextEncoding::Windows1251:
        return kCp1251;
    case TTextEncoding::Windows1252:
        return kCp1252;
    case TTextEncoding::Utf8:
        break;
    }
    return kCp1252;
}

// Reverse lookup for one code page, built once: most characters are in the first
// 0x2200 code points, the rest (a few punctuation and symbol characters) are
// searched in the table.
class ReverseTable
{
public:
    explicit ReverseTable(const char16_t *table) : m_table(table)
    {
        m_direct.fill(0);
        for (int i = 0; i < 128; ++i) {
            if (table[i] < m_direct.size())
                m_direct[table[i]] = static_cast<unsigned char>(0x80 + i);
        }
    }

    // 0 when the character has no byte (NUL itself is handled by the caller).
    unsigned char byteFor(char16_t c) const
    {
        if (c < 0x80)
            return static_cast<unsigned char>(c);
        if (c < m_direct.size())
            return m_direct[c];
        for (int i = 0; i < 128; ++i) {
            if (m_table[i] == c)
                return static_cast<unsigned char>(0x80 + i);
        }
        return 0;
    }

private:
    const char16_t *m_table;
    std::array<unsigned char, 0x2000> m_direct;
};

const ReverseTable &reverseFor(TTextEncoding encoding)
{
    static const ReverseTable r1250(kCp1250);
    static const ReverseTable r1251(kCp1251);
    static const ReverseTable r1252(kCp1252);
    switch (encoding) {
    case TTextEncoding::Windows1250:
        return r1250;
    case TTextEncoding::Windows1251:
        return r1251;
    default:
        return r1252;
    }
}

} // namespace

namespace TextEncoding {

QByteArrayView untilNul(QByteArrayView bytes)
{
    // An empty file has no data pointer, and memchr must not be given a null one.
    if (bytes.isEmpty())
        return bytes;
    const void *nul = std::memchr(bytes.data(), 0, static_cast<size_t>(bytes.size()));
    if (!nul)
        return bytes;
    return bytes.first(static_cast<const char *>(nul) - bytes.data());
}

qsizetype wholeUtf8Prefix(QByteArrayView bytes)
{
    const qsizetype n = bytes.size();
    for (qsizetype k = 1; k <= 4 && k <= n; ++k) {
        const auto c = static_cast<uchar>(bytes[n - k]);
        if ((c & 0xC0) == 0x80)
            continue;
        const qsizetype need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return need > k ? n - k : n;
    }
    return n; // continuation bytes alone: not UTF-8, however it is cut
}

TTextEncoding legacyEncodingFor(const QLocale &locale)
{
    switch (locale.language()) {
    case QLocale::Russian:
    case QLocale::Ukrainian:
    case QLocale::Belarusian:
    case QLocale::Bulgarian:
    case QLocale::Macedonian:
    case QLocale::Kazakh:
    case QLocale::Kyrgyz:
    case QLocale::Tatar:
    case QLocale::Bashkir:
    case QLocale::Mongolian:
    case QLocale::Tajik:
        return TTextEncoding::Windows1251;
    case QLocale::Serbian:
    case QLocale::Uzbek:
    case QLocale::Azerbaijani:
        return locale.script() == QLocale::CyrillicScript ? TTextEncoding::Windows1251
                                                          : TTextEncoding::Windows1250;
    case QLocale::Polish:
    case QLocale::Czech:
    case QLocale::Slovak:
    case QLocale::Hungarian:
    case QLocale::Slovenian:
    case QLocale::Croatian:
    case QLocale::Bosnian:
    case QLocale::Romanian:
    case QLocale::Albanian:
    case QLocale::LowerSorbian:
    case QLocale::UpperSorbian:
        return TTextEncoding::Windows1250;
    default:
        return TTextEncoding::Windows1252;
    }
}

TTextEncoding systemLegacyEncoding()
{
    return legacyEncodingFor(QLocale::system());
}

bool isValidUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

QString decodeLegacy(QByteArrayView bytes, TTextEncoding encoding)
{
    const char16_t *table = tableFor(encoding);
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *out++ = QChar(b < 0x80 ? char16_t(b) : table[b - 0x80]);
    }
    return text;
}

bool encodeLegacy(QStringView text, TTextEncoding encoding, QByteArray *out)
{
    const ReverseTable &reverse = reverseFor(encoding);
    out->resize(text.size());
    char *dest = out->data();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const unsigned char b = reverse.byteFor(u);
        if (b == 0 && u != 0)
            return false;
        *dest++ = static_cast<char>(b);
    }
    return true;
}

TTextEncoding encodingFor(bool utf8, TTextEncoding legacy)
{
    if (utf8)
        return TTextEncoding::Utf8;
    return legacy == TTextEncoding::Utf8 ? TTextEncoding::Windows1252 : legacy;
}

QString decodeAs(QByteArrayView bytes, TTextEncoding encoding)
{
    return encoding == TTextEncoding::Utf8 ? QString::fromUtf8(bytes) : decodeLegacy(bytes, encoding);
}

QString decode(QByteArrayView bytes, TTextEncoding legacy, TTextEncoding *used)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder(bytes);
    const TTextEncoding encoding = encodingFor(!decoder.hasError(), legacy);
    if (used)
        *used = encoding;
    return encoding == TTextEncoding::Utf8 ? text : decodeLegacy(bytes, encoding);
}

QString decode(QByteArrayView bytes, TTextEncoding *used)
{
    return decode(bytes, systemLegacyEncoding(), used);
}

QByteArray encode(QStringView text, TTextEncoding wanted, TTextEncoding *used)
{
    if (wanted != TTextEncoding::Utf8) {
        QByteArray bytes;
        if (encodeLegacy(text, wanted, &bytes)) {
            if (used)
                *used = wanted;
            return bytes;
        }
    }
    if (used)
        *used = TTextEncoding::Utf8;
    return text.toUtf8();
}

QString encodingName(TTextEncoding encoding)
{
    switch (encoding) {
    case TTextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TTextEncoding::Windows1250:
        return QStringLiteral("windows-1250");
    case TTextEncoding::Windows1251:
        return QStringLiteral("windows-1251");
    case TTextEncoding::Windows1252:
        return QStringLiteral("windows-1252");
    }
    return {};
}

namespace {

char16_t unit(QChar c)
{
    return c.unicode();
}

char16_t unit(char c)
{
    return static_cast<unsigned char>(c);
}

// Calls take(start, length) for every line of text, split at CR LF, lone CR or lone
// LF, with no empty line after a final break.
template <typename Text, typename Take>
void forEachLine(const Text &text, Take take)
{
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = unit(text[i]);
        if (c == u'\r' || c == u'\n') {
            take(start, i - start);
            if (c == u'\r' && i + 1 < n && unit(text[i + 1]) == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        take(start, n - start);
}

} // namespace

QStringList splitLines(QStringView text)
{
    QStringList lines;
    forEachLine(text, [&](qsizetype start, qsizetype length) {
        lines.append(text.sliced(start, length).toString());
    });
    return lines;
}

QStringList decodeLines(QByteArrayView bytes, TTextEncoding legacy, TTextEncoding *used)
{
    const TTextEncoding encoding = encodingFor(bytes.isValidUtf8(), legacy);
    if (used)
        *used = encoding;
    QStringList lines;
    forEachLine(bytes, [&](qsizetype start, qsizetype length) {
        lines.append(decodeAs(bytes.sliced(start, length), encoding));
    });
    return lines;
}

QString joinLines(const QStringList &lines)
{
    qsizetype size = 0;
    for (const QString &line : lines)
        size += line.size() + 2;
    QString text;
    text.reserve(size);
    for (const QString &line : lines) {
        text += line;
        text += QLatin1String("\r\n");
    }
    return text;
}

char *appendUtf8(char *out, QStringView text)
{
    const char16_t *in = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
#ifdef __SSE2__
        const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
        for (; i + 16 <= n; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i + 8));
            const __m128i beyond = _mm_and_si128(_mm_or_si128(a, b), high);
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(beyond, _mm_setzero_si128())) != 0xFFFF)
                break;
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(a, b));
            out += 16;
        }
#endif
        for (; i < n && in[i] < 0x80; ++i)
            *out++ = static_cast<char>(in[i]);
        // The characters up to the next ASCII one, as toUtf8 encodes them: a
        // surrogate without its other half becomes "?".
        for (; i < n && in[i] >= 0x80; ++i) {
            char32_t c = in[i];
            if (c < 0x800) {
                *out++ = static_cast<char>(0xC0 | (c >> 6));
            } else if (QChar::isSurrogate(c)) {
                if (!QChar::isHighSurrogate(c) || i + 1 == n || !QChar::isLowSurrogate(in[i + 1])) {
                    *out++ = '?';
                    continue;
                }
                c = QChar::surrogateToUcs4(in[i], in[i + 1]);
                ++i;
                *out++ = static_cast<char>(0xF0 | (c >> 18));
                *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            } else {
                *out++ = static_cast<char>(0xE0 | (c >> 12));
                *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            }
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool isTextForm(QStringView text)
{
    const qsizetype n = text.size();
    if (n == 0)
        return true;
    if (n < 2 || text[n - 2] != u'\r' || text[n - 1] != u'\n')
        return false;
    const QChar *d = text.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = d[i].unicode();
        if (c > u'\r' || (c != u'\r' && c != u'\n'))
            continue;
        if (c == u'\n' || i + 1 == n || d[i + 1] != u'\n')
            return false;
        ++i;
    }
    return true;
}

QString toTextForm(QStringView text)
{
    if (isTextForm(text))
        return text.toString();
    // Sized first: a text of lone line breaks doubles, and growing into that would
    // hold the old buffer and a larger new one at once.
    qsizetype size = 0;
    forEachLine(text, [&](qsizetype, qsizetype length) { size += length + 2; });
    QString form;
    form.reserve(size);
    forEachLine(text, [&](qsizetype start, qsizetype length) {
        form += text.sliced(start, length);
        form += QLatin1StringView("\r\n");
    });
    return form;
}

qsizetype textFormLineCount(QStringView text)
{
    return text.count(u'\n');
}

} // namespace TextEncoding
