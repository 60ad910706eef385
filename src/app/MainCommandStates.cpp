// Which commands the main window offers at each moment: one update per turn of the
// event loop follows focus, selection, clipboard and editor state.

#include "app/Main.h"

#include "app/qkRichedit.h"
#include "find/Find.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/NoteUndo.h"
#include "settings/Settings.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>

void TfrmMain::scheduleCommandStates()
{
    // One update per turn of the event loop, however many changes arrive in it.
    if (m_statesPending)
        return;
    m_statesPending = true;
    QMetaObject::invokeMethod(this, &TfrmMain::updateCommandStates, Qt::QueuedConnection);
}

void TfrmMain::readClipboardState()
{
    // Asking the clipboard means a round trip to the display server: only on a change.
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    m_clipText = mime && mime->hasText();
    m_clipNotes = mime && mime->hasFormat(TNoteTree::NotesMimeType());
}

int TfrmMain::editorLineCount() const
{
    // Lines as the editor counts them: a final line break starts no line of its own.
    const QTextDocument *text = Notes->document();
    return text->blockCount() - (text->lastBlock().text().isEmpty() ? 1 : 0);
}

void TfrmMain::updateCommandStates()
{
    m_statesPending = false;
    const bool treeFocus = m_lastFocus == TopicTree || TopicTree->isEditingTitle();
    const bool editorFocus = m_lastFocus == Notes;
    TNote *selected = TopicTree->selectedNote();
    const bool sel = selected != nullptr;
    const bool editing = TopicTree->isEditingTitle();
    const int count = TopicTreeModel->Count();
    const bool clipText = m_clipText;
    const bool clipNotes = m_clipNotes;
    const bool editorSelection = Notes->textCursor().hasSelection();
    const bool canUndo = Notes->document()->isUndoAvailable();

    auto enable = [this](const char *name, bool on) {
        if (QAction *a = action(name))
            a->setEnabled(on);
    };
    for (const char *name : {"btnSave", "btnSaveAs", "btnPrint", "miFileSave", "miFileSaveAs",
                             "miFilePrint", "miEditSearch"})
        enable(name, count > 0);
    // The search dialog's own button stays off while the dialog is open.
    enable("btnSearch", count > 0 && !TfrmSearchReplace::OpenOver(this));
    // They act on the selected note wherever the focus is; the editor's text is stored
    // first.
    enable("miFileExport", sel);
    enable("miFileImport", sel);
    enable("miFileEncrypt", m_filePassword.isEmpty());
    enable("btnUndo", editorFocus && canUndo);
    // Edit > Undo and Redo take back the tree's changes while the tree has the focus;
    // they name the change.
    const bool treeUndo = treeHasUndoFocus();
    enable("miEditUndo", (editorFocus && canUndo) || (treeUndo && m_undo->CanUndo()));
    enable("miEditRedo", (editorFocus && Notes->document()->isRedoAvailable())
                             || (treeUndo && m_undo->CanRedo()));
    action("miEditUndo")->setText(undoCaption(false));
    action("miEditRedo")->setText(undoCaption(true));
    enable("btnCut", (editorFocus && editorSelection) || (treeFocus && sel));
    enable("btnCopy", (editorFocus && editorSelection) || (treeFocus && sel));
    enable("miEditCut", editorFocus && editorSelection && !editing);
    enable("miEditCopy", editorFocus && editorSelection && !editing);
    enable("btnPaste", clipText || (treeFocus && clipNotes));
    enable("miEditPaste", editorFocus && clipText && !editing);
    for (const char *name : {"miEditSelectAll", "miInsertDate", "miInsertDateLong",
                             "miInsertTime", "miInsertDateTime"})
        enable(name, editorFocus);
    if (QMenu *insert = menu("miEditInsert"))
        insert->menuAction()->setEnabled(editorFocus);
    enable("miEditSortLines", editorFocus && editorLineCount() > 1);
    enable("btnPasteSibling", clipText && treeFocus && sel);
    enable("btnPasteChild", clipText && treeFocus && sel);
    for (const char *name : {"btnRename", "miNotesRename", "miNotesCut", "miNotesCopy"})
        enable(name, treeFocus && sel);
    enable("btnDeleteNote", treeFocus && sel && !editing);
    enable("miNotesDelete", treeFocus && sel && !editing && count > 1);
    enable("miNotesPaste", treeFocus && clipNotes);
    const bool movable = treeFocus && sel && count > 1;
    for (const char *name : {"miSortTree", "miMoveUp", "miMoveDown", "miMoveLeft", "miMoveRight",
                             "btnMoveUp", "btnMoveDown", "btnMoveLeft", "btnMoveRight"})
        enable(name, movable);
    for (const char *name : {"miNotesSort", "miNotesMove"}) {
        if (QMenu *m = menu(name))
            m->menuAction()->setEnabled(movable);
    }
    enable("miSortChildren", treeFocus && sel && selected->HasChildren());
    // The tree pop-up
    enable("miPasteNote", clipNotes);
    for (const char *name : {"miCutNote", "miCopyNote", "miDeleteNote", "miCopyLink"})
        enable(name, sel);
    // The editor pop-up
    enable("miCutText", editorSelection);
    enable("miCopyText", editorSelection);
    enable("miPasteText", action("btnPaste")->isEnabled());
    enable("miUndoEdit", canUndo);
    enable("miSetNoteCaption", editorSelection && sel);

    action("miSettingsWordWrap")->setChecked(Settings->WordWrap);
    action("miSettingsOnTop")->setChecked(Settings->StayOnTop);
}
