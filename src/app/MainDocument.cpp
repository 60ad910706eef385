// The document's life: new, open, load, save, backup, autosave, the modified
// marker and caption, and the hand-over of a note's body between tree and editor.

#include "app/Main.h"

#include "app/MainText.h"
#include "app/MessageService.h"
#include "app/SingleInstance.h"
#include "app/qkRichedit.h"
#include "app/qkRicheditText.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/NoteUndo.h"
#include "notes/Pass.h"
#include "settings/LngMan.h"
#include "settings/Settings.h"
#include "settings/Utils.h"
#include "settings/UtilsFile.h"
#include "settings/UtilsGui.h"
#include "settings/qkMRUList.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QSystemTrayIcon>
#include <QTimer>

#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString kUntitled = u"Notes.vlt"_s;

bool isHelpDocument(const QString &fileName)
{
    const QFileInfo help(ProgramFilePath(u"Help.vlt"_s));
    return help.exists() && QFileInfo(fileName).canonicalFilePath() == help.canonicalFilePath();
}

} // namespace

bool TfrmMain::isUntitled(const QString &fileName)
{
    return QFileInfo(fileName).fileName() == kUntitled;
}

void TfrmMain::SetNoteFile(const QString &name)
{
    if (m_closing || name.isEmpty())
        return;
    // Only a new name is remembered: refreshing the caption must not undo the start's
    // care to keep the last file when the window begins with the default name.
    if (name != m_noteFile)
        Settings->LastFile = name;
    m_noteFile = name;
    const QString shown = Settings->FullPathOnCaption ? QDir::toNativeSeparators(name)
                                                      : QFileInfo(name).fileName();
    const QString caption = (m_modified ? u"Vellumtree - [*%1]"_s : u"Vellumtree - [%1]"_s)
                                .arg(shown);
    // "[*]" in a window title is Qt's placeholder for the modified mark; the caption
    // carries its own star, so no placeholder may remain.
    setWindowTitle(QString(caption).replace(u"[*]"_s, u"[*][*]"_s));
    if (trayMain && trayMain->toolTip() != MainText::TrayTip(caption))
        trayMain->setToolTip(MainText::TrayTip(caption));
}

void TfrmMain::SetModified(bool value)
{
    if (value && !m_recordingChange)
        m_changedBeyondUndo = true;
    if (!value) {
        // Saved, or given up: the tree as it is now is the one the file holds.
        m_changedBeyondUndo = false;
        m_undo->SetClean();
    }
    m_modified = value;
    SetNoteFile(m_noteFile);
    updateCommandStates();
    // A change schedules the recovery copy; a saved or given-up document has none, and
    // the next untitled one is asked for a name at a switch again.
    if (value) {
        documentChanged();
    } else {
        discardRecoveryCopy();
        m_switchSaveAsked = false;
    }
}

void TfrmMain::clearEditor()
{
    m_hiddenNote = nullptr;
    Notes->setPlaceholderText({});
    ++m_editorLoading;
    Notes->clear();
    Notes->document()->setModified(false);
    --m_editorLoading;
    // Text typed while no note is selected would have nowhere to go.
    Notes->setReadOnly(TopicTree->selectedNote() == nullptr);
}

void TfrmMain::ShowNote(TNote *note)
{
    if (!note)
        return;
    const bool wasHidden = m_hiddenNote != nullptr;
    m_hiddenNote = nullptr;
    qsizetype length = 0;
    qsizetype lines = 0;
    if (!FitsEditor(note->BodyText(), &length, &lines)) {
        // Said in the editor itself, which stays empty and takes no typing: an empty
        // text stored back would replace the note's.
        m_hiddenNote = note;
        ++m_editorLoading;
        Notes->clear();
        Notes->document()->setModified(false);
        --m_editorLoading;
        Notes->setReadOnly(true);
        Notes->setPlaceholderText(
            FormatString(FormatString(text(u"too_large"_s), QLocale().toString(qint64(length))),
                         QLocale().toString(qint64(lines))));
        return;
    }
    if (wasHidden) {
        Notes->setPlaceholderText({});
        Notes->setReadOnly(false);
    }
    const QString &body = note->BodyText();
    if (Notes->BodyText() == body)
        return;
    std::optional<TBusyCursor> wait;
    if (SlowForEditor(length, lines))
        wait.emplace();
    ++m_editorLoading;
    Notes->setUpdatesEnabled(false);
    Notes->SetBodyText(body);
    Notes->document()->setModified(false);
    Notes->setUpdatesEnabled(true);
    --m_editorLoading;
}

void TfrmMain::StoreEditorText()
{
    storeEditorTextInto(TopicTree->selectedNote());
}

void TfrmMain::storeEditorTextInto(TNote *note)
{
    if (!note || note == m_hiddenNote)
        return;
    const QString text = Notes->BodyText();
    if (note->BodyText() != text)
        note->SetBodyText(text);
}

void TfrmMain::TopicTreeChange(TNote *current, TNote *previous)
{
    // The text typed for the note that was selected goes into it first.
    storeEditorTextInto(previous);
    Notes->setReadOnly(current == nullptr);
    if (current)
        ShowNote(current);
    else
        clearEditor();
    updateCommandStates();
}

void TfrmMain::NotesChange()
{
    // The editor's flag only ever marks the document: undoing the last edit must not
    // hide changes made to the tree.
    if (m_editorLoading != 0 || !Notes->document()->isModified())
        return;
    // Typing is no step of the tree's undo: undoing those steps keeps the mark.
    m_changedBeyondUndo = true;
    if (!m_modified)
        SetModified(true);
}

bool TfrmMain::ConfirmSaveChanges()
{
    if (m_dialogOpen || !m_modified)
        return true;
    const auto answer = TMessageService::Ask(
        this, text(u"prompt_save"_s) + u"\n"_s + m_noteFile + u"?"_s,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::Yes) {
        miFileSaveClick();
        return !m_modified;
    }
    // The changes are given up. Should the document stay all the same (the file
    // chosen next cannot be read), the next change makes a new copy.
    if (answer == QMessageBox::No)
        discardRecoveryCopy();
    return true;
}

bool TfrmMain::LoadDocument(const QString &name)
{
    if (!QFileInfo::exists(name))
        return false;
    QString password;
    // No password is asked for a file that cannot be opened anyway: reading says why.
    const QFileInfo info(name);
    if (TArchive::IsEncryptedName(name) && info.isFile() && info.size() <= TArchive::MaxFileSize) {
        TfrmPassword dialog(this);
        dialog.FileName = name;
        if (!dialog.AskPassword())
            return false;
        password = dialog.Password;
    }
    return readDocument(name, password);
}

bool TfrmMain::readDocument(const QString &name, const QString &password)
{
    // Taken before the read: a change made while it runs shows at the next save.
    const TFileStamp stamp = TFileStamp::Of(ResolvedFilePath(name));
    // The current note keeps what was typed, whether or not the file replaces it.
    StoreEditorText();
    const TBusyCursor wait;
    TArchive archive(TopicTreeModel);
    archive.Password = password;
    archive.FileKey = m_fileKey;
    try {
        if (!archive.ReadNotes(nullptr, name)) {
            // For a .vle "not a notes file" nearly always means a wrong password (a .vlx
            // says so itself); saying nothing would leave the user guessing.
            if (TArchive::EnciphermentOf(name) == TArchive::TEncipherment::Compatible) {
                TMessageService::ShowError(this, EInvalidPassword().message());
            } else {
                // Saying nothing would leave the user wondering whether anything happened.
                TMessageService::Notify(this, FormatString(text(u"not_notes_file"_s), name),
                                        QMessageBox::Warning);
            }
            return false;
        }
    } catch (const EVellumtreeError &e) {
        TMessageService::ShowError(this, e.message());
        return false;
    }
    m_filePassword = password;
    m_fileKey = archive.FileKey;
    m_fileEncoding = archive.Encoding;
    setPlainFile(password.isEmpty() ? name : QString());
    clearEditor();
    SetNoteFile(name);
    Settings->LastOpenFolder = QFileInfo(name).absolutePath();
    SetModified(false);
    if (archive.LastNode && Settings->RememberLastNote) {
        TopicTree->selectNote(archive.LastNode);
        ShowNote(archive.LastNode);
    }
    m_docTitle = archive.Title;
    rememberFile(name, stamp);
    m_damagedOriginal.clear();
    if (archive.Damage.Any()) {
        m_damagedOriginal = QFileInfo(ResolvedFilePath(name)).absoluteFilePath();
        reportDamage(name, archive.Damage);
    }
    return true;
}

void TfrmMain::reportDamage(const QString &name, const TArchive::TDamage &damage)
{
    QStringList found{message(u"file_damaged"_s, name)};
    if (damage.NulAt >= 0)
        found << message(u"damage_nul"_s, QString::number(damage.NulAt));
    if (damage.Unclosed)
        found << message(u"damage_unclosed"_s);
    found << message(u"damage_notes"_s, QString::number(damage.NotesRead));
    found << message(u"damage_keep"_s, damagedCopyName(m_damagedOriginal));
    TMessageService::Notify(this, found.join(u'\n'), QMessageBox::Warning);
}

QString TfrmMain::damagedCopyName(const QString &original)
{
    // Beside the file and never over an earlier copy: "notes.damaged.vlt",
    // "notes.damaged-2.vlt", ...
    const QFileInfo info(original);
    const QString stem = info.absolutePath() + u'/' + info.completeBaseName() + u".damaged"_s;
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    QString name = stem + suffix;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = stem + u'-' + QString::number(n) + suffix;
    return name;
}

bool TfrmMain::keepDamagedOriginal(const QString &target)
{
    if (m_damagedOriginal.isEmpty()
        || QFileInfo(ResolvedFilePath(target)).absoluteFilePath() != m_damagedOriginal)
        return true;
    if (!QFileInfo(m_damagedOriginal).isFile()) {
        m_damagedOriginal.clear();
        return true;
    }
    // The save writes only what was read: the untouched original is kept first, or
    // nothing is written at all.
    const QString copy = damagedCopyName(m_damagedOriginal);
    QFile source(m_damagedOriginal);
    QByteArray bytes;
    if (source.open(QIODevice::ReadOnly))
        bytes = source.readAll();
    try {
        if (source.error() != QFileDevice::NoError)
            throw EFileError(u"Cannot read file \"%1\". %2"_s.arg(
                QDir::toNativeSeparators(m_damagedOriginal), source.errorString()));
        WriteFileAtomically(copy, bytes);
    } catch (const EVellumtreeError &e) {
        TMessageService::ShowError(this, e.message());
        return false;
    }
    m_damagedOriginal.clear();
    TMessageService::Notify(this, message(u"damage_kept"_s, copy));
    return true;
}

void TfrmMain::OpenDocument(const QString &name)
{
    if (QFileInfo::exists(name)) {
        const QString path = name.contains(u'~') ? QFileInfo(name).absoluteFilePath() : name;
        if (LoadDocument(path))
            mruMain->AddFile(path);
        if (TNote *note = TopicTree->selectedNote()) {
            ShowNote(note);
            TopicTree->setFocus();
            TopicTree->selectNote(note);
        } else {
            TopicTree->selectNote(TopicTreeModel->FirstNote());
        }
        return;
    }
    const auto answer = TMessageService::Ask(this, FormatString(text(u"prompt_create"_s), name),
                                             QMessageBox::Yes | QMessageBox::No,
                                             QMessageBox::Yes);
    if (answer != QMessageBox::Yes || !ConfirmSaveChanges())
        return;
    clearEditor();
    TopicTreeModel->ResetTree();
    // A new file starts without the password of the document it replaces.
    m_filePassword.clear();
    m_fileKey = {};
    m_fileEncoding = TTextEncoding::Utf8;
    setPlainFile(QString());
    SetNoteFile(name);
    // Not there yet: a file that appears at that name before the first save is
    // someone else's.
    rememberFile(name, TFileStamp::Of(name));
    addRootNote();
    ShowNote(TopicTree->selectedNote());
    TopicTree->setFocus();
}

QString TfrmMain::backupPathFor(const QString &target) const
{
    // A link as the notes file is backed up where its target is, under its name.
    return BackupFilePath(target, Settings->BackupFolder);
}

void TfrmMain::setPlainFile(const QString &name)
{
    m_plainFile = name;
    m_deletePlainOnSave = false;
}

void TfrmMain::afterSave(const QString &target, bool deleteOriginal)
{
    if (!TArchive::IsEncryptedName(target)) {
        setPlainFile(target);
        return;
    }
    // "Delete original file" means this document's own plain file, the one it was read
    // from or last saved as, never another file that happens to share its name; and
    // only now that the enciphered file is safely written.
    if (!deleteOriginal && !m_deletePlainOnSave)
        return;
    const QString plain = m_plainFile;
    setPlainFile(QString());
    if (plain.isEmpty())
        return;
    if (QFileInfo(plain).isFile() && QFile::remove(plain)) {
        // Reopen and the next start lead to the enciphered file, not to one that is gone.
        mruMain->RemoveMissingFiles();
        mruMain->AddFile(target);
        if (Settings->LastFile == plain)
            Settings->LastFile = target;
    }
    // Its backup holds the plain text too, unless it is the enciphered backup that
    // this save has just made.
    QFile backup(backupPathFor(plain));
    if (QFileInfo(backup.fileName()).isFile() && backup.open(QIODevice::ReadOnly)
        && !TArchive::IsEncipheredData(backup.read(8))) {
        backup.close();
        backup.remove();
    }
}

bool TfrmMain::SaveDocument(const QString &name, bool automatic)
{
    if (automatic && isHelpDocument(name))
        return false;
    // The name of the file really written: a ".VLE" name is written in lower case.
    QString target = TArchive::IsEncryptedName(name) ? TArchive::EncryptedName(name) : name;
    if (!mayOverwrite(target, automatic))
        return false;
    bool deleteOriginal = false;
    if (TArchive::IsEncryptedName(name) && m_filePassword.isEmpty()) {
        TfrmPassword dialog(this);
        dialog.FileName = name;
        const bool confirmed = dialog.AskNewPassword();
        m_filePassword = confirmed ? dialog.Password : QString();
        if (!confirmed)
            return false;
        deleteOriginal = dialog.DeleteOriginal;
        // The format chosen names the file; another name is checked anew.
        const QString chosen = TArchive::EncryptedName(name, dialog.Format);
        if (chosen != target) {
            target = chosen;
            if (!mayOverwrite(target, automatic)) {
                m_filePassword.clear();
                return false;
            }
        }
    }

    const TBusyCursor wait;
    StoreEditorText();
    if (Settings->TrimSpaces) {
        // Only the notes trimmed are kept: a save must not copy every note's text.
        auto trim = std::make_unique<TTextChange>();
        TopicTreeModel->TrimNotes([&trim](TNote *note) { trim->Add(note); });
        trim->Finish();
        if (!trim->IsEmpty()) {
            TNote *selected = TopicTree->selectedNote();
            RecordTreeChange(std::move(trim), selected, u"undo_trim"_s, u"Trim spaces"_s);
        }
    }

    TArchive archive(TopicTreeModel);
    archive.Password = m_filePassword;
    archive.FileKey = m_fileKey;
    archive.Title = m_docTitle;
    archive.LastNode = Settings->RememberLastNote ? TopicTree->selectedNote() : nullptr;
    archive.Encoding = m_fileEncoding;

    const QString backup = Settings->Backup ? backupPathFor(target) : QString();
    if (!keepDamagedOriginal(target))
        return false;
    try {
        archive.WriteNotes(nullptr, target, backup);
    } catch (const EVellumtreeError &e) {
        TMessageService::ShowError(this, e.message());
        return false;
    }
    afterSave(target, deleteOriginal);
    m_fileKey = archive.FileKey;
    m_fileEncoding = archive.Encoding;
    SetModified(false);
    // The name of the file really written: a ".VLE" name is written in lower case.
    SetNoteFile(target);
    rememberFile(target, TFileStamp::Of(ResolvedFilePath(target)));
    Settings->LastSaveFolder = QFileInfo(target).absolutePath();
    return true;
}

bool TfrmMain::mayOverwrite(const QString &target, bool automatic)
{
    // Another program changed the file since it was read or saved: an automatic save
    // never overwrites that, and the user decides for any other.
    if (fileChangedOnDisk(target)) {
        if (automatic) {
            autosaveSkipped(target);
            return false;
        }
        if (!confirmOverwriteChanged(target))
            return false;
    }
    // A file its owner made read-only is not replaced; the user may choose a new name.
    if (IsReadOnlyFile(target)) {
        if (automatic) {
            if (!std::exchange(m_readOnlySaid, true))
                TMessageService::Notify(this, message(u"autosave_read_only"_s, target),
                                        QMessageBox::Warning);
        } else if (TMessageService::Ask(this, message(u"file_read_only"_s, target),
                                        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes,
                                        QMessageBox::Warning)
                   == QMessageBox::Yes) {
            miFileSaveAsClick();
        }
        return false;
    }
    return true;
}

QString TfrmMain::initialFolder(const QString &last, const QString &fallback) const
{
    const QString chosen = Settings->RememberLastFolder ? last : fallback;
    return chosen.isEmpty() ? ProgramFolder() : chosen;
}

QString TfrmMain::dialogFilter(const QString &languageFilter) const
{
    // The language text is "description|patterns|description|patterns...", and a
    // description may carry its patterns in brackets already.
    const QStringList parts = languageFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const qsizetype bracket = description.lastIndexOf(u'(');
        if (bracket > 0 && description.endsWith(u')'))
            description = description.left(bracket).trimmed();
        QString patterns = parts[i + 1];
        filters << description + u" ("_s + patterns.replace(u';', u' ') + u')';
    }
    return filters.isEmpty() ? u"Vellumtree notes (*.vlt *.vlx *.vle);;All files (*)"_s
                             : filters.join(u";;"_s);
}

QString TfrmMain::runFileDialog(bool save, const QString &folder, const TFileDialogTexts *relabel)
{
    m_dialogOpen = true;
    // The dialogs' own texts live in the main window's section; import and export
    // lend them others for one run.
    const QString prefix = save ? u"dlgSave"_s : u"dlgOpen"_s;
    QString title = LanguageManager().GetString(prefix + u".Title"_s, u"frmMain"_s);
    QString ok = LanguageManager().GetString(prefix + u".OKText"_s, u"frmMain"_s);
    // After import or export lent it other texts, a dialog gets back the plain
    // "Open" / "Save" texts as its title and button.
    if (save ? m_saveDialogRelabelled : m_openDialogRelabelled)
        title = ok = text(save ? u"btn_save"_s : u"btn_open"_s);
    (save ? m_saveDialogRelabelled : m_openDialogRelabelled) |= relabel != nullptr;
    m_fileDialogTexts = relabel ? *relabel
                                : TFileDialogTexts{title.isEmpty() ? (save ? u"Save"_s : u"Open"_s)
                                                                   : title,
                                                   ok.isEmpty() ? (save ? u"&Save"_s : u"&Open"_s)
                                                                : ok,
                                                   text(u"filter"_s), QString()};
    const TFileDialogTexts &texts = m_fileDialogTexts;
    QString chosen;
    if (ChooseFile) {
        chosen = ChooseFile(this, save, folder);
    } else {
        QFileDialog dialog(this, texts.Title, folder, dialogFilter(texts.Filter));
        dialog.setObjectName(save ? u"dlgSave"_s : u"dlgOpen"_s);
        dialog.setDefaultSuffix(u"vlt"_s);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        // The open dialog takes missing names too: opening one offers to create it.
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !save);
        dialog.setOption(QFileDialog::ReadOnly, false);
        dialog.setLabelText(QFileDialog::Accept, texts.OkText);
        if (!texts.FileName.isEmpty())
            dialog.selectFile(texts.FileName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().first();
    }
    // The dialogs' usual texts are back for the next run.
    m_fileDialogTexts = {};
    m_dialogOpen = false;
    return chosen;
}

void TfrmMain::miFileNewClick()
{
    if (!ConfirmSaveChanges())
        return;
    clearEditor();
    TopicTreeModel->ResetTree();
    TopicTree->setFocus();
    addRootNote();
    ShowNote(TopicTree->selectedNote());
    SetModified(false);
    SetNoteFile(kUntitled);
    m_filePassword.clear();
    m_fileKey = {};
    m_fileEncoding = TTextEncoding::Utf8;
    // A new document has a title of its own, not the one of the file it replaces.
    m_docTitle.clear();
    setPlainFile(QString());
}

void TfrmMain::miFileOpenClick()
{
    const QString name = runFileDialog(
        false, initialFolder(Settings->LastOpenFolder, Settings->DefaultOpenFolder));
    if (!name.isEmpty() && ConfirmSaveChanges())
        OpenDocument(name);
}

void TfrmMain::miFileSaveClick()
{
    // The installed help document is never written over: edits to it go elsewhere.
    if (!isUntitled(m_noteFile) && !isHelpDocument(m_noteFile))
        SaveDocument(m_noteFile);
    else
        miFileSaveAsClick();
}

void TfrmMain::miFileSaveAsClick()
{
    const QString name = runFileDialog(
        true, initialFolder(Settings->LastSaveFolder, Settings->DefaultSaveFolder));
    if (name.isEmpty())
        return;
    // The new file gets a password of its own; until it is written the document keeps
    // the one it has, so a failed Save As never re-keys the next Ctrl+S.
    const QString password = std::exchange(m_filePassword, QString());
    m_passwordAside = password;
    const auto aside = qScopeGuard([this] { m_passwordAside.clear(); });
    const bool deletePlain = std::exchange(m_deletePlainOnSave, false);
    if (SaveDocument(name)) {
        mruMain->AddFile(m_noteFile);
        mruMain->RemoveMissingFiles();
    } else {
        m_filePassword = password;
        m_deletePlainOnSave = deletePlain;
    }
}

void TfrmMain::miFileExitClick()
{
    close();
}

void TfrmMain::miFileEncryptClick()
{
    TfrmPassword dialog(this);
    dialog.FileName = m_noteFile;
    if (!dialog.AskNewPassword())
        return;
    m_filePassword = dialog.Password;
    // The plain file goes once the next save has written the enciphered one.
    m_deletePlainOnSave = dialog.DeleteOriginal;
    SetNoteFile(TArchive::EncryptedName(m_noteFile, dialog.Format));
    SetModified(true);
}

void TfrmMain::MRUMRUItemClick(const QString &fileName)
{
    if (QFileInfo::exists(fileName)) {
        if (ConfirmSaveChanges())
            OpenDocument(fileName);
        return;
    }
    TMessageService::Notify(this, FormatString(text(u"file_not_found"_s), fileName));
    mruMain->RemoveMissingFiles();
}

void TfrmMain::OpenHelpDocument()
{
    if (ConfirmSaveChanges())
        OpenDocument(ProgramFilePath(u"Help.vlt"_s));
}

void TfrmMain::tmrAutosaveTimer()
{
    // While a message is open - the error of the last automatic save, say - another
    // attempt would only stack a second box on it.
    if (TMessageService::IsShowing())
        return;
    // An untitled document has no file the user chose; writing it under the default
    // name could replace an unrelated file in the current folder.
    if ((Settings->AutoSave == 3 || Settings->AutoSave == 4) && m_modified
        && !m_noteFile.isEmpty() && !isUntitled(m_noteFile))
        SaveDocument(m_noteFile, true);
}

void TfrmMain::AutoSaveOnSwitch()
{
    // Switching to and from an open message (an automatic save's error on a full
    // disk) deactivates the window each time: one box at a time, and no save meanwhile.
    if (!m_modified || (Settings->AutoSave != 1 && Settings->AutoSave != 2)
        || m_noteFile.isEmpty() || TMessageService::IsShowing())
        return;
    if (!isUntitled(m_noteFile)) {
        SaveDocument(m_noteFile, true);
        return;
    }
    // Asked once for a document: a Cancel means the user will save it when ready.
    if (m_dialogOpen || std::exchange(m_switchSaveAsked, true))
        return;
    action("miRestore")->trigger();
    const QString name = runFileDialog(
        true, initialFolder(Settings->LastSaveFolder, Settings->DefaultSaveFolder));
    if (!name.isEmpty())
        SaveDocument(name);
}

bool TfrmMain::FormCloseQuery()
{
    if (m_modified && Settings->AutoSave == 2 && QFileInfo::exists(m_noteFile))
        SaveDocument(m_noteFile, true);
    return ConfirmSaveChanges();
}

void TfrmMain::HandleOpenRequest(const QString &text, const QString &activationToken)
{
    m_openRequests.append(text);
    if (!activationToken.isEmpty())
        m_activationToken = activationToken;
    // A dialog that holds the request up must be seen, or the second start seems to
    // hang while it waits: the window comes forward with it.
    if (m_dialogOpen || TMessageService::IsShowing() || QApplication::activeModalWidget())
        bringForward();
    runOpenRequests();
}

void TfrmMain::bringForward()
{
    // Qt's Wayland window takes the token from where a launcher leaves it; it is good
    // for one activation only.
    if (!m_activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", std::exchange(m_activationToken, {}).toUtf8());
    action("miRestore")->trigger();
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

void TfrmMain::runOpenRequests()
{
    if (m_openRequests.isEmpty() || m_closing)
        return;
    // While a dialog is open the document must not change under it (a save dialog
    // would save the other document under its name): the request waits until every
    // dialog is closed, and then asks about unsaved changes as usual.
    if (m_runningRequest || m_dialogOpen || TMessageService::IsShowing()
        || QApplication::activeModalWidget()) {
        m_requestTimer->start();
        return;
    }
    m_runningRequest = true;
    const auto done = qScopeGuard([this] { m_runningRequest = false; });
    const QString text = m_openRequests.takeFirst();
    if (!THandOverRequest::IsNoParams(text)) {
        // A question (unsaved changes, a file to create) asked from a window in the tray
        // or behind others goes unseen, and the second start waits for its answer:
        // under Wayland nothing brings such a window forward by itself.
        if (!isActiveWindow() || isMinimized() || isHidden())
            bringForward();
        if (ConfirmSaveChanges())
            OpenDocument(text);
    }
    if (trayMain->isVisible()) {
        trayMain->hide();
        trayMain->show();
    }
    bringForward();
    if (!m_openRequests.isEmpty())
        m_requestTimer->start();
}
