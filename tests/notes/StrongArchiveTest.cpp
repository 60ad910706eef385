// Notes files in the strong enciphered format (.vlx): they hold exactly the text of a
// plain file, refuse every change, and never touch the document they fail to open.

#include "TempFiles.h"
#include "TreeText.h"

#include "crypto/STRMBlowfish.h"
#include "crypto/StrongCipher.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using TreeText::build;
using TreeText::dump;

namespace {

class StrongArchiveTest : public ::testing::Test
{
protected:
    void SetUp() override { StrongCipher::SetParamsForNewKeys(StrongCipher::MinimumParams()); }
    void TearDown() override
    {
        StrongCipher::SetParamsForNewKeys(StrongCipher::DefaultParams());
    }

    QString path(const QString &name) const { return dir.filePath(name); }
    QByteArray readBytes(const QString &name) const { return ReadTestFile(path(name)); }

    void write(TNoteTree &from, const QString &name, const QString &password,
               TTextEncoding encoding = TTextEncoding::Utf8, const QString &backup = {})
    {
        TArchive writer(&from);
        writer.Password = password;
        writer.Title = u"Title"_s;
        writer.Encoding = encoding;
        writer.WriteNotes(nullptr, path(name), backup.isEmpty() ? QString() : path(backup));
    }

    QByteArray decipher(const QByteArray &file, const QString &password)
    {
        QByteArray text;
        EXPECT_EQ(StrongCipher::Decipher(file, password.toUtf8(), text, qint64(1) << 30),
                  StrongCipher::TStatus::Ok);
        return text;
    }

    // Reads name into `tree` and returns what went wrong, empty when it opened.
    QString readError(const QString &name, const QString &password)
    {
        TArchive reader(&tree);
        reader.Password = password;
        try {
            return reader.ReadNotes(nullptr, path(name)) ? QString() : u"not notes"_s;
        } catch (const EVellumtreeError &e) {
            return e.message();
        }
    }

    QTemporaryDir dir;
    TNoteTree tree;
};

// Notes with text in several scripts (those of the code page for a legacy one), so
// that the file spans several chunks.
void generate(TNoteTree &tree, int notes, TTextEncoding encoding = TTextEncoding::Utf8)
{
    const bool utf8 = encoding == TTextEncoding::Utf8;
    const QString title = utf8 ? u"Note %1 — Привет 日本"_s : u"Note %1 — Привет"_s;
    const QString line = utf8 ? u"line one of %1 with äöü and 😀"_s : u"line one of %1, щ"_s;
    TNote *parent = nullptr;
    for (int i = 0; i < notes; ++i) {
        TNote *note = tree.AddNote(parent, title.arg(i), imLastChild);
        note->SetBody({line.arg(i), QString(), u"</pre></dd>"_s, QString(i % 40, u'x')});
        if (i % 9 == 0)
            parent = note;
        else if (i % 17 == 0 && parent)
            parent = parent->Parent();
    }
}

struct TDocCase
{
    const char *name;
    int notes;
    TTextEncoding encoding;
    const char16_t *password;
};

class StrongRoundTrip : public StrongArchiveTest, public ::testing::WithParamInterface<TDocCase>
{
};

TEST_P(StrongRoundTrip, HoldsThePlainFilesTextAndReadsBackToTheSameFile)
{
    const TDocCase param = GetParam();
    const QString password = QString::fromUtf16(param.password);
    TNoteTree source;
    generate(source, param.notes, param.encoding);
    write(source, u"doc.vlt"_s, {}, param.encoding);
    write(source, u"doc.VLX"_s, password, param.encoding);
    EXPECT_FALSE(QFile::exists(path(u"doc.VLX"_s))) << "written in lower case";
    const QByteArray plain = readBytes(u"doc.vlt"_s);
    const QByteArray file = readBytes(u"doc.vlx"_s);
    ASSERT_TRUE(TArchive::IsEncipheredData(file));
    EXPECT_EQ(decipher(file, password), plain);
    EXPECT_FALSE(file.contains("Note 1")) << "no plain text in the file";

    TArchive reader(&tree);
    reader.Password = password;
    reader.LegacyEncoding =
        param.encoding == TTextEncoding::Utf8 ? TTextEncoding::Windows1252 : param.encoding;
    ASSERT_TRUE(reader.ReadNotes(nullptr, path(u"doc.vlx"_s)));
    EXPECT_EQ(reader.Encoding, param.encoding);
    EXPECT_FALSE(reader.Damage.Any());
    EXPECT_EQ(tree.Count(), source.Count());
    TArchive again(&tree);
    again.Title = reader.Title;
    again.Encoding = reader.Encoding;
    again.WriteNotes(nullptr, path(u"again.vlt"_s));
    EXPECT_EQ(readBytes(u"again.vlt"_s), plain);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, StrongRoundTrip,
    ::testing::Values(TDocCase{"Empty", 0, TTextEncoding::Utf8, u"pass"},
                      TDocCase{"Small", 3, TTextEncoding::Utf8, u"pass"},
                      TDocCase{"Large", 3000, TTextEncoding::Utf8, u"pass"},
                      TDocCase{"NonAsciiPassword", 50, TTextEncoding::Utf8, u"päss wört 密码 🔑"},
                      TDocCase{"LegacyCodePage", 2000, TTextEncoding::Windows1251, u"pass"}),
    [](const auto &info) { return std::string(info.param.name); });

// Every failure leaves the open document as it was and says which failure it is.
TEST_F(StrongArchiveTest, WrongPasswordAndDamageAreToldApartAndChangeNothing)
{
    TNoteTree source;
    generate(source, 2000);
    write(source, u"doc.vlx"_s, u"right"_s);
    const QByteArray file = readBytes(u"doc.vlx"_s);
    ASSERT_GT(file.size(), 3 * StrongCipher::ChunkSize);
    build(tree, u"Open,Document"_s);

    for (const QString &wrong : {u"wrong"_s, u"Right"_s, QString(), u"right "_s})
        EXPECT_EQ(readError(u"doc.vlx"_s, wrong), u"Invalid password!"_s);

    const auto damaged = [&](const QByteArray &bytes) {
        WriteTestFile(path(u"bad.vlx"_s), bytes);
        return readError(u"bad.vlx"_s, u"right"_s);
    };
    const QString name = QDir::toNativeSeparators(path(u"bad.vlx"_s));
    const QString prefix = u"The file \"%1\" is damaged or was changed ("_s.arg(name);
    QByteArray flipped = file;
    flipped[30] = static_cast<char>(flipped[30] ^ 0x40);
    EXPECT_EQ(damaged(flipped), prefix + u"its header). Nothing of it was opened."_s);
    flipped = file;
    const qsizetype second = StrongCipher::HeaderSize + StrongCipher::ChunkSize
        + StrongCipher::ChunkOverhead;
    flipped[second + 3] = static_cast<char>(flipped[second + 3] ^ 1);
    EXPECT_EQ(damaged(flipped),
              prefix + u"at byte %1). Nothing of it was opened."_s.arg(second));
    EXPECT_EQ(damaged(file.first(second)),
              prefix + u"its end is missing). Nothing of it was opened."_s);
    EXPECT_TRUE(damaged(file.chopped(1)).startsWith(prefix));
    EXPECT_TRUE(damaged(file + "x").startsWith(prefix));
    EXPECT_EQ(damaged(file.first(5)), u"Invalid file signature!"_s);
    EXPECT_EQ(damaged("VLE12345"), u"Invalid file signature!"_s);
    EXPECT_EQ(dump(tree), u"Open,Document"_s);
}

TEST_F(StrongArchiveTest, AuthenticTextThatIsNoNotesTextIsNotRead)
{
    build(tree, u"Open"_s);
    WriteTestFile(path(u"other.vlx"_s),
                  StrongCipher::Encipher("just some text\r\nand more\r\n",
                                         StrongCipher::TStrongKey::Create("pass")));
    EXPECT_EQ(readError(u"other.vlx"_s, u"pass"_s), u"not notes"_s);
    EXPECT_EQ(dump(tree), u"Open"_s);
}

TEST_F(StrongArchiveTest, BackupOfAStrongFileIsTheEnciphered)
{
    build(tree, u"First"_s);
    write(tree, u"doc.vlx"_s, u"pass"_s, TTextEncoding::Utf8, u"doc.bak"_s);
    const QByteArray first = readBytes(u"doc.vlx"_s);
    tree.SetTitle(tree.RootNote(0), u"Second"_s);
    write(tree, u"doc.vlx"_s, u"pass"_s, TTextEncoding::Utf8, u"doc.bak"_s);
    EXPECT_EQ(readBytes(u"doc.bak"_s), first);
    EXPECT_TRUE(decipher(readBytes(u"doc.bak"_s), u"pass"_s).contains("First"));
    EXPECT_TRUE(decipher(readBytes(u"doc.vlx"_s), u"pass"_s).contains("Second"));
}

TEST_F(StrongArchiveTest, DocumentKeepsItsKeyUntilThePasswordChanges)
{
    const auto salt = [this](const QString &name) { return readBytes(name).mid(26, 16); };
    build(tree, u"A"_s);
    TArchive writer(&tree);
    writer.Password = u"pass"_s;
    writer.WriteNotes(nullptr, path(u"one.vlx"_s));
    writer.WriteNotes(nullptr, path(u"two.vlx"_s));
    EXPECT_EQ(salt(u"one.vlx"_s), salt(u"two.vlx"_s));
    EXPECT_NE(readBytes(u"one.vlx"_s), readBytes(u"two.vlx"_s));

    // A read hands its key on to the next save of the document.
    TArchive reader(&tree);
    reader.Password = u"pass"_s;
    ASSERT_TRUE(reader.ReadNotes(nullptr, path(u"one.vlx"_s)));
    TArchive saver(&tree);
    saver.Password = u"pass"_s;
    saver.FileKey = reader.FileKey;
    saver.WriteNotes(nullptr, path(u"three.vlx"_s));
    EXPECT_EQ(salt(u"three.vlx"_s), salt(u"one.vlx"_s));

    // Another password is another key, never the kept one.
    saver.Password = u"other"_s;
    saver.WriteNotes(nullptr, path(u"four.vlx"_s));
    EXPECT_NE(salt(u"four.vlx"_s), salt(u"one.vlx"_s));
    EXPECT_EQ(readError(u"four.vlx"_s, u"pass"_s), u"Invalid password!"_s);
    EXPECT_EQ(readError(u"four.vlx"_s, u"other"_s), QString());
}

// A .vle that only its code-page key opens is saved with that key again: the readers
// that key it that way can still open it, and its bytes are what they would write.
TEST_F(StrongArchiveTest, CompatibleFileOpenedWithTheLegacyKeyIsSavedWithIt)
{
    const QByteArray legacyKey("p\xE4ss"); // "päss" in windows-1252
    build(tree, u"Old(Child)"_s);
    TArchive plain(&tree);
    plain.WriteNotes(nullptr, path(u"doc.vlt"_s));
    QByteArray cipherText = readBytes(u"doc.vlt"_s);
    TBlowfish(legacyKey).EncryptString(cipherText);
    WriteTestFile(path(u"doc.vle"_s), "VLE" + cipherText);

    TNoteTree document;
    TArchive reader(&document);
    reader.LegacyEncoding = TTextEncoding::Windows1252;
    reader.Password = u"päss"_s;
    ASSERT_TRUE(reader.ReadNotes(nullptr, path(u"doc.vle"_s)));
    TArchive saver(&document);
    saver.Password = reader.Password;
    saver.FileKey = reader.FileKey;
    saver.Title = reader.Title;
    saver.LastNode = reader.LastNode;
    saver.WriteNotes(nullptr, path(u"doc.vle"_s));
    EXPECT_EQ(readBytes(u"doc.vle"_s), "VLE" + cipherText);

    // Without a key from a read, a new file takes the UTF-8 bytes as before.
    TArchive fresh(&document);
    fresh.Password = u"päss"_s;
    fresh.WriteNotes(nullptr, path(u"new.vle"_s));
    QByteArray utf8Cipher = readBytes(u"doc.vlt"_s);
    TBlowfish(QByteArray("p\xC3\xA4ss")).EncryptString(utf8Cipher);
    EXPECT_EQ(readBytes(u"new.vle"_s), "VLE" + utf8Cipher);
}

TEST(StrongArchiveNames, StrongNamesAreKnownAndKeptWhenWritten)
{
    using E = TArchive::TEncipherment;
    EXPECT_EQ(TArchive::EnciphermentOf(u"/x/a.VLX"_s), E::Strong);
    EXPECT_EQ(TArchive::EnciphermentOf(u"/x/a.vle"_s), E::Compatible);
    EXPECT_EQ(TArchive::EnciphermentOf(u"/x.vlx/a"_s), E::Plain);
    EXPECT_TRUE(TArchive::IsEncryptedName(u"a.vlx"_s));
    EXPECT_EQ(TArchive::EncryptedName(u"/d.x/a.VLX"_s), u"/d.x/a.vlx"_s);
    EXPECT_EQ(TArchive::EncryptedName(u"/d.x/a.vlt"_s, E::Strong), u"/d.x/a.vlx"_s);
    EXPECT_EQ(TArchive::EncryptedName(u"/d.x/a.vlx"_s, E::Compatible), u"/d.x/a.vle"_s);
}

} // namespace
