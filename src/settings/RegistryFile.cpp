#include "settings/RegistryFile.h"
#include "settings/SettingsTypes.h"

#include <QtEndian>

#include "notes/TextEncoding.h"

using namespace Qt::StringLiterals;

namespace {

const QString header = u"Windows Registry Editor Version 5.00"_s;
constexpr int bytesPerHexLine = 25;

QString folded(QStringView text)
{
    return text.toString().toCaseFolded();
}

bool hasControlChar(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

[[noreturn]] void fail(qsizetype line, const QString &what)
{
    throw ERegistryException(u"Registry file, line %1: %2"_s.arg(line).arg(what));
}

QString decodeFile(QByteArrayView bytes)
{
    // The registry editor exports UTF-16LE with a byte-order mark; we write UTF-8.
    if (bytes.size() >= 2 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xFE) {
        const QByteArrayView body = bytes.sliced(2);
        QString text(body.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(qFromLittleEndian<quint16>(body.data() + 2 * i));
        return text;
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    return TextEncoding::decode(bytes);
}

// A quoted text with the format's two escapes, starting at text[pos] == '"'.
// Leaves pos after the closing quote.
QString parseQuoted(QStringView text, qsizetype &pos, qsizetype line)
{
    Q_ASSERT(text[pos] == u'"');
    QString out;
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


QString escaped(QStringView text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (QChar c : text) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        out += c;
    }
    out += u'"';
    return out;
}

// String data that the quoted form carries exactly: whole UTF-16, one terminating
// zero, no line breaks or other controls that would break the line structure.
bool isPlainStringData(QByteArrayView data)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    const qsizetype units = data.size() / 2 - 1;
    if (qFromLittleEndian<quint16>(data.data() + 2 * units) != 0)
        return false;
    const QString text = registryStringText(data);
    if (text.size() != units)
        return false; // a zero inside
    for (QChar c : text) {
        if (c != u'\t' && (c.unicode() < 0x20 || c.unicode() == 0x7F))
            return false;
    }
    return QStringView(text).isValidUtf16();
}

void appendHexList(QString &out, QByteArrayView data)
{
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out += u',';
            if (i % bytesPerHexLine == 0)
                out += u"\\\n  "_s;
        }
        out += QStringLiteral("%1").arg(uint(uchar(data[i])), 2, 16, QChar(u'0'));
    }
}

} // namespace

QByteArray registryStringData(const QString &text)
{
    QByteArray data((text.size() + 1) * 2, '\0');
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian<quint16>(text[i].unicode(), data.data() + 2 * i);
    return data;
}

QString registryStringText(QByteArrayView data)
{
    QString text;
    text.reserve(data.size() / 2);
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        const quint16 unit = qFromLittleEndian<quint16>(data.data() + i);
        if (unit == 0)
            break;
        text += QChar(unit);
    }
    return text;
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
    const auto it = m_keyIndex.constFind(folded(path));
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
    m_keyIndex.insert(folded(path), m_keys.size());
    m_keys.push_back(Key { path, {}, {} });
    return m_keys.back();
}

bool TRegistryTree::keyExists(QStringView path) const
{
    if (findKey(path))
        return true;
    const QString prefix = folded(path) + u'\\';
    for (const Key &key : m_keys) {
        if (folded(key.path).startsWith(prefix))
            return true;
    }
    return false;
}

bool TRegistryTree::deleteKey(QStringView path)
{
    const QString exact = folded(path);
    const QString prefix = exact + u'\\';
    const auto before = m_keys.size();
    std::erase_if(m_keys, [&](const Key &key) {
        const QString f = folded(key.path);
        return f == exact || f.startsWith(prefix);
    });
    if (m_keys.size() == before)
        return false;
    reindex();
    return true;
}

QStringList TRegistryTree::subKeyNames(QStringView path) const
{
    const QString prefix = folded(path) + u'\\';
    const qsizetype depth = path.count(u'\\') + 1;
    QStringList names;
    QStringList foldedNames;
    for (const Key &key : m_keys) {
        const QString f = folded(key.path);
        if (!f.startsWith(prefix))
            continue;
        const QString child = key.path.section(u'\\', depth, depth);
        const QString childFolded = child.toCaseFolded();
        if (!foldedNames.contains(childFolded)) {
            foldedNames += childFolded;
            names += child;
        }
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
            if (QStringView(key.values[i].name).compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }
    return key.valueIndex.value(folded(name), -1);
}

void indexValues(TRegistryTree::Key &key)
{
    key.valueIndex.clear();
    if (key.values.size() <= valuesWithoutIndex)
        return;
    for (qsizetype i = 0; i < key.values.size(); ++i)
        key.valueIndex.insert(folded(key.values[i].name), i);
}

} // namespace

const TRegistryValue *TRegistryTree::findValue(const Key &key, QStringView name)
{
    const qsizetype at = valuePosition(key, name);
    return at < 0 ? nullptr : &key.values[at];
}

void TRegistryTree::setValue(Key &key, const QString &name, quint32 type, const QByteArray &data)
{
    const qsizetype at = valuePosition(key, name);
    if (at >= 0) {
        // An overwritten value keeps its place and the spelling of its name.
        TRegistryValue &value = key.values[at];
        value.type = type;
        value.data = data;
        return;
    }
    key.values.append(TRegistryValue { name, type, data });
    if (!key.valueIndex.isEmpty())
        key.valueIndex.insert(folded(name), key.values.size() - 1);
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

void TRegistryTree::reindex()
{
    m_keyIndex.clear();
    for (size_t i = 0; i < m_keys.size(); ++i)
        m_keyIndex.insert(folded(m_keys[i].path), i);
}

TRegistryTree TRegistryTree::parse(QByteArrayView fileBytes)
{
    const QString text = decodeFile(fileBytes);
    const QList<QStringView> lines = QStringView(text).split(u'\n');

    TRegistryTree tree;
    Key *current = nullptr;
    bool seenHeader = false;

    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype lineNo = i + 1;
        QStringView line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
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
            const QString value = parseQuoted(data, end, lineNo);
            if (!data.sliced(end).trimmed().isEmpty())
                fail(lineNo, u"text after a string value"_s);
            setValue(*current, name, RegType::String, registryStringData(value));
        } else if (data.startsWith(u"dword:"_s, Qt::CaseInsensitive)) {
            quint32 value = 0;
            if (!ParseHex32(data.sliced(6).trimmed(), &value))
                fail(lineNo, u"invalid dword value"_s);
            QByteArray raw(4, '\0');
            qToLittleEndian<quint32>(value, raw.data());
            setValue(*current, name, RegType::DWord, raw);
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
            // Long lists continue on the next lines after a trailing backslash.
            while (list.endsWith(u'\\')) {
                list.chop(1);
                if (++i >= lines.size())
                    fail(lineNo, u"hex list ends with a continuation"_s);
                QStringView next = lines[i];
                if (next.endsWith(u'\r'))
                    next.chop(1);
                list += next.trimmed();
            }
            setValue(*current, name, type, parseHexBytes(list, lineNo));
        } else {
            fail(lineNo, u"unsupported value"_s);
        }
    }
    if (!seenHeader)
        fail(1, u"not a registry file"_s);
    return tree;
}

QByteArray TRegistryTree::serialise() const
{
    QString out = header + u"\n\n"_s;
    for (const Key &key : m_keys) {
        out += u'[' + key.path + u"]\n"_s;
        for (const TRegistryValue &value : key.values) {
            out += value.name.isEmpty() ? u"@"_s : escaped(value.name);
            out += u'=';
            if (value.type == RegType::String && isPlainStringData(value.data)) {
                out += escaped(registryStringText(value.data));
            } else if (value.type == RegType::DWord && value.data.size() == 4) {
                out += u"dword:"_s
                    + QStringLiteral("%1").arg(
                        uint(qFromLittleEndian<quint32>(value.data.constData())), 8, 16,
                        QChar(u'0'));
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
