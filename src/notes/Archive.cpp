#include "notes/Archive.h"

#include "crypto/STRMBlowfish.h"
#include "notes/NoteTree.h"
#include "settings/Utils.h"
#include "settings/UtilsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <climits>
#include <cstring>

using namespace Qt::StringLiterals;

// Where a notes text goes: one string, or the encoded chunks of a file.
class TLineSink
{
public:
    virtual ~TLineSink() = default;
    virtual void append(QStringView text) = 0;
    void line(QStringView text)
    {
        append(text);
        append(u"\r\n");
    }
};

namespace {

const QByteArray kMagic = QByteArrayLiteral("VLE");

QString displayName(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName);
}

// Every line costs its list entry however short it is: a file of nothing but line
// breaks would take some thirty times its size. Such a text is refused.
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

QByteArray passwordKey(const QString &password)
{
    return password.toUtf8();
}

// A body line that reads as the end of its body is written with its "<" as "&lt;",
// and a line that looks like that escaped form gains one "amp;": every body line comes
// back as it was, and a browser shows the text that was typed. Only a file that holds
// such a line carries the marker, and only a file with the marker is unescaped, so
// files written without it read exactly as they always did.
const QString kBodyEnd = u"</pre></dd>"_s;
const QString kEscapedMarker = u"<!--Escaped-->"_s;

// "</pre></dd>", or "&" + "amp;" repeated + "lt;/pre></dd>".
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

class TTextSink final : public TLineSink
{
public:
    explicit TTextSink(QString &text) : m_text(text) { }
    void append(QStringView text) override { m_text += text; }

private:
    QString &m_text;
};

// The text as UTF-8, handed on in chunks of some 128 kB, encoded straight into the
// chunk. Each piece is encoded whole, so no character is ever cut in two.
class TUtf8ChunkSink final : public TLineSink
{
public:
    explicit TUtf8ChunkSink(const TChunkSink &sink) : m_sink(sink)
    {
        m_bytes.resize(kChunk);
    }
    void append(QStringView text) override
    {
        const qsizetype most = text.size() * 3; // UTF-8 bytes a UTF-16 unit may take
        if (m_size + most > kChunk)
            flush();
        if (most > kChunk) {
            m_sink(text.toUtf8());
            return;
        }
        m_size = TextEncoding::appendUtf8(m_bytes.data() + m_size, text) - m_bytes.data();
    }
    void flush()
    {
        if (m_size == 0)
            return;
        m_sink(QByteArrayView(m_bytes.constData(), m_size));
        m_size = 0;
    }

private:
    static constexpr qsizetype kChunk = 1024 * 1024; // bytes
    const TChunkSink &m_sink;
    QByteArray m_bytes;
    qsizetype m_size = 0;
};

// Calls visit(note, depth) for a note and its following siblings, each followed by
// its branch, in the order they are written, and leave() after the last child of
// each branch. Iterative: the depth of a document is the file's to decide.
template <typename Visit, typename Leave>
void forEachInBlocks(const TNote *first, Visit visit, Leave leave)
{
    int depth = 0;
    const TNote *note = first;
    while (note) {
        visit(note, depth);
        if (note->HasChildren()) {
            note = note->FirstChild();
            ++depth;
            continue;
        }
        while (depth > 0 && !note->NextSibling()) {
            note = note->Parent();
            --depth;
            leave();
        }
        note = note->NextSibling();
    }
}

bool bodyNeedsEscape(const TNote *note)
{
    if (note->BodyEndTag() >= 0)
        return note->BodyEndTag() > 0;
    bool escape = false;
    TextEncoding::forEachTextFormLine(note->BodyText(), [&escape](QStringView line) {
        escape = escape || needsEscape(line);
    });
    note->SetBodyEndTag(escape ? 1 : 0);
    return escape;
}

// Whether any body of the tree needs escaping. Over the tree's order, not along the
// tree: a save builds that order anyway, and a list is walked far faster.
bool anyNeedsEscape(const TNoteTree &tree)
{
    for (int i = 0; i < tree.Count(); ++i) {
        if (bodyNeedsEscape(tree.NoteAt(i)))
            return true;
    }
    return false;
}

// Whether any body to be written holds a line that needs escaping: the marker that
// says so comes before the first note.
bool anyNeedsEscape(const TNote *first)
{
    bool escaped = false;
    forEachInBlocks(
        first, [&escaped](const TNote *note, int) { escaped = escaped || bodyNeedsEscape(note); },
        [] {});
    return escaped;
}

// The title, the body and its closing line of one note block.
void writeNoteHead(const TNote *note, TLineSink &out)
{
    out.append(u"<dt><h3>");
    out.append(note->Title());
    out.line(u"</h3></dt>");
    out.line(u"<dd><pre>");
    // The body's text form is its lines as the file holds them.
    if (!bodyNeedsEscape(note)) {
        out.append(note->BodyText());
    } else {
        TextEncoding::forEachTextFormLine(note->BodyText(), [&out](QStringView line) {
            if (needsEscape(line))
                out.line(escapeBodyLine(line));
            else
                out.line(line);
        });
    }
    out.line(kBodyEnd);
}

// The note blocks of a note and its following siblings, each with its branch nested
// in "<dl>" lines and its children each after an empty line.
inline void prefetch(const void *address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    Q_UNUSED(address);
#endif
}

void writeNoteBlocks(const TNote *first, TLineSink &out, const TNoteTree *wholeTree = nullptr)
{
    int index = 0;
    forEachInBlocks(
        first,
        [&out, &index, wholeTree](const TNote *note, int depth) {
            // The whole tree is written in its order: the notes a few steps ahead are
            // fetched from memory while this one is written.
            if (wholeTree) {
                if (const TNote *ahead = wholeTree->NoteAt(index + 16))
                    prefetch(ahead);
                if (const TNote *ahead = wholeTree->NoteAt(index + 4)) {
                    const char *body = reinterpret_cast<const char *>(ahead->BodyText().constData());
                    const qsizetype bytes = std::min<qsizetype>(ahead->BodyText().size() * 2, 2048);
                    for (qsizetype at = 0; at < bytes; at += 64)
                        prefetch(body + at);
                }
                ++index;
            }
            if (depth > 0)
                out.line({});
            writeNoteHead(note, out);
            if (note->HasChildren())
                out.line(u"<dl>");
        },
        [&out] { out.line(u"</dl>"); });
}

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

bool TArchive::IsEncryptedName(const QString &fileName)
{
    return QFileInfo(fileName).fileName().endsWith(u".vle"_s, Qt::CaseInsensitive);
}

QString TArchive::EncryptedName(const QString &fileName)
{
    const QFileInfo info(fileName);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot < 0 ? name : name.left(dot);
    const qsizetype cut = fileName.size() - name.size();
    return fileName.left(cut) + base + u".vle"_s;
}

bool TArchive::IsEncipheredData(QByteArrayView head)
{
    return head.startsWith(kMagic);
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
    lines = decodeLines(decipher(fileBytes, passwordKey(Password)));
    return lines.size() > 1;
}

bool TArchive::ReadEncrypted(const QString &fileName, QStringList &lines)
{
    lines = decodeLines(decipherFile(fileName, passwordKey(Password), false).Text);
    return lines.size() > 1;
}

QByteArray TArchive::FileBytes(const QStringList &lines, const QString &fileName)
{
    return fileBytes(TextEncoding::joinLines(lines), fileName);
}

QByteArray TArchive::fileBytes(const QString &text, const QString &fileName)
{
    QByteArray bytes = encodeText(text);
    if (!IsEncryptedName(fileName))
        return bytes;
    TBlowfish cipher(passwordKey(Password));
    cipher.EncryptString(bytes);
    return kMagic + bytes;
}

void TArchive::WriteEncrypted(const QString &fileName, const QStringList &lines)
{
    writeFile(EncryptedName(fileName), FileBytes(lines, EncryptedName(fileName)));
}

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
    // The file's own name: a dot in a folder name must not cut it.
    Title = QFileInfo(fileName).completeBaseName();

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
                return readText(parent, lines, decideEncoding(deciphered.Text.isValidUtf8()));
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
    decideEncoding(scan.Utf8);
    if (!file.seek(0))
        throw EFileError(u"Cannot read file \"%1\". %2"_s.arg(displayName(fileName), file.errorString()));
    TByteLines lines(&file, scan.Length, fileName);
    return readText(parent, lines, Encoding);
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
        qsizetype whole = text.size();
        if (!ended) {
            qsizetype lead = whole;
            while (lead > 0 && whole - lead < 4
                   && (static_cast<uchar>(text[lead - 1]) & 0xC0) == 0x80)
                --lead;
            if (lead > 0 && static_cast<uchar>(text[lead - 1]) >= 0xC0)
                whole = lead - 1;
        }
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
    while (nextLine() && line.text != "<dl>") {
        if (line.text == kEscapedMarker.toLatin1())
            escaped = true;
    }

    // The notes are read into a tree of their own and handed over whole at the end:
    // a file that fails half-way leaves the document as it was.
    TNoteTree read;
    read.BeginBulkUpdate();
    const QByteArray bodyEnd = kBodyEnd.toLatin1();
    TNote *current = nullptr;
    TNote *last = nullptr;
    while (nextLine()) {
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
            if (!last)
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

void TArchive::writeText(TNote *branchRoot, TLineSink &out) const
{
    const bool escaped = branchRoot
        ? bodyNeedsEscape(branchRoot) || anyNeedsEscape(branchRoot->FirstChild())
        : anyNeedsEscape(*m_tree);
    const QStringList head{
        DocTypeLine(),
        u"<!--LastNote:%1-->"_s.arg(LastNode ? m_tree->AbsoluteIndex(LastNode) : 0),
        u"<html>"_s, u"<head>"_s, u"<title>"_s + Title + u"</title>"_s, u"</head>"_s,
        escaped ? kEscapedMarker : QString(), BodyTag, QString(), u"<dl>"_s};
    for (const QString &line : head)
        out.line(line);
    if (!branchRoot) {
        writeNoteBlocks(m_tree->FirstNote(), out, m_tree);
        out.line(u"</dl>"_s);
    } else {
        writeNoteHead(branchRoot, out);
        out.line(QString());
        out.line(u"<dl>"_s);
        writeNoteBlocks(branchRoot->FirstChild(), out);
        out.line(u"</dl>"_s);
        out.line(u"</dl>"_s);
    }
    out.line(u"</body>"_s);
    out.line(u"</html>"_s);
}

QStringList TArchive::BuildLines(TNote *branchRoot) const
{
    return TextEncoding::splitLines(buildText(branchRoot));
}

QString TArchive::buildText(TNote *branchRoot) const
{
    QString text;
    TTextSink sink(text);
    writeText(branchRoot, sink);
    return text;
}

bool TArchive::WriteNotes(TNote *branchRoot, const QString &fileName, const QString &backupPath)
{
    const QString target = IsEncryptedName(fileName) ? EncryptedName(fileName) : fileName;
    // A legacy code page may not hold every character, and then the whole text falls
    // back to UTF-8; an enciphered text is enciphered whole. Both are rare and are
    // built in memory; everything else goes to the file chunk by chunk.
    if (IsEncryptedName(target) || Encoding != TTextEncoding::Utf8) {
        writeFile(target, fileBytes(buildText(branchRoot), target), backupPath);
        return true;
    }
    WriteFileAtomically(
        target,
        [&](const TChunkSink &sink) {
            TUtf8ChunkSink out(sink);
            writeText(branchRoot, out);
            out.flush();
        },
        backupPath);
    return true;
}
