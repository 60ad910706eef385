// Recovery copies in the window: written a moment after a change, enciphered for an
// enciphered document, gone after a save or a deliberate No, and offered by the next
// window when one is left over.

#include "MainWindowFixture.h"
#include "TempFiles.h"

#include "notes/Recovery.h"

#include <QFileInfo>

namespace {

class RecoveryWindow : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        TfrmMain::RecoveryQuietMs = 50;
        TfrmMain::RecoveryLongestMs = 400;
    }

    void TearDown() override
    {
        TfrmMain::RecoveryQuietMs = 2000;
        TfrmMain::RecoveryLongestMs = 30000;
        MainWindowTest::TearDown();
    }

    QString folder() const { return TRecoveryStore::DefaultFolder(); }

    // The copies in the folder, of every session, running or not.
    QStringList copies() const
    {
        return QDir(folder()).entryList({ u"*.vlt"_s, u"*.vle"_s, u"*.vlx"_s }, QDir::Files);
    }

    bool waitForCopy() const
    {
        return QTest::qWaitFor([this] { return !copies().isEmpty(); }, 5000);
    }

    void type(const QString &text)
    {
        window->Notes->setFocus();
        window->Notes->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->Notes, text);
    }

    // The first note's body in the one copy there is.
    QString copiedBody(const QString &password = {}) const
    {
        const QStringList names = copies();
        if (names.size() != 1)
            return u"(%1 copies)"_s.arg(names.size());
        TNoteTree tree;
        TArchive archive(&tree);
        archive.Password = password;
        archive.ReadNotes(nullptr, folder() + u'/' + names.first());
        return tree.FirstNote() ? tree.FirstNote()->BodyText() : QString();
    }

    // The body of a note with the editor's text in it, as a save would write it.
    QString bodyOf(const QString &title) const
    {
        window->StoreEditorText();
        return note(title)->BodyText();
    }

    // Ends the window as a crash would: no close, no question, its copy stays.
    void crash() { window.reset(); }

    bool offered() const
    {
        return std::any_of(messages.begin(), messages.end(),
            [](const QString &m) { return m.contains(u"recovery copy"_s); });
    }
};

} // namespace

TEST_F(RecoveryWindow, ACopyFollowsTheTypingAndGoesWithTheSaveOrANo)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Alpha"_s);
    type(u" and more"_s);
    ASSERT_TRUE(waitForCopy());
    EXPECT_TRUE(bodyOf(u"Alpha"_s).contains(u" and more"_s));
    EXPECT_EQ(copiedBody(), bodyOf(u"Alpha"_s));
    EXPECT_EQ(ReadTestFile(path(u"doc.vlt"_s)).contains("more"), false);

    // Typing goes on: the copy follows.
    type(u" still"_s);
    EXPECT_TRUE(QTest::qWaitFor([this] { return copiedBody().contains(u"more still"_s); }, 5000));
    EXPECT_EQ(copiedBody(), bodyOf(u"Alpha"_s));

    command("miFileSave")->trigger();
    EXPECT_TRUE(copies().isEmpty()) << "a saved document needs no copy";

    // A change given up at the question leaves no copy either.
    type(u"!"_s);
    ASSERT_TRUE(waitForCopy());
    answers = { QMessageBox::No };
    command("miFileNew")->trigger();
    EXPECT_TRUE(copies().isEmpty());
    EXPECT_FALSE(offered());
}

// In the document's own format: a .vlx's text never goes into the weak one, and its
// copy takes the document's key instead of deriving one at every pause in typing.
class EncipheredRecovery : public RecoveryWindow,
                           public ::testing::WithParamInterface<const char *>
{
};

TEST_P(EncipheredRecovery, AnEncipheredDocumentsCopyIsEncipheredTheSameWay)
{
    const QString name = u"secret."_s + QString::fromLatin1(GetParam());
    writeDocument(name, u"pass word"_s);
    passwords = { u"pass word"_s };
    start(path(name));
    select(u"Alpha"_s);
    type(u" confidential"_s);
    ASSERT_TRUE(waitForCopy());
    ASSERT_EQ(copies().size(), 1);
    EXPECT_TRUE(copies().first().endsWith(u'.' + QString::fromLatin1(GetParam())));
    const QByteArray raw = ReadTestFile(folder() + u'/' + copies().first());
    EXPECT_FALSE(raw.contains("confidential"));
    EXPECT_FALSE(raw.contains("Alpha"));
    EXPECT_EQ(raw.left(3) == "VLE", name.endsWith(u".vle"_s));
    if (name.endsWith(u".vlx"_s)) {
        EXPECT_EQ(raw.mid(8, 34), readBytes(name).mid(8, 34)) << "not the document's own key";
    }
    EXPECT_TRUE(bodyOf(u"Alpha"_s).contains(u"confidential"_s));
    EXPECT_EQ(copiedBody(u"pass word"_s), bodyOf(u"Alpha"_s));
}

INSTANTIATE_TEST_SUITE_P(Formats, EncipheredRecovery, ::testing::Values("vle", "vlx"));

TEST_F(RecoveryWindow, TheNextWindowOffersALeftoverCopyToRecoverDiscardOrKeep)
{
    writeDocument(u"doc.vlt"_s);
    const QByteArray saved = ReadTestFile(path(u"doc.vlt"_s));
    start(path(u"doc.vlt"_s));
    select(u"Beta"_s);
    type(u" lost?"_s);
    ASSERT_TRUE(waitForCopy());
    const QString typed = bodyOf(u"Beta"_s);
    crash();

    // Later: the copy stays for the start after.
    answers = { QMessageBox::Ignore };
    start(path(u"doc.vlt"_s));
    ASSERT_TRUE(QTest::qWaitFor([this] { return offered(); }, 5000));
    EXPECT_TRUE(messages.last().contains(QDir::toNativeSeparators(path(u"doc.vlt"_s))));
    EXPECT_FALSE(window->Modified());
    crash();
    EXPECT_EQ(copies().size(), 1);

    // Recover: the document comes back modified, under its own name, at the note
    // that was being typed in; the file itself is untouched until a save.
    messages.clear();
    answers = { QMessageBox::Yes };
    start(path(u"doc.vlt"_s));
    ASSERT_TRUE(QTest::qWaitFor([this] { return offered(); }, 5000));
    EXPECT_TRUE(window->Modified());
    EXPECT_EQ(window->NoteFile(), path(u"doc.vlt"_s));
    ASSERT_TRUE(note(u"Beta"_s));
    EXPECT_TRUE(typed.contains(u"lost?"_s));
    EXPECT_EQ(note(u"Beta"_s)->BodyText(), typed);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Beta"_s));
    EXPECT_EQ(ReadTestFile(path(u"doc.vlt"_s)), saved);
    EXPECT_EQ(copies().size(), 1) << "the recovered copy gives way to this window's own";
    command("miFileSave")->trigger();
    EXPECT_TRUE(ReadTestFile(path(u"doc.vlt"_s)).contains("lost?"));
    EXPECT_TRUE(copies().isEmpty());
}

TEST_F(RecoveryWindow, ARecoveredDocumentStillNoticesAFileChangedSinceAndDiscardRemoves)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Alpha"_s);
    type(u" mine"_s);
    ASSERT_TRUE(waitForCopy());
    crash();
    // Someone else changes the file before the next start.
    writeDocument(u"doc.vlt"_s);
    WriteTestFile(path(u"doc.vlt"_s), ReadTestFile(path(u"doc.vlt"_s)) + "\n");

    answers = { QMessageBox::Yes };
    start(path(u"doc.vlt"_s));
    ASSERT_TRUE(QTest::qWaitFor([this] { return offered(); }, 5000));
    EXPECT_TRUE(messages.last().contains(u"changed since"_s));
    messages.clear();
    answers = { QMessageBox::Cancel };
    command("miFileSave")->trigger();
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.first().contains(u"changed"_s)) << "the save asks first";
    EXPECT_FALSE(ReadTestFile(path(u"doc.vlt"_s)).contains("mine"));
    crash();

    // Discard removes the copy for good.
    messages.clear();
    answers = { QMessageBox::Discard };
    start(path(u"doc.vlt"_s));
    ASSERT_TRUE(QTest::qWaitFor([this] { return offered(); }, 5000));
    crash();
    EXPECT_TRUE(copies().isEmpty());
}
