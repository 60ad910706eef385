#pragma once

#include "notes/NoteTree.h"

#include <QString>

#include <memory>
#include <vector>

// One change to a document's tree that can be taken back and made again. A change is
// recorded once it has been made; Undo() and Redo() then alternate, each finding the
// tree exactly as the other left it, so the notes it names are the very notes there.
// Notes out of the tree in a change's present state are owned by the change.
class TTreeChange
{
public:
    virtual ~TTreeChange() = default;

    virtual void Undo(TNoteTree &tree) = 0;
    virtual void Redo(TNoteTree &tree) = 0;
    // Whether there is nothing to take back (a sort that found the order kept).
    virtual bool IsEmpty() const { return false; }

    // About how many bytes of notes the change keeps alive, for the stack's limit.
    qint64 HeldBytes() const { return m_heldBytes; }

    // The language key naming the kind of change, its English text, and the title of
    // the note it is about (empty when it is about many).
    QString KindKey;
    QString KindText;
    QString Subject;
    // The note selected before the change and after it: selected again after an undo
    // and a redo.
    TNote *SelectedBefore = nullptr;
    TNote *SelectedAfter = nullptr;

protected:
    qint64 m_heldBytes = 0;
};

// Notes added, each with its branch: new notes, pasted or dropped streams, notes read
// from a file. Recorded after they are in the tree.
class TInsertChange final : public TTreeChange
{
public:
    TInsertChange(TNoteTree &tree, const std::vector<TNote *> &added);
    // What an insertion at parent added, first being the note it returned: a stream
    // may go on past its first branch with more children of parent, which were not
    // among childrenBefore.
    static std::vector<TNote *> Added(const TNoteTree &tree, TNote *first, const TNote *parent,
                                      const std::vector<TNote *> &childrenBefore);
    void Undo(TNoteTree &tree) override;
    void Redo(TNoteTree &tree) override;
    bool IsEmpty() const override { return m_entries.empty(); }

private:
    struct Entry
    {
        TNote *note;
        TNote *parent;
        int row;
        int size;
        std::unique_ptr<TNote> owned; // while undone
    };
    std::vector<Entry> m_entries; // in tree order
};

// A note deleted with its branch. The branch is moved into the change, never copied.
// Made by the change itself: the note goes when the change is constructed.
class TDeleteChange final : public TTreeChange
{
public:
    TDeleteChange(TNoteTree &tree, TNote *note);
    void Undo(TNoteTree &tree) override;
    void Redo(TNoteTree &tree) override;
    int BranchSize() const { return m_size; }

private:
    TNote *m_note;
    TNote *m_parent;
    int m_row;
    int m_size = 0;
    std::unique_ptr<TNote> m_owned; // while done
};

// A note moved with its branch: up, down, left, right, or dragged. Recorded after the
// move from where the note was before it.
class TMoveChange final : public TTreeChange
{
public:
    TMoveChange(TNote *note, TNote *fromParent, int fromRow);
    void Undo(TNoteTree &tree) override;
    void Redo(TNoteTree &tree) override;
    bool IsEmpty() const override { return m_fromParent == m_toParent && m_fromRow == m_toRow; }

private:
    TNote *m_note;
    TNote *m_fromParent;
    int m_fromRow;
    TNote *m_toParent;
    int m_toRow;
};

// Children put in another order: Sort children, Sort tree. Recorded after the sort from
// the order each level it changed had before (as the sort gives it), so a sort of a
// sorted tree keeps nothing.
class TOrderChange final : public TTreeChange
{
public:
    TOrderChange(const TNoteTree &tree, std::vector<TNoteTree::TChildOrder> before);
    void Undo(TNoteTree &tree) override;
    void Redo(TNoteTree &tree) override;
    bool IsEmpty() const override { return m_before.empty(); }

private:
    std::vector<TNoteTree::TChildOrder> m_before;
    std::vector<TNoteTree::TChildOrder> m_after;
};

// Titles and bodies of some notes changed: rename, Replace, Replace All, a text read
// into a note, spaces trimmed. Made in two steps like TOrderChange; only the notes
// whose text changed are kept. The texts are shared with the notes, not copied. A body
// typed into after the step is no longer the step's to change.
class TTextChange final : public TTreeChange
{
public:
    explicit TTextChange(const std::vector<TNote *> &notes = {});
    // One more note whose text is about to change.
    void Add(TNote *note);
    // Every note of the tree.
    static std::vector<TNote *> AllNotes(const TNoteTree &tree);
    void Finish();
    void Undo(TNoteTree &tree) override;
    void Redo(TNoteTree &tree) override;
    bool IsEmpty() const override { return m_entries.empty(); }

private:
    struct Entry
    {
        TNote *note;
        QString titleBefore;
        QString bodyBefore;
        QString titleAfter;
        QString bodyAfter;
    };
    void apply(TNoteTree &tree, bool after);
    std::vector<Entry> m_entries;
};

// The changes of one document, oldest first. Holds at most MaxSteps changes or about
// MaxBytes of notes; the oldest go first.
class TNoteUndoStack
{
public:
    static constexpr int DefaultMaxSteps = 100;
    static constexpr qint64 DefaultMaxBytes = qint64(256) << 20;

    explicit TNoteUndoStack(TNoteTree &tree) : m_tree(tree) { }

    // A change already made; one that changed nothing is dropped. Changes undone
    // before are gone for good.
    void Push(std::unique_ptr<TTreeChange> change);
    // The change taken back or made again, or none.
    TTreeChange *Undo();
    TTreeChange *Redo();
    bool CanUndo() const { return m_index > 0; }
    bool CanRedo() const { return m_index < static_cast<int>(m_changes.size()); }
    const TTreeChange *NextUndo() const { return CanUndo() ? m_changes[m_index - 1].get() : nullptr; }
    const TTreeChange *NextRedo() const { return CanRedo() ? m_changes[m_index].get() : nullptr; }

    // A document opened or created: nothing to take back, and the tree as saved.
    void Clear();
    // The tree as it is now is the one saved.
    void SetClean() { m_clean = m_index; }
    bool IsClean() const { return m_clean == m_index; }

    int Count() const { return static_cast<int>(m_changes.size()); }
    qint64 HeldBytes() const { return m_heldBytes; }
    void SetLimits(int maxSteps, qint64 maxBytes);

private:
    void dropOldest();

    TNoteTree &m_tree;
    std::vector<std::unique_ptr<TTreeChange>> m_changes;
    int m_index = 0; // changes done
    int m_clean = 0; // -1: the saved state can no longer be reached
    qint64 m_heldBytes = 0;
    int m_maxSteps = DefaultMaxSteps;
    qint64 m_maxBytes = DefaultMaxBytes;
};
