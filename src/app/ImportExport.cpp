#include "app/ImportExport.h"

#include "Errors.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "settings/UtilsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace ImportExport {

namespace {

QString shown(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName);
}

// The file is read twice, a chunk at a time: once to learn its encoding and length,
// once to decode it. The text form alone takes twice the file or more; holding the
// whole file beside it as well would add as much again.
constexpr qsizetype kChunk = 1 << 20;

// What one reading of the text learned: its bytes up to the first NUL, its lines (a
// CR LF is one break), and whether it is UTF-8.
struct TTextShape
{
    qint64 bytes = 0;
    qsizetype lines = 1;
    bool utf8 = true;
    bool operator==(const TTextShape &) const = default;
};

class TTextFileReader
{
public:
    TTextFileReader(const QString &fileName, TTextEncoding legacy, qsizetype chunkBytes)
        : m_fileName(fileName), m_legacy(legacy), m_chunk(std::max<qsizetype>(chunkBytes, 1))
    {
        // A FIFO or a device would never end, or block the program; a text larger than
        // a notes file may be would make a document that cannot be opened again.
        OpenRegularFile(m_file, fileName, TArchive::MaxFileSize);
    }

    QString read()
    {
        const TTextShape shape = walk(nullptr, TTextEncoding::Utf8);
        // Each line is written back with CR LF: a text of more lines than a notes file
        // may hold would make the document one that cannot be opened once saved.
        if (2 * shape.lines > TArchive::MaxLineBreaks)
            throw EFileError(u"Cannot import file \"%1\". It has %2 lines, more than a notes "
                             "file can hold (%3)."_s.arg(shown(m_fileName)).arg(shape.lines)
                                 .arg(TArchive::MaxLineBreaks / 2));
        if (!m_file.seek(0))
            throw EFileError(u"Cannot read file \"%1\". %2"_s.arg(shown(m_fileName),
                                                                  m_file.errorString()));
        // No line decodes to more units than it has bytes, and each break (one byte at
        // least) becomes two: the form is allocated once.
        QString form;
        form.reserve(shape.bytes + shape.lines + 1);
        const TTextEncoding encoding = TextEncoding::encodingFor(shape.utf8, m_legacy);
        // Another program may have written the file in between; what was decoded must
        // be what was measured, or a byte could be decoded in the wrong code page.
        if (walk(&form, encoding) != shape)
            throw EFileError(u"Cannot read file \"%1\". It was changed while it was read; "
                             "try again."_s.arg(shown(m_fileName)));
        if (form.capacity() - form.size() > form.size() / 8)
            form.squeeze();
        return form;
    }

private:
    // One pass over the text, chunk by chunk; with a form, each line decoded as a
    // whole decode would decode it, followed by CR LF.
    TTextShape walk(QString *form, TTextEncoding encoding)
    {
        TTextShape shape;
        QByteArray chunk;
        qsizetype carried = 0; // bytes of a UTF-8 sequence the chunk before cut short
        bool afterCr = false;
        bool lineOpen = false;
        for (;;) {
            chunk.resize(carried + m_chunk);
            const qint64 got = m_file.read(chunk.data() + carried, m_chunk);
            if (got < 0)
                throw EFileError(u"Cannot read file \"%1\". %2"_s.arg(shown(m_fileName),
                                                                      m_file.errorString()));
            chunk.resize(carried + got);
            const QByteArrayView read = TextEncoding::untilNul(QByteArrayView(chunk).sliced(carried));
            const bool last = got == 0 || read.size() < got;
            const QByteArrayView text = QByteArrayView(chunk).first(carried + read.size());
            shape.bytes += text.size() - carried;
            if (shape.bytes > TArchive::MaxFileSize)
                throw EFileError(u"Cannot read file \"%1\". It grew while it was read."_s.arg(
                    shown(m_fileName)));
            const qsizetype whole = last ? text.size() : TextEncoding::wholeUtf8Prefix(text);
            const QByteArrayView piece = text.first(whole);
            shape.utf8 = shape.utf8 && piece.isValidUtf8();
            qsizetype start = 0;
            for (qsizetype i = 0; i < piece.size(); ++i) {
                const char c = piece[i];
                if (c != '\r' && c != '\n')
                    continue;
                const bool pairEnd = c == '\n' && afterCr && i == start;
                afterCr = c == '\r';
                if (pairEnd) { // the LF of a CR LF: the break is counted and written
                    start = i + 1;
                    continue;
                }
                ++shape.lines;
                if (form) {
                    if (i > start)
                        *form += TextEncoding::decodeAs(piece.sliced(start, i - start), encoding);
                    *form += QLatin1StringView("\r\n");
                }
                lineOpen = false;
                start = i + 1;
            }
            if (start < piece.size()) {
                afterCr = false;
                lineOpen = true;
                if (form)
                    *form += TextEncoding::decodeAs(piece.sliced(start), encoding);
            }
            if (last) {
                if (form && lineOpen)
                    *form += QLatin1StringView("\r\n");
                return shape;
            }
            carried = text.size() - whole;
            std::memmove(chunk.data(), chunk.constData() + whole, carried);
        }
    }

    QString m_fileName;
    TTextEncoding m_legacy;
    qsizetype m_chunk; // a read of no bytes would look like the end of the file
    QFile m_file;
};

} // namespace

bool ImportsAsNotesFile(const QString &fileName)
{
    return fileName.endsWith(u".vlt"_s, Qt::CaseSensitive);
}

bool ExportsAsNotesFile(const QString &fileName)
{
    return QFileInfo(fileName).suffix().compare(u"vlt"_s, Qt::CaseInsensitive) == 0;
}

QString ExportFileName(const QString &title)
{
    static const QRegularExpression unsafe(uR"([\"'+/:;<=>\[\\\]|]+)"_s);
    return QString(title).replace(unsafe, u"_"_s);
}

QString ReadTextBody(const QString &fileName, TTextEncoding legacy)
{
    return ReadTextBody(fileName, legacy, kChunk);
}

QString ReadTextBody(const QString &fileName, TTextEncoding legacy, qsizetype chunkBytes)
{
    return TTextFileReader(fileName, legacy, chunkBytes).read();
}

QStringList ExportText(const TNoteTree &tree, const TNote *note)
{
    QStringList entries;
    tree.ExportSiblings(entries, note, true);
    return entries;
}

void WriteTextFile(const QString &fileName, const QStringList &entries, TTextEncoding wanted)
{
    // The same write as every other file's: synced before it replaces the old one, and
    // on a full disk the error says so - QSaveFile loses the cause of a failed write.
    WriteFileAtomically(fileName, TextEncoding::encode(TextEncoding::joinLines(entries), wanted));
}

} // namespace ImportExport
