// The main window's print commands.

#include "app/Main.h"

#include "app/qkRichedit.h"
#include "notes/NoteTreeView.h"
#include "print/Print.h"
#include "settings/Settings.h"

#include <QAction>
#include <QFileInfo>

void TfrmMain::miFilePrintClick()
{
    OpenPrintDialog(0);
}

void TfrmMain::miPrintNoteClick()
{
    const auto *item = qobject_cast<QAction *>(sender());
    OpenPrintDialog(item ? item->data().toInt() : 0);
}

void TfrmMain::OpenPrintDialog(int scope)
{
    // The branch and the whole tree print the bodies as stored: the open note's
    // latest edits go into it first.
    StoreEditorText();
    TPrintSource source;
    source.Tree = TopicTreeModel;
    source.Selected = TopicTree->selectedNote();
    source.EditorText = Notes->BodyText();
    source.TabSize = Notes->TabSize();
    // A document never saved has only its default name: no title then.
    source.NoteFile
        = QFileInfo::exists(m_noteFile) ? QFileInfo(m_noteFile).absoluteFilePath() : QString();
    source.EditorFont = Settings->EditorFont;
    m_dialogOpen = true;
    ShowPrintDialog(this, source, scope);
    m_dialogOpen = false;
}
