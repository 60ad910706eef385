#include "notes/NoteTree.h"

#include "notes/CaseFold.h"
#include "notes/TextEncoding.h"

#include <QSet>

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Trailing spaces off every line; then, as the body's text would lose its trailing
// blanks and line breaks, blank lines off its end and the last line's trailing tabs.
// A body with nothing to trim is not copied: false then.
bool trimBody(QString &body)
{
    const qsizetype n = body.size();
    if (n == 0)
        return false;
    // The last line is blank or ends in a blank, or some line ends in a space.
    bool trim = n < 3 || isBlank(body[n - 3]) || body[n - 3] == u'\n';
    for (qsizetype cr = body.indexOf(u'\r'); !trim && cr >= 0; cr = body.indexOf(u'\r', cr + 1))
        trim = cr > 0 && body[cr - 1] == u' ';
    if (!trim)
        return false;
    QString text;
    text.reserve(n);
    TextEncoding::forEachTextFormLine(body, [&text](QStringView line) {
        qsizetype k = line.size();
        while (k > 0 && line[k - 1] == u' ')
            --k;
        text += line.first(k);
        text += QLatin1StringView("\r\n");
    });
    qsizetype k = text.size();
    while (k > 0 && (isBlank(text[k - 1]) || text[k - 1] == u'\n' || text[k - 1] == u'\r'))
        --k;
    text.truncate(k);
    if (k > 0)
        text += QLatin1StringView("\r\n");
    body = std::move(text);
    return true;
}

} // namespace

// ---------------------------------------------------------------- TNote

TNote::~TNote()
{
    // Every note is detached from its children before it goes, so each destructor
    // below finds nothing to free and no call nests.
    std::vector<std::unique_ptr<TNote>> pending = std::move(m_children);
    while (!pending.empty()) {
        std::unique_ptr<TNote> note = std::move(pending.back());
        pending.pop_back();
        for (auto &child : note->m_children)
            pending.push_back(std::move(child));
        note->m_children.clear();
    }
}

QStringList TNote::Body() const
{
    QStringList lines;
    lines.reserve(BodyLineCount());
    TextEncoding::forEachTextFormLine(m_body, [&lines](QStringView line) { lines.append(line.toString()); });
    return lines;
}

void TNote::SetBody(const QStringList &lines)
{
    // A line holding a line break becomes two lines, as it would when read back.
    setBodyForm(TextEncoding::toTextForm(TextEncoding::joinLines(lines)));
}

qsizetype TNote::BodyLineCount() const
{
    return TextEncoding::textFormLineCount(m_body);
}

void TNote::SetBodyText(const QString &text)
{
    setBodyForm(TextEncoding::isTextForm(text) ? text : TextEncoding::toTextForm(text));
}

void TNote::SetBodyText(QStringView text)
{
    setBodyForm(TextEncoding::toTextForm(text));
}

TNote *TNote::Child(int row) const
{
    if (row < 0 || row >= ChildCount())
        return nullptr;
    return m_children[static_cast<size_t>(row)].get();
}

TNote *TNote::NextSibling() const
{
    return m_parent ? m_parent->Child(m_row + 1) : nullptr;
}

TNote *TNote::PrevSibling() const
{
    return m_parent ? m_parent->Child(m_row - 1) : nullptr;
}

int TNote::Level() const
{
    int level = 0;
    for (const TNote *p = Parent(); p; p = p->Parent())
        ++level;
    return level;
}

bool TNote::IsDescendantOf(const TNote *ancestor) const
{
    if (!ancestor)
        return false;
    for (const TNote *p = Parent(); p; p = p->Parent()) {
        if (p == ancestor)
            return true;
    }
    return false;
}

// ---------------------------------------------------------------- TNoteTree

QString TNoteTree::NotesMimeType()
{
    return QStringLiteral("application/x-vellumtree-notes");
}

TNoteTree::TNoteTree(QObject *parent) : QAbstractItemModel(parent)
{
    m_freeing.setMaxThreadCount(1);
}

TNoteTree::~TNoteTree()
{
    m_freeing.waitForDone();
}

void TNoteTree::SetSortType(quint8 value)
{
    if (value == m_sortType)
        return;
    m_sortType = value;
    // Type 1 sorts by data only through a comparison handler, and none is assigned.
    if (value == 2 || value == 3)
        SortNotes();
}

TNote *TNoteTree::insertAt(TNote *slot, int row, std::unique_ptr<TNote> note, int branchSize)
{
    Q_ASSERT(row >= 0 && row <= slot->ChildCount());
    const bool notify = m_bulkDepth == 0;
    if (notify)
        beginInsertRows(indexOfSlot(slot), row, row);
    TNote *raw = note.get();
    raw->m_parent = slot;
    slot->m_children.insert(slot->m_children.begin() + row, std::move(note));
    for (int i = row; i < slot->ChildCount(); ++i)
        slot->m_children[static_cast<size_t>(i)]->m_row = i;
    m_count += branchSize;
    invalidateOrder();
    if (notify)
        endInsertRows();
    return raw;
}

bool TNoteTree::placement(TNote *anchor, int mode, TNote **slot, int *row)
{
    if (!anchor) {
        *slot = &m_top;
        switch (mode) {
        case imFirstSibling:
        case imFirstChild:
            *row = 0;
            return true;
        case imLastSibling:
        case imAfter:
        case imBefore:
        case imLastChild:
            *row = m_top.ChildCount();
            return true;
        default:
            return false;
        }
    }
    switch (mode) {
    case imFirstSibling:
        *slot = anchor->m_parent;
        *row = 0;
        return true;
    case imLastSibling:
        *slot = anchor->m_parent;
        *row = (*slot)->ChildCount();
        return true;
    case imAfter:
        *slot = anchor->m_parent;
        *row = anchor->m_row + 1;
        return true;
    case imBefore:
        *slot = anchor->m_parent;
        *row = anchor->m_row;
        return true;
    case imFirstChild:
        *slot = anchor;
        *row = 0;
        return true;
    case imLastChild:
        *slot = anchor;
        *row = anchor->ChildCount();
        return true;
    default:
        return false;
    }
}

TNote *TNoteTree::AddNote(TNote *anchor, const QString &title, int mode, QStringView body)
{
    TNote *slot = nullptr;
    int row = 0;
    if (!placement(anchor, mode, &slot, &row))
        return nullptr;
    auto note = std::make_unique<TNote>();
    note->m_title = title;
    note->SetBodyText(body);
    return insertAt(slot, row, std::move(note));
}

bool TNoteTree::PlaceNote(TNote *note, TNote *anchor, int mode)
{
    if (!note || note == anchor || (anchor && anchor->IsDescendantOf(note)))
        return false;
    TNote *slot = nullptr;
    int row = 0;
    if (!placement(anchor, mode, &slot, &row))
        return false;
    relocate(note, slot, row);
    return true;
}

TNote *TNoteTree::BranchEnd(const TNote *note)
{
    for (const TNote *p = note; p; p = p->Parent()) {
        if (TNote *next = p->NextSibling())
            return next;
    }
    return nullptr;
}

int TNoteTree::branchSize(const TNote *note) const
{
    const TNote *end = BranchEnd(note);
    int size = 0;
    for (const TNote *n = note; n && n != end; n = NextInTreeOrder(n))
        ++size;
    return size;
}

void TNoteTree::DeleteNote(TNote *note)
{
    int size = 0;
    std::unique_ptr<TNote> owned = TakeBranch(note, &size);
    // Freeing 50,000 notes with their bodies takes longer than a frame; nothing refers
    // to a removed branch any more, so a worker thread frees a large one.
    if (owned && size >= FreeInBackgroundFrom)
        freeInBackground([branch = owned.release()] { delete branch; });
}

std::unique_ptr<TNote> TNoteTree::TakeBranch(TNote *note, int *size)
{
    if (!note)
        return nullptr;
    TNote *slot = note->m_parent;
    const int row = note->m_row;
    const bool notify = m_bulkDepth == 0;
    if (notify)
        beginRemoveRows(indexOfSlot(slot), row, row);
    const int count = branchSize(note);
    m_count -= count;
    std::unique_ptr<TNote> owned = std::move(slot->m_children[static_cast<size_t>(row)]);
    slot->m_children.erase(slot->m_children.begin() + row);
    for (int i = row; i < slot->ChildCount(); ++i)
        slot->m_children[static_cast<size_t>(i)]->m_row = i;
    owned->m_parent = nullptr;
    invalidateOrder();
    if (notify)
        endRemoveRows();
    if (size)
        *size = count;
    return owned;
}

TNote *TNoteTree::PutBranch(std::unique_ptr<TNote> branch, TNote *parent, int row, int size)
{
    if (!branch)
        return nullptr;
    TNote *slot = parent ? parent : &m_top;
    row = std::clamp(row, 0, slot->ChildCount());
    if (size < 0) {
        // Counted while the branch is apart: its top note has no siblings to stop at.
        size = 0;
        std::vector<const TNote *> pending{branch.get()};
        while (!pending.empty()) {
            const TNote *n = pending.back();
            pending.pop_back();
            ++size;
            for (const auto &child : n->m_children)
                pending.push_back(child.get());
        }
    }
    return insertAt(slot, row, std::move(branch), size);
}

bool TNoteTree::MoveBranch(TNote *note, TNote *parent, int row)
{
    if (!note || note == parent || (parent && parent->IsDescendantOf(note)))
        return false;
    TNote *slot = parent ? parent : &m_top;
    // relocate() counts the destination before the note leaves its place.
    const int dest = slot == note->m_parent && row > note->m_row ? row + 1 : row;
    return relocate(note, slot, dest);
}

std::vector<TNote *> TNoteTree::ChildOrder(const TNote *parent) const
{
    const TNote *slot = parent ? parent : &m_top;
    std::vector<TNote *> order;
    order.reserve(slot->m_children.size());
    for (const auto &child : slot->m_children)
        order.push_back(child.get());
    return order;
}

void TNoteTree::SetChildOrders(const std::vector<TChildOrder> &orders)
{
    if (orders.empty())
        return;
    const bool notify = m_bulkDepth == 0;
    TLayoutChange change;
    if (notify)
        beginLayoutChange(change);
    for (const auto &[parent, order] : orders) {
        TNote *slot = parent ? parent : &m_top;
        Q_ASSERT(order.size() == slot->m_children.size());
        // Each note's current row finds its owner, so the order costs no search.
        std::vector<std::unique_ptr<TNote>> children(order.size());
        for (size_t i = 0; i < order.size(); ++i) {
            auto &owner = slot->m_children[static_cast<size_t>(order[i]->m_row)];
            Q_ASSERT(owner.get() == order[i]);
            children[i] = std::move(owner);
        }
        slot->m_children = std::move(children);
        for (size_t i = 0; i < slot->m_children.size(); ++i)
            slot->m_children[i]->m_row = static_cast<int>(i);
    }
    invalidateOrder();
    if (notify)
        endLayoutChange(change);
}

void TNoteTree::SetTitle(TNote *note, const QString &title)
{
    if (!note || note->m_title == title)
        return;
    note->m_title = title;
    if (m_bulkDepth == 0) {
        const QModelIndex index = IndexOf(note);
        emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    }
}

bool TNoteTree::relocate(TNote *note, TNote *slot, int destRowBeforeRemoval)
{
    TNote *from = note->m_parent;
    const int row = note->m_row;
    if (from == slot && (destRowBeforeRemoval == row || destRowBeforeRemoval == row + 1))
        return false;
    const bool notify = m_bulkDepth == 0;
    if (notify
        && !beginMoveRows(indexOfSlot(from), row, row, indexOfSlot(slot), destRowBeforeRemoval))
        return false;
    std::unique_ptr<TNote> owned = std::move(from->m_children[static_cast<size_t>(row)]);
    from->m_children.erase(from->m_children.begin() + row);
    int dest = destRowBeforeRemoval;
    if (from == slot && dest > row)
        --dest;
    owned->m_parent = slot;
    slot->m_children.insert(slot->m_children.begin() + dest, std::move(owned));
    const int fromRow = from == slot ? std::min(row, dest) : row;
    for (int i = fromRow; i < from->ChildCount(); ++i)
        from->m_children[static_cast<size_t>(i)]->m_row = i;
    if (slot != from) {
        for (int i = dest; i < slot->ChildCount(); ++i)
            slot->m_children[static_cast<size_t>(i)]->m_row = i;
    }
    invalidateOrder();
    if (notify)
        endMoveRows();
    return true;
}

bool TNoteTree::MoveNote(TNote *note, int direction)
{
    if (!note)
        return false;
    TNote *slot = note->m_parent;
    switch (direction) {
    case mdLeft: {
        TNote *parent = note->Parent();
        if (!parent)
            return false;
        // Right after the former parent; the last sibling when the parent is last.
        return relocate(note, parent->m_parent, parent->m_row + 1);
    }
    case mdUp:
        if (note->m_row == 0)
            return false;
        return relocate(note, slot, note->m_row - 1);
    case mdRight: {
        TNote *previous = note->PrevSibling();
        if (!previous)
            return false;
        return relocate(note, previous, previous->ChildCount());
    }
    case mdDown:
        if (note->m_row + 1 >= slot->ChildCount())
            return false;
        // Before the sibling after next, or last when there is none.
        return relocate(note, slot, note->m_row + 2);
    default:
        return false;
    }
}

void TNoteTree::ExportBranch(const TNote *note, QStringList &lines, bool withBodies) const
{
    if (!note)
        return;
    const TNote *end = BranchEnd(note);
    for (const TNote *n = note; n && n != end; n = NextInTreeOrder(n)) {
        lines.append(n->Title());
        lines.append(QString());
        if (withBodies && n->HasBody()) {
            lines.append(n->BodyText());
            lines.append(QString());
        }
    }
}

void TNoteTree::ExportSiblings(QStringList &lines, const TNote *note, bool withBodies) const
{
    for (const TNote *n = note; n; n = n->NextSibling())
        ExportBranch(n, lines, withBodies);
}

QString TNoteTree::BranchPlainText(const TNote *note) const
{
    return note ? BranchStreamPlainText(WriteBranch(note)) : QString();
}

TNote *TNoteTree::FindByTitle(QStringView text) const
{
    for (TNote *note = FirstNote(); note; note = NextInTreeOrder(note)) {
        if (CaseFold::equal(note->m_title, text))
            return note;
    }
    return nullptr;
}

QString TNoteTree::GetNoteLink(const TNote *note)
{
    QStringList titles;
    for (const TNote *n = note; n; n = n->Parent())
        titles.prepend(n->Title());
    return QLatin1String("note://") + titles.join(u'\\') + u';';
}

TNote *TNoteTree::FindByLink(QStringView link) const
{
    // The prefix and the closing ";" are dropped whatever they hold.
    const QStringView path = link.size() > 8 ? link.sliced(7, link.size() - 8) : QStringView();
    if (path.isEmpty())
        return nullptr;
    // A title may hold "\" itself, so a link splits into titles in several ways. The
    // walk tries the shortest title first, as a plain split would, and on each level
    // only the first of equally named siblings. A note is looked at most once per
    // position in the link, so the work grows with notes times "\" count, never with
    // the number of splits.
    struct Step
    {
        const TNote *note; // whose children are tried next (none: the top level), or
        qsizetype from;    // where their titles start in the link; -1: note is found
    };
    QList<Step> pending{{nullptr, 0}};
    QSet<std::pair<const TNote *, qsizetype>> tried;
    while (!pending.isEmpty()) {
        const Step step = pending.takeLast();
        if (step.from < 0)
            return const_cast<TNote *>(step.note);
        if (tried.contains({step.note, step.from}))
            continue;
        tried.insert({step.note, step.from});
        const QStringView rest = path.sliced(step.from);
        QList<std::pair<qsizetype, const TNote *>> matches; // title length, note
        for (const TNote *child = step.note ? step.note->FirstChild() : FirstNote(); child;
             child = child->NextSibling()) {
            const qsizetype length = child->m_title.size();
            if (length > rest.size() || (length < rest.size() && rest[length] != u'\\'))
                continue;
            const bool shadowed = std::any_of(matches.cbegin(), matches.cend(),
                                              [length](const auto &m) {
                                                  return m.first == length;
                                              });
            if (!shadowed && CaseFold::equal(child->m_title, rest.first(length)))
                matches.append({length, child});
        }
        // Longest in first, so the shortest title comes out first.
        std::sort(matches.begin(), matches.end(),
                  [](const auto &a, const auto &b) { return a.first > b.first; });
        for (const auto &[length, child] : matches)
            pending.append({child, length == rest.size() ? -1 : step.from + length + 1});
    }
    return nullptr;
}

TNote *TNoteTree::NodeAfterBranch(const TNote *note) const
{
    if (!note || !note->HasChildren())
        return nullptr;
    return BranchEnd(note);
}

void TNoteTree::TrimNotes(const std::function<void(TNote *)> &beforeTrim)
{
    for (TNote *note = FirstNote(); note; note = NextInTreeOrder(note)) {
        if (QString body = note->m_body; trimBody(body)) {
            if (beforeTrim)
                beforeTrim(note);
            note->setBodyForm(std::move(body));
        }
    }
}

template <typename Free>
void TNoteTree::freeInBackground(Free free)
{
    m_freeing.start([free] {
        free();
#ifdef __GLIBC__
        // Give the freed pages back: a large branch deleted would otherwise stay in
        // the process's memory for good.
        malloc_trim(0);
#endif
    });
}

void TNoteTree::ClearNotes()
{
    const bool notify = m_bulkDepth == 0;
    if (notify)
        beginResetModel();
    // A document closed need not hold up the one that replaces it.
    if (m_count >= FreeInBackgroundFrom) {
        freeInBackground([notes = new std::vector<std::unique_ptr<TNote>>(
                              std::move(m_top.m_children))] { delete notes; });
    }
    m_top.m_children.clear();
    m_count = 0;
    invalidateOrder();
    if (notify)
        endResetModel();
    emit notesCleared();
}

void TNoteTree::ResetTree()
{
    BeginBulkUpdate();
    ClearNotes();
    EndBulkUpdate();
}

void TNoteTree::FreeBranchData(TNote *note)
{
    if (!note)
        return;
    const TNote *end = BranchEnd(note);
    for (TNote *n = note->FirstChild(); n && n != end; n = NextInTreeOrder(n))
        n->setBodyForm({});
}

void TNoteTree::TakeNotes(TNoteTree &from, TNote *parent)
{
    if (from.m_count == 0)
        return;
    BeginBulkUpdate();
    from.BeginBulkUpdate();
    TNote *slot = parent ? parent : &m_top;
    for (auto &note : from.m_top.m_children) {
        note->m_parent = slot;
        note->m_row = slot->ChildCount();
        slot->m_children.push_back(std::move(note));
    }
    from.m_top.m_children.clear();
    m_count += from.m_count;
    from.m_count = 0;
    from.invalidateOrder();
    invalidateOrder();
    from.EndBulkUpdate();
    EndBulkUpdate();
}

void TNoteTree::BeginBulkUpdate()
{
    if (m_bulkDepth++ == 0)
        beginResetModel();
}

void TNoteTree::EndBulkUpdate()
{
    Q_ASSERT(m_bulkDepth > 0);
    if (m_bulkDepth > 0 && --m_bulkDepth == 0)
        endResetModel();
}

void TNoteTree::ensureOrder() const
{
    if (m_orderValid)
        return;
    m_order.clear();
    m_order.reserve(static_cast<size_t>(m_count));
    for (TNote *note = FirstNote(); note; note = NextInTreeOrder(note)) {
        note->m_orderIndex = static_cast<int>(m_order.size());
        m_order.push_back(note);
    }
    m_orderValid = true;
}

int TNoteTree::AbsoluteIndex(const TNote *note) const
{
    if (!note)
        return -1;
    ensureOrder();
    return note->m_orderIndex;
}

TNote *TNoteTree::NoteAt(int absoluteIndex) const
{
    if (absoluteIndex < 0 || absoluteIndex >= m_count)
        return nullptr;
    ensureOrder();
    return m_order[static_cast<size_t>(absoluteIndex)];
}

TNote *TNoteTree::NextInTreeOrder(const TNote *note) const
{
    if (!note)
        return nullptr;
    return note->HasChildren() ? note->FirstChild() : BranchEnd(note);
}

TNote *TNoteTree::NextInTreeOrder(const TNote *note, int *level) const
{
    if (!note)
        return nullptr;
    if (note->HasChildren()) {
        ++*level;
        return note->FirstChild();
    }
    for (const TNote *p = note; p; p = p->Parent(), --*level) {
        if (TNote *next = p->NextSibling())
            return next;
    }
    return nullptr;
}

TNote *TNoteTree::NoteOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<TNote *>(index.internalPointer());
}

QModelIndex TNoteTree::IndexOf(const TNote *note) const
{
    if (!note)
        return {};
    return createIndex(note->m_row, 0, const_cast<TNote *>(note));
}

QModelIndex TNoteTree::indexOfSlot(const TNote *slot) const
{
    return slot == &m_top ? QModelIndex() : IndexOf(slot);
}

QModelIndex TNoteTree::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0)
        return {};
    const TNote *slot = parent.isValid() ? NoteOf(parent) : &m_top;
    if (!slot)
        return {};
    TNote *child = slot->Child(row);
    return child ? createIndex(row, 0, child) : QModelIndex();
}

QModelIndex TNoteTree::parent(const QModelIndex &child) const
{
    const TNote *note = NoteOf(child);
    return note ? IndexOf(note->Parent()) : QModelIndex();
}

int TNoteTree::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const TNote *slot = parent.isValid() ? NoteOf(parent) : &m_top;
    return slot ? slot->ChildCount() : 0;
}

int TNoteTree::columnCount(const QModelIndex &) const
{
    return 1;
}

bool TNoteTree::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant TNoteTree::data(const QModelIndex &index, int role) const
{
    const TNote *note = NoteOf(index);
    if (!note)
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return note->Title();
    return {};
}

bool TNoteTree::setData(const QModelIndex &index, const QVariant &value, int role)
{
    TNote *note = NoteOf(index);
    if (!note || role != Qt::EditRole)
        return false;
    SetTitle(note, value.toString());
    return true;
}

Qt::ItemFlags TNoteTree::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled
        | Qt::ItemIsDropEnabled;
}

Qt::DropActions TNoteTree::supportedDropActions() const
{
    return Qt::MoveAction | Qt::CopyAction;
}

Qt::DropActions TNoteTree::supportedDragActions() const
{
    return Qt::MoveAction | Qt::CopyAction;
}
