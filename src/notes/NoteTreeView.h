#pragma once

#include <QCursor>
#include <QIcon>
#include <QPersistentModelIndex>
#include <QTreeView>

class QTimer;
class TNote;
class TNoteTree;

// The tree of notes on the left of the main window (object name "TopicTree"): a view
// of the TNoteTree model. Titles are edited in place; an edit that empties the title
// or leaves it unchanged is refused, as the old title stays.
class TNoteTreeView final : public QTreeView
{
    Q_OBJECT

public:
    explicit TNoteTreeView(QWidget *parent = nullptr);

    void setNoteTree(TNoteTree *tree);
    TNoteTree *noteTree() const { return m_tree; }

    TNote *selectedNote() const;
    // The view lays out expanded branches recursively (inside Qt), so it opens no
    // branch deeper than this; deeper notes are still selected and edited, only hidden.
    static constexpr int MaxExpandedLevel = 1000;

    // Selects the note, expanding its ancestors and scrolling it into view.
    void selectNote(TNote *note);
    // Expands every branch down to MaxExpandedLevel.
    void expandAllNotes();
    // A note deeper than MaxExpandedLevel stays hidden: Qt would open all its ancestors.
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    bool isEditingTitle() const { return state() == QAbstractItemView::EditingState; }
    // A click on the selected note's title starts its in-place editing a double-click
    // time later, unless another click, a key or a change of focus comes first.
    using QTreeView::edit;

    // The image every note shows; a null icon shows none.
    void setNoteIcon(const QIcon &icon);
    const QIcon &noteIcon() const { return m_noteIcon; }

    void ScrollToLeft();

    // The notes clipboard: the branch stream under the private type, and the branch as
    // plain text (TNoteTree::BranchPlainText) for other programs; nothing else stays on it.
    void CopyToClipboard(TNote *note);
    TNote *PasteFromClipboard(TNote *anchor, int mode);
    static bool ClipboardHasNotes();

    // Drag cursors: shown while the pointer is over a note that can take the drop.
    void setDragCursors(const QCursor &move, const QCursor &nest);

signals:
    // A note of this tree dropped on target: nest makes it the target's last child.
    void noteDropped(TNote *dragged, TNote *target, bool nest);
    // Notes dragged from another window.
    void branchDropped(const QByteArray &stream, TNote *target, bool nest);
    // The user renamed a note in place.
    void titleEdited(TNote *note, const QString &before);
    // The selected note changed; previous is none when it was removed.
    void selectedNoteChanged(TNote *current, TNote *previous);

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    TNote *dropTarget(const QPoint &pos, bool *internal) const;
    void cancelPendingRename();
    void startPendingRename();

    TNoteTree *m_tree = nullptr;
    QCursor m_moveCursor;
    QCursor m_nestCursor;
    bool m_dragging = false;
    bool m_expandingAll = false; // expandAllNotes() keeps to the depth limit itself
    QIcon m_noteIcon;
    QTimer *m_renameTimer = nullptr;
    // Watches the whole program's input while a rename is pending.
    QObject *m_renameWatch = nullptr;
    QPersistentModelIndex m_renameIndex;
};
