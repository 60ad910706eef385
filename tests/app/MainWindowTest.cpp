// The main window driven as a user would: keys, menus and the document's files, with
// the message boxes, file dialogs and password questions answered by a script.

#include "MainWindowFixture.h"
#include "QtPrinters.h"
#include "QuietSettings.h"
#include "app/Main.h"
#include "app/MessageService.h"
#include "app/Prompt.h"
#include "app/SingleInstance.h"
#include "app/qkRichedit.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/Pass.h"
#include "settings/Settings.h"
#include "settings/Utils.h"
#include "widgets/About.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <csignal>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

TEST_F(MainWindowTest, FirstStartShowsOneRootNoteAndWritesEverySettingOnClose)
{
    QFile::remove(registryFile());
    start();
    EXPECT_EQ(titles(), u"Notes"_s);
    EXPECT_EQ(window->windowTitle(), u"Vellumtree - [Notes.vlt]"_s);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Notes"_s));
    ASSERT_TRUE(closeWindow());

    QFile file(registryFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    QStringList values;
    bool inKey = false;
    for (const QString &line : lines) {
        if (line.startsWith(u'['))
            inKey = line.trimmed() == u"[HKEY_CURRENT_USER\\Software\\Vellumtree]"_s;
        else if (inKey && line.startsWith(u'"'))
            values << line.section(u'"', 1, 1);
    }
    EXPECT_EQ(values.size(), 32) << values.join(u',').toStdString();
    EXPECT_EQ(values.value(0), u"Version"_s);
}

TEST_F(MainWindowTest, TypedTextIsSavedAndFoundAgainAfterARestart)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma"_s);
    EXPECT_EQ(window->windowTitle(), u"Vellumtree - [doc.vlt]"_s);

    select(u"Gamma"_s);
    typeInEditor(u"typed words"_s);
    EXPECT_TRUE(window->Modified());
    EXPECT_EQ(window->windowTitle(), u"Vellumtree - [*doc.vlt]"_s);
    // Selecting another note stores the text into the one that was edited.
    select(u"Alpha"_s);
    EXPECT_EQ(note(u"Gamma"_s)->Body(), QStringList{u"typed words"_s});
    EXPECT_EQ(window->Notes->toPlainText(), u"first\n"_s);

    command("miFileSave")->trigger();
    EXPECT_FALSE(window->Modified());
    EXPECT_EQ(window->windowTitle(), u"Vellumtree - [doc.vlt]"_s);
    EXPECT_TRUE(dialogs.isEmpty());
    ASSERT_TRUE(closeWindow());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();

    // The next start reopens the last file and its last note.
    TSettings settings(u"Software\\Vellumtree\\"_s, u"1.57"_s);
    settings.LoadSettings();
    settings.ReloadLastFile = true;
    settings.SaveSettings();
    start();
    EXPECT_EQ(window->NoteFile(), path(u"doc.vlt"_s));
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Alpha"_s));
    select(u"Gamma"_s);
    EXPECT_EQ(window->Notes->toPlainText(), u"typed words\n"_s);
}

TEST_F(MainWindowTest, SaveOnAnUntitledDocumentAsksForAName)
{
    start();
    typeInEditor(u"x"_s);
    chosenFile = path(u"chosen.vlt"_s);
    command("miFileSave")->trigger();
    EXPECT_EQ(dialogs, QStringList{u"save"_s});
    EXPECT_EQ(window->NoteFile(), chosenFile);
    EXPECT_FALSE(window->Modified());
    EXPECT_TRUE(readBytes(u"chosen.vlt"_s).contains("<dt><h3>Notes</h3></dt>"));

    // Cancelling the dialog saves nothing and keeps the mark.
    typeInEditor(u"y"_s);
    chosenFile.clear();
    command("miFileSaveAs")->trigger();
    EXPECT_TRUE(window->Modified());
}

class BackupTest : public MainWindowTest
{
    void adjust(TSettings &settings) override { settings.Backup = true; }
};

TEST_F(BackupTest, BackupHoldsThePreviousVersion)
{
    writeDocument(u"doc.vlt"_s);
    const QByteArray original = readBytes(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Gamma"_s);
    typeInEditor(u"one"_s);
    command("miFileSave")->trigger();
    EXPECT_EQ(readBytes(u"doc.vlt.bak"_s), original);
    const QByteArray firstSave = readBytes(u"doc.vlt"_s);
    typeInEditor(u" two"_s);
    command("miFileSave")->trigger();
    EXPECT_EQ(readBytes(u"doc.vlt.bak"_s), firstSave);
    EXPECT_TRUE(readBytes(u"doc.vlt"_s).contains("one two"));
}

TEST_F(MainWindowTest, FailedSaveShowsTheErrorAndKeepsEverything)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    typeInEditor(u"change"_s);
    // A file stands where the folder should be.
    QFile blocker(path(u"blocker"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    chosenFile = path(u"blocker/doc.vlt"_s);
    command("miFileSaveAs")->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(u"blocker"_s)) << messages.first().toStdString();
    EXPECT_TRUE(window->Modified());
    EXPECT_EQ(window->NoteFile(), path(u"doc.vlt"_s));
}

TEST_F(MainWindowTest, EncryptedDocumentNeedsItsPassword)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    passwords << u"secret1"_s;
    formats << TArchive::TEncipherment::Compatible;
    command("miFileEncrypt")->trigger();
    EXPECT_EQ(window->NoteFile(), path(u"doc.vle"_s));
    EXPECT_TRUE(window->Modified());
    EXPECT_FALSE(command("miFileEncrypt")->isEnabled());
    command("miFileSave")->trigger();
    EXPECT_TRUE(readBytes(u"doc.vle"_s).startsWith("VLE"));
    // "Delete original file" is ticked: the plain file goes once the .vle is written.
    EXPECT_FALSE(QFile::exists(path(u"doc.vlt"_s)));
    EXPECT_EQ(passwordQuestions, QStringList{u"new"_s});

    writeDocument(u"other.vlt"_s);
    window->OpenDocument(path(u"other.vlt"_s));
    ASSERT_EQ(titles(), u"Alpha,>Beta,Gamma"_s);
    note(u"Gamma"_s)->SetBody(QStringList{u"other file"_s});

    // Cancelled and wrong passwords leave the open document as it was.
    window->OpenDocument(path(u"doc.vle"_s));
    EXPECT_EQ(window->NoteFile(), path(u"other.vlt"_s));
    passwords << u"wrong"_s;
    window->OpenDocument(path(u"doc.vle"_s));
    EXPECT_EQ(window->NoteFile(), path(u"other.vlt"_s));
    EXPECT_EQ(note(u"Gamma"_s)->Body(), QStringList{u"other file"_s});

    passwords << u"secret1"_s;
    window->OpenDocument(path(u"doc.vle"_s));
    EXPECT_EQ(window->NoteFile(), path(u"doc.vle"_s));
    EXPECT_EQ(window->FilePassword(), u"secret1"_s);
    EXPECT_TRUE(note(u"Gamma"_s)->Body().isEmpty());
}

TEST_F(MainWindowTest, SavingUnderAnEncipheredNameAsksAndCanDeleteThePlainFile)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    chosenFile = path(u"doc.VLE"_s);
    passwords << u"abcd"_s;
    formats << TArchive::TEncipherment::Compatible;
    command("miFileSaveAs")->trigger();
    EXPECT_EQ(window->NoteFile(), path(u"doc.vle"_s));
    EXPECT_TRUE(QFile::exists(path(u"doc.vle"_s)));
    EXPECT_FALSE(QFile::exists(path(u"doc.vlt"_s))) << "Delete original file is on by default";
    // Cancelling the question saves nothing.
    chosenFile = path(u"again.vle"_s);
    command("miFileSaveAs")->trigger();
    EXPECT_FALSE(QFile::exists(path(u"again.vle"_s)));
}

TEST_F(MainWindowTest, ClosingAsksAboutUnsavedChanges)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    typeInEditor(u"unsaved"_s);
    answers << QMessageBox::Cancel;
    EXPECT_FALSE(closeWindow());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().endsWith(path(u"doc.vlt"_s) + u'?'));

    answers << QMessageBox::Yes;
    EXPECT_TRUE(closeWindow());
    EXPECT_TRUE(readBytes(u"doc.vlt"_s).contains("unsaved"));

    start(path(u"doc.vlt"_s));
    typeInEditor(u" more"_s);
    answers << QMessageBox::No;
    EXPECT_TRUE(closeWindow());
    EXPECT_FALSE(readBytes(u"doc.vlt"_s).contains("more"));
}

class PlacementTest : public MainWindowTest
{
    void adjust(TSettings &settings) override
    {
        settings.RememberWindowPos = true;
        settings.WindowPos.showCmd = 3;
        settings.WindowPos.rcNormalPosition = {100, 80, 900, 680};
        settings.SplitterPos = 230;
    }
};

TEST_F(PlacementTest, StoredPlacementAndTreeWidthComeBackAndAreStoredAgain)
{
    start();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(window->normalGeometry().size(), QSize(800, 600));
    EXPECT_EQ(window->TopicTree->width(), 230);
    ASSERT_TRUE(closeWindow());
    TSettings settings(u"Software\\Vellumtree\\"_s, u"1.57"_s);
    settings.LoadSettings();
    EXPECT_EQ(settings.WindowPos.showCmd, 3);
    EXPECT_EQ(settings.WindowPos.length, 44);
    EXPECT_EQ(settings.SplitterPos, 230);
}

class NormalPlacementTest : public MainWindowTest
{
    void adjust(TSettings &settings) override { settings.RememberWindowPos = true; }
};

TEST_F(NormalPlacementTest, WindowComesBackWhereItWasClosed)
{
    start();
    window->setGeometry(150, 120, 700, 500);
    const QRect closedAt = window->geometry();
    ASSERT_TRUE(closeWindow());
    start();
    EXPECT_EQ(window->geometry(), closedAt);
    EXPECT_FALSE(window->isMaximized());
}

class CloseAutoSaveTest : public MainWindowTest
{
    void adjust(TSettings &settings) override { settings.AutoSave = 2; }
};

TEST_F(CloseAutoSaveTest, ClosingSavesANamedDocumentWithoutAsking)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    typeInEditor(u"kept"_s);
    EXPECT_TRUE(closeWindow());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(readBytes(u"doc.vlt"_s).contains("kept"));
}

TEST_F(MainWindowTest, MissingFileOnTheCommandLineIsOfferedAsANewDocument)
{
    answers << QMessageBox::Yes;
    start(path(u"new.vlt"_s));
    EXPECT_EQ(titles(), u"Notes"_s);
    EXPECT_EQ(window->NoteFile(), path(u"new.vlt"_s));
    EXPECT_FALSE(QFile::exists(path(u"new.vlt"_s)));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(path(u"new.vlt"_s)));
}

TEST_F(MainWindowTest, RecentFileThatIsGoneIsReportedAndDropped)
{
    writeDocument(u"a.vlt"_s);
    writeDocument(u"b.vlt"_s);
    start(path(u"a.vlt"_s));
    window->OpenDocument(path(u"b.vlt"_s));
    QFile::remove(path(u"a.vlt"_s));
    window->MRUMRUItemClick(path(u"a.vlt"_s));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(path(u"a.vlt"_s)));
    EXPECT_EQ(window->NoteFile(), path(u"b.vlt"_s));
}

// ------------------------------------------------------------------ tree commands

TEST_F(MainWindowTest, AddNoteGoesWhereThePromptSaysAndRemembersThePosition)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Alpha"_s);
    newNoteTitle = u"Child"_s;
    newNotePosition = 2; // as first child
    QTest::keyClick(window->TopicTree, Qt::Key_Insert);
    EXPECT_EQ(titles(), u"Alpha,>Child,>Beta,Gamma"_s);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Child"_s));
    EXPECT_TRUE(window->Modified());
    EXPECT_EQ(window->AddPosition(), 2);

    // A cancelled prompt adds nothing.
    newNoteTitle = QString();
    command("miNotesAdd")->trigger();
    EXPECT_EQ(titles(), u"Alpha,>Child,>Beta,Gamma"_s);
}

class DeleteTest : public MainWindowTest
{
    void adjust(TSettings &settings) override { settings.DeleteConfirmationLevel = 2; }
};

TEST_F(DeleteTest, DeleteAsksForABranchAndSelectsTheNextNote)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Gamma"_s);
    command("miNotesDelete")->trigger();
    EXPECT_TRUE(messages.isEmpty()) << "no children: no question";
    EXPECT_EQ(titles(), u"Alpha,>Beta"_s);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Alpha"_s));

    window->SetModified(false);
    answers << QMessageBox::No;
    command("btnDeleteNote")->trigger();
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(u"\"Alpha\"?"_s));
    EXPECT_EQ(titles(), u"Alpha,>Beta"_s);
    EXPECT_FALSE(window->Modified());

    // Deleting the only child selects its parent and shows its body; what was typed
    // into the deleted note never reaches the parent.
    select(u"Beta"_s);
    typeInEditor(u" typed"_s);
    command("miDeleteNote")->trigger();
    EXPECT_EQ(note(u"Alpha"_s)->Body(), QStringList{u"first"_s});
    EXPECT_EQ(titles(), u"Alpha"_s);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Alpha"_s));
    EXPECT_EQ(window->Notes->toPlainText(), u"first\n"_s);
}

TEST_F(MainWindowTest, CutAndPasteMoveABranchThroughTheClipboard)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Alpha"_s);
    command("miNotesCut")->trigger();
    EXPECT_EQ(titles(), u"Gamma"_s);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"Alpha\n\nfirst\n\nBeta\n\nsecond\n"_s);
    select(u"Gamma"_s);
    command("miNotesPaste")->trigger();
    EXPECT_EQ(titles(), u"Gamma,Alpha,>Beta"_s);
    EXPECT_EQ(note(u"Beta"_s)->Body(), QStringList{u"second"_s});
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Alpha"_s));
}

TEST_F(MainWindowTest, CopyNoteLeavesNoStaleTextOnTheClipboard)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    auto *old = new QMimeData;
    old->setText(u"a password copied before"_s);
    old->setHtml(u"<b>a password copied before</b>"_s);
    QGuiApplication::clipboard()->setMimeData(old);
    // A note without children takes no note after it along: not Gamma.
    select(u"Beta"_s);
    QTest::keyClick(window->TopicTree, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    EXPECT_TRUE(mime->hasFormat(TNoteTree::NotesMimeType()));
    EXPECT_EQ(mime->text(), u"Beta\n\nsecond\n"_s);
    EXPECT_FALSE(mime->hasHtml());

    // The branch pastes back whole through its own format.
    select(u"Alpha"_s);
    QTest::keyClick(window->TopicTree, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"Alpha\n\nfirst\n\nBeta\n\nsecond\n"_s);
    select(u"Gamma"_s);
    command("miNotesPaste")->trigger();
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma,Alpha,>Beta"_s);
}

TEST_F(MainWindowTest, MovesFollowTheirRulesAndMarkOnlyWhenSomethingMoved)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Gamma"_s);
    command("miMoveDown")->trigger();
    EXPECT_FALSE(window->Modified());
    command("btnMoveRight")->trigger();
    EXPECT_EQ(titles(), u"Alpha,>Beta,>Gamma"_s);
    EXPECT_TRUE(window->Modified());
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Gamma"_s));
    QTest::keyClick(window->TopicTree, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(titles(), u"Alpha,>Gamma,>Beta"_s);
    command("miMoveLeft")->trigger();
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma"_s);
}

TEST_F(MainWindowTest, PasteAsSiblingAndChildTakeTheirTitleFromTheClipboardText)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Alpha"_s);
    QGuiApplication::clipboard()->setText(u"  First line\r\nmore"_s);
    QTest::keyClick(window->TopicTree, Qt::Key_A);
    EXPECT_EQ(titles(), u"Alpha,>Beta,First line,Gamma"_s);
    EXPECT_EQ(note(u"First line"_s)->BodyText(), u"  First line\r\nmore\r\n"_s);

    QGuiApplication::clipboard()->clear();
    select(u"Gamma"_s);
    QTest::keyClick(window->TopicTree, Qt::Key_I);
    EXPECT_EQ(titles(), u"Alpha,>Beta,First line,Gamma,>New note"_s);
}

TEST_F(MainWindowTest, NoteLinkInTheTextJumpsThereAndAltBComesBack)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Gamma"_s);
    typeInEditor(u"see note://ALPHA\\beta; here"_s);
    window->Notes->setFocus();
    const QString text = window->Notes->toPlainText();
    QTextCursor cursor(window->Notes->document());
    cursor.setPosition(int(text.indexOf(u"beta"_s)) + 1);
    const QPoint point = window->Notes->cursorRect(cursor).center();
    EXPECT_EQ(window->NotesMouseDown(point, true), 4);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Beta"_s));
    EXPECT_EQ(note(u"Gamma"_s)->BodyText(), u"see note://ALPHA\\beta; here\r\n"_s);

    QTest::keyClick(window->TopicTree, Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Gamma"_s));
    QTest::keyClick(window->TopicTree, Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Beta"_s));

    // The back note was deleted: Alt+B must not reach it.
    select(u"Gamma"_s);
    window->DeleteNote(note(u"Gamma"_s), 0);
    QTest::keyClick(window->TopicTree, Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(window->BackNote(), nullptr);
}

TEST_F(MainWindowTest, EnablingFollowsFocusSelectionAndClipboard)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Alpha"_s);
    QApplication::processEvents();
    QGuiApplication::clipboard()->clear();
    QApplication::processEvents();
    EXPECT_TRUE(command("miNotesRename")->isEnabled());
    EXPECT_TRUE(command("miMoveUp")->isEnabled());
    EXPECT_FALSE(command("miNotesPaste")->isEnabled());
    EXPECT_FALSE(command("btnPasteSibling")->isEnabled());
    EXPECT_FALSE(command("miEditSelectAll")->isEnabled());
    EXPECT_TRUE(command("miSortChildren")->isEnabled());

    QGuiApplication::clipboard()->setText(u"text"_s);
    QApplication::processEvents();
    EXPECT_TRUE(command("btnPasteSibling")->isEnabled());

    window->Notes->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(command("miNotesRename")->isEnabled());
    EXPECT_TRUE(command("miEditSelectAll")->isEnabled());
    EXPECT_TRUE(command("miEditPaste")->isEnabled());
    EXPECT_FALSE(command("miEditCut")->isEnabled());
    window->Notes->selectAll();
    QApplication::processEvents();
    EXPECT_TRUE(command("miEditCut")->isEnabled());
}

// The enabling table, checked row by row in several states of focus, selection,
// clipboard and editor.
struct EnablingState
{
    const char *name;
    bool treeFocus;
    bool oneNote;
    bool selectAlphaWithChildren;
    int clipboard; // 0 empty, 1 text, 2 notes
    bool editorSelection;
    bool editorUndo;
};

class EnablingTable : public MainWindowTest, public ::testing::WithParamInterface<EnablingState>
{
};

TEST_P(EnablingTable, EveryItemFollowsItsRule)
{
    const EnablingState &st = GetParam();
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    if (st.oneNote) {
        window->DeleteNote(note(u"Gamma"_s), 0);
        window->DeleteNote(note(u"Alpha"_s), 0);
        window->TopicTreeModel->AddNote(nullptr, u"Alone"_s, imLastChild, u"a\r\nb"_s);
    }
    select(st.oneNote ? u"Alone"_s : (st.selectAlphaWithChildren ? u"Alpha"_s : u"Gamma"_s));
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (st.clipboard == 1) {
        clipboard->setText(u"text"_s);
    } else if (st.clipboard == 2) {
        auto *mime = new QMimeData;
        mime->setData(TNoteTree::NotesMimeType(), window->TopicTreeModel->WriteBranch(note(
                                                      window->TopicTree->selectedNote()->Title())));
        clipboard->setMimeData(mime);
    } else {
        clipboard->clear();
    }
    if (!st.treeFocus) {
        window->Notes->setFocus();
        if (st.editorUndo)
            QTest::keyClicks(window->Notes, u"xy"_s);
        if (st.editorSelection)
            window->Notes->selectAll();
    } else {
        window->TopicTree->setFocus();
    }
    QApplication::processEvents();
    QApplication::processEvents();

    const bool TF = st.treeFocus;
    const bool EF = !st.treeFocus;
    const bool SEL = true;
    const bool N1 = !st.oneNote; // N > 1
    const bool CT = st.clipboard == 1;
    const bool CN = st.clipboard == 2;
    const bool SL = st.editorSelection;
    const bool UNDO = st.editorUndo;
    const bool CHILDREN = st.selectAlphaWithChildren && !st.oneNote;
    // Lines as the editor counts them: a final line break starts no line.
    const QTextDocument *text = window->Notes->document();
    const bool lines = text->blockCount() - (text->lastBlock().text().isEmpty() ? 1 : 0) > 1;
    const std::pair<const char *, bool> rows[] = {
        {"btnSave", true},
        {"miFileSave", true},
        {"miFileExport", SEL},
        {"miFileImport", SEL},
        {"miFileEncrypt", true},
        {"btnUndo", EF && UNDO},
        // In the tree it takes back the tree's changes: only the notes deleted for
        // the one-note document are some.
        {"miEditUndo", (EF && UNDO) || (TF && st.oneNote)},
        {"miEditRedo", false},
        {"btnCut", (EF && SL) || (TF && SEL)},
        {"btnCopy", (EF && SL) || (TF && SEL)},
        {"miEditCut", EF && SL},
        {"miEditCopy", EF && SL},
        {"btnPaste", CT || (TF && CN)},
        {"miEditPaste", EF && CT},
        {"miEditSelectAll", EF},
        {"miInsertTime", EF},
        {"miEditSortLines", EF && lines},
        {"miEditSearch", true},
        {"btnPasteSibling", CT && TF && SEL},
        {"btnPasteChild", CT && TF && SEL},
        {"btnRename", TF && SEL},
        {"miNotesRename", TF && SEL},
        {"miNotesCut", TF && SEL},
        {"miNotesCopy", TF && SEL},
        {"btnDeleteNote", TF && SEL},
        {"miNotesDelete", TF && SEL && N1},
        {"miNotesPaste", TF && CN},
        {"miSortTree", TF && SEL && N1},
        {"miMoveUp", TF && SEL && N1},
        {"btnMoveLeft", TF && SEL && N1},
        {"miSortChildren", TF && SEL && CHILDREN},
        {"miNotesAdd", true},
        {"btnAddNote", true},
        {"miPasteNote", CN},
        {"miDeleteNote", SEL},
        {"miCopyLink", SEL},
    };
    for (const auto &[name, enabled] : rows)
        EXPECT_EQ(command(name)->isEnabled(), enabled) << name;
}

INSTANTIATE_TEST_SUITE_P(
    States, EnablingTable,
    ::testing::Values(EnablingState{"TreeNothingOnClipboard", true, false, true, 0, false, false},
                      EnablingState{"TreeWithText", true, false, false, 1, false, false},
                      EnablingState{"TreeWithNotes", true, false, true, 2, false, false},
                      EnablingState{"TreeOnlyOneNote", true, true, false, 0, false, false},
                      EnablingState{"EditorPlain", false, false, false, 1, false, false},
                      EnablingState{"EditorSelectionAndUndo", false, false, true, 0, true, true},
                      EnablingState{"EditorWithNotesOnClipboard", false, false, false, 2, false,
                                    false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, ImportAndExportAreOfferedWhileTheEditorHasTheFocus)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Alpha"_s);
    typeInEditor(u" typed"_s);
    QApplication::processEvents();
    EXPECT_TRUE(command("miFileExport")->isEnabled());
    EXPECT_TRUE(command("miFileImport")->isEnabled());

    // Ctrl+E in the editor exports the selected note with what was just typed.
    chosenFile = path(u"out.txt"_s);
    QTest::keyClick(window->Notes, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(dialogs, QStringList{u"save"_s});
    const QByteArray exported = readBytes(u"out.txt"_s);
    EXPECT_TRUE(exported.contains(" typed")) << exported.toStdString();

    // Ctrl+I in the editor imports into it.
    QFile text(path(u"in.txt"_s));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("imported\n");
    text.close();
    chosenFile = text.fileName();
    window->Notes->setFocus();
    QTest::keyClick(window->Notes, Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(dialogs, (QStringList{u"save"_s, u"open"_s}));
    EXPECT_EQ(note(u"Alpha"_s)->BodyText(), u"imported\r\n"_s);
    EXPECT_EQ(window->Notes->EditorText(), u"imported\n"_s);
}

TEST_F(MainWindowTest, EditorCommandsMarkTheDocumentAsTheyShould)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Alpha"_s);
    window->Notes->setFocus();
    command("miSettingsWordWrap")->trigger();
    EXPECT_FALSE(window->Modified()) << "word wrap only looks";
    window->Notes->moveCursor(QTextCursor::End);
    // Ctrl+X goes through the pop-up's item, disabled without a selection.
    QTest::keyClick(window->Notes, Qt::Key_X, Qt::ControlModifier);
    EXPECT_FALSE(window->Modified());
    window->miEditCutClick();
    EXPECT_TRUE(window->Modified()) << "Cut marks even with nothing selected";

    window->SetModified(false);
    window->Notes->SetBodyText(u"b\r\nA\r\na"_s);
    command("miEditSortLines")->trigger();
    EXPECT_EQ(window->Notes->EditorText(), u"A\na\nb\n"_s);
    window->Notes->undo();
    EXPECT_EQ(window->Notes->EditorText(), u"b\nA\na"_s);
    EXPECT_TRUE(window->Modified());
}

struct DropCase
{
    const char *name;
    const char *dragged;
    const char *target;
    bool nest;
    const char *expected;
};

class DropRules : public MainWindowTest, public ::testing::WithParamInterface<DropCase>
{
};

TEST_P(DropRules, PlaceTheDraggedNoteByTheTargetsSiblings)
{
    const DropCase &c = GetParam();
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    // Alpha(Beta), Gamma, and a lone child under Gamma.
    window->TopicTreeModel->AddNote(note(u"Gamma"_s), u"Only"_s, imLastChild);
    window->SetModified(false);
    window->TopicTreeDragDrop(note(QString::fromLatin1(c.dragged)),
                              note(QString::fromLatin1(c.target)), c.nest);
    EXPECT_EQ(titles(), QString::fromLatin1(c.expected));
    const bool moved = titles() != u"Alpha,>Beta,Gamma,>Only"_s;
    EXPECT_EQ(window->Modified(), moved);
    if (moved) {
        EXPECT_EQ(window->TopicTree->selectedNote(), note(QString::fromLatin1(c.dragged)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Drops, DropRules,
    ::testing::Values(
        DropCase{"NestBecomesLastChild", "Gamma", "Beta", true, "Alpha,>Beta,>>Gamma,>>>Only"},
        DropCase{"TargetWithNextSibling", "Beta", "Alpha", false, "Alpha,Beta,Gamma,>Only"},
        DropCase{"TargetWithOnlyPreviousSibling", "Beta", "Gamma", false,
                 "Alpha,Gamma,>Only,Beta"},
        DropCase{"LoneTargetGoesBeforeIt", "Alpha", "Only", false,
                 "Gamma,>Alpha,>>Beta,>Only"},
        DropCase{"NeverIntoItsOwnBranch", "Alpha", "Beta", true, "Alpha,>Beta,Gamma,>Only"},
        DropCase{"NeverOnItself", "Gamma", "Gamma", false, "Alpha,>Beta,Gamma,>Only"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, NotesDroppedFromAnotherWindowArriveThroughTheBranchStream)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    TNoteTree other;
    TNote *sent = other.AddNote(nullptr, u"Sent"_s, imLastChild, u"body"_s);
    other.AddNote(sent, u"Inside"_s, imLastChild);
    QMimeData mime;
    mime.setData(TNoteTree::NotesMimeType(), other.WriteBranch(sent));

    QWidget *viewport = window->TopicTree->viewport();
    const QPoint onGamma
        = window->TopicTree->visualRect(window->TopicTreeModel->IndexOf(note(u"Gamma"_s))).center();
    QDragEnterEvent enter(onGamma, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(onGamma, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                        Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    EXPECT_TRUE(move.isAccepted());
    QDropEvent drop(QPointF(onGamma), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma,Sent,>Inside"_s);
    EXPECT_EQ(note(u"Sent"_s)->Body(), QStringList{u"body"_s});
    EXPECT_TRUE(window->Modified());

    // Plain text is no note.
    QMimeData text;
    text.setText(u"words"_s);
    QDragEnterEvent refused(onGamma, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST_F(MainWindowTest, MenuKeysNeverReachTheTreeEvenWhenDisabled)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Gamma"_s);
    // F2 is Rename's key: with Rename disabled the tree must not start editing itself.
    command("miNotesRename")->setEnabled(false);
    QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
    QApplication::sendEvent(window->TopicTree, &f2);
    EXPECT_FALSE(window->TopicTree->isEditingTitle());

    // Ctrl+L copies the note's link while the tree has the focus.
    window->TopicTree->setFocus();
    QApplication::processEvents();
    QTest::keyClick(window->TopicTree, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"note://Gamma;"_s);
    EXPECT_FALSE(window->Modified()) << "copying a link only looks";
}

TEST_F(MainWindowTest, ToolbarCutCopyPasteActOnTheEditorOnly)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Alpha"_s);
    command("btnCut")->setEnabled(true);
    command("btnCut")->trigger();
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma"_s);
    EXPECT_FALSE(TNoteTreeView::ClipboardHasNotes());
}

TEST_F(MainWindowTest, ClickBesideTheNotesKeepsTheSelection)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Gamma"_s);
    QTest::mouseClick(window->TopicTree->viewport(), Qt::LeftButton, {},
                      QPoint(5, window->TopicTree->viewport()->height() - 5));
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Gamma"_s));
    EXPECT_TRUE(window->TopicTree->selectionModel()->isSelected(
        window->TopicTreeModel->IndexOf(note(u"Gamma"_s))));
}

TEST_F(MainWindowTest, CollapseAllLeavesTheSelectionOnAVisibleNote)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Beta"_s);
    QTest::keyClick(window->TopicTree, Qt::Key_Minus);
    EXPECT_FALSE(window->TopicTree->isExpanded(window->TopicTreeModel->IndexOf(note(u"Alpha"_s))));
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Alpha"_s));
    EXPECT_EQ(window->Notes->EditorText(), u"first\n"_s);
    QTest::keyClick(window->TopicTree, Qt::Key_Asterisk);
    EXPECT_TRUE(window->TopicTree->isExpanded(window->TopicTreeModel->IndexOf(note(u"Alpha"_s))));
}

TEST_F(MainWindowTest, WithoutANoteTheEditorTakesNoText)
{
    start();
    window->DeleteNote(note(u"Notes"_s), 0);
    EXPECT_EQ(window->TopicTreeModel->Count(), 0);
    EXPECT_TRUE(window->Notes->isReadOnly());
    command("miNotesAdd")->trigger(); // cancelled: no title
    newNoteTitle = u"Fresh"_s;
    command("miNotesAdd")->trigger();
    EXPECT_FALSE(window->Notes->isReadOnly());
}

class GermanTest : public MainWindowTest
{
    void adjust(TSettings &settings) override { settings.LanguageFile = u"Deutsch.lng"_s; }
};

TEST_F(GermanTest, AltBGoesBackEvenWhereAMenuUsesTheLetter)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    ASSERT_TRUE(window->findChild<QMenu *>(u"miEdit"_s)->title().contains(u"&B"_s))
        << "the German Edit menu is the one that takes Alt+B";
    select(u"Gamma"_s);
    typeInEditor(u"[alpha]"_s);
    QTextCursor cursor(window->Notes->document());
    cursor.setPosition(3);
    EXPECT_EQ(window->NotesMouseDown(window->Notes->cursorRect(cursor).center(), true), 5);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Alpha"_s));
    QTest::keyClick(window->TopicTree, Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Gamma"_s));
}

TEST_F(GermanTest, StayOnTopShowsItsKeyAsTheMenusShowKeys)
{
    start();
    const QString wrapKey
        = command("miSettingsWordWrap")->shortcut().toString(QKeySequence::NativeText);
    ASSERT_TRUE(wrapKey.startsWith(u"Strg+"_s)) << "Qt's German catalogue names the keys";
    EXPECT_EQ(command("miSettingsOnTop")->text().section(u'\t', 1), u"Strg+T"_s);
}

// Waits for a second start of the program to end, killed after 30 s. This process
// keeps handling events meanwhile: the second one may be waiting for its answer.
void runToItsEnd(QProcess &process)
{
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning && timer.elapsed() < 30000)
        QTest::qWait(50);
    if (process.state() != QProcess::NotRunning)
        process.kill();
}

TEST_F(MainWindowTest, SecondProcessHandsItsFileToTheRunningWindow)
{
    writeDocument(u"first.vlt"_s);
    writeDocument(u"second.vlt"_s);
    const auto instance = startAsSingleInstance(path(u"first.vlt"_s));

    QProcess second;
    second.start(QStringLiteral(VT_PROGRAM_PATH), {path(u"second.vlt"_s)});
    ASSERT_TRUE(second.waitForStarted());
    runToItsEnd(second);
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(window->NoteFile(), path(u"second.vlt"_s));
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma"_s);
}

// SIGTERM while the start still asks about its file (here: create the missing one?)
// ends the program as at any other moment, with nothing created.
TEST_F(MainWindowTest, ASignalDuringTheStartsOwnQuestionEndsTheProgram)
{
    QProcess program;
    program.start(QStringLiteral(VT_PROGRAM_PATH), {path(u"missing.vlt"_s)});
    ASSERT_TRUE(program.waitForStarted());
    // The program takes SIGTERM itself from just before it shows the window and asks.
    const auto catchesTerm = [&program] {
        QFile status(u"/proc/%1/status"_s.arg(program.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("SigCgt:"))
                return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1) != 0;
        }
        return false;
    };
    QElapsedTimer waited;
    waited.start();
    while (!catchesTerm() && waited.elapsed() < 30000)
        QTest::qWait(20);
    ASSERT_TRUE(catchesTerm());
    QTest::qWait(300);
    program.terminate();
    const bool ended = program.waitForFinished(20000);
    if (!ended) {
        program.kill();
        program.waitForFinished();
    }
    EXPECT_TRUE(ended) << "it went on running without a window";
    EXPECT_EQ(program.exitCode(), 128 + SIGTERM);
    EXPECT_FALSE(QFileInfo::exists(path(u"missing.vlt"_s)));
}

TEST_F(MainWindowTest, HelpAndVersionAreAnsweredNotTakenForFileNames)
{
    writeDocument(u"first.vlt"_s);
    const auto instance = startAsSingleInstance(path(u"first.vlt"_s));
    QSignalSpy requests(instance.get(), &TSingleInstance::OpenRequest);

    QStringList output;
    for (const QString &option : {u"--version"_s, u"--help"_s}) {
        QProcess second;
        second.setWorkingDirectory(dir.path());
        second.start(QStringLiteral(VT_PROGRAM_PATH), {option});
        ASSERT_TRUE(second.waitForStarted());
        runToItsEnd(second);
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit) << option.toStdString();
        EXPECT_EQ(second.exitCode(), 0) << option.toStdString();
        output << QString::fromLocal8Bit(second.readAllStandardOutput());
    }
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(output.value(0), u"Vellumtree "_s + QStringLiteral(VT_PROJECT_VERSION) + u'\n');
    EXPECT_TRUE(output.value(1).contains(u"Usage: vellumtree"_s)) << output.value(1).toStdString();
    EXPECT_TRUE(output.value(1).contains(u"--version"_s));
    EXPECT_EQ(requests.size(), 0);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
    EXPECT_EQ(window->NoteFile(), path(u"first.vlt"_s));
    EXPECT_FALSE(QFileInfo::exists(path(u"--help"_s)));

    // The about box names the same version.
    QString about;
    TfrmAbout::RunModal = [&about](TfrmAbout &box) {
        box.show();
        about = box.lblInformation->text();
        return int(QDialog::Accepted);
    };
    command("miHelpAbout")->trigger();
    TfrmAbout::RunModal = nullptr;
    EXPECT_TRUE(about.contains(QStringLiteral(VT_PROJECT_VERSION))) << about.toStdString();
}

// F1 and the Help menu open the help document; what a user changes in it goes to a
// file of their own, never over the installed help.
TEST_F(MainWindowTest, F1OpensTheHelpAndItsEditsAreNeverSavedOverIt)
{
    start();
    const QString helpPath = ProgramFilePath(u"Help.vlt"_s);
    QFile helpFile(helpPath);
    ASSERT_TRUE(helpFile.open(QIODevice::ReadOnly)) << helpPath.toStdString();
    const QByteArray help = helpFile.readAll();
    helpFile.close();

    QAction *contents = command("miHelpContents");
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_TRUE(window->findChild<QMenu *>(u"miHelp"_s)->actions().contains(contents));
    contents->trigger();
    ASSERT_EQ(QFileInfo(window->NoteFile()).canonicalFilePath(),
              QFileInfo(helpPath).canonicalFilePath());

    Settings->AutoSave = 3;
    window->SetModified(true);
    window->tmrAutosaveTimer();
    EXPECT_TRUE(dialogs.isEmpty());
    chosenFile = path(u"my-help.vlt"_s);
    command("miFileSave")->trigger();
    EXPECT_EQ(dialogs, QStringList{u"save"_s});
    EXPECT_EQ(window->NoteFile(), path(u"my-help.vlt"_s));
    ASSERT_TRUE(helpFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(helpFile.readAll(), help);
}

TEST_F(MainWindowTest, DocumentHundredThousandLevelsDeepOpensSavesAndCopies)
{
    // Saving and copying such a document once overflowed the stack, and showing it made
    // the tree view open (and lay out) every level.
    constexpr int depth = 100000;
    {
        TNoteTree tree;
        tree.BeginBulkUpdate();
        TNote *last = nullptr;
        for (int level = 0; level < depth; ++level)
            last = tree.AddNote(last, u"n%1"_s.arg(level), imLastChild, u"body %1"_s.arg(level));
        tree.EndBulkUpdate();
        TArchive archive(&tree);
        archive.LastNode = last;
        archive.WriteNotes(nullptr, path(u"deep.vlt"_s));
    }
    start(path(u"deep.vlt"_s));
    TNote *deepest = window->TopicTree->selectedNote();
    ASSERT_NE(deepest, nullptr);
    EXPECT_EQ(deepest->Title(), u"n%1"_s.arg(depth - 1));
    EXPECT_EQ(window->Notes->toPlainText().trimmed(), u"body %1"_s.arg(depth - 1));

    typeInEditor(u"!"_s);
    command("miFileSave")->trigger();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
    {
        TNoteTree back;
        TArchive archive(&back);
        ASSERT_TRUE(archive.ReadNotes(nullptr, path(u"deep.vlt"_s)));
        EXPECT_EQ(back.Count(), depth);
        ASSERT_NE(archive.LastNode, nullptr);
        EXPECT_EQ(archive.LastNode->BodyText(), u"body %1\r\n!\r\n"_s.arg(depth - 1));
    }

    select(u"n0"_s);
    command("miNotesCopy")->trigger();
    QApplication::processEvents();
    command("miNotesPaste")->trigger();
    EXPECT_EQ(window->TopicTreeModel->Count(), 2 * depth);
    // Expanding everything stops at the depth the view can lay out.
    QTest::keyClick(window->TopicTree, Qt::Key_Asterisk);
    EXPECT_TRUE(window->TopicTree->isExpanded(
        window->TopicTreeModel->IndexOf(window->TopicTreeModel->FirstNote())));
}

} // namespace
