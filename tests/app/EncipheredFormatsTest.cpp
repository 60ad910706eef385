// The two enciphered formats in the main window: the strong one offered first where a
// document is protected, the compatible one a choice away, and a .vlx that cannot be
// opened leaving the open document alone.

#include "MainWindowFixture.h"
#include "TempFiles.h"

using E = TArchive::TEncipherment;

namespace {

class EncipheredFormatsTest : public MainWindowTest
{
protected:
    void adjust(TSettings &settings) override { settings.Backup = true; }

    bool isStrong(const QString &name) const
    {
        const QByteArray bytes = readBytes(name);
        return TArchive::IsEncipheredData(bytes) && !bytes.startsWith("VLE");
    }
};

TEST_F(EncipheredFormatsTest, EncryptOffersTheStrongFormatFirstAndTheCompatibleOneOnRequest)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    passwords << u"secret1"_s;
    command("miFileEncrypt")->trigger();
    EXPECT_EQ(offeredFormats, QList<E>{E::Strong});
    EXPECT_EQ(window->NoteFile(), path(u"doc.vlx"_s));
    command("miFileSave")->trigger();
    EXPECT_TRUE(isStrong(u"doc.vlx"_s));
    EXPECT_FALSE(QFile::exists(path(u"doc.vlt"_s))) << "Delete original file";

    writeDocument(u"other.vlt"_s);
    window->OpenDocument(path(u"other.vlt"_s));
    passwords << u"secret1"_s;
    formats << E::Compatible;
    command("miFileEncrypt")->trigger();
    EXPECT_EQ(window->NoteFile(), path(u"other.vle"_s));
    command("miFileSave")->trigger();
    EXPECT_TRUE(readBytes(u"other.vle"_s).startsWith("VLE"));
}

// Save As to an enciphered name asks for the format too, the strong one preselected
// whatever the name: the choice names the file.
TEST_F(EncipheredFormatsTest, SaveAsNamesTheFileByTheFormatChosen)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    chosenFile = path(u"copy.vle"_s);
    passwords << u"abcd"_s;
    command("miFileSaveAs")->trigger();
    EXPECT_EQ(offeredFormats, QList<E>{E::Strong});
    EXPECT_EQ(window->NoteFile(), path(u"copy.vlx"_s));
    EXPECT_TRUE(isStrong(u"copy.vlx"_s));
    EXPECT_FALSE(QFile::exists(path(u"copy.vle"_s)));

    chosenFile = path(u"again.vlx"_s);
    passwords << u"abcd"_s;
    formats << E::Compatible;
    command("miFileSaveAs")->trigger();
    EXPECT_EQ(window->NoteFile(), path(u"again.vle"_s));
    EXPECT_TRUE(readBytes(u"again.vle"_s).startsWith("VLE"));
    EXPECT_FALSE(QFile::exists(path(u"again.vlx"_s)));

    // A .vle stays one: Save keeps its format and asks nothing.
    typeInEditor(u"more"_s);
    command("miFileSave")->trigger();
    EXPECT_EQ(passwordQuestions.size(), 2);
    EXPECT_TRUE(readBytes(u"again.vle"_s).startsWith("VLE"));
}

TEST_F(EncipheredFormatsTest, FileOfTheOtherFormatUnderTheChosenNameAsksBeforeItIsReplaced)
{
    writeDocument(u"doc.vlt"_s);
    WriteTestFile(path(u"taken.vlx"_s), "someone else's file");
    QFile::setPermissions(path(u"taken.vlx"_s), QFile::ReadOwner);
    start(path(u"doc.vlt"_s));
    chosenFile = path(u"taken.vle"_s);
    passwords << u"abcd"_s;
    answers << QMessageBox::No; // no Save As under yet another name
    command("miFileSaveAs")->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(u"taken.vlx"_s)) << messages.first().toStdString();
    EXPECT_EQ(readBytes(u"taken.vlx"_s), "someone else's file");
    EXPECT_EQ(window->NoteFile(), path(u"doc.vlt"_s));
}

// A wrong password and a damaged file are each said as such, and the open document
// stays as it was.
TEST_F(EncipheredFormatsTest, StrongFileThatCannotBeOpenedLeavesTheDocumentAlone)
{
    writeDocument(u"secret.vlx"_s, u"right12"_s);
    QByteArray damaged = readBytes(u"secret.vlx"_s);
    damaged[damaged.size() - 3] = static_cast<char>(damaged[damaged.size() - 3] ^ 0x10);
    WriteTestFile(path(u"damaged.vlx"_s), damaged);
    writeDocument(u"open.vlt"_s);
    start(path(u"open.vlt"_s));
    note(u"Gamma"_s)->SetBody(QStringList{u"unsaved"_s});
    window->SetModified(true);

    passwords << u"wrong12"_s << u"right12"_s;
    window->OpenDocument(path(u"secret.vlx"_s));
    window->OpenDocument(path(u"damaged.vlx"_s));
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], u"Invalid password!"_s);
    EXPECT_TRUE(messages[1].contains(u"is damaged or was changed"_s)
                && messages[1].contains(u"damaged.vlx"_s))
        << messages[1].toStdString();
    EXPECT_EQ(window->NoteFile(), path(u"open.vlt"_s));
    EXPECT_EQ(note(u"Gamma"_s)->Body(), QStringList{u"unsaved"_s});
    EXPECT_TRUE(window->Modified());
}

TEST_F(EncipheredFormatsTest, StrongDocumentIsSavedWithItsOwnKeyAndEncipheredBackups)
{
    writeDocument(u"doc.vlx"_s, u"secret1"_s);
    const QByteArray first = readBytes(u"doc.vlx"_s);
    passwords << u"secret1"_s;
    start(path(u"doc.vlx"_s));
    typeInEditor(u"change"_s);
    command("miFileSave")->trigger();
    const QByteArray second = readBytes(u"doc.vlx"_s);
    EXPECT_NE(second, first);
    EXPECT_EQ(second.mid(8, 34), first.mid(8, 34)) << "the key was derived anew";
    EXPECT_EQ(readBytes(u"doc.vlx.bak"_s), first) << "the backup is the enciphered file";
    EXPECT_EQ(passwordQuestions, QStringList{u"enter"_s});

    TNoteTree back;
    TArchive reader(&back);
    reader.Password = u"secret1"_s;
    ASSERT_TRUE(reader.ReadNotes(nullptr, path(u"doc.vlx"_s)));
    const TNote *edited = back.FindByTitle(window->TopicTree->selectedNote()->Title());
    ASSERT_TRUE(edited);
    EXPECT_TRUE(edited->BodyText().contains(u"change"_s)) << edited->BodyText().toStdString();
}

} // namespace
