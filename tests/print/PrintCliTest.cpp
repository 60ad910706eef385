// End to end: the built vellumtree-cli prints a generated document into a PDF, and
// poppler's pdftotext shows what a reader of the pages would see.

#include "OutsidePrograms.h"
#include "QtPrinters.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

struct TRun
{
    int exitCode = -1;
    QString err;
};

TRun runProgram(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
        QString::fromUtf8(process.readAllStandardError()) };
}

class PrintCliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        TNoteTree tree;
        TNote *first = tree.AddNote(nullptr, u"Shopping"_s, imLastChild,
            u"ab\tc\r\n"
            "word01 word02 word03 word04 word05 word06 word07 word08 "
            "word09 word10 word11 word12 word13 word14 word15\r\n"_s);
        QString many;
        for (int i = 1; i <= 150; ++i)
            many += u"line %1\r\n"_s.arg(i, 3, 10, QChar(u'0'));
        tree.AddNote(first, u"Long list"_s, imLastChild, many);
        tree.AddNote(nullptr, u"Empty"_s, imLastChild);
        TArchive archive(&tree);
        archive.WriteNotes(nullptr, path(u"doc.vlt"_s));
        archive.Password = u"secret12"_s;
        archive.WriteNotes(nullptr, path(u"doc.vle"_s));
        QFile pw(path(u"pw"_s));
        ASSERT_TRUE(pw.open(QIODevice::WriteOnly));
        pw.write("secret12\n");
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    TRun print(QStringList args) const
    {
        args.prepend(u"print"_s);
        return runProgram(QStringLiteral(VT_CLI_PATH), args);
    }

    // The PDF's pages as pdftotext -layout gives them.
    QStringList pages(const QString &pdf) const
    {
        const QString tool = RequireProgram(u"pdftotext"_s);
        // Courier at 10 points is 6 points a character: columns come out exact.
        const TRun run
            = runProgram(tool, { u"-layout"_s, u"-fixed"_s, u"6"_s, pdf, path(u"out.txt"_s) });
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        QFile text(path(u"out.txt"_s));
        if (!text.open(QIODevice::ReadOnly))
            return {};
        QStringList result = QString::fromUtf8(text.readAll()).split(u'\f');
        if (!result.isEmpty() && result.last().trimmed().isEmpty())
            result.removeLast();
        return result;
    }

    static QStringList nonEmptyLines(const QString &page)
    {
        QStringList lines;
        for (const QString &line : page.split(u'\n')) {
            if (!line.trimmed().isEmpty())
                lines << line;
        }
        return lines;
    }

    QTemporaryDir dir;
};

TEST_F(PrintCliTest, AllNotesGiveTheLinesWrappedAndNumberedPages)
{
    const TRun run = print({ path(u"doc.vlt"_s), u"-o"_s, path(u"all.pdf"_s) });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList p = pages(path(u"all.pdf"_s));
    ASSERT_GE(p.size(), 3);
    const QStringList first = nonEmptyLines(p[0]);
    EXPECT_EQ(first.value(0).trimmed(), u"Shopping"_s);
    EXPECT_EQ(first.value(1).trimmed(), u"ab      c"_s);
    // Courier at 10 points takes 89 characters in 190 mm: the line breaks after word12.
    EXPECT_TRUE(first.value(2).trimmed().endsWith(u"word12"_s)) << first.value(2).toStdString();
    EXPECT_EQ(first.value(3).trimmed(), u"word13 word14 word15"_s);
    EXPECT_EQ(first.value(4).trimmed(), u"Long list"_s);
    EXPECT_EQ(first.value(5).trimmed(), u"line 001"_s);
    for (int i = 0; i < p.size(); ++i) {
        const QStringList lines = nonEmptyLines(p[i]);
        EXPECT_EQ(lines.last().trimmed(), u"Page %1"_s.arg(i + 1)) << "page " << i + 1;
    }
    const QString all = p.join(u'\n');
    EXPECT_TRUE(all.contains(u"line 150"_s));
    EXPECT_TRUE(all.contains(u"Empty"_s));
}

TEST_F(PrintCliTest, ScopesNotesAndOptions)
{
    const TRun run = print({ path(u"doc.vle"_s), u"--password-file"_s, path(u"pw"_s), u"-o"_s,
        path(u"note.pdf"_s), u"--scope"_s, u"tree"_s, u"--note"_s, u"note://Shopping\\Long list;"_s,
        u"--no-page-numbers"_s, u"--paper"_s, u"Letter"_s, u"--margins"_s, u"20,20,15,15"_s });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList p = pages(path(u"note.pdf"_s));
    ASSERT_FALSE(p.isEmpty());
    const QStringList lines = nonEmptyLines(p[0]);
    EXPECT_EQ(lines.first().trimmed(), u"Long list"_s);
    EXPECT_FALSE(p.join(u'\n').contains(u"Page 1"_s));
    EXPECT_FALSE(p.join(u'\n').contains(u"Shopping"_s));
}

TEST_F(PrintCliTest, NothingToPrintFailsAndWritesNoFile)
{
    const TRun run = print({ path(u"doc.vlt"_s), u"-o"_s, path(u"empty.pdf"_s), u"--scope"_s,
        u"note"_s, u"--note"_s, u"Empty"_s });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u"There is nothing to print."_s)) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(path(u"empty.pdf"_s)));
}

TEST_F(PrintCliTest, MarginsWithoutRoomForTextFailAndWriteNoFile)
{
    for (const QString &margins : { u"500,500,10,10"_s, u"10,10,1000,10"_s }) {
        const TRun run
            = print({ path(u"doc.vlt"_s), u"-o"_s, path(u"x.pdf"_s), u"--margins"_s, margins });
        EXPECT_EQ(run.exitCode, 1) << margins.toStdString();
        EXPECT_TRUE(run.err.contains(u"The margins leave no room for text"_s))
            << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(path(u"x.pdf"_s)));
    }
    for (const QString &margins : { u"nan,10,10,10"_s, u"10,inf,10,10"_s, u"10,10,-1,10"_s })
        EXPECT_EQ(print({ path(u"doc.vlt"_s), u"-o"_s, path(u"x.pdf"_s), u"--margins"_s, margins })
                      .exitCode,
            2)
            << margins.toStdString();
    EXPECT_FALSE(QFile::exists(path(u"x.pdf"_s)));
}

TEST_F(PrintCliTest, OutputThatIsAFifoIsRefusedAndLeftInPlace)
{
    const QByteArray fifo = QFile::encodeName(path(u"out.pdf"_s));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const TRun run = print({ path(u"doc.vlt"_s), u"-o"_s, path(u"out.pdf"_s) });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u"pipe"_s)) << run.err.toStdString();
    struct stat info {};
    ASSERT_EQ(::stat(fifo.constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(PrintCliTest, WrongUsageExitsWithTwo)
{
    const std::vector<QStringList> wrong {
        { path(u"doc.vlt"_s) },
        { path(u"doc.vlt"_s), u"-o"_s, path(u"x.pdf"_s), u"--scope"_s, u"some"_s },
        { path(u"doc.vlt"_s), u"-o"_s, path(u"x.pdf"_s), u"--margins"_s, u"1,2,3"_s },
        { path(u"doc.vlt"_s), u"-o"_s, path(u"x.pdf"_s), u"--font"_s, u"Mono,0"_s },
        { path(u"doc.vlt"_s), u"-o"_s },
    };
    for (const QStringList &args : wrong)
        EXPECT_EQ(print(args).exitCode, 2) << args.join(u' ').toStdString();
    EXPECT_EQ(print({ path(u"missing.vlt"_s), u"-o"_s, path(u"x.pdf"_s) }).exitCode, 1);
}

} // namespace
