// The document's file changed by another program while the window holds it: a save
// asks before it overwrites the change, an autosave never does, and the window follows
// the file (an unmodified document reloads, a modified one shows a notice).

#include "MainWindowFixture.h"
#include "TempFiles.h"

#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class ExternalChangeTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        writeDocument(u"doc.vlt"_s);
        start(path(u"doc.vlt"_s));
        ASSERT_EQ(titles(), u"Alpha,>Beta,Gamma"_s);
        ASSERT_TRUE(messages.isEmpty());
    }

    // What another program writes: a note of its own at the end.
    void changeElsewhere(const QString &title = u"Theirs"_s)
    {
        TNoteTree tree;
        TArchive reader(&tree);
        ASSERT_TRUE(reader.ReadNotes(nullptr, path(u"doc.vlt"_s)));
        tree.AddNote(nullptr, title, imLastChild, u"their text"_s);
        TArchive(&tree).WriteNotes(nullptr, path(u"doc.vlt"_s));
    }

    QString onDisk() const
    {
        TNoteTree tree;
        TArchive reader(&tree);
        if (!reader.ReadNotes(nullptr, path(u"doc.vlt"_s)))
            return u"<unreadable>"_s;
        QStringList out;
        for (TNote *n = tree.FirstNote(); n; n = tree.NextInTreeOrder(n))
            out << QString(n->Level(), u'>') + n->Title();
        return out.join(u',');
    }

    void editGamma()
    {
        select(u"Gamma"_s);
        typeInEditor(u"mine"_s);
        ASSERT_TRUE(window->Modified());
    }

    bool noticeShown() const { return window->pnlFileChanged->isVisible(); }
};

TEST_F(ExternalChangeTest, SaveAsksBeforeOverwritingAChangeMadeElsewhere)
{
    editGamma();
    changeElsewhere();

    answers << QMessageBox::Cancel;
    command("miFileSave")->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(u"doc.vlt"_s)) << messages[0].toStdString();
    EXPECT_EQ(onDisk(), u"Alpha,>Beta,Gamma,Theirs"_s); // the other change stays
    EXPECT_TRUE(window->Modified());

    answers << QMessageBox::Yes; // Overwrite
    command("miFileSave")->trigger();
    EXPECT_EQ(onDisk(), u"Alpha,>Beta,Gamma"_s);
    EXPECT_FALSE(window->Modified());

    // The window's own saves are no change made elsewhere.
    typeInEditor(u" more"_s);
    command("miFileSave")->trigger();
    EXPECT_EQ(messages.size(), 2);
}

TEST_F(ExternalChangeTest, SaveAsOrReloadInsteadOfOverwriting)
{
    editGamma();
    changeElsewhere();
    answers << QMessageBox::Save; // Save As...
    chosenFile = path(u"mine.vlt"_s);
    command("miFileSave")->trigger();
    EXPECT_EQ(onDisk(), u"Alpha,>Beta,Gamma,Theirs"_s);
    EXPECT_TRUE(QFile::exists(path(u"mine.vlt"_s)));
    EXPECT_EQ(window->NoteFile(), path(u"mine.vlt"_s));

    // Back on doc.vlt with a change of ours: Reload asks once more, then takes theirs.
    chosenFile = path(u"doc.vlt"_s);
    command("miFileOpen")->trigger();
    ASSERT_EQ(window->NoteFile(), path(u"doc.vlt"_s));
    editGamma();
    changeElsewhere(u"Again"_s);
    messages.clear();
    answers << QMessageBox::Reset << QMessageBox::Yes;
    command("miFileSave")->trigger();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[1].contains(u"lost"_s)) << messages[1].toStdString();
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma,Theirs,Again"_s);
    EXPECT_FALSE(window->Modified());
}

TEST_F(ExternalChangeTest, AutosaveNeverOverwritesAChangedFileAndSaysSoOnce)
{
    Settings->AutoSave = 3;
    editGamma();
    changeElsewhere();
    window->tmrAutosaveTimer();
    window->tmrAutosaveTimer();
    window->AutoSaveOnSwitch();
    EXPECT_EQ(onDisk(), u"Alpha,>Beta,Gamma,Theirs"_s);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(noticeShown());
    EXPECT_TRUE(window->Modified());

    // The notice's Overwrite is the user's choice.
    window->pnlFileChanged->findChild<QPushButton *>(u"btnChangedOverwrite"_s)->click();
    EXPECT_EQ(onDisk(), u"Alpha,>Beta,Gamma"_s);
    EXPECT_FALSE(noticeShown());
}

TEST_F(ExternalChangeTest, DeletedOrReplacedFileCountsAsChanged)
{
    editGamma();
    ASSERT_TRUE(QFile::remove(path(u"doc.vlt"_s)));
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"doc.vlt"_s));
    answers << QMessageBox::Cancel;
    command("miFileSave")->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(QFileInfo(path(u"doc.vlt"_s)).isDir());

    ASSERT_TRUE(QDir(dir.path()).rmdir(u"doc.vlt"_s));
    answers << QMessageBox::Yes; // write it anew
    command("miFileSave")->trigger();
    EXPECT_EQ(onDisk(), u"Alpha,>Beta,Gamma"_s);
}

TEST_F(ExternalChangeTest, UnmodifiedDocumentReloadsByItselfWhereTheUserWas)
{
    select(u"Beta"_s);
    window->Notes->setFocus();
    QTextCursor cursor = window->Notes->textCursor();
    cursor.setPosition(3);
    window->Notes->setTextCursor(cursor);

    changeElsewhere();
    ASSERT_TRUE(QTest::qWaitFor([&] { return titles() == u"Alpha,>Beta,Gamma,Theirs"_s; }, 10000))
        << titles().toStdString();
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Beta"_s));
    EXPECT_EQ(window->Notes->textCursor().position(), 3);
    EXPECT_FALSE(window->Modified());
    EXPECT_TRUE(messages.isEmpty());

    // A sync tool replaces the file by a rename: followed all the same.
    TNoteTree tree;
    tree.AddNote(nullptr, u"Renamed in"_s, imLastChild);
    TArchive(&tree).WriteNotes(nullptr, path(u"new.vlt"_s));
    ASSERT_TRUE(QFile::remove(path(u"doc.vlt"_s)));
    ASSERT_TRUE(QFile::rename(path(u"new.vlt"_s), path(u"doc.vlt"_s)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return titles() == u"Renamed in"_s; }, 10000))
        << titles().toStdString();
}

TEST_F(ExternalChangeTest, ModifiedDocumentShowsANoticeAndKeepsItsChanges)
{
    editGamma();
    changeElsewhere();
    ASSERT_TRUE(QTest::qWaitFor([&] { return noticeShown(); }, 10000));
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma"_s);
    EXPECT_TRUE(window->Modified());
    EXPECT_TRUE(messages.isEmpty());

    answers << QMessageBox::Yes; // the changes of the window may go
    window->pnlFileChanged->findChild<QPushButton *>(u"btnChangedReload"_s)->click();
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma,Theirs"_s);
    EXPECT_FALSE(window->Modified());
}

// A file that cannot be read back is reported once, not again at every later change in
// its folder, and the document stays as it was.
TEST_F(ExternalChangeTest, FileThatCannotBeReadBackIsReportedOnce)
{
    QFile file(path(u"doc.vlt"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("no notes file\r\n");
    file.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.isEmpty(); }, 10000));
    for (int i = 0; i < 3; ++i) {
        WriteTestFile(path(u"other%1.txt"_s.arg(i)), "x"); // changes in the folder
        QTest::qWait(500);
    }
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma"_s);
}

} // namespace

