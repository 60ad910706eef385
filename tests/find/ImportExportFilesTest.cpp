#include "app/ImportExport.h"
#include "Errors.h"
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
        QStringList lines;
    } cases[] = {
        {"gr\xc3\xbc\xc3\x9f\r\nzwei", {u"grüß"_s, u"zwei"_s}},
        {"gr\xfc\xdf\rzwei\n", {u"grüß"_s, u"zwei"_s}},
        {"a\0b", {u"a"_s}},
        {"", {}},
    };
    for (const auto &c : cases) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.bytes);
        file.close();
        EXPECT_EQ(ImportExport::ReadTextLines(path, TTextEncoding::Windows1252), c.lines)
            << c.bytes.toStdString();
    }
    EXPECT_THROW(ImportExport::ReadTextLines(dir.path(), TTextEncoding::Windows1252), EFileError);
    EXPECT_THROW(ImportExport::ReadTextLines(dir.filePath(u"missing"_s), TTextEncoding::Utf8),
                 EFileError);
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
