// File → Import and File → Export through the real window, with the file dialogs
// answered.

#include "TempFiles.h"
#include "app/MainWindowFixture.h"
#include "notes/Archive.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

class ImportExportTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        start([](TNoteTree &tree) {
            TNote *a = tree.AddNote(nullptr, u"a/b: c"_s, imLastChild, u"body a"_s);
            tree.AddNote(a, u"child"_s, imLastChild, u"body child"_s);
            tree.AddNote(nullptr, u"<<>>last"_s, imLastChild);
        });
    }

    void write(const QString &name, const QByteArray &bytes) const
    {
        WriteTestFile(path(name), bytes);
    }

    void run(const char *command, const QString &title, const QString &file)
    {
        select(title);
        chosenFile = file.isEmpty() ? QString() : path(file);
        QAction *action = this->command(command);
        ASSERT_TRUE(action->isEnabled());
        action->trigger();
        QApplication::processEvents();
    }

    QString tree() const
    {
        QStringList out;
        const TNoteTree *t = window->TopicTreeModel;
        for (TNote *n = t->FirstNote(); n; n = t->NextInTreeOrder(n))
            out << QString(n->Level(), u'>') + n->Title();
        return out.join(u',');
    }
};

TEST_F(ImportExportTest, TextImportReplacesTheBodyAndMarksTheDocument)
{
    write(u"in.txt"_s, "one\r\ntwo\rthree\0hidden");
    run("miFileImport", u"child"_s, u"in.txt"_s);
    ASSERT_EQ(dialogTexts.size(), 1);
    EXPECT_EQ(dialogs, QStringList{u"open"_s});
    EXPECT_EQ(dialogTexts[0].Title, u"Import into \"child\""_s);
    EXPECT_EQ(dialogTexts[0].OkText, u"&Import"_s);
    EXPECT_TRUE(dialogTexts[0].Filter.startsWith(u"Text files"_s));
    EXPECT_TRUE(window->FileDialogTexts().Title.isEmpty()); // the usual texts are back
    EXPECT_EQ(note(u"child"_s)->Body(), (QStringList{u"one"_s, u"two"_s, u"three"_s}));
    EXPECT_EQ(window->Notes->toPlainText(), u"one\ntwo\nthree\n"_s);
    EXPECT_TRUE(window->Modified());

    // The next File → Open shows the open dialog's own texts.
    chosenFile.clear();
    command("miFileOpen")->trigger();
    ASSERT_EQ(dialogTexts.size(), 2);
    EXPECT_EQ(dialogTexts[1].Title, u"Open"_s);
    EXPECT_EQ(dialogTexts[1].OkText, u"Open"_s);
    EXPECT_FALSE(dialogTexts[1].Filter.startsWith(u"Text files"_s));
}

TEST_F(ImportExportTest, SaveDialogAfterExportHasItsPlainSaveTexts)
{
    run("miFileExport", u"child"_s, u"child.txt"_s);
    chosenFile.clear();
    command("miFileSaveAs")->trigger();
    ASSERT_EQ(dialogTexts.size(), 2);
    EXPECT_EQ(dialogTexts[1].Title, u"Save"_s);
    EXPECT_EQ(dialogTexts[1].OkText, u"Save"_s);
}

TEST_F(ImportExportTest, CancelledOrUnreadableImportChangesNothing)
{
    run("miFileImport", u"child"_s, QString());
    run("miFileImport", u"child"_s, u"missing.txt"_s);
    run("miFileImport", u"child"_s, u"missing.vlt"_s);
    EXPECT_EQ(dialogs.size(), 3);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].contains(u"missing.txt"_s));
    EXPECT_TRUE(messages[1].contains(u"missing.vlt"_s));
    EXPECT_EQ(icons[0], QMessageBox::Critical);
    EXPECT_EQ(note(u"child"_s)->Body(), QStringList{u"body child"_s});
    EXPECT_FALSE(window->Modified());
    EXPECT_TRUE(window->FileDialogTexts().Title.isEmpty());
}

TEST_F(ImportExportTest, NotesFileImportAppendsItsNotesAsLastChildren)
{
    TNoteTree other;
    TNote *x = other.AddNote(nullptr, u"X"_s, imLastChild, u"x body"_s);
    other.AddNote(x, u"Y"_s, imLastChild);
    other.AddNote(nullptr, u"Z"_s, imLastChild);
    TArchive(&other).WriteNotes(nullptr, path(u"other.vlt"_s));
    run("miFileImport", u"a/b: c"_s, u"other.vlt"_s);
    EXPECT_EQ(tree(), u"a/b: c,>child,>X,>>Y,>Z,<<>>last"_s);
    EXPECT_EQ(note(u"X"_s)->Body(), QStringList{u"x body"_s});
    EXPECT_TRUE(window->Modified());
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"a/b: c"_s));

    // In capitals the extension is no notes file: its lines become the body.
    QFile::copy(path(u"other.vlt"_s), path(u"NOTES.VLT"_s));
    run("miFileImport", u"<<>>last"_s, u"NOTES.VLT"_s);
    EXPECT_EQ(note(u"<<>>last"_s)->Body().value(0), TArchive::DocTypeLine());
}

// An import replaces a body or adds a branch at once; Ctrl+Z in the tree takes either
// back, and Ctrl+Y makes it again.
TEST_F(ImportExportTest, ImportsAreTakenBackInTheTree)
{
    const auto treeKey = [this](Qt::Key key) {
        window->TopicTree->setFocus();
        QApplication::processEvents();
        QTest::keyClick(window->TopicTree, key, Qt::ControlModifier);
        QApplication::processEvents();
    };
    write(u"in.txt"_s, "imported");
    run("miFileImport", u"child"_s, u"in.txt"_s);
    EXPECT_EQ(note(u"child"_s)->Body(), QStringList{u"imported"_s});
    TNoteTree other;
    other.AddNote(other.AddNote(nullptr, u"X"_s, imLastChild), u"Y"_s, imLastChild);
    TArchive(&other).WriteNotes(nullptr, path(u"other.vlt"_s));
    run("miFileImport", u"a/b: c"_s, u"other.vlt"_s);
    EXPECT_EQ(tree(), u"a/b: c,>child,>X,>>Y,<<>>last"_s);

    treeKey(Qt::Key_Z);
    EXPECT_EQ(tree(), u"a/b: c,>child,<<>>last"_s);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"a/b: c"_s));
    treeKey(Qt::Key_Z);
    EXPECT_EQ(note(u"child"_s)->Body(), QStringList{u"body child"_s});
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"child"_s));
    EXPECT_EQ(window->Notes->toPlainText(), u"body child\n"_s);
    EXPECT_FALSE(window->Modified());
    treeKey(Qt::Key_Y);
    treeKey(Qt::Key_Y);
    EXPECT_EQ(note(u"child"_s)->Body(), QStringList{u"imported"_s});
    EXPECT_EQ(tree(), u"a/b: c,>child,>X,>>Y,<<>>last"_s);
    EXPECT_TRUE(window->Modified());
}

TEST_F(ImportExportTest, ExportWritesTextOrTheBranchAndLeavesTheDocumentAlone)
{
    run("miFileExport", u"a/b: c"_s, u"all.txt"_s);
    ASSERT_EQ(dialogTexts.size(), 1);
    EXPECT_EQ(dialogs, QStringList{u"save"_s});
    EXPECT_EQ(dialogTexts[0].Title, u"Export \"a/b: c\""_s);
    EXPECT_EQ(dialogTexts[0].OkText, u"&Export"_s);
    EXPECT_EQ(dialogTexts[0].FileName, u"a_b_ c"_s);
    EXPECT_EQ(readBytes(u"all.txt"_s), "a/b: c\r\n\r\nbody a\r\n\r\n\r\nchild\r\n\r\nbody child\r\n"
                                       "\r\n\r\n<<>>last\r\n\r\n");
    run("miFileExport", u"<<>>last"_s, u"last.txt"_s);
    EXPECT_EQ(dialogTexts[1].FileName, u"_last"_s);
    EXPECT_EQ(readBytes(u"last.txt"_s), "<<>>last\r\n\r\n");

    run("miFileExport", u"child"_s, u"child.VLT"_s);
    TNoteTree back;
    ASSERT_TRUE(TArchive(&back).ReadNotes(nullptr, path(u"child.VLT"_s)));
    EXPECT_EQ(back.Count(), 1);
    EXPECT_EQ(back.FirstNote()->Title(), u"child"_s);
    EXPECT_EQ(back.FirstNote()->Body(), QStringList{u"body child"_s});
    EXPECT_FALSE(window->Modified());
    EXPECT_TRUE(messages.isEmpty());

    run("miFileExport", u"child"_s, u"no/such/folder/x.txt"_s);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(u"x.txt"_s));
    EXPECT_TRUE(window->FileDialogTexts().Title.isEmpty());
}

TEST_F(ImportExportTest, EncipheredFileImportsAsNotesNeverAsCipherText)
{
    TNoteTree other;
    other.AddNote(nullptr, u"Secret"_s, imLastChild, u"hidden body"_s);
    TArchive enciphered(&other);
    enciphered.Password = u"secret12"_s;
    enciphered.WriteNotes(nullptr, path(u"other.vle"_s));

    passwords << u"wrong1"_s;
    run("miFileImport", u"child"_s, u"other.vle"_s);
    EXPECT_EQ(passwordQuestions, QStringList{u"enter"_s});
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(tree(), u"a/b: c,>child,<<>>last"_s);
    EXPECT_EQ(note(u"child"_s)->Body(), QStringList{u"body child"_s});
    EXPECT_FALSE(window->Modified());

    passwords << u"secret12"_s;
    run("miFileImport", u"child"_s, u"other.vle"_s);
    EXPECT_EQ(tree(), u"a/b: c,>child,>>Secret,<<>>last"_s);
    EXPECT_EQ(note(u"Secret"_s)->Body(), QStringList{u"hidden body"_s});
    EXPECT_EQ(note(u"child"_s)->Body(), QStringList{u"body child"_s});
    EXPECT_TRUE(window->Modified());
}

TEST_F(ImportExportTest, ExportUnderAnEncipheredNameEnciphersTheBranch)
{
    passwords << u"secret12"_s;
    formats << TArchive::TEncipherment::Compatible;
    run("miFileExport", u"child"_s, u"child.vle"_s);
    EXPECT_EQ(passwordQuestions, QStringList{u"new"_s});
    EXPECT_TRUE(readBytes(u"child.vle"_s).startsWith("VLE"));
    EXPECT_FALSE(readBytes(u"child.vle"_s).contains("body child"));
    TNoteTree back;
    TArchive reader(&back);
    reader.Password = u"secret12"_s;
    ASSERT_TRUE(reader.ReadNotes(nullptr, path(u"child.vle"_s)));
    EXPECT_EQ(back.Count(), 1);
    EXPECT_EQ(back.FirstNote()->Body(), QStringList{u"body child"_s});
    EXPECT_FALSE(window->Modified());

    // No password given: nothing is written.
    run("miFileExport", u"child"_s, u"other.vle"_s);
    EXPECT_FALSE(QFile::exists(path(u"other.vle"_s)));
}

TEST_F(ImportExportTest, TextImportOfMoreLinesThanANotesFileHoldsIsRefused)
{
    write(u"lines.txt"_s, QByteArray(TArchive::MaxLineBreaks / 2 + 1, '\n'));
    run("miFileImport", u"child"_s, u"lines.txt"_s);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(u"lines.txt"_s));
    EXPECT_EQ(note(u"child"_s)->Body(), QStringList{u"body child"_s});
    EXPECT_FALSE(window->Modified());
}

} // namespace

