// Taking changes to the tree back and making them again: the document's undo stack,
// and what the window does around each step (editor, selection, modified mark).

#include "app/Main.h"

#include "app/qkRichedit.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/NoteUndo.h"
#include "settings/LngMan.h"

#include <QAction>
#include <QItemSelectionModel>

using namespace Qt::StringLiterals;

namespace {

// A title named in a menu item: short, and its "&" shown rather than taken as a
// mnemonic.
QString menuSubject(const QString &title)
{
    constexpr qsizetype kLongest = 40;
    QString shown = title.size() > kLongest ? title.left(kLongest) + u"..."_s : title;
    return shown.replace(u'&', u"&&"_s);
}

} // namespace

void TfrmMain::RecordTreeChange(std::unique_ptr<TTreeChange> change, TNote *selectedBefore,
                                const QString &kindKey, const QString &kindText)
{
    if (change) {
        change->KindKey = kindKey;
        change->KindText = kindText;
        change->SelectedBefore = selectedBefore;
        change->SelectedAfter = TopicTree->selectedNote();
        m_undo->Push(std::move(change));
    }
    m_recordingChange = true;
    SetModified(true);
    m_recordingChange = false;
}

void TfrmMain::recordInserted(TNote *first, TNote *parent,
                              const std::vector<TNote *> &childrenBefore, TNote *selectedBefore,
                              const QString &kindKey, const QString &kindText)
{
    RecordTreeChange(std::make_unique<TInsertChange>(
                         *TopicTreeModel,
                         TInsertChange::Added(*TopicTreeModel, first, parent, childrenBefore)),
                     selectedBefore, kindKey, kindText);
}

bool TfrmMain::treeHasUndoFocus() const
{
    return m_lastFocus == TopicTree && !TopicTree->isEditingTitle();
}

void TfrmMain::UndoTreeChange()
{
    applyTreeChange(false);
}

void TfrmMain::RedoTreeChange()
{
    applyTreeChange(true);
}

void TfrmMain::applyTreeChange(bool redo)
{
    if (TopicTree->isEditingTitle() || !(redo ? m_undo->CanRedo() : m_undo->CanUndo()))
        return;
    // Leaving the selected note stores what was typed into it and empties the editor,
    // so no text of the editor can reach a note whose text the step gives back.
    StoreEditorText();
    TopicTree->selectionModel()->clearCurrentIndex();
    const TTreeChange *change = redo ? m_undo->Redo() : m_undo->Undo();
    TNote *select = redo ? change->SelectedAfter : change->SelectedBefore;
    if (!select)
        select = TopicTreeModel->FirstNote();
    if (select)
        setSelected(select);
    else
        clearEditor();
    // Back where the file was saved, the document is as saved, unless something the
    // stack does not hold changed since.
    m_recordingChange = true;
    SetModified(!m_undo->IsClean() || m_changedBeyondUndo);
    m_recordingChange = false;
}

void TfrmMain::miEditUndoMenuClick()
{
    if (treeHasUndoFocus())
        UndoTreeChange();
    else
        miEditUndoClick();
}

void TfrmMain::miEditRedoClick()
{
    if (treeHasUndoFocus()) {
        RedoTreeChange();
        return;
    }
    Notes->redo();
    SetModified(true);
}

QString TfrmMain::undoCaption(bool redo) const
{
    const auto textOr = [this](const QString &key, const QString &fallback) {
        const QString value = text(key);
        return value.isEmpty() ? fallback : value;
    };
    const TTreeChange *change = redo ? m_undo->NextRedo() : m_undo->NextUndo();
    if (!change || !treeHasUndoFocus())
        return redo ? textOr(u"redo_plain"_s, u"&Redo"_s) : textOr(u"undo_plain"_s, u"&Undo"_s);
    QString what = textOr(change->KindKey, change->KindText);
    if (!change->Subject.isEmpty())
        what += u" \""_s + menuSubject(change->Subject) + u'"';
    return FormatString(redo ? textOr(u"redo_named"_s, u"&Redo %s"_s)
                             : textOr(u"undo_named"_s, u"&Undo %s"_s),
                        what);
}
