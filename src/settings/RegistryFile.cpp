#include "settings/RegistryFile.h"
#include "settings/SettingsTypes.h"

#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>

#include "notes/TextEncoding.h"

using namespace Qt::StringLiterals;

namespace {

const QString header = u"Windows Registry Editor Version 5.00"_s;
constexpr int bytesPerHexLine = 25;

bool hasControlChar(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

// count UTF-16 units between the string and the file's little-endian form. An empty
// text may have no storage at all, which memcpy must not be handed even for nothing.
void copyUnits(const void *from, qsizetype count, void *to)
{
    if (count > 0)
        qFromLittleEndian<quint16>(from, count, to);
}

[[noreturn]] void fail(qsizetype line, const QString &what)
{
    throw ERegistryException(u"Registry file, line %1: %2"_s.arg(line).arg(what));
}

// The lines of a registry file, without their line ends. The registry editor exports
// UTF-16LE with a byte-order mark; we write UTF-8, which is decoded a line at a time so
// that a big file is not held twice; anything else is decoded as a whole.
class TLineReader
{
public:
    explicit TLineReader(QByteArrayView bytes)
    {
        if (bytes.size() >= 2 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xFE) {
            const QByteArrayView body = bytes.sliced(2);
            m_text.resize(body.size() / 2);
            copyUnits(body.data(), m_text.size(), m_text.data());
            return;
        }
        if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes = bytes.sliced(3);
        if (bytes.isValidUtf8())
            m_utf8 = bytes;
        else
            m_text = TextEncoding::decode(bytes);
    }

    // The next line, valid until the next call; false after the last one.
    bool next(QStringView &line)
    {
        const qsizetype size = m_utf8.isNull() ? m_text.size() : m_utf8.size();
        if (m_next > size)
            return false;
        qsizetype end = m_utf8.isNull() ? m_text.indexOf(u'\n', m_next)
                                        : m_utf8.indexOf('\n', m_next);
        if (end < 0)
            end = size;
        if (m_utf8.isNull()) {
            line = QStringView(m_text).sliced(m_next, end - m_next);
        } else {
            const QByteArrayView bytes = m_utf8.sliced(m_next, end - m_next);
            const qsizetype room = m_decoder.requiredSpace(bytes.size());
            if (m_line.size() < room)
                m_line.resize(room);
            const QChar *lineEnd = m_decoder.appendToBuffer(m_line.data(), bytes);
            line = QStringView(m_line.constData(), lineEnd);
        }
        if (line.endsWith(u'\r'))
            line.chop(1);
        m_next = end + 1;
        ++m_number;
        return true;
    }

    qsizetype number() const { return m_number; }

private:
    QByteArrayView m_utf8; // null when m_text holds the whole text
    QStringDecoder m_decoder { QStringDecoder::Utf8, QStringConverter::Flag::Stateless };
    QString m_text;
    QString m_line;
    qsizetype m_next = 0;
    qsizetype m_number = 0;
};

// Nearly every quoted text has no escape: then *inside is it, taken in one piece, and
// pos moves after the closing quote. Otherwise false, and pos stays.
bool unescapedQuoted(QStringView text, qsizetype &pos, QStringView *inside)
{
    const qsizetype end = text.indexOf(u'"', pos + 1);
    if (end < 0 || text.sliced(pos + 1, end - pos - 1).contains(u'\\'))
        return false;
    *inside = text.sliced(pos + 1, end - pos - 1);
    pos = end + 1;
    return true;
}

// A quoted text with the format's two escapes, starting at text[pos] == '"'.
// Leaves pos after the closing quote.
QString parseQuoted(QStringView text, qsizetype &pos, qsizetype line)
{
    Q_ASSERT(text[pos] == u'"');
    if (QStringView inside; unescapedQuoted(text, pos, &inside))
        return inside.toString();
    QString out;
    out.reserve(text.size() - pos);
    for (++pos; pos < text.size(); ++pos) {
        const QChar c = text[pos];
        if (c == u'"') {
            ++pos;
            return out;
        }
        if (c == u'\\') {
            if (pos + 1 >= text.size() || (text[pos + 1] != u'\\' && text[pos + 1] != u'"'))
                fail(line, u"invalid escape in a quoted text"_s);
            ++pos;
            out += text[pos];
            continue;
        }
        out += c;
    }
    fail(line, u"unterminated quoted text"_s);
}

// parseQuoted for a text that is a string value's data.
QByteArray parseQuotedData(QStringView text, qsizetype &pos, qsizetype line)
{
    if (QStringView inside; unescapedQuoted(text, pos, &inside))
        return registryStringData(inside);
    return registryStringData(parseQuoted(text, pos, line));
}

QByteArray parseHexBytes(QStringView list, qsizetype line)
{
    QByteArray out;
    const QStringView trimmed = list.trimmed();
    if (trimmed.isEmpty())
        return out;
    out.reserve(trimmed.size() / 3 + 1);
    for (QStringView token : trimmed.tokenize(u',')) {
        token = token.trimmed();
        if (token.isEmpty() || token.size() > 2)
            fail(line, u"invalid byte in a hex list"_s);
        int value = 0;
        for (QChar c : token) {
            const int digit = HexDigitValue(c);
            if (digit < 0)
                fail(line, u"invalid byte in a hex list"_s);
            value = value * 16 + digit;
        }
        out.append(char(value));
    }
    return out;
}


void appendEscaped(QString &out, QStringView text)
{
    out += u'"';
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' || text[i] == u'"') {
            out += text.sliced(from, i - from);
            out += u'\\';
            from = i;
        }
    }
    out += text.sliced(from);
    out += u'"';
}

// The text of string data that the quoted form carries exactly: whole UTF-16, one
// terminating zero, no line breaks or other controls that would break the line
// structure. Null when the data is not like that.
QString plainStringText(QByteArrayView data)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return {};
    const qsizetype units = data.size() / 2 - 1;
    if (qFromLittleEndian<quint16>(data.data() + 2 * units) != 0)
        return {};
    QString text(units, Qt::Uninitialized);
    copyUnits(data.data(), units, text.data());
    for (QChar c : std::as_const(text)) {
        if (c != u'\t' && (c.unicode() < 0x20 || c.unicode() == 0x7F))
            return {}; // a zero inside, or a control
    }
    if (!QStringView(text).isValidUtf16())
        return {};
    return text.isNull() ? QString(u""_s) : text;
}

void appendHexList(QString &out, QByteArrayView data)
{
    static constexpr char16_t digits[] = u"0123456789abcdef";
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out += u',';
            if (i % bytesPerHexLine == 0)
                out += u"\\\n  "_s;
        }
        const uchar byte = uchar(data[i]);
        const QChar pair[2] = { QChar(digits[byte >> 4]), QChar(digits[byte & 0xF]) };
        out.append(pair, 2);
    }
}

void appendHex32(QString &out, quint32 value)
{
    static constexpr char16_t digits[] = u"0123456789abcdef";
    QChar text[8];
    for (int i = 7; i >= 0; --i, value >>= 4)
        text[i] = QChar(digits[value & 0xF]);
    out.append(text, 8);
}

} // namespace

QByteArray registryStringData(QStringView text)
{
    QByteArray data((text.size() + 1) * 2, Qt::Uninitialized);
    copyUnits(text.constData(), text.size(), data.data());
    data[data.size() - 2] = '\0';
    data[data.size() - 1] = '\0';
    return data;
}

QString registryStringText(QByteArrayView data)
{
    qsizetype units = 0;
    while (units < data.size() / 2 && qFromLittleEndian<quint16>(data.data() + 2 * units) != 0)
        ++units;
    QString text(units, Qt::Uninitialized);
    copyUnits(data.data(), units, text.data());
    return text;
}

namespace {

// The case-folded code point at text[i]; moves i past it.
char32_t nextFolded(QStringView text, qsizetype &i) noexcept
{
    char32_t c = text[i++].unicode();
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
    if (QChar::isHighSurrogate(c) && i < text.size() && text[i].isLowSurrogate())
        c = QChar::surrogateToUcs4(char16_t(c), text[i++].unicode());
    return QChar::toCaseFolded(c);
}

// Whether path names a key below parent, matching names as TRegistryName does.
bool isBelow(QStringView path, QStringView parent) noexcept
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (j < parent.size()) {
        if (i >= path.size() || nextFolded(path, i) != nextFolded(parent, j))
            return false;
    }
    return i < path.size() && path[i] == u'\\';
}

} // namespace

bool TRegistryName::same(QStringView a, QStringView b) noexcept
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (nextFolded(a, i) != nextFolded(b, j))
            return false;
    }
    return i == a.size() && j == b.size();
}

size_t qHash(const TRegistryName &name, size_t seed) noexcept
{
    size_t hash = seed ^ 0x9E3779B97F4A7C15u;
    const QStringView text(name.text);
    for (qsizetype i = 0; i < text.size();)
        hash = (hash ^ nextFolded(text, i)) * 0x100000001B3u;
    return hash;
}

QString TRegistryTree::normalisePath(QStringView path)
{
    QStringList parts;
    for (QStringView part : path.tokenize(u'\\', Qt::SkipEmptyParts)) {
        if (hasControlChar(part) || !part.isValidUtf16())
            return {};
        parts += part.toString();
    }
    return parts.join(u'\\');
}

TRegistryTree::Key *TRegistryTree::findKey(QStringView path)
{
    const auto it = m_keyIndex.constFind(TRegistryName { path.toString() });
    return it == m_keyIndex.cend() ? nullptr : &m_keys[*it];
}

const TRegistryTree::Key *TRegistryTree::findKey(QStringView path) const
{
    return const_cast<TRegistryTree *>(this)->findKey(path);
}

TRegistryTree::Key &TRegistryTree::createKey(const QString &path)
{
    if (Key *key = findKey(path))
        return *key;
    m_keyIndex.insert(TRegistryName { path }, m_keys.size());
    m_keys.push_back(Key { path, {}, {} });
    return m_keys.back();
}

bool TRegistryTree::keyExists(QStringView path) const
{
    return findKey(path)
        || std::any_of(m_keys.cbegin(), m_keys.cend(),
                       [path](const Key &key) { return isBelow(key.path, path); });
}

bool TRegistryTree::deleteKey(QStringView path)
{
    const auto before = m_keys.size();
    std::erase_if(m_keys, [path](const Key &key) {
        return TRegistryName::same(key.path, path) || isBelow(key.path, path);
    });
    if (m_keys.size() == before)
        return false;
    reindex();
    return true;
}

QStringList TRegistryTree::subKeyNames(QStringView path) const
{
    const qsizetype depth = path.count(u'\\') + 1;
    QStringList names;
    for (const Key &key : m_keys) {
        if (!isBelow(key.path, path))
            continue;
        const QString child = key.path.section(u'\\', depth, depth);
        if (std::none_of(names.cbegin(), names.cend(),
                         [&child](const QString &name) { return TRegistryName::same(name, child); }))
            names += child;
    }
    return names;
}

namespace {

// Keys with a handful of values - nearly all - are searched without an index: a hash
// per key costs far more memory than the values of a big file.
constexpr qsizetype valuesWithoutIndex = 8;

qsizetype valuePosition(const TRegistryTree::Key &key, QStringView name)
{
    if (key.valueIndex.isEmpty()) {
        for (qsizetype i = 0; i < key.values.size(); ++i) {
            if (TRegistryName::same(key.values[i].name, name))
                return i;
        }
        return -1;
    }
    return key.valueIndex.value(TRegistryName { name.toString() }, -1);
}

void indexValues(TRegistryTree::Key &key)
{
    key.valueIndex.clear();
    if (key.values.size() <= valuesWithoutIndex)
        return;
    for (qsizetype i = 0; i < key.values.size(); ++i)
        key.valueIndex.insert(TRegistryName { key.values[i].name }, i);
}

} // namespace

const TRegistryValue *TRegistryTree::findValue(const Key &key, QStringView name)
{
    const qsizetype at = valuePosition(key, name);
    return at < 0 ? nullptr : &key.values[at];
}

void TRegistryTree::setValue(Key &key, const QString &name, quint32 type, const QByteArray &data)
{
    const qsizetype at = key.valueIndex.isEmpty() ? valuePosition(key, name)
                                                  : key.valueIndex.value(TRegistryName { name }, -1);
    if (at >= 0) {
        // An overwritten value keeps its place and the spelling of its name.
        TRegistryValue &value = key.values[at];
        value.type = type;
        value.data = data;
        return;
    }
    key.values.append(TRegistryValue { name, type, data });
    if (!key.valueIndex.isEmpty())
        key.valueIndex.insert(TRegistryName { name }, key.values.size() - 1);
    else if (key.values.size() > valuesWithoutIndex)
        indexValues(key);
}

bool TRegistryTree::deleteValue(Key &key, QStringView name)
{
    const qsizetype at = valuePosition(key, name);
    if (at < 0)
        return false;
    key.values.removeAt(at);
    indexValues(key);
    return true;
}

void TRegistryTree::mergeRepeatedValues(Key &key)
{
    // As setValue would have left them, in one pass: a name read again replaces the
    // first one's data in its place.
    QList<TRegistryValue> &values = key.values;
    QHash<TRegistryName, qsizetype> index;
    index.reserve(values.size());
    qsizetype kept = 0;
    for (qsizetype i = 0; i < values.size(); ++i) {
        qsizetype &slot = index[TRegistryName { values[i].name }]; // position + 1; 0 when new
        if (slot == 0) {
            slot = kept + 1;
            if (kept != i)
                values[kept] = std::move(values[i]);
            ++kept;
        } else {
            values[slot - 1].type = values[i].type;
            values[slot - 1].data = std::move(values[i].data);
        }
    }
    values.resize(kept);
    key.valueIndex.clear();
    if (kept > valuesWithoutIndex) {
        for (qsizetype &position : index)
            --position;
        key.valueIndex = std::move(index);
    }
}

void TRegistryTree::reindex()
{
    m_keyIndex.clear();
    for (size_t i = 0; i < m_keys.size(); ++i)
        m_keyIndex.insert(TRegistryName { m_keys[i].path }, i);
}

TRegistryTree TRegistryTree::parse(QByteArrayView fileBytes)
{
    TLineReader lines(fileBytes);
    TRegistryTree tree;
    Key *current = nullptr;
    bool seenHeader = false;

    QStringView line;
    while (lines.next(line)) {
        const qsizetype lineNo = lines.number();
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u';'))
            continue;
        if (!seenHeader) {
            if (trimmed != header)
                fail(lineNo, u"not a registry file"_s);
            seenHeader = true;
            continue;
        }

        if (trimmed.startsWith(u'[')) {
            if (!trimmed.endsWith(u']') || trimmed.size() < 3)
                fail(lineNo, u"invalid key line"_s);
            const QStringView inner = trimmed.sliced(1, trimmed.size() - 2);
            if (inner.startsWith(u'-'))
                fail(lineNo, u"key deletions are not supported"_s);
            const QString path = normalisePath(inner);
            if (path.isEmpty() || !path.startsWith(u"HKEY_"_s, Qt::CaseInsensitive))
                fail(lineNo, u"invalid key name"_s);
            current = &tree.createKey(path);
            continue;
        }

        if (trimmed[0] != u'"' && trimmed[0] != u'@')
            fail(lineNo, u"unexpected text"_s);
        if (!current)
            fail(lineNo, u"value outside a key"_s);

        qsizetype pos = 0;
        QString name;
        if (trimmed[0] == u'@')
            pos = 1;
        else
            name = parseQuoted(trimmed, pos, lineNo);
        // Half a surrogate pair could not be written back as it was read.
        if (!QStringView(name).isValidUtf16())
            fail(lineNo, u"invalid value name"_s);
        while (pos < trimmed.size() && trimmed[pos].isSpace())
            ++pos;
        if (pos >= trimmed.size() || trimmed[pos] != u'=')
            fail(lineNo, u"missing \"=\""_s);
        ++pos;
        while (pos < trimmed.size() && trimmed[pos].isSpace())
            ++pos;
        const QStringView data = trimmed.sliced(pos);

        if (data.startsWith(u'"')) {
            qsizetype end = 0;
            const QByteArray value = parseQuotedData(data, end, lineNo);
            if (!data.sliced(end).trimmed().isEmpty())
                fail(lineNo, u"text after a string value"_s);
            current->values.append(TRegistryValue { name, RegType::String, value });
        } else if (data.startsWith(u"dword:"_s, Qt::CaseInsensitive)) {
            quint32 value = 0;
            if (!ParseHex32(data.sliced(6).trimmed(), &value))
                fail(lineNo, u"invalid dword value"_s);
            QByteArray raw(4, '\0');
            qToLittleEndian<quint32>(value, raw.data());
            current->values.append(TRegistryValue { name, RegType::DWord, raw });
        } else if (data.startsWith(u"hex"_s, Qt::CaseInsensitive)) {
            quint32 type = RegType::Binary;
            QStringView rest = data.sliced(3);
            if (rest.startsWith(u'(')) {
                const qsizetype close = rest.indexOf(u')');
                if (close < 0 || !ParseHex32(rest.sliced(1, close - 1), &type))
                    fail(lineNo, u"invalid value type"_s);
                rest = rest.sliced(close + 1);
            }
            if (!rest.startsWith(u':'))
                fail(lineNo, u"invalid hex value"_s);
            QString list = rest.sliced(1).trimmed().toString();
            // Long lists continue on the next lines after a trailing backslash. Reading
            // them ends the views of this line.
            while (list.endsWith(u'\\')) {
                list.chop(1);
                QStringView next;
                if (!lines.next(next))
                    fail(lineNo, u"hex list ends with a continuation"_s);
                list += next.trimmed();
            }
            current->values.append(TRegistryValue { name, type, parseHexBytes(list, lineNo) });
        } else {
            fail(lineNo, u"unsupported value"_s);
        }
    }
    if (!seenHeader)
        fail(1, u"not a registry file"_s);
    for (Key &key : tree.m_keys)
        mergeRepeatedValues(key);
    return tree;
}

QByteArray TRegistryTree::serialise() const
{
    // Sized once: a big file grows in one piece, not by copies.
    qsizetype size = header.size() + 2;
    for (const Key &key : m_keys) {
        size += key.path.size() + 4;
        for (const TRegistryValue &value : key.values)
            size += value.name.size() + 16
                + (value.type == RegType::String ? value.data.size() / 2 : value.data.size() * 4);
    }
    QString out;
    out.reserve(size);
    out += header;
    out += u"\n\n"_s;
    for (const Key &key : m_keys) {
        out += u'[';
        out += key.path;
        out += u"]\n"_s;
        for (const TRegistryValue &value : key.values) {
            if (value.name.isEmpty())
                out += u'@';
            else
                appendEscaped(out, value.name);
            out += u'=';
            QString text;
            if (value.type == RegType::String && !(text = plainStringText(value.data)).isNull()) {
                appendEscaped(out, text);
            } else if (value.type == RegType::DWord && value.data.size() == 4) {
                out += u"dword:"_s;
                appendHex32(out, qFromLittleEndian<quint32>(value.data.constData()));
            } else {
                out += value.type == RegType::Binary ? u"hex:"_s
                                                     : u"hex(%1):"_s.arg(uint(value.type), 0, 16);
                appendHexList(out, value.data);
            }
            out += u'\n';
        }
        out += u'\n';
    }
    return out.toUtf8();
}
