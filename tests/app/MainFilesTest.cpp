// The main window's files at their edges: a linked notes file, a notes file that is
// no regular file, a note too large for the editor.

#include "MainWindowFixture.h"

#include "app/Main.h"
#include "app/MessageService.h"
#include "app/qkRichedit.h"
#include "app/qkRicheditText.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// The shared main-window fixture, on settings that keep backups.
class MainFilesTest : public MainWindowTest
{
protected:
    void adjust(TSettings &settings) override { settings.Backup = true; }

    // A notes file with the notes Small and Big, Big holding bigBody.
    void writeSmallAndBig(const QString &name, const QString &bigBody = {})
    {
        TNoteTree tree;
        tree.AddNote(nullptr, u"Small"_s, imLastChild, u"small text"_s);
        tree.AddNote(nullptr, u"Big"_s, imLastChild, bigBody);
        TArchive(&tree).WriteNotes(nullptr, path(name));
    }
};

TEST_F(MainFilesTest, NoteTooLargeForTheEditorIsSaidAndKeptUnchanged)
{
    const QString line(MaxEditorLineLength + 1, u'x');
    writeSmallAndBig(u"doc.vlt"_s, u"before\r\n"_s + line + u"\r\nafter"_s);
    start(path(u"doc.vlt"_s));
    select(u"Big"_s);
    EXPECT_TRUE(window->Notes->toPlainText().isEmpty());
    EXPECT_TRUE(window->Notes->isReadOnly());
    EXPECT_TRUE(window->Notes->placeholderText().contains(u"too large"_s))
        << window->Notes->placeholderText().toStdString();
    QTest::keyClicks(window->Notes, u"typed"_s);

    select(u"Small"_s);
    EXPECT_TRUE(window->Notes->toPlainText().startsWith(u"small text"_s));
    EXPECT_FALSE(window->Notes->isReadOnly());
    EXPECT_TRUE(window->Notes->placeholderText().isEmpty());
    window->Notes->moveCursor(QTextCursor::End);
    QTest::keyClicks(window->Notes, u" more"_s);
    select(u"Big"_s);
    window->miFileSaveClick();

    TNoteTree tree;
    ASSERT_TRUE(TArchive(&tree).ReadNotes(nullptr, path(u"doc.vlt"_s)));
    EXPECT_EQ(tree.FindByTitle(u"Big"_s)->Body(), QStringList({u"before"_s, line, u"after"_s}));
    EXPECT_EQ(tree.FindByTitle(u"Small"_s)->Body(), QStringList({u"small text"_s, u" more"_s}));
}

TEST_F(MainFilesTest, NoteOfTooManyLinesForTheEditorIsSaidAndKeptUnchanged)
{
    // Two megabytes of line breaks took the editor eight seconds and 900 MB to show.
    const QString body = u"first\r\n"_s + u"\r\n"_s.repeated(MaxEditorLineCount) + u"last\r\n"_s;
    writeSmallAndBig(u"doc.vlt"_s, body);
    start(path(u"doc.vlt"_s));
    select(u"Big"_s);
    EXPECT_EQ(window->Notes->document()->blockCount(), 1);
    EXPECT_TRUE(window->Notes->isReadOnly());
    const QString said = window->Notes->placeholderText();
    EXPECT_TRUE(said.contains(QLocale().toString(MaxEditorLineCount + 2))) << said.toStdString();
    QTest::keyClicks(window->Notes, u"typed"_s);
    select(u"Small"_s);
    select(u"Big"_s);
    window->miFileSaveClick();

    TNoteTree tree;
    ASSERT_TRUE(TArchive(&tree).ReadNotes(nullptr, path(u"doc.vlt"_s)));
    EXPECT_EQ(tree.FindByTitle(u"Big"_s)->BodyText(), body);
}

TEST_F(MainFilesTest, NoteImportedBeyondSixtyFiveThousandCharactersCanBeEdited)
{
    QString big;
    for (int i = 0; i < 1000; ++i)
        big += QString(79, QChar(u'a' + i % 26)) + u"\r\n"_s;
    writeSmallAndBig(u"doc.vlt"_s, big);
    start(path(u"doc.vlt"_s));
    select(u"Big"_s);
    ASSERT_FALSE(window->Notes->isReadOnly());
    typeInEditor(u"typed"_s);
    window->Notes->moveCursor(QTextCursor::Start);
    QGuiApplication::clipboard()->setText(u"pasted\r\n"_s);
    window->miEditPasteClick();
    select(u"Small"_s);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
    EXPECT_EQ(note(u"Big"_s)->BodyText(), u"pasted\r\n"_s + big + u"typed\r\n"_s);
    EXPECT_TRUE(window->Modified());
}

TEST_F(MainFilesTest, TextTheEditorRefusesIsSaid)
{
    writeSmallAndBig(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Small"_s);
    const QString before = window->Notes->EditorText();
    window->Notes->SetMaxLength(int(before.size()) + 2);
    typeInEditor(u"abc"_s);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(icons.value(0), QMessageBox::Warning);
    EXPECT_TRUE(messages.value(0).contains(u"not inserted"_s)) << messages.value(0).toStdString();
    EXPECT_TRUE(messages.value(0).contains(QLocale().toString(before.size() + 2)))
        << messages.value(0).toStdString();
    QGuiApplication::clipboard()->setText(u"pasted"_s);
    window->miEditPasteClick();
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(window->Notes->EditorText(), before + u"ab"_s);
}

#ifdef Q_OS_UNIX

TEST_F(MainFilesTest, LinkedNotesFileKeepsItsLinkAndIsBackedUpBesideItsTarget)
{
    QDir(dir.path()).mkpath(u"real"_s);
    writeSmallAndBig(u"real/doc.vlt"_s, u"old"_s);
    const QByteArray before = readBytes(u"real/doc.vlt"_s);
    ASSERT_TRUE(QFile::link(u"real/doc.vlt"_s, path(u"link.vlt"_s)));
    start(path(u"link.vlt"_s));
    select(u"Big"_s);
    window->Notes->moveCursor(QTextCursor::End);
    QTest::keyClicks(window->Notes, u" new"_s);
    window->miFileSaveClick();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    EXPECT_TRUE(QFileInfo(path(u"link.vlt"_s)).isSymLink());
    EXPECT_TRUE(readBytes(u"link.vlt"_s).contains("old\r\n new\r\n"));
    EXPECT_EQ(readBytes(u"real/doc.vlt.bak"_s), before);
    EXPECT_FALSE(QFile::exists(path(u"link.vlt.bak"_s)));
}

TEST_F(MainFilesTest, FifoAsTheNotesFileIsRefusedNotWaitedFor)
{
    // Enciphered or not, and without a password question first.
    for (const QString &name : {u"pipe.vlt"_s, u"pipe.vle"_s}) {
        messages.clear();
        ASSERT_EQ(::mkfifo(QFile::encodeName(path(name)).constData(), 0600), 0);
        start(path(name));
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages.first().contains(u"pipe"_s)) << messages.first().toStdString();
    }
}

#endif

// A Save As that fails must not leave the document without its password: the next
// Ctrl+S would ask for a new one and re-key the file.
TEST_F(MainFilesTest, FailedSaveAsKeepsThePasswordOfTheEncipheredDocument)
{
    writeDocument(u"doc.vle"_s, u"secret12"_s);
    passwords << u"secret12"_s;
    start(path(u"doc.vle"_s));
    ASSERT_EQ(titles(), u"Alpha,>Beta,Gamma"_s);

    passwords << u"other123"_s;
    formats << TArchive::TEncipherment::Compatible;
    chosenFile = path(u"no/such/folder/copy.vle"_s);
    command("miFileSaveAs")->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(u"copy.vle"_s)) << messages.first().toStdString();

    window->SetModified(true);
    const qsizetype questions = passwordQuestions.size();
    command("miFileSave")->trigger();
    EXPECT_EQ(passwordQuestions.size(), questions);
    EXPECT_FALSE(window->Modified());
    TNoteTree back;
    TArchive reader(&back);
    reader.Password = u"secret12"_s;
    EXPECT_TRUE(reader.ReadNotes(nullptr, path(u"doc.vle"_s)));
}

// A damaged file opens with a warning, and the first save over it keeps the untouched
// original beside it, whatever the Backup setting; later saves do not copy it again.
TEST_F(MainFilesTest, DamagedFileIsSaidAndItsOriginalKeptAtTheFirstSave)
{
    writeDocument(u"doc.vlt"_s);
    const QByteArray whole = readBytes(u"doc.vlt"_s);
    const QByteArray cut = whole.left(whole.lastIndexOf("\r\n", whole.indexOf("Gamma")) + 2);
    QFile file(path(u"doc.vlt"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(cut);
    file.close();

    start(path(u"doc.vlt"_s));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(u"damaged"_s)) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(u"doc.damaged.vlt"_s)) << messages[0].toStdString();
    EXPECT_EQ(titles(), u"Alpha,>Beta"_s);

    window->SetModified(true);
    command("miFileSave")->trigger();
    EXPECT_EQ(readBytes(u"doc.damaged.vlt"_s), cut);
    EXPECT_FALSE(window->Modified());
    window->SetModified(true);
    command("miFileSave")->trigger();
    EXPECT_FALSE(QFile::exists(path(u"doc.damaged-2.vlt"_s)));
    EXPECT_EQ(readBytes(u"doc.damaged.vlt"_s), cut);
}

// A notes file its owner made read-only is not replaced: a save says so and offers
// another name, an autosave says so once.
TEST_F(MainFilesTest, ReadOnlyNotesFileIsNotReplacedAndSaveAsIsOffered)
{
    writeDocument(u"doc.vlt"_s);
    const QByteArray before = readBytes(u"doc.vlt"_s);
    QFile::setPermissions(path(u"doc.vlt"_s), QFileDevice::ReadOwner);
    start(path(u"doc.vlt"_s));
    window->SetModified(true);

    window->tmrAutosaveTimer();
    Settings->AutoSave = 3;
    window->tmrAutosaveTimer();
    window->tmrAutosaveTimer();
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(readBytes(u"doc.vlt"_s), before);

    answers << QMessageBox::Yes;
    chosenFile = path(u"copy.vlt"_s);
    command("miFileSave")->trigger();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[1].contains(u"read-only"_s)) << messages[1].toStdString();
    EXPECT_EQ(readBytes(u"doc.vlt"_s), before);
    EXPECT_EQ(window->NoteFile(), path(u"copy.vlt"_s));
    EXPECT_FALSE(window->Modified());
}

} // namespace

