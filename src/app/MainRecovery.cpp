// Unsaved changes outlive a crash, a kill or the end of the session: a few seconds
// after the last change the document goes into a recovery copy, the next start offers
// the copies that were left behind, and a termination signal closes the window the
// normal way without asking anything.

#include "app/Main.h"

#include "app/MessageService.h"
#include "app/qkRichedit.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/Pass.h"
#include "notes/Recovery.h"
#include "settings/LngMan.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

int TfrmMain::RecoveryQuietMs = 2000;
int TfrmMain::RecoveryLongestMs = 30000;

void TfrmMain::createRecovery()
{
    m_recovery = std::make_unique<TRecoveryStore>();
    m_recoveryTimer = new QTimer(this);
    m_recoveryTimer->setSingleShot(true);
    connect(m_recoveryTimer, &QTimer::timeout, this, &TfrmMain::writeRecoveryCopy);
    // Typing, and changes to the tree once the document is already marked modified.
    connect(Notes, &QPlainTextEdit::textChanged, this, [this] {
        if (m_editorLoading == 0)
            documentChanged();
    });
    const auto changed = [this] { documentChanged(); };
    connect(TopicTreeModel, &QAbstractItemModel::rowsInserted, this, changed);
    connect(TopicTreeModel, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(TopicTreeModel, &QAbstractItemModel::rowsMoved, this, changed);
    connect(TopicTreeModel, &QAbstractItemModel::dataChanged, this, changed);
}

void TfrmMain::documentChanged()
{
    if (!m_recovery || !m_modified || m_closing || m_signalClosing || m_writingRecovery)
        return;
    if (!m_changesSince.isValid())
        m_changesSince.start();
    // A few seconds after the last change, and no later than the longest delay while
    // changes go on; a document whose copy takes long to write waits longer.
    const qint64 quiet = std::max<qint64>(RecoveryQuietMs, 10 * m_recoveryWriteMs);
    const qint64 left = std::max<qint64>(
        0, std::max<qint64>(RecoveryLongestMs, quiet) - m_changesSince.elapsed());
    m_recoveryTimer->start(int(std::min(quiet, left)));
}

QString TfrmMain::recoveryPassword() const
{
    // While Save As runs the document's password is set aside; its copy still needs it.
    return m_filePassword.isEmpty() ? m_passwordAside : m_filePassword;
}

void TfrmMain::writeRecoveryCopy()
{
    m_recoveryTimer->stop();
    m_changesSince.invalidate();
    if (!m_modified || m_closing || !m_recovery)
        return;
    const QString password = recoveryPassword();
    // An enciphered document whose password is not known yet has no copy: it would
    // be its plain text on disk.
    if (password.isEmpty() && TArchive::IsEncryptedName(m_noteFile))
        return;
    m_writingRecovery = true;
    const auto done = qScopeGuard([this] { m_writingRecovery = false; });
    QElapsedTimer took;
    took.start();
    StoreEditorText();
    TRecoveryInfo about;
    about.Document = m_noteFile;
    // Enciphered as the document is: a strong document's text never goes into the weak
    // format, and its key is the document's own, not derived again for every copy.
    about.Extension = password.isEmpty() ? u"vlt"_s
        : TArchive::EnciphermentOf(m_noteFile) == TArchive::TEncipherment::Compatible
        ? u"vle"_s
        : u"vlx"_s;
    about.Written = QDateTime::currentDateTime();
    about.Stamp = m_fileStamp;
    try {
        m_recovery->Store(about, [this, &password](const QString &path) {
            TArchive archive(TopicTreeModel);
            archive.Password = password;
            archive.FileKey = m_fileKey;
            archive.Title = m_docTitle;
            archive.LastNode = TopicTree->selectedNote();
            archive.Encoding = m_fileEncoding;
            archive.WriteNotes(nullptr, path);
            // A key derived for the copy serves the next copies and the save.
            if (archive.FileKey.Password == m_filePassword)
                m_fileKey = archive.FileKey;
        });
        m_recoveryFailedSaid = false;
    } catch (const EVellumtreeError &e) {
        std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        // Said once until a copy can be written again, not at every pause in typing.
        if (!std::exchange(m_recoveryFailedSaid, true) && !m_signalClosing)
            TMessageService::Notify(
                this, message(u"recovery_failed"_s, e.message()), QMessageBox::Warning);
    }
    m_recoveryWriteMs = took.elapsed();
}

void TfrmMain::discardRecoveryCopy()
{
    if (!m_recovery || m_signalClosing)
        return;
    m_recoveryTimer->stop();
    m_changesSince.invalidate();
    m_recovery->Discard();
}

void TfrmMain::OfferRecoveryCopies()
{
    if (!m_recovery || m_closing)
        return;
    const QList<TRecoveryInfo> copies = m_recovery->Leftovers();
    for (const TRecoveryInfo &copy : copies) {
        const QString document = copy.Document.isEmpty() || isUntitled(copy.Document)
            ? text(u"recovery_untitled"_s)
            : QDir::toNativeSeparators(copy.Document);
        QStringList lines { message(u"recovery_offer"_s, document),
            message(u"recovery_written"_s, QLocale().toString(copy.Written, QLocale::LongFormat)) };
        const TFileStamp now = TFileStamp::Of(copy.Document);
        if (!copy.Document.isEmpty() && now.Exists && now != copy.Stamp)
            lines << message(u"recovery_file_changed"_s);
        lines << message(u"recovery_choices"_s);
        TMessageRequest request;
        request.Text = lines.join(u'\n');
        request.Icon = QMessageBox::Warning;
        request.Buttons = QMessageBox::Yes | QMessageBox::Discard | QMessageBox::Ignore;
        request.DefaultButton = QMessageBox::Yes;
        request.ButtonTexts = { { QMessageBox::Yes, text(u"btn_recover"_s) },
            { QMessageBox::Discard, text(u"btn_discard"_s) },
            { QMessageBox::Ignore, text(u"btn_dismiss"_s) } };
        const auto answer = TMessageService::Show(this, request);
        if (m_closing)
            return;
        if (answer == QMessageBox::Discard) {
            m_recovery->Remove(copy);
        } else if (answer == QMessageBox::Yes) {
            // One document at a time: the other copies wait for the next start.
            if (ConfirmSaveChanges() && recoverDocument(copy))
                return;
        }
    }
}

bool TfrmMain::recoverDocument(const TRecoveryInfo &copy)
{
    QString password;
    if (TArchive::IsEncryptedName(copy.CopyPath)) {
        TfrmPassword dialog(this);
        dialog.FileName = copy.Document;
        if (!dialog.AskPassword())
            return false;
        password = dialog.Password;
    }
    StoreEditorText();
    TArchive archive(TopicTreeModel);
    archive.Password = password;
    try {
        if (!archive.ReadNotes(nullptr, copy.CopyPath)) {
            TMessageService::ShowError(this,
                TArchive::EnciphermentOf(copy.CopyPath) == TArchive::TEncipherment::Compatible
                    ? EInvalidPassword().message()
                    : message(u"not_notes_file"_s, copy.CopyPath));
            return false;
        }
    } catch (const EVellumtreeError &e) {
        TMessageService::ShowError(this, e.message());
        return false;
    }
    clearEditor();
    m_filePassword = password;
    m_fileKey = archive.FileKey;
    m_fileEncoding = archive.Encoding;
    m_docTitle = archive.Title;
    setPlainFile(QString());
    m_damagedOriginal.clear();
    const QString document = copy.Document.isEmpty() ? u"Notes.vlt"_s : copy.Document;
    // The file as it was when the copy was made: a change made to it since is one the
    // next save asks about.
    if (copy.Document.isEmpty() || isUntitled(copy.Document))
        rememberFile(QString(), TFileStamp());
    else
        rememberFile(document, copy.Stamp);
    TNote *note = archive.LastNode ? archive.LastNode : TopicTreeModel->FirstNote();
    TopicTree->selectNote(note);
    ShowNote(note);
    TopicTree->setFocus();
    // Not saved yet: the document is modified, and this session's copy takes over
    // from the one recovered.
    SetModified(true);
    SetNoteFile(document);
    writeRecoveryCopy();
    if (m_recovery->HasCopy())
        m_recovery->Remove(copy);
    return true;
}

void TfrmMain::CloseForSignal(int signalNumber)
{
    if (m_signalClosing)
        return;
    // Nobody may be there to answer: messages go to standard error.
    TMessageService::Unattended = true;
    if (!m_closing && m_modified) {
        // The rule for closing applies, unless a dialog holds the document: a save
        // dialog or a password question is in the middle of its own save.
        const bool busy = m_dialogOpen || QApplication::activeModalWidget() != nullptr;
        if (!busy && Settings->AutoSave == 2 && QFileInfo::exists(m_noteFile)
            && !isUntitled(m_noteFile))
            SaveDocument(m_noteFile, true);
    }
    // From here on the copy stays, whatever a dialog that ends now goes on to do: only
    // the next start removes it.
    m_signalClosing = true;
    if (!m_closing && m_modified)
        writeRecoveryCopy();
    close();
    // Also ends the loop of any dialog that is open.
    QCoreApplication::exit(128 + signalNumber);
}
