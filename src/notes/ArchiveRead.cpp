#include "notes/Archive.h"

#include "crypto/StrongCipher.h"
#include "notes/ArchiveFormat.h"
#include "notes/NoteTree.h"
#include "settings/UtilsFile.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <climits>
#include <cstring>

using namespace Qt::StringLiterals;
using namespace ArchiveFormat;

namespace {

// The line without its first `head` and last `tail` characters; empty when it is
// too short to hold both.
QStringView inner(QStringView line, qsizetype head, qsizetype tail)
{
    if (line.size() <= head + tail)
        return {};
    return line.sliced(head, line.size() - head - tail);
}

// Decimal integer the way the old reader took it: leading blanks and a sign, then
// digits up to the first other character; no digits give 0. Out-of-range values
// come back as -1 so that they name no note.
qint64 leadingInteger(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > INT_MAX)
            return -1;
    }
    return negative ? -value : value;
}

} // namespace

// One line of a notes text in its bytes, and what ended it.
struct TByteLine
{
    QByteArrayView text; // valid until the next line is taken
    qint64 next = 0;     // where the line after it starts in the whole text
    bool crlf = false;   // a CR LF ended it
};

// The lines of a notes text, split at CR LF, lone CR or lone LF as decodeLines splits
// them, without decoding any of them: from bytes in memory, or from a file read a
// chunk at a time. A pinned position keeps the bytes from there on in memory, so that
// a body comes out as one piece however many chunks it spans.
class TByteLines
{
public:
    explicit TByteLines(QByteArrayView bytes)
        : m_data(bytes.data()), m_filled(bytes.size()), m_end(bytes.size())
    {
    }
    TByteLines(QIODevice *device, qint64 length, const QString &fileName)
        : m_device(device), m_end(length), m_fileName(fileName)
    {
    }

    bool next(TByteLine *line)
    {
        if (m_pos >= m_end)
            return false;
        qsizetype i = static_cast<qsizetype>(m_pos - m_base); // in the buffer
        for (;;) {
            const char *d = m_data;
            while (i < m_filled && d[i] != '\n' && d[i] != '\r')
                ++i;
            const bool more = m_base + m_filled < m_end;
            // A CR last in the buffer: whether an LF follows it is in the next chunk.
            if (!more || (i < m_filled && !(d[i] == '\r' && i + 1 == m_filled)))
                break;
            i -= fill(); // the buffer's content moved to its front
        }
        const qsizetype from = static_cast<qsizetype>(m_pos - m_base);
        line->text = QByteArrayView(m_data + from, i - from);
        line->crlf = i + 1 < m_filled && m_data[i] == '\r' && m_data[i + 1] == '\n';
        m_pos = std::min<qint64>(m_base + i + (line->crlf ? 2 : 1), m_end);
        line->next = m_pos;
        ++m_count;
        return true;
    }
    qsizetype count() const { return m_count; }

    void pin(qint64 from) { m_pin = from; }
    void unpin() { m_pin = -1; }
    // Bytes from a pinned position on.
    QByteArrayView span(qint64 from, qint64 to) const
    {
        return QByteArrayView(m_data + (from - m_base), static_cast<qsizetype>(to - from));
    }

private:
    // Drops what is no longer needed, reads the next chunk, and returns by how many
    // bytes what stays moved to the front.
    qsizetype fill()
    {
        constexpr qsizetype kChunk = 1 << 20;
        const qint64 keep = m_pin >= 0 ? std::min(m_pin, m_pos) : m_pos;
        const auto drop = static_cast<qsizetype>(keep - m_base);
        if (drop > 0)
            std::memmove(m_buffer.data(), m_buffer.constData() + drop, m_filled - drop);
        m_filled -= drop;
        m_base = keep;
        const auto want =
            static_cast<qsizetype>(std::min<qint64>(kChunk, m_end - m_base - m_filled));
        if (m_buffer.size() < m_filled + want)
            m_buffer.resize(m_filled + want);
        const qint64 got = m_device->read(m_buffer.data() + m_filled, want);
        // The file shrank or failed since it was first read.
        if (got <= 0)
            throw EFileError(u"Cannot read file \"%1\". %2"_s.arg(
                displayName(m_fileName),
                got < 0 ? m_device->errorString() : u"It changed while it was read."_s));
        m_filled += static_cast<qsizetype>(got);
        m_data = m_buffer.constData();
        return drop;
    }

    QIODevice *m_device = nullptr;
    QByteArray m_buffer;
    const char *m_data = nullptr;
    qsizetype m_filled = 0; // bytes in the buffer
    qint64 m_base = 0;      // position of the buffer's first byte in the text
    qint64 m_pos = 0;
    qint64 m_end = 0;
    qint64 m_pin = -1;
    qsizetype m_count = 0;
    QString m_fileName;
};

bool TArchive::ReadNotes(TNote *parent, const QString &fileName)
{
    LastNode = nullptr;
    Damage = {};
    // The file's own name: a dot in a folder name must not cut it.
    Title = QFileInfo(fileName).completeBaseName();

    if (EnciphermentOf(fileName) == TEncipherment::Strong)
        return readStrong(parent, fileName);
    if (IsEncryptedName(fileName)) {
        QList<QByteArray> keys{passwordKey(Password)};
        // Files from older systems were keyed with the password's code page bytes.
        QByteArray legacyKey;
        if (keys.first().size() != Password.size()
            && TextEncoding::encodeLegacy(Password, LegacyEncoding, &legacyKey))
            keys.append(legacyKey);
        bool firstHadLines = false;
        for (qsizetype k = 0; k < keys.size(); ++k) {
            const TDeciphered deciphered = decipherFile(fileName, keys[k], true);
            if (deciphered.NotNotes) {
                if (k == 0)
                    firstHadLines = deciphered.SeveralLines;
                continue;
            }
            const bool several = hasSeveralLines(deciphered.Text);
            if (k == 0)
                firstHadLines = several;
            if (several && deciphered.Text.startsWith(DocTypeLine().toLatin1())) {
                TByteLines lines(deciphered.Text);
                if (!readText(parent, lines, decideEncoding(deciphered.Text.isValidUtf8())))
                    return false;
                // Saved again with the key it opened with, so that every reader that
                // opened it still does.
                FileKey = {Password, k == 0 ? QByteArray() : keys[k], {}};
                return true;
            }
        }
        if (!firstHadLines)
            throw EInvalidPassword();
        return false;
    }
    // Read twice, a chunk at a time, and never held whole: once to see where the text
    // ends and what it is encoded in, then for its notes.
    QFile file;
    OpenRegularFile(file, fileName, MaxFileSize);
    const TTextScan scan = scanText(file, fileName);
    // An enciphered text is padded with NULs; a plain one has nothing after its end.
    if (scan.Length < file.size())
        Damage.NulAt = scan.Length;
    decideEncoding(scan.Utf8);
    if (!file.seek(0))
        throw EFileError(u"Cannot read file \"%1\". %2"_s.arg(displayName(fileName), file.errorString()));
    TByteLines lines(&file, scan.Length, fileName);
    return readText(parent, lines, Encoding);
}

bool TArchive::readStrong(TNote *parent, const QString &fileName)
{
    QByteArray text = decipherStrong(fileName);
    const auto wipe = qScopeGuard([&text] { StrongCipher::Wipe(text); });
    // Read as a plain file is: the text ends at a NUL, and what follows is damage.
    const QByteArrayView notes = TextEncoding::untilNul(text);
    if (notes.size() < text.size())
        Damage.NulAt = notes.size();
    checkLineBreaks(countLineBreaks(notes), fileName);
    TByteLines lines(notes);
    return readText(parent, lines, decideEncoding(notes.isValidUtf8()));
}

bool TArchive::ReadLines(TNote *parent, const QStringList &lines)
{
    const QByteArray text = TextEncoding::joinLines(lines).toUtf8();
    TByteLines byteLines(text);
    return readText(parent, byteLines, TTextEncoding::Utf8);
}

TArchive::TTextScan TArchive::scanText(QFile &file, const QString &fileName)
{
    constexpr qsizetype kChunk = 1 << 20;
    TTextScan scan;
    QByteArray buffer(kChunk + 4, Qt::Uninitialized);
    qsizetype carried = 0; // the start of a character cut at the end of the last chunk
    qsizetype breaks = 0;
    for (;;) {
        const qint64 got = file.read(buffer.data() + carried, kChunk);
        if (got < 0)
            throw EFileError(u"Cannot read file \"%1\". %2"_s.arg(displayName(fileName),
                                                                    file.errorString()));
        const QByteArrayView chunk =
            TextEncoding::untilNul(QByteArrayView(buffer.constData() + carried, got));
        const bool ended = got == 0 || chunk.size() < got;
        breaks += countLineBreaks(chunk);
        checkLineBreaks(breaks, fileName);
        scan.Length += chunk.size();
        if (scan.Length > MaxFileSize)
            throw EFileError(u"Cannot read file \"%1\". It grew while it was read."_s.arg(
                displayName(fileName)));
        const QByteArrayView text(buffer.constData(), carried + chunk.size());
        // Validated up to its last whole character; a character cut at the end of the
        // chunk goes in front of the next one.
        const qsizetype whole = ended ? text.size() : TextEncoding::wholeUtf8Prefix(text);
        scan.Utf8 = scan.Utf8 && text.first(whole).isValidUtf8();
        if (ended) {
            scan.Utf8 = scan.Utf8 && whole == text.size();
            return scan;
        }
        carried = text.size() - whole;
        std::memmove(buffer.data(), buffer.constData() + whole, carried);
    }
}

bool TArchive::hasSeveralLines(QByteArrayView text)
{
    TByteLines lines(text);
    TByteLine line;
    return lines.next(&line) && lines.next(&line);
}

bool TArchive::readText(TNote *parent, TByteLines &lines, TTextEncoding encoding)
{
    const auto decode = [encoding](QByteArrayView text) {
        return TextEncoding::decodeAs(text, encoding);
    };
    TByteLine line;
    if (!lines.next(&line) || line.text != DocTypeLine().toLatin1())
        return false;

    // Lines 1 and 4 of the file (from 0) hold the last note and the title.
    QByteArray headLines[5];
    const auto nextLine = [&lines, &line, &headLines] {
        if (!lines.next(&line))
            return false;
        if (lines.count() <= 5)
            headLines[lines.count() - 1] = line.text.toByteArray();
        return true;
    };

    bool escaped = false;
    const QByteArray escapedMarker = kEscapedMarker.toLatin1();
    while (nextLine() && line.text != "<dl>") {
        if (line.text == escapedMarker)
            escaped = true;
    }

    // The notes are read into a tree of their own and handed over whole at the end:
    // a file that fails half-way leaves the document as it was.
    TNoteTree read;
    read.BeginBulkUpdate();
    const QByteArray bodyEnd = kBodyEnd.toLatin1();
    TNote *current = nullptr;
    TNote *last = nullptr;
    bool closed = false;
    while (nextLine()) {
        if (line.text == "</html>") {
            closed = true;
            continue;
        }
        // Blank lines after the end are no lost text.
        closed = closed && line.text.trimmed().isEmpty();
        if (line.text.contains("<dt><h3>")) {
            last = read.AddNote(current, inner(decode(line.text), 8, 10).toString(), imLastChild);
        } else if (line.text == "<dd><pre>") {
            // The body's lines stand in the file as its text form does, unless the
            // file breaks lines otherwise, ends inside the body or escapes a line.
            const qint64 start = line.next;
            qint64 end = start;
            bool asStored = true;
            bool endTag = false; // a line the writer may have to escape
            lines.pin(start);
            while (nextLine() && line.text != bodyEnd) {
                asStored = asStored && line.crlf
                    && !(escaped && (line.text.startsWith('<') || line.text.startsWith('&')));
                endTag = endTag || line.text.endsWith("lt;/pre></dd>");
                end = line.next;
            }
            const QByteArrayView bytes = lines.span(start, end);
            lines.unpin();
            // A body before any title of this read has no note to go to: skip it
            // rather than append it to a note that was there before.
            if (!last || TitlesOnly)
                continue;
            const QString body = decode(bytes);
            if (asStored) {
                last->setBodyForm(body); // in its text form already: no second copy
                if (!endTag)
                    last->SetBodyEndTag(0);
                continue;
            }
            QString form;
            form.reserve(body.size() + 2);
            for (const QString &bodyLine : TextEncoding::splitLines(body)) {
                form += escaped ? unescapeBodyLine(bodyLine) : bodyLine;
                form += QLatin1StringView("\r\n");
            }
            last->setBodyForm(std::move(form));
        } else if (line.text == "<dl>") {
            current = last;
        } else if (line.text == "</dl>") {
            // Never above the note being read into: an extra "</dl>" must not
            // put later notes elsewhere in the tree.
            if (current)
                current = current->Parent();
        }
    }
    read.EndBulkUpdate();
    // Every writer ends a file with "</html>": without it, the end was lost.
    Damage.Unclosed = !closed;
    Damage.NotesRead = read.Count();

    m_tree->BeginBulkUpdate();
    if (!parent)
        m_tree->ClearNotes();
    m_tree->TakeNotes(read, parent);

    const qsizetype count = lines.count();
    if (count > 5) {
        const QString titleLine = decode(headLines[4]);
        Title = titleLine.contains(u"<title>"_s) ? inner(titleLine, 7, 8).toString() : titleLine;
    }
    if (count > 1) {
        const QString lastNoteLine = decode(headLines[1]);
        if (lastNoteLine.contains(u"<!--LastNote:"_s)) {
            const qint64 index = leadingInteger(inner(lastNoteLine, 13, 3));
            if (index >= 0 && index < m_tree->Count())
                LastNode = m_tree->NoteAt(static_cast<int>(index));
        }
    }
    m_tree->EndBulkUpdate();
    return true;
}
