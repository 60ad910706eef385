#include "app/ImportExport.h"
#include "Errors.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(ImportExportFilesTest, ProposedNameTurnsEachRunOfUnsafeCharactersIntoOneUnderscore)
{
    const struct
    {
        QString title;
        QString name;
    } cases[] = {
        {u"a/b: c"_s, u"a_b_ c"_s},
        {u"x<<>>y"_s, u"x_y"_s},
        {u"\"q\" 'a' +=[]\\|;"_s, u"_q_ _a_ _"_s},
        {u"keeps * and ?"_s, u"keeps * and ?"_s},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ImportExport::ExportFileName(c.title), c.name) << c.title.toStdString();
}

TEST(ImportExportFilesTest, NotesFileByExtension)
{
    EXPECT_TRUE(ImportExport::ImportsAsNotesFile(u"/x/notes.vlt"_s));
    EXPECT_FALSE(ImportExport::ImportsAsNotesFile(u"/x/NOTES.VLT"_s));
    EXPECT_FALSE(ImportExport::ImportsAsNotesFile(u"/x/notes.vle"_s));
    EXPECT_TRUE(ImportExport::ExportsAsNotesFile(u"/x/NOTES.VLT"_s));
    EXPECT_FALSE(ImportExport::ExportsAsNotesFile(u"/x/notes.txt"_s));
}

TEST(ImportExportFilesTest, TextIsUtf8WhenValidElseTheLegacyCodePage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"in.txt"_s);
    const struct
    {
        QByteArray bytes;
        QString body;
    } cases[] = {
        {"gr\xc3\xbc\xc3\x9f\r\nzwei", u"grüß\r\nzwei\r\n"_s},
        {"gr\xfc\xdf\rzwei\n", u"grüß\r\nzwei\r\n"_s},
        {QByteArray("a\0b", 3), u"a\r\n"_s},
        {"\n\r\n\r", u"\r\n\r\n\r\n"_s},
        // Four-byte UTF-8 becomes two units: the form still fits what was reserved.
        {"\xf0\x9f\x98\x80\n\xf0\x9f\x98\x80", u"\U0001F600\r\n\U0001F600\r\n"_s},
        {"", QString()},
    };
    for (const auto &c : cases) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.bytes);
        file.close();
        EXPECT_EQ(ImportExport::ReadTextBody(path, TTextEncoding::Windows1252), c.body)
            << c.bytes.toStdString();
        // Read a few bytes at a time, every character and break lies across two reads.
        for (qsizetype chunk = 1; chunk <= 5; ++chunk)
            EXPECT_EQ(ImportExport::ReadTextBody(path, TTextEncoding::Windows1252, chunk), c.body)
                << c.bytes.toStdString() << " " << chunk;
    }
    EXPECT_THROW(ImportExport::ReadTextBody(dir.path(), TTextEncoding::Windows1252), EFileError);
    // A text larger than a notes file may be is refused before it is read (the file is
    // sparse: it takes no disk space).
    QFile big(dir.filePath(u"big.txt"_s));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(TArchive::MaxFileSize + 1));
    big.close();
    EXPECT_THROW(ImportExport::ReadTextBody(big.fileName(), TTextEncoding::Utf8), EFileError);
    EXPECT_THROW(ImportExport::ReadTextBody(dir.filePath(u"missing"_s), TTextEncoding::Utf8),
                 EFileError);
}

// A text of nothing but line breaks once took a string per line, many times the file.
TEST(ImportExportFilesTest, ManyEmptyLinesTakeOneStringOfTheTextForm)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"breaks.txt"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(200000, '\n'));
    file.close();
    const QString body = ImportExport::ReadTextBody(path, TTextEncoding::Utf8);
    EXPECT_EQ(body.size(), 400000);
    EXPECT_LE(body.capacity(), 400000 + 400000 / 8);
    TNote note;
    note.SetBodyText(body);
    EXPECT_EQ(note.BodyLineCount(), 200000);
}

// The file is read a megabyte at a time: a character, a CR LF or the one byte that is
// not UTF-8 may lie across the place where two reads meet.
TEST(ImportExportFilesTest, TextReadInChunksIsDecodedAsAWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"in.txt"_s);
    const QByteArray tails[] = {
        "\xf0\x9f\x98\x80z\r\nend", "\r\nx", "\xe2\x82\xac\n\n", "\xc3\xa9\xfc",
        "\xf0\x9f\x98", QByteArray("\xc3\xa9\0\xff", 4),
    };
    for (qsizetype before = (1 << 20) - 4; before <= (1 << 20) + 1; ++before) {
        for (const QByteArray &tail : tails) {
            const QByteArray bytes = QByteArray(before, 'a') + tail;
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(bytes);
            file.close();
            QString expected;
            for (const QString &line : TextEncoding::decodeLines(
                     TextEncoding::untilNul(bytes), TTextEncoding::Windows1252))
                expected += line + u"\r\n"_s;
            const QString body = ImportExport::ReadTextBody(path, TTextEncoding::Windows1252);
            EXPECT_EQ(body.size(), expected.size()) << before << " " << tail.toHex().toStdString();
            EXPECT_TRUE(body == expected) << before << " " << tail.toHex().toStdString();
        }
    }
}

TEST(ImportExportFilesTest, ExportKeepsTheDocumentsCodePageWhenTheTextFits)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.txt"_s);
    ImportExport::WriteTextFile(path, {u"grüß"_s, QString()}, TTextEncoding::Windows1252);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("gr\xfc\xdf\r\n\r\n"));
    file.close();
    ImportExport::WriteTextFile(path, {u"шелл"_s}, TTextEncoding::Windows1252);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), u"шелл\r\n"_s.toUtf8());
}

} // namespace
