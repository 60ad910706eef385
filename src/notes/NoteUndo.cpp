#include "notes/NoteUndo.h"

#include <algorithm>
#include <unordered_set>

namespace {

// Per note: its texts in UTF-16, and the note's own bookkeeping.
constexpr qint64 kNoteOverhead = 96;

qint64 textBytes(const QString &title, const QString &body)
{
    return (title.size() + body.size()) * qint64(sizeof(QChar)) + kNoteOverhead;
}

qint64 branchBytes(const TNoteTree &tree, const TNote *note)
{
    qint64 bytes = textBytes(note->Title(), note->BodyText());
    if (!note->HasChildren())
        return bytes;
    const TNote *end = tree.NodeAfterBranch(note);
    for (const TNote *n = note->FirstChild(); n && n != end; n = tree.NextInTreeOrder(n))
        bytes += textBytes(n->Title(), n->BodyText());
    return bytes;
}

} // namespace

// ---------------------------------------------------------------- TInsertChange

TInsertChange::TInsertChange(TNoteTree &tree, const std::vector<TNote *> &added)
{
    std::vector<TNote *> notes;
    for (TNote *note : added) {
        if (note)
            notes.push_back(note);
    }
    // Put back in tree order, each lands at the row it has now.
    if (notes.size() > 1)
        std::sort(notes.begin(), notes.end(), [&tree](const TNote *a, const TNote *b) {
        return tree.AbsoluteIndex(a) < tree.AbsoluteIndex(b);
    });
    notes.erase(std::unique(notes.begin(), notes.end()), notes.end());
    for (TNote *note : notes) {
        m_entries.push_back({note, note->Parent(), note->Row(), -1, nullptr});
        m_heldBytes += branchBytes(tree, note);
    }
    if (!notes.empty())
        Subject = notes.front()->Title();
}

std::vector<TNote *> TInsertChange::Added(const TNoteTree &tree, TNote *first,
                                          const TNote *parent,
                                          const std::vector<TNote *> &childrenBefore)
{
    std::vector<TNote *> added{first};
    if (!parent)
        return added;
    const std::unordered_set<const TNote *> had(childrenBefore.begin(), childrenBefore.end());
    for (TNote *child : tree.ChildOrder(parent)) {
        if (child != first && !had.contains(child))
            added.push_back(child);
    }
    return added;
}

void TInsertChange::Undo(TNoteTree &tree)
{
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
        it->owned = tree.TakeBranch(it->note, &it->size);
}

void TInsertChange::Redo(TNoteTree &tree)
{
    for (Entry &entry : m_entries)
        tree.PutBranch(std::move(entry.owned), entry.parent, entry.row, entry.size);
}

// ---------------------------------------------------------------- TDeleteChange

TDeleteChange::TDeleteChange(TNoteTree &tree, TNote *note)
    : m_note(note), m_parent(note->Parent()), m_row(note->Row())
{
    m_heldBytes = branchBytes(tree, note);
    Subject = note->Title();
    m_owned = tree.TakeBranch(note, &m_size);
}

void TDeleteChange::Undo(TNoteTree &tree)
{
    tree.PutBranch(std::move(m_owned), m_parent, m_row, m_size);
}

void TDeleteChange::Redo(TNoteTree &tree)
{
    m_owned = tree.TakeBranch(m_note, &m_size);
}

// ---------------------------------------------------------------- TMoveChange

TMoveChange::TMoveChange(TNote *note, TNote *fromParent, int fromRow)
    : m_note(note), m_fromParent(fromParent), m_fromRow(fromRow), m_toParent(note->Parent()),
      m_toRow(note->Row())
{
    Subject = note->Title();
}

void TMoveChange::Undo(TNoteTree &tree)
{
    tree.MoveBranch(m_note, m_fromParent, m_fromRow);
}

void TMoveChange::Redo(TNoteTree &tree)
{
    tree.MoveBranch(m_note, m_toParent, m_toRow);
}

// ---------------------------------------------------------------- TOrderChange

TOrderChange::TOrderChange(const TNoteTree &tree, std::vector<TNoteTree::TChildOrder> before)
    : m_before(std::move(before))
{
    m_after.reserve(m_before.size());
    for (const auto &[parent, order] : m_before) {
        m_after.emplace_back(parent, tree.ChildOrder(parent));
        m_heldBytes += qint64(order.size()) * qint64(2 * sizeof(TNote *));
    }
}

void TOrderChange::Undo(TNoteTree &tree)
{
    tree.SetChildOrders(m_before);
}

void TOrderChange::Redo(TNoteTree &tree)
{
    tree.SetChildOrders(m_after);
}

// ---------------------------------------------------------------- TTextChange

TTextChange::TTextChange(const std::vector<TNote *> &notes)
{
    m_entries.reserve(notes.size());
    for (TNote *note : notes)
        Add(note);
}

void TTextChange::Add(TNote *note)
{
    if (note)
        m_entries.push_back({note, note->Title(), note->BodyText(), {}, {}});
}

std::vector<TNote *> TTextChange::AllNotes(const TNoteTree &tree)
{
    std::vector<TNote *> notes;
    notes.reserve(static_cast<size_t>(tree.Count()));
    for (TNote *note = tree.FirstNote(); note; note = tree.NextInTreeOrder(note))
        notes.push_back(note);
    return notes;
}

void TTextChange::Finish()
{
    std::vector<Entry> changed;
    for (Entry &entry : m_entries) {
        // A text left alone is still the same shared string: no comparison needed.
        const QString &title = entry.note->Title();
        const QString &body = entry.note->BodyText();
        const bool sameTitle = title.constData() == entry.titleBefore.constData() || title == entry.titleBefore;
        const bool sameBody = body.constData() == entry.bodyBefore.constData() || body == entry.bodyBefore;
        if (sameTitle && sameBody)
            continue;
        entry.titleAfter = title;
        entry.bodyAfter = body;
        m_heldBytes += std::max(textBytes(entry.titleBefore, entry.bodyBefore),
                                textBytes(entry.titleAfter, entry.bodyAfter));
        changed.push_back(std::move(entry));
    }
    m_entries = std::move(changed);
    if (m_entries.size() == 1)
        Subject = m_entries.front().titleAfter;
}

void TTextChange::apply(TNoteTree &tree, bool after)
{
    for (Entry &entry : m_entries) {
        tree.SetTitle(entry.note, after ? entry.titleAfter : entry.titleBefore);
        const QString &from = after ? entry.bodyBefore : entry.bodyAfter;
        const QString &to = after ? entry.bodyAfter : entry.bodyBefore;
        // A body typed into since is left as it is: the step never takes typing away.
        if (entry.note->BodyText() == from)
            entry.note->SetBodyText(to);
    }
}

void TTextChange::Undo(TNoteTree &tree)
{
    apply(tree, false);
}

void TTextChange::Redo(TNoteTree &tree)
{
    apply(tree, true);
}

// ---------------------------------------------------------------- TNoteUndoStack

void TNoteUndoStack::Push(std::unique_ptr<TTreeChange> change)
{
    if (!change || change->IsEmpty())
        return;
    // What was undone cannot be made again once something else is done.
    if (m_clean > m_index)
        m_clean = -1;
    while (CanRedo()) {
        m_heldBytes -= m_changes.back()->HeldBytes();
        m_changes.pop_back();
    }
    m_heldBytes += change->HeldBytes();
    m_changes.push_back(std::move(change));
    ++m_index;
    // The newest change stays, however large it is.
    while (m_changes.size() > 1
           && (Count() > m_maxSteps || m_heldBytes > m_maxBytes))
        dropOldest();
}

void TNoteUndoStack::dropOldest()
{
    m_heldBytes -= m_changes.front()->HeldBytes();
    m_changes.erase(m_changes.begin());
    --m_index;
    // The saved state lay before the oldest change: no undo reaches it any more.
    m_clean = m_clean > 0 ? m_clean - 1 : -1;
}

TTreeChange *TNoteUndoStack::Undo()
{
    if (!CanUndo())
        return nullptr;
    TTreeChange *change = m_changes[static_cast<size_t>(--m_index)].get();
    change->Undo(m_tree);
    return change;
}

TTreeChange *TNoteUndoStack::Redo()
{
    if (!CanRedo())
        return nullptr;
    TTreeChange *change = m_changes[static_cast<size_t>(m_index++)].get();
    change->Redo(m_tree);
    return change;
}

void TNoteUndoStack::Clear()
{
    m_changes.clear();
    m_index = 0;
    m_clean = 0;
    m_heldBytes = 0;
}

void TNoteUndoStack::SetLimits(int maxSteps, qint64 maxBytes)
{
    m_maxSteps = std::max(1, maxSteps);
    m_maxBytes = maxBytes;
    while (m_changes.size() > 1 && m_index > 0
           && (Count() > m_maxSteps || m_heldBytes > m_maxBytes))
        dropOldest();
}
