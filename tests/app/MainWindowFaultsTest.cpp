// Faults found by using the main window: files it must never delete or write, requests
// that must wait for a dialog, window states, keys and enabling.

#include "MainWindowFixture.h"
#include "app/qkRichedit.h"
#include "settings/LngMan.h"
#include "settings/Options.h"
#include "settings/UtilsFile.h"
#include "settings/qkMRUList.h"

#include <QCheckBox>
#include <QDialog>
#include <QSplitter>
#include <QDir>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>

namespace {

// A notes file with one root note, titled as given, under the document title given.
void writeSingleNote(const QString &fileName, const QString &note, const QString &docTitle = {})
{
    TNoteTree tree;
    tree.AddNote(nullptr, note, imLastChild, u"body of "_s + note);
    TArchive archive(&tree);
    archive.Title = docTitle;
    archive.WriteNotes(nullptr, fileName);
}

class BackupFaults : public MainWindowTest
{
    void adjust(TSettings &settings) override { settings.Backup = true; }
};

TEST_F(BackupFaults, SaveAsEncipheredDeletesOnlyThisDocumentsPlainFileAndItsBackup)
{
    writeDocument(u"doc.vlt"_s);
    writeSingleNote(path(u"other.vlt"_s), u"Unrelated"_s);
    const QByteArray unrelated = readBytes(u"other.vlt"_s);
    start(path(u"doc.vlt"_s));
    typeInEditor(u"change"_s);
    command("miFileSave")->trigger();
    ASSERT_TRUE(QFile::exists(path(u"doc.vlt.bak"_s)));

    // A failed write deletes nothing.
    chosenFile = path(u"nowhere/other.vle"_s);
    passwords << u"secret1"_s;
    command("miFileSaveAs")->trigger();
    EXPECT_TRUE(QFile::exists(path(u"doc.vlt"_s)));
    EXPECT_TRUE(QFile::exists(path(u"doc.vlt.bak"_s)));

    // "Delete original file" is ticked: this document's plain file and its plain backup
    // go; the plain file named like the target is someone else's and stays.
    chosenFile = path(u"other.vle"_s);
    passwords << u"secret1"_s;
    formats << TArchive::TEncipherment::Compatible;
    command("miFileSaveAs")->trigger();
    EXPECT_TRUE(readBytes(u"other.vle"_s).startsWith("VLE"));
    EXPECT_FALSE(QFile::exists(path(u"doc.vlt"_s)));
    EXPECT_FALSE(QFile::exists(path(u"doc.vlt.bak"_s)));
    EXPECT_EQ(readBytes(u"other.vlt"_s), unrelated);
}

TEST_F(BackupFaults, EncryptWithDeleteOriginalRemovesThePlainFileOnceTheNextSaveWrote)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    typeInEditor(u"change"_s);
    command("miFileSave")->trigger();
    ASSERT_FALSE(readBytes(u"doc.vlt.bak"_s).startsWith("VLE"));

    passwords << u"secret1"_s;
    command("miFileEncrypt")->trigger();
    EXPECT_TRUE(QFile::exists(path(u"doc.vlt"_s))) << "nothing is written before the save";
    command("miFileSave")->trigger();
    const QByteArray first = readBytes(u"doc.vlx"_s);
    EXPECT_TRUE(TArchive::IsEncipheredData(first));
    EXPECT_FALSE(QFile::exists(path(u"doc.vlt"_s)));
    EXPECT_FALSE(QFile::exists(path(u"doc.vlt.bak"_s))) << "the plain backup goes too";
    // Nothing leads to the deleted file any more.
    EXPECT_FALSE(window->mruMain->Items().contains(path(u"doc.vlt"_s)));
    EXPECT_TRUE(window->mruMain->Items().contains(path(u"doc.vlx"_s)));
    EXPECT_EQ(Settings->LastFile, path(u"doc.vlx"_s));

    // From now on the backups of the document are enciphered: the previous file itself.
    typeInEditor(u" again"_s);
    command("miFileSave")->trigger();
    EXPECT_EQ(readBytes(u"doc.vlx.bak"_s), first);
}

TEST_F(BackupFaults, FilesOfOneNameKeepBackupsOfTheirOwnInACommonFolder)
{
    for (const char *folder : {"a", "b", "common"})
        QDir(dir.path()).mkpath(QString::fromLatin1(folder));
    writeSingleNote(path(u"a/notes.vlt"_s), u"A"_s);
    writeSingleNote(path(u"b/notes.vlt"_s), u"B"_s);
    QByteArrayList originals;
    start();
    Settings->BackupFolder = path(u"common"_s);
    for (const QString &name : {u"a/notes.vlt"_s, u"b/notes.vlt"_s}) {
        originals << readBytes(name);
        window->OpenDocument(path(name));
        typeInEditor(u"changed"_s);
        command("miFileSave")->trigger();
    }
    const QStringList backups = QDir(path(u"common"_s)).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(backups.size(), 2) << backups.join(u' ').toStdString();
    QByteArrayList kept;
    for (const QString &name : backups)
        kept << readBytes(u"common/"_s + name);
    for (const QByteArray &original : originals)
        EXPECT_TRUE(kept.contains(original));
}

// A full disk at every switch to another program: one error at a time, and no
// automatic save while it is open.
TEST_F(MainWindowTest, FailingSwitchAutosaveShowsOneErrorAtATime)
{
    start();
    answers << QMessageBox::Yes;
    window->OpenDocument(path(u"gone/doc.vlt"_s));
    Settings->AutoSave = 1;
    typeInEditor(u"typed"_s);
    int switches = 0;
    TMessageService::Answer = [&](const TMessageRequest &request) {
        messages << request.Text;
        // The user goes to another program and back while the box is open.
        while (switches < 3) {
            ++switches;
            window->AutoSaveOnSwitch();
        }
        return QMessageBox::Ok;
    };
    messages.clear();
    window->AutoSaveOnSwitch();
    ASSERT_EQ(messages.size(), 1) << messages.join(u'\n').toStdString();
    EXPECT_TRUE(messages[0].contains(SystemErrorText(ENOENT))) << messages[0].toStdString();
    // Once it is closed, the next switch tries again.
    window->AutoSaveOnSwitch();
    EXPECT_EQ(messages.size(), 2);
    EXPECT_TRUE(window->Modified());
}

TEST_F(MainWindowTest, EncryptWithoutDeleteOriginalKeepsThePlainFile)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    TfrmPassword::RunModal = [](TfrmPassword &dialog) {
        dialog.edtPassword->setText(u"secret1"_s);
        dialog.edtVerify->setText(u"secret1"_s);
        dialog.cbDeleteOriginal->setChecked(false);
        return int(QDialog::Accepted);
    };
    command("miFileEncrypt")->trigger();
    command("miFileSave")->trigger();
    EXPECT_TRUE(QFile::exists(path(u"doc.vlx"_s)));
    EXPECT_TRUE(QFile::exists(path(u"doc.vlt"_s)));
}

class TimedAutoSave : public MainWindowTest
{
    void adjust(TSettings &settings) override { settings.AutoSave = 3; }
};

TEST_F(TimedAutoSave, TimedAutosaveNeverWritesAnUntitledDocument)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    writeSingleNote(path(u"Notes.vlt"_s), u"Unrelated"_s);
    const QByteArray unrelated = readBytes(u"Notes.vlt"_s);
    start();
    typeInEditor(u"typed"_s);
    window->tmrAutosaveTimer();
    EXPECT_EQ(readBytes(u"Notes.vlt"_s), unrelated);
    EXPECT_TRUE(window->Modified());

    // A document with a name of its own is saved.
    chosenFile = path(u"named.vlt"_s);
    command("miFileSaveAs")->trigger();
    typeInEditor(u" more"_s);
    window->tmrAutosaveTimer();
    EXPECT_FALSE(window->Modified());
    EXPECT_TRUE(readBytes(u"named.vlt"_s).contains("typed more"));
    QDir::setCurrent(previous);
}

TEST_F(MainWindowTest, SecondStartWaitsUntilTheSaveDialogIsClosed)
{
    writeDocument(u"doc.vlt"_s);
    writeSingleNote(path(u"other.vlt"_s), u"Other"_s);
    start(path(u"doc.vlt"_s));
    typeInEditor(u"mine"_s);
    TfrmMain::ChooseFile = [this](TfrmMain *, bool, const QString &) {
        window->HandleOpenRequest(path(u"other.vlt"_s));
        EXPECT_EQ(window->NoteFile(), path(u"doc.vlt"_s)) << "replaced under the dialog";
        return path(u"saved.vlt"_s);
    };
    command("miFileSaveAs")->trigger();
    EXPECT_TRUE(readBytes(u"saved.vlt"_s).contains("<dt><h3>Alpha</h3></dt>"));
    EXPECT_TRUE(readBytes(u"saved.vlt"_s).contains("mine"));
    EXPECT_TRUE(messages.isEmpty());
    // Once the dialog is gone the request runs.
    QTRY_COMPARE(window->NoteFile(), path(u"other.vlt"_s));
    EXPECT_EQ(titles(), u"Other"_s);
}

TEST_F(MainWindowTest, SecondStartWaitsForAModalDialogAndThenAsksAboutChanges)
{
    writeDocument(u"doc.vlt"_s);
    writeSingleNote(path(u"other.vlt"_s), u"Other"_s);
    start(path(u"doc.vlt"_s));
    typeInEditor(u"mine"_s);
    {
        QDialog prompt(window.get());
        prompt.setModal(true);
        prompt.show();
        ASSERT_EQ(QApplication::activeModalWidget(), &prompt);
        window->HandleOpenRequest(path(u"other.vlt"_s));
        QTest::qWait(400);
        EXPECT_EQ(window->NoteFile(), path(u"doc.vlt"_s));
        EXPECT_TRUE(messages.isEmpty());
    }
    // A question shown meanwhile holds it back as well.
    answers << QMessageBox::Cancel;
    QTRY_COMPARE(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(path(u"doc.vlt"_s)));
    EXPECT_EQ(window->NoteFile(), path(u"doc.vlt"_s)) << "Cancel keeps the document";
    EXPECT_TRUE(window->Modified());
}

// A question for a second start, asked while the window waits minimised, goes unseen
// (nothing else brings a window forward under Wayland) and the second start seems to
// hang: the window comes back before it asks.
TEST_F(MainWindowTest, SecondStartsQuestionComesWithTheWindowBack)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    window->showMinimized();
    QApplication::processEvents();
    ASSERT_TRUE(window->isMinimized());
    bool minimisedWhenAsked = true;
    TMessageService::Answer = [&](const TMessageRequest &request) {
        messages << request.Text;
        minimisedWhenAsked = window->isMinimized() || !window->isVisible();
        return QMessageBox::No;
    };
    window->HandleOpenRequest(path(u"missing.vlt"_s));
    ASSERT_EQ(messages.size(), 1) << "opening a missing file asks whether to create it";
    EXPECT_TRUE(messages.first().contains(u"missing.vlt"_s));
    EXPECT_FALSE(minimisedWhenAsked);
    EXPECT_EQ(window->NoteFile(), path(u"doc.vlt"_s));
}

TEST_F(MainWindowTest, NewStartsWithAnEmptyTitle)
{
    writeSingleNote(path(u"help.vlt"_s), u"Help"_s, u"Vellumtree Help"_s);
    start(path(u"help.vlt"_s));
    EXPECT_EQ(window->DocTitle(), u"Vellumtree Help"_s);
    command("miFileNew")->trigger();
    EXPECT_TRUE(window->DocTitle().isEmpty());
    chosenFile = path(u"new.vlt"_s);
    command("miFileSave")->trigger();
    EXPECT_TRUE(readBytes(u"new.vlt"_s).contains("\r\n<title></title>\r\n"));
}

TEST_F(MainWindowTest, RestoreKeepsAMaximisedWindowMaximised)
{
    start();
    window->showMaximized();
    QApplication::processEvents();
    ASSERT_TRUE(window->isMaximized());
    window->HandleOpenRequest(u"no_params"_s);
    EXPECT_TRUE(window->isMaximized());

    // Autosave on switching brings an untitled document's window up as it is.
    Settings->AutoSave = 1;
    typeInEditor(u"x"_s);
    chosenFile.clear();
    window->AutoSaveOnSwitch();
    EXPECT_EQ(dialogs, QStringList{u"save"_s});
    EXPECT_TRUE(window->isMaximized());

    // A minimised window comes back as it was before: maximised.
    window->setWindowState(window->windowState() | Qt::WindowMinimized);
    command("miRestore")->trigger();
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isMaximized());
}

TEST_F(MainWindowTest, SwitchAutosaveAsksForAnUntitledDocumentsNameOnce)
{
    start();
    Settings->AutoSave = 1;
    typeInEditor(u"x"_s);
    chosenFile.clear();
    window->AutoSaveOnSwitch();
    window->AutoSaveOnSwitch();
    typeInEditor(u"y"_s);
    window->AutoSaveOnSwitch();
    EXPECT_EQ(dialogs, QStringList{u"save"_s}) << "a Cancel is not asked again at each switch";

    // A new document is asked for its name again.
    answers = {QMessageBox::No};
    command("miFileNew")->trigger();
    typeInEditor(u"z"_s);
    window->AutoSaveOnSwitch();
    EXPECT_EQ(dialogs.size(), 2);
}

TEST_F(MainWindowTest, SwitchAutosaveSavesANamedDocumentWhileAFileDialogIsOpen)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    Settings->AutoSave = 1;
    typeInEditor(u"typed"_s);
    TfrmMain::ChooseFile = [this](TfrmMain *, bool, const QString &) {
        window->AutoSaveOnSwitch();
        return QString();
    };
    command("miFileOpen")->trigger();
    EXPECT_FALSE(window->Modified());
    EXPECT_TRUE(readBytes(u"doc.vlt"_s).contains("typed"));
}

TEST_F(MainWindowTest, TheFirstWindowIsLargeEnoughToReadTitles)
{
    start();
    EXPECT_GE(window->width(), 624);
    EXPECT_GE(window->height(), 486);
    EXPECT_GE(window->splitMain->sizes().value(0), window->width() / 4 - 8)
        << "a tree of 80 pixels cuts every title";
}

TEST_F(MainWindowTest, DialogsHaveNoMinimiseOrMaximiseButton)
{
    start();
    command("miEditSearch")->trigger();
    TfrmPassword password(window.get());
    TfrmNewNote prompt(window.get());
    TfrmOptions options(*Settings, 0, window.get());
    const QList<QWidget *> dialogs{&password, &prompt, &options,
                                   window->findChild<QDialog *>(u"frmSearchReplace"_s)};
    for (QWidget *dialog : dialogs) {
        ASSERT_TRUE(dialog);
        const Qt::WindowFlags flags = dialog->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint)) << dialog->objectName().toStdString();
        EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint))
            << dialog->objectName().toStdString();
        EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    }
}

class PlacedWindow : public MainWindowTest
{
    void adjust(TSettings &settings) override
    {
        settings.RememberWindowPos = true;
        settings.WindowPos.rcNormalPosition = {40, 30, 740, 530};
        settings.SplitterPos = 90;
    }
};

TEST_F(PlacedWindow, APlacementOfTheUsersOwnIsKept)
{
    start();
    EXPECT_EQ(window->size(), QSize(700, 500));
    EXPECT_EQ(window->splitMain->sizes().value(0), 90);
}

TEST_F(MainWindowTest, DisabledMenuKeyDoesNothingInTheEditor)
{
    start();
    ASSERT_EQ(window->TopicTreeModel->Count(), 1);
    typeInEditor(u"one two"_s);
    window->Notes->moveCursor(QTextCursor::Start);
    QTest::keyClick(window->Notes, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(window->Notes->toPlainText(), u"one two"_s);
    EXPECT_EQ(window->TopicTreeModel->Count(), 1);
    // Keys no menu item owns still edit.
    QTest::keyClick(window->Notes, Qt::Key_Delete);
    EXPECT_EQ(window->Notes->toPlainText(), u"ne two"_s);
}

TEST_F(MainWindowTest, AltBAndCtrlTabWorkWhileATitleIsEdited)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Gamma"_s);
    typeInEditor(u"see note://Alpha;"_s);
    QTextCursor cursor(window->Notes->document());
    cursor.setPosition(int(window->Notes->toPlainText().indexOf(u"Alpha"_s)) + 1);
    window->NotesMouseDown(window->Notes->cursorRect(cursor).center(), true);
    ASSERT_EQ(window->TopicTree->selectedNote(), note(u"Alpha"_s));

    window->miNotesRenameClick();
    QApplication::processEvents();
    ASSERT_TRUE(window->TopicTree->isEditingTitle());
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Gamma"_s));

    window->miNotesRenameClick();
    QApplication::processEvents();
    editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_NE(QApplication::focusWidget(), editor);
}

TEST_F(MainWindowTest, SortLinesIsDisabledForOneLineEndingInALineBreak)
{
    start();
    window->Notes->setFocus();
    // Typing after the final line break makes a second line without a new block.
    for (const auto &[text, enabled] : {std::pair{u"only line\n"_s, false},
                                        std::pair{u"only line\nx"_s, true},
                                        std::pair{u"first\n"_s, false},
                                        std::pair{u"first\n\n"_s, true}}) {
        window->Notes->setPlainText(text);
        QApplication::processEvents();
        QApplication::processEvents();
        EXPECT_EQ(command("miEditSortLines")->isEnabled(), enabled) << text.toStdString();
    }
}

TEST_F(MainWindowTest, DragScrollsOnlyWhenTheDropWouldBeTakenAndBelowTwentyPixels)
{
    start();
    for (int i = 0; i < 200; ++i)
        window->TopicTreeModel->AddNote(nullptr, u"note %1"_s.arg(i), imLastChild);
    QApplication::processEvents();
    QScrollBar *bar = window->TopicTree->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 10);
    QWidget *viewport = window->TopicTree->viewport();
    QMimeData notes;
    notes.setData(TNoteTree::NotesMimeType(),
                  window->TopicTreeModel->WriteBranch(window->TopicTreeModel->FirstNote()));
    QMimeData text;
    text.setText(u"plain"_s);
    auto moveAt = [&](int y, const QMimeData *mime) {
        bar->setValue(5);
        QDragEnterEvent enter(QPoint(10, y), Qt::CopyAction | Qt::MoveAction, mime,
                              Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(QPoint(10, y), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                            Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        return bar->value() - 5;
    };
    const int height = viewport->height();
    EXPECT_EQ(moveAt(5, &text), 0) << "a refused drop does not scroll";
    EXPECT_EQ(moveAt(height - 5, &text), 0);
    EXPECT_EQ(moveAt(20, &notes), 0);
    EXPECT_LT(moveAt(19, &notes), 0);
    EXPECT_GT(moveAt(height - 5, &notes), 0);
    EXPECT_EQ(moveAt(height / 2, &notes), 0);
}

TEST_F(MainWindowTest, NewNotePromptIsTranslatedWithoutNotification)
{
    start();
    int notified = 0;
    const auto saved = LanguageManager().OnTranslated;
    LanguageManager().OnTranslated = [&notified](TLngMan &) { ++notified; };
    newNoteTitle = u"Added"_s;
    command("miNotesAdd")->trigger();
    LanguageManager().OnTranslated = saved;
    EXPECT_EQ(notified, 0);
    EXPECT_NE(note(u"Added"_s), nullptr);
}

class ReloadLastFile : public MainWindowTest
{
    void adjust(TSettings &settings) override
    {
        settings.ReloadLastFile = true;
        settings.LastFile = path(u"secret.vle"_s);
    }
};

TEST_F(ReloadLastFile, LastFileSurvivesAStartUnderTheDefaultName)
{
    writeDocument(u"secret.vle"_s, u"secret1"_s);
    start(); // the password question is cancelled
    EXPECT_EQ(window->NoteFile(), u"Notes.vlt"_s);
    typeInEditor(u"x"_s);
    EXPECT_EQ(Settings->LastFile, path(u"secret.vle"_s));
    answers << QMessageBox::No;
    ASSERT_TRUE(closeWindow());
    TSettings stored(u"Software\\Vellumtree\\"_s, u"1.57"_s);
    stored.LoadSettings();
    EXPECT_EQ(stored.LastFile, path(u"secret.vle"_s));
}

TEST_F(MainWindowTest, GoToInternalLinkKeepsItsDesignedCaptionAndEnglishSpellsIt)
{
    start();
    EXPECT_EQ(command("miGotoInternalLink")->text(), u"&Go to internal link"_s);
}

TEST_F(MainWindowTest, OpeningAFileThatIsNotANotesFileSaysSo)
{
    writeDocument(u"doc.vlt"_s);
    QFile junk(path(u"junk.vlt"_s));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("just some text\r\n");
    junk.close();
    start(path(u"doc.vlt"_s));
    chosenFile = path(u"junk.vlt"_s);
    command("miFileOpen")->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(path(u"junk.vlt"_s)));
    EXPECT_TRUE(messages.first().contains(u"not a notes file"_s));
    EXPECT_EQ(window->NoteFile(), path(u"doc.vlt"_s));
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma"_s);

    // From the recent list and from the command line alike.
    window->MRUMRUItemClick(path(u"junk.vlt"_s));
    EXPECT_EQ(messages.size(), 2);
    window.reset();
    start(path(u"junk.vlt"_s));
    EXPECT_EQ(messages.size(), 3);
}

} // namespace

// The fault: in the line "A note://Projects\Garden; B [Garden] C" a double-click on the
// note link selected up to the "]" and followed nothing, and Go to internal link did
// nothing; only a click after "note://" followed it.
TEST_F(MainWindowTest, EveryCharacterOfANoteLinkAndOfATitleLinkFollowsIt)
{
    const QString line = u"A note://Projects\\Garden; B [Garden] C"_s;
    start([&line](TNoteTree &tree) {
        tree.AddNote(nullptr, u"Garden"_s, imLastChild, u"the top garden"_s);
        TNote *projects = tree.AddNote(nullptr, u"Projects"_s, imLastChild, line);
        tree.AddNote(projects, u"Garden"_s, imLastChild, u"the project's garden"_s);
    });
    TNote *projects = note(u"Projects"_s);
    TNote *projectGarden = projects->FirstChild();
    TNote *topGarden = note(u"Garden"_s);
    ASSERT_NE(projectGarden, topGarden);
    const auto follow = [&](int position, bool doubleClick) {
        select(u"Projects"_s);
        window->Notes->setFocus();
        if (doubleClick) {
            window->NotesMouseDown(editorPointOf(position), true);
        } else {
            window->NotesMouseDown(editorPointOf(position), false);
            command("miGotoInternalLink")->trigger();
        }
        return window->TopicTree->selectedNote();
    };
    const int noteStart = int(line.indexOf(u"note://"_s));
    for (int i = noteStart; i <= int(line.indexOf(u';')); ++i) {
        EXPECT_EQ(follow(i, true), projectGarden) << "double-click at " << i;
        EXPECT_EQ(follow(i, false), projectGarden) << "Go to internal link at " << i;
    }
    for (int i = int(line.indexOf(u'[')); i <= int(line.indexOf(u']')); ++i) {
        EXPECT_EQ(follow(i, true), topGarden) << "double-click at " << i;
        EXPECT_EQ(follow(i, false), topGarden) << "Go to internal link at " << i;
    }
    EXPECT_EQ(follow(int(line.indexOf(u'B')), true), projects);
}
