// File → Import and File → Export, and opening the search dialog.

#include "app/Main.h"

#include "app/ImportExport.h"
#include "app/MessageService.h"
#include "find/Find.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/NoteUndo.h"
#include "notes/Pass.h"
#include "settings/LngMan.h"
#include "settings/Settings.h"
#include "settings/UtilsGui.h"

#include <QCheckBox>

using namespace Qt::StringLiterals;

void TfrmMain::miEditSearchClick()
{
    StoreEditorText();
    // One dialog at a time: asking again brings it to the front with the selection.
    if (TfrmSearchReplace *open = TfrmSearchReplace::OpenOver(this)) {
        open->TakeEditorSelection();
        open->raise();
        open->activateWindow();
        return;
    }
    auto *dialog = new TfrmSearchReplace(this);
    dialog->show();
    // Centred once its size is final.
    const QRect main = frameGeometry();
    const QSize size = dialog->frameGeometry().size();
    dialog->move(main.left() + main.width() / 2 - size.width() / 2,
                 main.top() + main.height() / 2 - size.height() / 2);
    updateCommandStates();
}

void TfrmMain::miFileImportClick()
{
    TNote *note = TopicTree->selectedNote();
    if (!note)
        return;
    const TFileDialogTexts texts{FormatString(text(u"prompt_import"_s), note->Title()),
                                 text(u"btn_import"_s), text(u"txt_filter"_s), QString()};
    const QString name = runFileDialog(
        false, initialFolder(Settings->LastOpenFolder, Settings->DefaultOpenFolder), &texts);
    if (name.isEmpty())
        return;
    // An enciphered file is read as notes, never as its cipher text.
    const bool enciphered = TArchive::IsEncryptedName(name);
    QString password;
    if (enciphered) {
        TfrmPassword dialog(this);
        dialog.FileName = name;
        if (!dialog.AskPassword())
            return;
        password = dialog.Password;
    }
    StoreEditorText();
    const TBusyCursor wait;
    try {
        if (enciphered || ImportExport::ImportsAsNotesFile(name)) {
            TArchive archive(TopicTreeModel);
            archive.Password = password;
            const std::vector<TNote *> children = TopicTreeModel->ChildOrder(note);
            const bool read = archive.ReadNotes(note, name);
            // Reading resets the tree's view: the note is selected again.
            TopicTree->selectNote(note);
            // The notes read are new children at the end of the note's.
            std::vector<TNote *> added;
            for (TNote *child : TopicTreeModel->ChildOrder(note)) {
                if (child->Row() >= static_cast<int>(children.size()))
                    added.push_back(child);
            }
            if (!added.empty()) {
                auto change = std::make_unique<TInsertChange>(*TopicTreeModel, added);
                change->Subject = note->Title();
                RecordTreeChange(std::move(change), note, u"undo_import"_s, u"Import"_s);
            }
            if (!read && TArchive::EnciphermentOf(name) == TArchive::TEncipherment::Compatible)
                // nearly always a wrong password: a .vle cannot tell
                TMessageService::ShowError(this, EInvalidPassword().message());
            // A plain file that is not a notes file is passed over in silence.
        } else {
            auto change = std::make_unique<TTextChange>(std::vector<TNote *>{note});
            note->SetBodyText(
                ImportExport::ReadTextBody(name, TextEncoding::systemLegacyEncoding()));
            change->Finish();
            // The body changed: without the mark, closing would lose it.
            RecordTreeChange(std::move(change), note, u"undo_import"_s, u"Import"_s);
        }
    } catch (const EVellumtreeError &e) {
        TMessageService::ShowError(this, e.message());
    }
    ShowNote(note);
}

void TfrmMain::miFileExportClick()
{
    TNote *note = TopicTree->selectedNote();
    if (!note)
        return;
    const TFileDialogTexts texts{FormatString(text(u"prompt_export"_s), note->Title()),
                                 text(u"btn_export"_s), text(u"txt_filter"_s),
                                 ImportExport::ExportFileName(note->Title())};
    const QString name = runFileDialog(
        true, initialFolder(Settings->LastSaveFolder, Settings->DefaultSaveFolder), &texts);
    if (name.isEmpty())
        return;
    // A branch exported under an enciphered name is enciphered, with a password of its
    // own: plain text there could never be opened again.
    const bool enciphered = TArchive::IsEncryptedName(name);
    QString password;
    QString target = name;
    if (enciphered) {
        TfrmPassword dialog(this);
        dialog.FileName = name;
        // The document's own file is not touched by an export.
        dialog.cbDeleteOriginal->setChecked(false);
        dialog.cbDeleteOriginal->setEnabled(false);
        if (!dialog.AskNewPassword())
            return;
        password = dialog.Password;
        target = TArchive::EncryptedName(name, dialog.Format);
    }
    StoreEditorText();
    const TBusyCursor wait;
    try {
        if (enciphered || ImportExport::ExportsAsNotesFile(name)) {
            TArchive archive(TopicTreeModel);
            archive.Encoding = m_fileEncoding;
            archive.Password = password;
            archive.WriteNotes(note, target);
        } else {
            ImportExport::WriteTextFile(name, ImportExport::ExportText(*TopicTreeModel, note),
                                        m_fileEncoding);
        }
    } catch (const EVellumtreeError &e) {
        TMessageService::ShowError(this, e.message());
    }
}
