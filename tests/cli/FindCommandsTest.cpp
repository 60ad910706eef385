// find, replace, import and export run as a user would run them, on temporary files.

#include "TempFiles.h"
#include "crypto/StrongCipher.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

class FindCommandsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TNoteTree tree;
        TNote *work = tree.AddNote(nullptr, u"Work cat"_s, imLastChild, u"plans\r\n\r\nconcat cat"_s);
        TNote *pets = tree.AddNote(work, u"Pets"_s, imLastChild, u"Cat\r\nшелл CAT"_s);
        tree.AddNote(pets, u"Old"_s, imLastChild, u"no"_s);
        tree.AddNote(nullptr, u"Inbox"_s, imLastChild, u"cat food"_s);
        TArchive plain(&tree);
        plain.WriteNotes(nullptr, path(u"doc.vlt"_s));
        TArchive enciphered(&tree);
        enciphered.Password = u"secret12"_s;
        enciphered.WriteNotes(nullptr, path(u"doc.vle"_s));
        // At the cheapest cost: every run of the tool derives the key the file names.
        StrongCipher::SetParamsForNewKeys(StrongCipher::MinimumParams());
        enciphered.WriteNotes(nullptr, path(u"doc.vlx"_s));
        write(u"pw"_s, "secret12\n");
    }
    void TearDown() override { StrongCipher::SetParamsForNewKeys(StrongCipher::DefaultParams()); }

    QString path(const QString &name) const { return dir.filePath(name); }

    void write(const QString &name, const QByteArray &bytes) const
    {
        WriteTestFile(path(name), bytes);
    }

    QByteArray bytes(const QString &name) const { return ReadTestFile(path(name)); }

    // Runs the tool; returns its exit status, with standard output and error kept.
    int run(QStringList args)
    {
        QProcess process;
#ifdef Q_OS_UNIX
        // No terminal: a password question can never wait for a person.
        process.setChildProcessModifier([] { setsid(); });
#endif
        for (QString &arg : args) {
            if (arg.startsWith(u'@'))
                arg = path(arg.mid(1));
        }
        process.start(QStringLiteral(VT_CLI_PATH), args);
        process.closeWriteChannel();
        process.waitForFinished(30000);
        out = QString::fromUtf8(process.readAllStandardOutput());
        err = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir dir;
    QString out;
    QString err;
};

TEST_F(FindCommandsTest, FindListsEveryMatchInTreeOrder)
{
    EXPECT_EQ(run({u"find"_s, u"@doc.vlt"_s, u"cat"_s}), 0) << err.toStdString();
    EXPECT_EQ(out, u"note://Work cat;\t3\t4\tconcat cat\n"
                   "note://Work cat;\t3\t8\tconcat cat\n"
                   "note://Work cat\\Pets;\t1\t1\tCat\n"
                   "note://Work cat\\Pets;\t2\t6\tшелл CAT\n"
                   "note://Inbox;\t1\t1\tcat food\n"_s);

    struct Case
    {
        QStringList options;
        QString expected;
    } cases[] = {
        {{u"--case"_s, u"--whole-words"_s},
         u"note://Work cat;\t3\t8\tconcat cat\nnote://Inbox;\t1\t1\tcat food\n"_s},
        {{u"--titles"_s, u"--under"_s, u"note://work cat;"_s, u"--whole-words"_s},
         u"note://Work cat;\ttitle\t6\tWork cat\nnote://Work cat;\t3\t8\tconcat cat\n"
         "note://Work cat\\Pets;\t1\t1\tCat\nnote://Work cat\\Pets;\t2\t6\tшелл CAT\n"_s},
        {{u"--no-bodies"_s}, u"note://Work cat;\ttitle\t6\tWork cat\n"_s},
        {{u"--under=Pets"_s, u"--case"_s}, QString()},
    };
    for (const Case &c : cases) {
        const int status = run(QStringList{u"find"_s, u"@doc.vlt"_s, u"cat"_s} + c.options);
        EXPECT_EQ(status, c.expected.isEmpty() ? 1 : 0) << c.options.join(u' ').toStdString();
        EXPECT_EQ(out, c.expected) << c.options.join(u' ').toStdString();
    }
}

TEST_F(FindCommandsTest, FindReadsEncipheredFilesAndFailsLikeGrep)
{
    EXPECT_EQ(run({u"find"_s, u"@doc.vle"_s, u"food"_s, u"--password-file"_s, u"@pw"_s}), 0);
    EXPECT_EQ(out, u"note://Inbox;\t1\t5\tcat food\n"_s);

    write(u"text.vlt"_s, "not a notes file\r\n");
    write(u"wrong"_s, "nope\n");
    const QStringList failing[] = {
        {u"find"_s, u"@missing.vlt"_s, u"cat"_s},
        {u"find"_s, u"@text.vlt"_s, u"cat"_s},
        {u"find"_s, u"@doc.vle"_s, u"cat"_s, u"--password-file"_s, u"@wrong"_s},
        {u"find"_s, u"@doc.vlt"_s, u"cat"_s, u"--under"_s, u"note://Nowhere;"_s},
    };
    for (const QStringList &args : failing) {
        EXPECT_EQ(run(args), 2) << args.join(u' ').toStdString();
        EXPECT_EQ(err.count(u'\n'), 1) << err.toStdString();
        EXPECT_TRUE(out.isEmpty());
    }
    const QStringList usage[] = {
        {u"find"_s, u"@doc.vlt"_s},
        {u"find"_s, u"@doc.vlt"_s, QString()},
        {u"find"_s, u"@doc.vlt"_s, u"cat"_s, u"-o"_s, u"x.vlt"_s},
        {u"find"_s, u"@doc.vlt"_s, u"cat"_s, u"--under"_s},
        {u"replace"_s, u"@doc.vlt"_s, u"cat"_s},
        {u"import"_s, u"@doc.vlt"_s, u"Inbox"_s, u"x.txt"_s, u"--case"_s},
        {u"export"_s, u"@doc.vlt"_s, u"Inbox"_s, u"@out.vle"_s},
    };
    for (const QStringList &args : usage) {
        EXPECT_EQ(run(args), 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(err.contains(u"Usage:"_s));
    }
    EXPECT_FALSE(QFile::exists(path(u"out.vle"_s)));
    EXPECT_EQ(run({u"--help"_s}), 0);
    for (const QString &command : {u"find FILE TEXT"_s, u"replace FILE"_s, u"import FILE"_s,
                                   u"export FILE"_s})
        EXPECT_TRUE(out.contains(command)) << command.toStdString();
}

TEST_F(FindCommandsTest, StrongFileIsSearchedAndWrittenBackInItsOwnFormat)
{
    EXPECT_EQ(run({u"find"_s, u"@doc.vlx"_s, u"food"_s, u"--password-file"_s, u"@pw"_s}), 0)
        << err.toStdString();
    EXPECT_EQ(out, u"note://Inbox;\t1\t5\tcat food\n"_s);
    const QByteArray before = bytes(u"doc.vlx"_s);
    EXPECT_EQ(run({u"replace"_s, u"@doc.vlx"_s, u"food"_s, u"fish"_s, u"--password-file"_s,
                   u"@pw"_s}),
              0)
        << err.toStdString();
    const QByteArray after = bytes(u"doc.vlx"_s);
    EXPECT_TRUE(TArchive::IsEncipheredData(after) && !after.startsWith("VLE"));
    EXPECT_EQ(after.mid(8, 34), before.mid(8, 34)) << "not the file's own cost and salt";
    EXPECT_EQ(run({u"cat"_s, u"@doc.vlx"_s, u"Inbox"_s, u"--password-file"_s, u"@pw"_s}), 0);
    EXPECT_EQ(out, u"cat fish\n"_s);
    // Another kind of output, even another enciphered one, is wrong usage.
    EXPECT_EQ(run({u"replace"_s, u"@doc.vlx"_s, u"cat"_s, u"x"_s, u"-o"_s, u"@x.vle"_s,
                   u"--password-file"_s, u"@pw"_s}),
              2);
}

TEST_F(FindCommandsTest, ReplaceCountsAndWritesInPlaceOrToOut)
{
    const QByteArray before = bytes(u"doc.vlt"_s);
    EXPECT_EQ(run({u"replace"_s, u"@doc.vlt"_s, u"cat"_s, u"dog"_s, u"--titles"_s,
                   u"--whole-words"_s, u"-o"_s, u"@out.vlt"_s}),
              0)
        << err.toStdString();
    EXPECT_EQ(out, u"5\n"_s);
    EXPECT_EQ(bytes(u"doc.vlt"_s), before);
    run({u"tree"_s, u"@out.vlt"_s});
    EXPECT_EQ(out, u"Work dog\n  Pets\n    Old\nInbox\n"_s);
    run({u"cat"_s, u"@out.vlt"_s, u"Pets"_s});
    EXPECT_EQ(out, u"dog\nшелл dog\n"_s);

    // In place, and an enciphered file keeps its password.
    EXPECT_EQ(run({u"replace"_s, u"@doc.vle"_s, u"a"_s, u"aa"_s, u"--under"_s, u"Inbox"_s,
                   u"--password-file"_s, u"@pw"_s}),
              0);
    EXPECT_EQ(out, u"1\n"_s);
    EXPECT_TRUE(bytes(u"doc.vle"_s).startsWith("VLE"));
    EXPECT_EQ(run({u"cat"_s, u"@doc.vle"_s, u"Inbox"_s, u"--password-file"_s, u"@pw"_s}), 0);
    EXPECT_EQ(out, u"caat food\n"_s);

    // Nothing matched: nothing written, a count of 0.
    EXPECT_EQ(run({u"replace"_s, u"@doc.vlt"_s, u"zebra"_s, u"x"_s}), 0);
    EXPECT_EQ(out, u"0\n"_s);
    EXPECT_EQ(bytes(u"doc.vlt"_s), before);
    EXPECT_EQ(run({u"replace"_s, u"@doc.vlt"_s, u"cat"_s, u"x"_s, u"-o"_s, u"@x.vle"_s}), 2);
}

TEST_F(FindCommandsTest, ImportTextOrNotesAndLeaveTheFileAloneOnFailure)
{
    write(u"in.txt"_s, "one\r\ntwo\rthree\nfour\0hidden");
    EXPECT_EQ(run({u"import"_s, u"@doc.vlt"_s, u"note://Work cat\\Pets;"_s, u"@in.txt"_s}), 0)
        << err.toStdString();
    run({u"cat"_s, u"@doc.vlt"_s, u"Pets"_s});
    EXPECT_EQ(out, u"one\ntwo\nthree\nfour\n"_s);

    TNoteTree other;
    TNote *x = other.AddNote(nullptr, u"X"_s, imLastChild, u"x body"_s);
    other.AddNote(x, u"Y"_s, imLastChild);
    other.AddNote(nullptr, u"Z"_s, imLastChild);
    TArchive(&other).WriteNotes(nullptr, path(u"other.vlt"_s));
    EXPECT_EQ(run({u"import"_s, u"@doc.vlt"_s, u"Work cat"_s, u"@other.vlt"_s}), 0);
    run({u"tree"_s, u"@doc.vlt"_s});
    EXPECT_EQ(out, u"Work cat\n  Pets\n    Old\n  X\n    Y\n  Z\nInbox\n"_s);

    const QByteArray before = bytes(u"doc.vlt"_s);
    write(u"plain.vlt"_s, "just text\r\n");
    const QStringList failing[] = {
        {u"import"_s, u"@doc.vlt"_s, u"Inbox"_s, u"@plain.vlt"_s},
        {u"import"_s, u"@doc.vlt"_s, u"Inbox"_s, u"@missing.txt"_s},
        {u"import"_s, u"@doc.vlt"_s, u"Inbox"_s, u"@missing.vlt"_s},
        {u"import"_s, u"@doc.vlt"_s, u"Nowhere"_s, u"@in.txt"_s},
        {u"import"_s, u"@doc.vlt"_s, u"Inbox"_s, dir.path()},
    };
    for (const QStringList &args : failing) {
        EXPECT_EQ(run(args), 1) << args.join(u' ').toStdString();
        EXPECT_EQ(err.count(u'\n'), 1) << err.toStdString();
    }
    EXPECT_EQ(bytes(u"doc.vlt"_s), before);

    // A capital extension is read as text.
    write(u"RAW.VLT"_s, "<!DOCTYPE Vellumtree-File>\r\n");
    EXPECT_EQ(run({u"import"_s, u"@doc.vlt"_s, u"Inbox"_s, u"@RAW.VLT"_s}), 0);
    run({u"cat"_s, u"@doc.vlt"_s, u"Inbox"_s});
    EXPECT_EQ(out, u"<!DOCTYPE Vellumtree-File>\n"_s);
}

TEST_F(FindCommandsTest, ExportTextOrBranch)
{
    EXPECT_EQ(run({u"export"_s, u"@doc.vlt"_s, u"Pets"_s, u"@pets.txt"_s}), 0);
    EXPECT_EQ(bytes(u"pets.txt"_s),
              u"Pets\r\n\r\nCat\r\nшелл CAT\r\n\r\n\r\nOld\r\n\r\nno\r\n\r\n\r\n"_s.toUtf8());
    EXPECT_EQ(run({u"export"_s, u"@doc.vlt"_s, u"note://Work cat\\Pets;"_s, u"@pets.VLT"_s}), 0);
    run({u"tree"_s, u"@pets.VLT"_s});
    EXPECT_EQ(out, u"Pets\n  Old\n"_s);
    EXPECT_EQ(run({u"export"_s, u"@doc.vlt"_s, u"Pets"_s, u"@no/such/dir/x.txt"_s}), 1);
    EXPECT_EQ(err.count(u'\n'), 1);
}

TEST_F(FindCommandsTest, ImportOfAnEncipheredFileAddsItsNotesNotItsCipherText)
{
    EXPECT_EQ(run({u"import"_s, u"@doc.vlt"_s, u"Inbox"_s, u"@doc.vle"_s, u"--password-file"_s,
                   u"@pw"_s}),
              0)
        << err.toStdString();
    run({u"tree"_s, u"@doc.vlt"_s});
    EXPECT_EQ(out, u"Work cat\n  Pets\n    Old\nInbox\n  Work cat\n    Pets\n      Old\n  Inbox\n"_s);
    run({u"cat"_s, u"@doc.vlt"_s, u"Inbox"_s});
    EXPECT_EQ(out, u"cat food\n"_s);

    const QByteArray before = bytes(u"doc.vlt"_s);
    write(u"wrong"_s, "nope\n");
    EXPECT_EQ(run({u"import"_s, u"@doc.vlt"_s, u"Inbox"_s, u"@doc.vle"_s, u"--password-file"_s,
                   u"@wrong"_s}),
              1);
    EXPECT_TRUE(err.contains(u"password"_s)) << err.toStdString();
    EXPECT_EQ(bytes(u"doc.vlt"_s), before);
}

// A file of more line breaks than a read accepts could never be opened again: the
// commands refuse to write one, and the file they would have replaced stays.
TEST_F(FindCommandsTest, ImportAndReplaceNeverWriteAFileTooLongToOpen)
{
    const QByteArray before = bytes(u"doc.vlt"_s);
    write(u"lines.txt"_s, QByteArray(TArchive::MaxLineBreaks / 2 + 1, '\n'));
    EXPECT_EQ(run({u"import"_s, u"@doc.vlt"_s, u"Inbox"_s, u"@lines.txt"_s}), 1);
    EXPECT_TRUE(err.contains(u"lines"_s)) << err.toStdString();
    EXPECT_EQ(bytes(u"doc.vlt"_s), before);

    // Each "a" becomes a line break: the document would pass the limit.
    TNoteTree tree;
    tree.AddNote(nullptr, u"Long"_s, imLastChild,
                 QString(TArchive::MaxLineBreaks / 2 + 1, u'a'));
    TArchive(&tree).WriteNotes(nullptr, path(u"long.vlt"_s));
    const QByteArray longBefore = bytes(u"long.vlt"_s);
    EXPECT_EQ(run({u"replace"_s, u"@long.vlt"_s, u"a"_s, u"\n"_s}), 1);
    EXPECT_TRUE(err.contains(u"line breaks"_s)) << err.toStdString();
    EXPECT_EQ(bytes(u"long.vlt"_s), longBefore);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(u".long"_s),
              QStringList()); // no temporary file left behind
}

} // namespace
