#include "notes/Archive.h"

#include "crypto/STRMBlowfish.h"
#include "crypto/StrongCipher.h"
#include "notes/ArchiveFormat.h"
#include "notes/NoteTree.h"
#include "settings/Utils.h"
#include "settings/UtilsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace ArchiveFormat;

namespace ArchiveFormat {

bool needsEscape(QStringView line)
{
    if (line.isEmpty() || (line.front() != u'<' && line.front() != u'&'))
        return false;
    if (line == kBodyEnd)
        return true;
    constexpr QStringView tail = u"lt;/pre></dd>";
    if (line.front() != u'&' || !line.endsWith(tail))
        return false;
    QStringView middle = line.sliced(1, line.size() - 1 - tail.size());
    while (middle.startsWith(u"amp;"))
        middle = middle.sliced(4);
    return middle.isEmpty();
}

QString escapeBodyLine(QStringView line)
{
    if (line == kBodyEnd)
        return u"&lt;/pre></dd>"_s;
    return u"&amp;"_s + line.sliced(1).toString();
}

QString unescapeBodyLine(QStringView line)
{
    if (line == kBodyEnd || !needsEscape(line))
        return line.toString();
    if (line == u"&lt;/pre></dd>")
        return kBodyEnd;
    return u"&"_s + line.sliced(5).toString(); // one "amp;" less
}

QString displayName(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName);
}

qsizetype countLineBreaks(QByteArrayView text)
{
    return std::count(text.begin(), text.end(), '\n') + std::count(text.begin(), text.end(), '\r');
}

void checkLineBreaks(qsizetype breaks, const QString &fileName)
{
    if (breaks > TArchive::MaxLineBreaks)
        throw EFileError(u"Cannot open file \"%1\". It has more than %2 line breaks, more than "
                         "the program can hold."_s.arg(displayName(fileName))
                             .arg(TArchive::MaxLineBreaks));
}

QByteArray passwordKey(const QString &password)
{
    return password.toUtf8();
}

} // namespace ArchiveFormat

namespace {

const QByteArray kMagic = QByteArrayLiteral("VLE");

} // namespace

EInvalidPassword::EInvalidPassword() : EVellumtreeError(u"Invalid password!"_s) { }

EInvalidSignature::EInvalidSignature() : EVellumtreeError(u"Invalid file signature!"_s) { }

QString TArchive::DocTypeLine()
{
    return u"<!DOCTYPE Vellumtree-File>"_s;
}

QString TArchive::DefaultBodyTag()
{
    return u"<body bgcolor=\"#ffffff\">"_s;
}

TArchive::TEncipherment TArchive::EnciphermentOf(const QString &fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    if (name.endsWith(u".vle"_s, Qt::CaseInsensitive))
        return TEncipherment::Compatible;
    if (name.endsWith(u".vlx"_s, Qt::CaseInsensitive))
        return TEncipherment::Strong;
    return TEncipherment::Plain;
}

bool TArchive::IsEncryptedName(const QString &fileName)
{
    return EnciphermentOf(fileName) != TEncipherment::Plain;
}

QString TArchive::EncryptedName(const QString &fileName)
{
    return EncryptedName(fileName, EnciphermentOf(fileName) == TEncipherment::Strong
                                       ? TEncipherment::Strong
                                       : TEncipherment::Compatible);
}

QString TArchive::EncryptedName(const QString &fileName, TEncipherment format)
{
    Q_ASSERT(format != TEncipherment::Plain);
    const QFileInfo info(fileName);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot < 0 ? name : name.left(dot);
    const qsizetype cut = fileName.size() - name.size();
    return fileName.left(cut) + base
        + (format == TEncipherment::Strong ? u".vlx"_s : u".vle"_s);
}

bool TArchive::IsEncipheredData(QByteArrayView head)
{
    return head.startsWith(kMagic) || StrongCipher::IsStrongData(head);
}

bool TArchive::IsWeakPassword(const QString &password)
{
    return passwordKey(password) == TCryptography::initialKey();
}

TArchive::TArchive(TNoteTree *tree) : BodyTag(DefaultBodyTag()), m_tree(tree)
{
    Q_ASSERT(tree);
}

void TArchive::writeFile(const QString &fileName, const QByteArray &bytes,
                         const QString &backupPath) const
{
    WriteFileAtomically(fileName, bytes, backupPath);
}

QByteArray TArchive::encodeText(const QString &text)
{
    TTextEncoding used = TTextEncoding::Utf8;
    QByteArray bytes = TextEncoding::encode(text, Encoding, &used);
    Encoding = used;
    return bytes;
}

QStringList TArchive::decodeLines(QByteArrayView bytes)
{
    TTextEncoding used = TTextEncoding::Utf8;
    QStringList lines = TextEncoding::decodeLines(TextEncoding::untilNul(bytes), LegacyEncoding, &used);
    Encoding = used;
    return lines;
}

TTextEncoding TArchive::decideEncoding(bool utf8)
{
    Encoding = TextEncoding::encodingFor(utf8, LegacyEncoding);
    return Encoding;
}

QByteArray TArchive::decipher(const QByteArray &fileBytes, const QByteArray &key)
{
    if (!fileBytes.startsWith(kMagic))
        throw EInvalidSignature();
    QByteArray text = fileBytes.sliced(kMagic.size());
    TBlowfish cipher(key);
    cipher.DecryptString(text);
    return text;
}

TArchive::TDeciphered TArchive::decipherFile(const QString &fileName, const QByteArray &key,
                                             bool notesOnly) const
{
    QFile file;
    OpenRegularFile(file, fileName, MaxFileSize);
    if (file.read(kMagic.size()) != kMagic)
        throw EInvalidSignature();
    const QByteArray docType = DocTypeLine().toLatin1();
    // Chunk by chunk, and only up to the first NUL, which ends the text. Once the
    // first line shows that this is no notes text (a wrong password), nothing more is
    // kept: the rest is only scanned for a second line, which decides what to say.
    TDeciphered result;
    bool ended = false;
    bool afterBreak = false;
    bool afterCr = false;
    const auto scan = [&](QByteArrayView chunk) {
        for (const char c : chunk) {
            if (afterBreak && !(afterCr && c == '\n')) {
                result.SeveralLines = true;
                ended = true;
                return;
            }
            afterCr = c == '\r';
            afterBreak = afterBreak || c == '\r' || c == '\n';
        }
    };
    TBlowfish cipher(key);
    cipher.Decrypt(
        [&](char *buffer, qint64 count) -> qint64 {
            if (ended)
                return 0;
            const qint64 got = file.read(buffer, count);
            if (got < 0)
                throw EFileError(u"Cannot read file \"%1\". %2"_s.arg(displayName(fileName),
                                                                        file.errorString()));
            return got;
        },
        [&](const char *buffer, qint64 count) -> qint64 {
            const QByteArrayView chunk = TextEncoding::untilNul(QByteArrayView(buffer, count));
            ended = chunk.size() < count;
            if (!result.NotNotes) {
                result.Text.append(chunk);
                const QByteArray &text = result.Text;
                if (!notesOnly || text.size() <= docType.size()
                    || (text.startsWith(docType)
                        && (text[docType.size()] == '\r' || text[docType.size()] == '\n')))
                    return count;
                result.NotNotes = true;
                scan(text);
                result.Text.clear();
                return count;
            }
            scan(chunk);
            return count;
        });
    checkLineBreaks(countLineBreaks(result.Text), fileName);
    return result;
}

bool TArchive::ReadEncryptedData(const QByteArray &fileBytes, QStringList &lines)
{
    lines = decodeLines(StrongCipher::IsStrongData(fileBytes)
                            ? decipherStrongData(fileBytes, QString())
                            : decipher(fileBytes, passwordKey(Password)));
    return lines.size() > 1;
}

bool TArchive::ReadEncrypted(const QString &fileName, QStringList &lines)
{
    lines = decodeLines(EnciphermentOf(fileName) == TEncipherment::Strong
                            ? decipherStrong(fileName)
                            : decipherFile(fileName, passwordKey(Password), false).Text);
    return lines.size() > 1;
}

QByteArray TArchive::FileBytes(const QStringList &lines, const QString &fileName)
{
    return fileBytes(TextEncoding::joinLines(lines), fileName);
}

QByteArray TArchive::fileBytes(const QString &text, const QString &fileName)
{
    QByteArray bytes = encodeText(text);
    switch (EnciphermentOf(fileName)) {
    case TEncipherment::Plain:
        return bytes;
    case TEncipherment::Strong:
        return StrongCipher::Encipher(bytes, strongKey());
    case TEncipherment::Compatible:
        break;
    }
    TBlowfish cipher(legacyWriteKey());
    cipher.EncryptString(bytes);
    return kMagic + bytes;
}

QByteArray TArchive::legacyWriteKey() const
{
    if (FileKey.Password == Password && !FileKey.LegacyKey.isEmpty())
        return FileKey.LegacyKey;
    return passwordKey(Password);
}

void TArchive::WriteEncrypted(const QString &fileName, const QStringList &lines)
{
    const QString target = EncryptedName(fileName);
    writeFile(target, FileBytes(lines, target));
}
