// The branch stream of the notes clipboard format and of drag and drop: a branch
// written as records and markers, and read back into the tree.

#include "notes/NoteTree.h"

#include <QMimeData>
#include <QtEndian>

#include "notes/TextEncoding.h"

namespace {

constexpr qint32 kBeginChildren = -10;
constexpr qint32 kEndChildren = -9;
constexpr qint32 kEndOfStream = -7;

class StreamReader
{
public:
    explicit StreamReader(QByteArrayView data) : m_data(data) { }

    bool readInt(qint32 *value)
    {
        if (m_data.size() - m_pos < 4)
            return false;
        *value = qFromLittleEndian<qint32>(m_data.data() + m_pos);
        m_pos += 4;
        return true;
    }

    // A length that the remaining data cannot hold is a fault, so nothing is
    // allocated beyond what the data holds.
    bool readText(qint32 length, QString *text)
    {
        if (length < 0 || length > m_data.size() - m_pos)
            return false;
        *text = QString::fromUtf8(m_data.sliced(m_pos, length));
        m_pos += length;
        return true;
    }

    bool readRecordAfterLength(qint32 titleLength, QString *title, QString *body)
    {
        qint32 bodyLength = 0;
        return readText(titleLength, title) && readInt(&bodyLength)
            && readText(bodyLength, body);
    }

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
};

void appendInt(QByteArray &out, qint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

// A text as UTF-8 after its length, encoded in place: a big branch is not copied
// note by note.
void appendText(QByteArray &out, QStringView text)
{
    const qsizetype at = out.size();
    out.resize(at + 4 + 3 * text.size());
    char *const start = out.data() + at + 4;
    const qsizetype length = TextEncoding::appendUtf8(start, text) - start;
    qToLittleEndian<qint32>(static_cast<qint32>(length), out.data() + at);
    out.resize(at + 4 + length);
}

// Iterative: the depth of a branch is the data's to decide.
void writeBranchRecords(QByteArray &out, const TNote *root)
{
    const TNote *note = root;
    while (note) {
        appendText(out, note->Title());
        appendText(out, note->BodyText());
        if (note->HasChildren()) {
            appendInt(out, kBeginChildren);
            note = note->FirstChild();
            continue;
        }
        // Close every level the branch leaves on its way to the next note.
        while (note != root && !note->NextSibling()) {
            note = note->Parent();
            appendInt(out, kEndChildren);
        }
        note = note == root ? nullptr : note->NextSibling();
    }
}

} // namespace

QString TNoteTree::BranchStreamPlainText(QByteArrayView stream)
{
    QString text;
    text.reserve(stream.size());
    StreamReader reader(stream);
    QString title;
    QString body;
    qint32 item = 0;
    while (reader.readInt(&item) && item != kEndOfStream) {
        if (item < 0)
            continue; // where the note sits does not show in the text
        if (!reader.readRecordAfterLength(item, &title, &body))
            break;
        if (!text.isEmpty())
            text += u'\n';
        text += title;
        text += u'\n';
        if (body.isEmpty())
            continue;
        text += u'\n';
        // A body's text form ends every line with CR LF; other programs get LF.
        TextEncoding::forEachTextFormLine(body, [&text](QStringView line) {
            text += line;
            text += u'\n';
        });
    }
    return text;
}

QByteArray TNoteTree::WriteBranch(const TNote *note) const
{
    QByteArray out;
    if (!note)
        return out;
    writeBranchRecords(out, note);
    appendInt(out, kEndOfStream);
    return out;
}

namespace {

// The records after the first note's branch, one at a time: the current parent starts
// at the anchor and may not climb above its level. `title` is set when a record read
// before still waits for its place.
void insertRestOfBranch(TNoteTree &tree, StreamReader &reader, TNote *anchor, TNote *last,
                        QString *title, QString *body)
{
    const int anchorLevel = anchor->Level();
    int lastLevel = last->Level();
    TNote *current = anchor;
    int currentLevel = anchorLevel;
    QString nextTitle;
    if (title) {
        last = tree.AddNote(current, *title, imLastChild, *body);
        lastLevel = currentLevel + 1;
    }
    qint32 item = 0;
    while (reader.readInt(&item)) {
        if (item == kBeginChildren) {
            current = last;
            currentLevel = lastLevel;
        } else if (item == kEndChildren) {
            TNote *up = current->Parent();
            if (!up || currentLevel - 1 < anchorLevel)
                break;
            current = up;
            --currentLevel;
        } else if (item >= 0) {
            if (!reader.readRecordAfterLength(item, &nextTitle, body))
                break;
            last = tree.AddNote(current, nextTitle, imLastChild, *body);
            lastLevel = currentLevel + 1;
        } else {
            break;
        }
    }
}

} // namespace

TNote *TNoteTree::InsertBranch(TNote *anchor, int mode, QByteArrayView data)
{
    TNote *slot = nullptr;
    int row = 0;
    if (!anchor || !placement(anchor, mode, &slot, &row))
        return nullptr;
    StreamReader reader(data);
    qint32 item = 0;
    QString title;
    QString body;
    if (!reader.readInt(&item) || !reader.readRecordAfterLength(item, &title, &body))
        return nullptr;
    // The branch is built apart from the tree and inserted as one change: views hear
    // of one new row however many notes it holds.
    auto makeNote = [&title, &body] {
        auto note = std::make_unique<TNote>();
        note->m_title = title;
        note->SetBodyText(body);
        return note;
    };
    std::unique_ptr<TNote> first = makeNote();
    int size = 1;
    TNote *last = first.get();
    // Where the next record goes; none at the first note's own level.
    TNote *current = nullptr;
    // Whether the stream goes on past the first note's branch, as a stream written by
    // another program may: the rest is read note by note with the anchor as parent.
    bool more = false;
    bool pendingRecord = false;
    while (reader.readInt(&item)) {
        if (item == kBeginChildren) {
            current = last;
        } else if (item == kEndChildren) {
            if (!current)
                break;
            if (current == first.get()) {
                more = slot == anchor; // back at the anchor: only a child paste goes on
                break;
            }
            current = current->m_parent;
        } else if (item >= 0) {
            if (!reader.readRecordAfterLength(item, &title, &body))
                break;
            if (!current) {
                more = pendingRecord = true;
                break;
            }
            std::unique_ptr<TNote> note = makeNote();
            note->m_parent = current;
            note->m_row = current->ChildCount();
            last = note.get();
            current->m_children.push_back(std::move(note));
            ++size;
        } else {
            break; // the end marker, or a fault
        }
    }
    TNote *inserted = insertAt(slot, row, std::move(first), size);
    if (more)
        insertRestOfBranch(*this, reader, anchor, last, pendingRecord ? &title : nullptr, &body);
    return inserted;
}

QStringList TNoteTree::mimeTypes() const
{
    return {NotesMimeType()};
}

QMimeData *TNoteTree::mimeData(const QModelIndexList &indexes) const
{
    const TNote *note = indexes.isEmpty() ? nullptr : NoteOf(indexes.first());
    if (!note)
        return nullptr;
    auto *mime = new QMimeData;
    mime->setData(NotesMimeType(), WriteBranch(note));
    return mime;
}
