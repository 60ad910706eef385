#include "notes/Archive.h"

#include "crypto/StrongCipher.h"
#include "notes/ArchiveFormat.h"
#include "notes/NoteTree.h"
#include "settings/UtilsFile.h"

#include "Errors.h"

#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace ArchiveFormat;

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
        m_breaks += 2;
    }
    // A body's text form, each of its lines ending in CR LF.
    void body(QStringView text)
    {
        append(text);
        m_breaks += 2 * std::count(text.begin(), text.end(), u'\n');
    }
    // Line break characters written, CR and LF counted apart as the reader counts them.
    qsizetype breaks() const { return m_breaks; }

private:
    qsizetype m_breaks = 0;
};

namespace {

class TTextSink final : public TLineSink
{
public:
    explicit TTextSink(QString &text) : m_text(text) { }
    void append(QStringView text) override { m_text += text; }

private:
    QString &m_text;
};

// The text as UTF-8, handed on in chunks of about a megabyte, encoded straight into the
// chunk. A long body is encoded a piece at a time, never cut inside a surrogate pair,
// so that it is never held a second time in UTF-8 whole.
class TUtf8ChunkSink final : public TLineSink
{
public:
    explicit TUtf8ChunkSink(const TChunkSink &sink) : m_sink(sink)
    {
        m_bytes.resize(kChunk);
    }
    void append(QStringView text) override
    {
        constexpr qsizetype kUnits = kChunk / 3; // UTF-8 takes at most three bytes a unit
        while (!text.isEmpty()) {
            qsizetype take = std::min(text.size(), kUnits);
            if (take < text.size() && text[take - 1].isHighSurrogate())
                --take;
            if (m_size + 3 * take > kChunk)
                flush();
            m_size = TextEncoding::appendUtf8(m_bytes.data() + m_size, text.first(take))
                - m_bytes.data();
            text = text.sliced(take);
        }
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
        out.body(note->BodyText());
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

// A file the reader would refuse must not replace one it can open; raised before the
// new file takes the old one's place.
void checkLineBreaks(const TLineSink &out, const QString &fileName)
{
    if (out.breaks() > TArchive::MaxLineBreaks)
        throw EFileError(u"Cannot write file \"%1\". It would have more than %2 line breaks, "
                         "more than the program can open again."_s.arg(displayName(fileName))
                             .arg(TArchive::MaxLineBreaks));
}

} // namespace

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

QString TArchive::buildText(TNote *branchRoot, const QString &fileName) const
{
    QString text;
    TTextSink sink(text);
    writeText(branchRoot, sink);
    if (!fileName.isEmpty())
        checkLineBreaks(sink, fileName);
    return text;
}

bool TArchive::WriteNotes(TNote *branchRoot, const QString &fileName, const QString &backupPath)
{
    const QString target = IsEncryptedName(fileName) ? EncryptedName(fileName) : fileName;
    // A legacy code page may not hold every character, and then the whole text falls
    // back to UTF-8; a .vle text is enciphered whole. Both are built in memory;
    // everything else goes to the file chunk by chunk, a .vlx through its cipher.
    const TEncipherment format = EnciphermentOf(target);
    if (format == TEncipherment::Compatible || Encoding != TTextEncoding::Utf8) {
        writeFile(target, fileBytes(buildText(branchRoot, target), target), backupPath);
        return true;
    }
    // Derived before the file is touched: a key that cannot be had writes nothing.
    const auto key = format == TEncipherment::Strong ? strongKey() : nullptr;
    const auto produce = [&](const TChunkSink &sink) {
        TUtf8ChunkSink out(sink);
        writeText(branchRoot, out);
        checkLineBreaks(out, target);
        out.flush();
    };
    WriteFileAtomically(
        target,
        [&](const TChunkSink &sink) {
            if (!key) {
                produce(sink);
                return;
            }
            StrongCipher::TWriter cipher(key, sink);
            produce([&cipher](QByteArrayView text) { cipher.Write(text); });
            cipher.Finish();
        },
        backupPath);
    return true;
}
