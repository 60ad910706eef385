// The document's file against other programs: a second window, a sync tool or the
// command-line tool may change it while it is open. The window remembers what the
// file was at the last read or save, asks before a save would overwrite someone
// else's change, and follows the file: an unmodified document reloads by itself, a
// modified one shows a notice with the same choices.

#include "app/Main.h"

#include "app/MessageService.h"
#include "app/qkRichedit.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/Pass.h"
#include "settings/LngMan.h"
#include "settings/Utils.h"
#include "settings/UtilsFile.h"

#include <QApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QString stampPathOf(const QString &fileName)
{
    return fileName.isEmpty() ? QString()
                              : QFileInfo(ResolvedFilePath(fileName)).absoluteFilePath();
}

} // namespace

void TfrmMain::createFileWatch(QWidget *above)
{
    m_fileWatcher = new QFileSystemWatcher(this);
    m_watchTimer = new QTimer(this);
    m_watchTimer->setSingleShot(true);
    // A sync tool writes in steps: look once it has settled.
    m_watchTimer->setInterval(300);
    connect(m_watchTimer, &QTimer::timeout, this, &TfrmMain::fileWatchTimeout);
    connect(m_fileWatcher, &QFileSystemWatcher::fileChanged, m_watchTimer,
            qOverload<>(&QTimer::start));
    // The folder too: a file replaced by a rename, or deleted and made again, drops out
    // of the watch on the file.
    connect(m_fileWatcher, &QFileSystemWatcher::directoryChanged, m_watchTimer,
            qOverload<>(&QTimer::start));

    pnlFileChanged = new QFrame(above);
    pnlFileChanged->setObjectName(u"pnlFileChanged"_s);
    static_cast<QFrame *>(pnlFileChanged)->setFrameShape(QFrame::StyledPanel);
    pnlFileChanged->setAutoFillBackground(true);
    pnlFileChanged->setBackgroundRole(QPalette::ToolTipBase);
    pnlFileChanged->setForegroundRole(QPalette::ToolTipText);
    auto *layout = new QHBoxLayout(pnlFileChanged);
    layout->setContentsMargins(6, 3, 6, 3);
    lblFileChanged = new QLabel(pnlFileChanged);
    lblFileChanged->setObjectName(u"lblFileChanged"_s);
    lblFileChanged->setWordWrap(true);
    lblFileChanged->setForegroundRole(QPalette::ToolTipText);
    layout->addWidget(lblFileChanged, 1);
    const auto addButton = [&](const QString &name, auto handler) {
        auto *button = new QPushButton(pnlFileChanged);
        button->setObjectName(name);
        connect(button, &QPushButton::clicked, this, handler);
        layout->addWidget(button);
        return button;
    };
    addButton(u"btnChangedSaveAs"_s, [this] {
        pnlFileChanged->hide();
        miFileSaveAsClick();
    });
    addButton(u"btnChangedOverwrite"_s, [this] {
        pnlFileChanged->hide();
        // The user has seen the change and chosen to replace it.
        m_fileStamp = TFileStamp::Of(m_stampPath);
        miFileSaveClick();
    });
    addButton(u"btnChangedReload"_s, [this] {
        pnlFileChanged->hide();
        reloadFromDisk();
    });
    addButton(u"btnChangedDismiss"_s, [this] { pnlFileChanged->hide(); });
    pnlFileChanged->hide();
}

void TfrmMain::rememberFile(const QString &fileName, const TFileStamp &stamp)
{
    m_stampPath = stampPathOf(fileName);
    m_fileStamp = stamp;
    m_watchSeen = stamp;
    m_autosaveSkipSaid = false;
    m_readOnlySaid = false;
    pnlFileChanged->hide();
    if (!m_fileWatcher->files().isEmpty())
        m_fileWatcher->removePaths(m_fileWatcher->files());
    if (!m_fileWatcher->directories().isEmpty())
        m_fileWatcher->removePaths(m_fileWatcher->directories());
    if (m_stampPath.isEmpty())
        return;
    if (stamp.Exists)
        m_fileWatcher->addPath(m_stampPath);
    m_fileWatcher->addPath(QFileInfo(m_stampPath).absolutePath());
}

bool TfrmMain::fileChangedOnDisk(const QString &target) const
{
    return !m_stampPath.isEmpty() && stampPathOf(target) == m_stampPath
        && TFileStamp::Of(m_stampPath) != m_fileStamp;
}

bool TfrmMain::confirmOverwriteChanged(const QString &target)
{
    TMessageRequest request;
    request.Text = message(u"file_changed"_s, target);
    request.Icon = QMessageBox::Warning;
    const bool reloadable = TFileStamp::Of(m_stampPath).Regular;
    request.Buttons = QMessageBox::Save | QMessageBox::Yes | QMessageBox::Cancel;
    if (reloadable)
        request.Buttons |= QMessageBox::Reset;
    request.DefaultButton = QMessageBox::Cancel;
    request.ButtonTexts = {{QMessageBox::Save, text(u"btn_save_as"_s)},
                           {QMessageBox::Yes, text(u"btn_overwrite"_s)},
                           {QMessageBox::Reset, text(u"btn_reload"_s)}};
    switch (TMessageService::Show(this, request)) {
    case QMessageBox::Yes:
        return true;
    case QMessageBox::Save:
        miFileSaveAsClick();
        return false;
    case QMessageBox::Reset:
        reloadFromDisk();
        return false;
    default:
        return false;
    }
}

void TfrmMain::autosaveSkipped(const QString &target)
{
    // Said once, not at every attempt; the notice offers the choices.
    showChangeNotice();
    if (m_autosaveSkipSaid)
        return;
    m_autosaveSkipSaid = true;
    TMessageService::Notify(this, message(u"autosave_skipped"_s, target),
                            QMessageBox::Warning);
}

bool TfrmMain::reloadFromDisk()
{
    if (m_stampPath.isEmpty() || !TFileStamp::Of(m_stampPath).Regular)
        return false;
    if (m_modified
        && TMessageService::Ask(this, message(u"reload_loses_changes"_s, m_noteFile),
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
                                QMessageBox::Warning)
            != QMessageBox::Yes)
        return false;
    // Where the user was: the selected note by its link, and the editor's position.
    const TNote *selected = TopicTree->selectedNote();
    const QString link = selected ? TNoteTree::GetNoteLink(selected) : QString();
    const int position = Notes->textCursor().position();
    const bool editorFocused = Notes->hasFocus();
    // The changes are let go: reading must not store the editor into the old tree.
    SetModified(false);
    const QString name = m_noteFile;
    bool read = !m_filePassword.isEmpty() ? readDocument(name, m_filePassword) : false;
    if (!read)
        read = LoadDocument(name);
    if (!read)
        return false;
    if (TNote *note = link.isEmpty() ? nullptr : TopicTreeModel->FindByLink(link)) {
        TopicTree->selectNote(note);
        ShowNote(note);
        QTextCursor cursor = Notes->textCursor();
        cursor.setPosition(std::min(position, int(Notes->document()->characterCount() - 1)));
        Notes->setTextCursor(cursor);
        if (editorFocused)
            Notes->setFocus();
    } else if (!TopicTree->selectedNote()) {
        TopicTree->selectNote(TopicTreeModel->FirstNote());
        ShowNote(TopicTree->selectedNote());
    }
    return true;
}

void TfrmMain::fileWatchTimeout()
{
    if (m_stampPath.isEmpty())
        return;
    const TFileStamp now = TFileStamp::Of(m_stampPath);
    if (now.Exists && !m_fileWatcher->files().contains(m_stampPath))
        m_fileWatcher->addPath(m_stampPath);
    if (now == m_fileStamp)
        return;
    // Nothing changes under an open dialog or question; look again once it is closed.
    if (m_dialogOpen || TMessageService::IsShowing() || QApplication::activeModalWidget()) {
        m_watchTimer->start();
        return;
    }
    // Each state of the file is dealt with once: a file that cannot be read back (a
    // sync tool's half-written copy, a file that is no notes file) must not bring up
    // its error again at every change in its folder.
    if (now == m_watchSeen)
        return;
    m_watchSeen = now;
    if (!m_modified && now.Regular) {
        reloadFromDisk();
        return;
    }
    showChangeNotice();
}

void TfrmMain::showChangeNotice()
{
    const bool regular = TFileStamp::Of(m_stampPath).Regular;
    lblFileChanged->setText(
        message(regular ? u"file_changed_notice"_s : u"file_gone_notice"_s, m_noteFile));
    pnlFileChanged->findChild<QPushButton *>(u"btnChangedSaveAs"_s)->setText(text(u"btn_save_as"_s));
    pnlFileChanged->findChild<QPushButton *>(u"btnChangedOverwrite"_s)
        ->setText(text(regular ? u"btn_overwrite"_s : u"btn_save"_s));
    auto *reload = pnlFileChanged->findChild<QPushButton *>(u"btnChangedReload"_s);
    reload->setText(text(u"btn_reload"_s));
    reload->setEnabled(regular);
    pnlFileChanged->findChild<QPushButton *>(u"btnChangedDismiss"_s)->setText(text(u"btn_dismiss"_s));
    pnlFileChanged->show();
}
