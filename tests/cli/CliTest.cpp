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
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the built command-line tool as a user would, on files in a temporary folder.
class CliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TNoteTree tree;
        TNote *work = tree.AddNote(nullptr, u"Work"_s, imLastChild, u"plans\r\n\r\nmore"_s);
        TNote *computers = tree.AddNote(work, u"Computers"_s, imLastChild);
        tree.AddNote(computers, u"Linux"_s, imLastChild, u"kernel\r\nшелл"_s);
        tree.AddNote(nullptr, u"Inbox"_s, imLastChild, u"todo"_s);
        TArchive archive(&tree);
        archive.Title = u"Doc title"_s;
        archive.LastNode = computers;
        archive.WriteNotes(nullptr, path(u"doc.vlt"_s));
        writeFile(u"pw"_s, "secret12\nsecond line ignored\n");
        writeFile(u"wrongpw"_s, "other\n");
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    void writeFile(const QString &name, const QByteArray &bytes) const
    {
        WriteTestFile(path(name), bytes);
    }

    QByteArray readFile(const QString &name) const { return ReadTestFile(path(name)); }

    CliRun run(const QStringList &args, const QByteArray &input = {}) const
    {
        QProcess process;
        process.setWorkingDirectory(dir.path());
#ifdef Q_OS_UNIX
        // No controlling terminal, so a password prompt can never wait for a person.
        process.setChildProcessModifier([] { setsid(); });
#endif
        process.start(QStringLiteral(VT_CLI_PATH), args);
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(30000);
        CliRun result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    QTemporaryDir dir;
};

TEST_F(CliTest, TreeIndentsTwoSpacesPerLevel)
{
    const CliRun r = run({u"tree"_s, path(u"doc.vlt"_s)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, u"Work\n  Computers\n    Linux\nInbox\n"_s);
}

// A file cut off half way, or with text after a NUL byte, is read as far as it goes
// with a warning; writing from it would make the loss permanent, so the commands that
// write refuse unless told to go on.
TEST_F(CliTest, DamagedInputIsReadWithAWarningAndWrittenOnlyWhenAccepted)
{
    const QByteArray whole = readFile(u"doc.vlt"_s);
    // Cut off right after the last title's line.
    const qsizetype cut = whole.indexOf("\r\n", whole.indexOf("Inbox")) + 2;
    ASSERT_GT(cut, 2);
    writeFile(u"cut.vlt"_s, whole.left(cut));
    QByteArray nul = whole;
    nul.insert(whole.indexOf("kernel"), '\0');
    writeFile(u"nul.vlt"_s, nul);

    CliRun r = run({u"tree"_s, path(u"cut.vlt"_s)});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, u"Work\n  Computers\n    Linux\nInbox\n"_s);
    EXPECT_TRUE(r.err.contains(u"closing lines are missing"_s)) << r.err.toStdString();
    r = run({u"tree"_s, path(u"nul.vlt"_s)});
    EXPECT_TRUE(r.err.contains(u"NUL byte at byte %1"_s.arg(whole.indexOf("kernel"))))
        << r.err.toStdString();

    const QStringList writing[] = {
        {u"convert"_s, path(u"cut.vlt"_s), path(u"out.vlt"_s)},
        {u"replace"_s, path(u"cut.vlt"_s), u"plans"_s, u"aims"_s},
        {u"export"_s, path(u"nul.vlt"_s), u"Work"_s, path(u"out.txt"_s)},
        {u"import"_s, path(u"doc.vlt"_s), u"Inbox"_s, path(u"cut.vlt"_s)},
    };
    for (const QStringList &args : writing) {
        r = run(args);
        EXPECT_EQ(r.exitCode, 1) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(u"--accept-damaged"_s)) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(path(u"out.vlt"_s)));
    EXPECT_FALSE(QFile::exists(path(u"out.txt"_s)));
    EXPECT_EQ(readFile(u"doc.vlt"_s), whole);

    r = run({u"convert"_s, u"--accept-damaged"_s, path(u"cut.vlt"_s), path(u"out.vlt"_s)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = run({u"tree"_s, path(u"out.vlt"_s)});
    EXPECT_EQ(r.out, u"Work\n  Computers\n    Linux\nInbox\n"_s);
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
}

TEST_F(CliTest, ReadOnlyFileIsNotReplacedWithoutForce)
{
    const QByteArray before = readFile(u"doc.vlt"_s);
    QFile::setPermissions(path(u"doc.vlt"_s), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    CliRun r = run({u"replace"_s, path(u"doc.vlt"_s), u"plans"_s, u"aims"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"read-only"_s)) << r.err.toStdString();
    EXPECT_EQ(readFile(u"doc.vlt"_s), before);

    r = run({u"replace"_s, u"--force"_s, path(u"doc.vlt"_s), u"plans"_s, u"aims"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_NE(readFile(u"doc.vlt"_s), before);
}

TEST_F(CliTest, CatFindsByLinkThenByTitle)
{
    CliRun r = run({u"cat"_s, path(u"doc.vlt"_s), u"note://WORK\\computers\\Linux;"_s});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, u"kernel\nшелл\n"_s);
    r = run({u"cat"_s, path(u"doc.vlt"_s), u"work"_s});
    EXPECT_EQ(r.out, u"plans\n\nmore\n"_s);
    r = run({u"cat"_s, path(u"doc.vlt"_s), u"note://Inbox;"_s});
    EXPECT_EQ(r.out, u"todo\n"_s);
    r = run({u"cat"_s, path(u"doc.vlt"_s), u"Nothing"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"Nothing"_s));
}

TEST_F(CliTest, ConvertToEncipheredAndBackIsByteIdentical)
{
    CliRun r = run({u"convert"_s, path(u"doc.vlt"_s), path(u"doc.VLE"_s), u"--password-file"_s,
                 path(u"pw"_s)});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(readFile(u"doc.vle"_s).startsWith("VLE"));

    r = run({u"tree"_s, path(u"doc.vle"_s), u"--password-file"_s, u"-"_s}, "secret12\n");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, u"Work\n  Computers\n    Linux\nInbox\n"_s);

    r = run({u"convert"_s, u"--password-file=%1"_s.arg(path(u"pw"_s)), path(u"doc.vle"_s),
             path(u"back.vlt"_s)});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(u"back.vlt"_s), readFile(u"doc.vlt"_s));
}

TEST_F(CliTest, ConvertToTextFlattensTheTree)
{
    const CliRun r = run({u"convert"_s, path(u"doc.vlt"_s), path(u"doc.txt"_s)});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(u"doc.txt"_s),
              u"Work\r\n\r\nplans\r\n\r\nmore\r\n\r\n\r\nComputers\r\n\r\nLinux\r\n\r\nkernel\r\n"
              "шелл\r\n\r\n\r\nInbox\r\n\r\ntodo\r\n\r\n\r\n"_s.toUtf8());
}

TEST_F(CliTest, FailuresSayWhichFileAndWhyAndWriteNothing)
{
    run({u"convert"_s, path(u"doc.vlt"_s), path(u"doc.vle"_s), u"--password-file"_s,
         path(u"pw"_s)});
    writeFile(u"text.vlt"_s, "just some text\r\n");
    writeFile(u"bad.vle"_s, "XYZ12345678");
    // A .vlx at the cheapest cost, then damaged: a byte changed, and its end cut off.
    {
        StrongCipher::SetParamsForNewKeys(StrongCipher::MinimumParams());
        TNoteTree tree;
        TArchive archive(&tree);
        archive.ReadNotes(nullptr, path(u"doc.vlt"_s));
        archive.Password = u"secret12"_s;
        archive.WriteNotes(nullptr, path(u"doc.vlx"_s));
        StrongCipher::SetParamsForNewKeys(StrongCipher::DefaultParams());
        QByteArray flipped = readFile(u"doc.vlx"_s);
        writeFile(u"cut.vlx"_s, flipped.chopped(20));
        flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 4);
        writeFile(u"flipped.vlx"_s, flipped);
    }
    // The cipher's own initial key would leave the file as good as plain text.
    writeFile(u"weakpw"_s, "quokka\n");

    struct Case
    {
        QStringList args;
        QString reason;
        QString file;
    } cases[] = {
        {{u"convert"_s, path(u"doc.vle"_s), path(u"out.vlt"_s), u"--password-file"_s,
          path(u"wrongpw"_s)},
         u"doc.vle"_s,
         u"out.vlt"_s},
        {{u"convert"_s, path(u"doc.vlx"_s), path(u"out.vlt"_s), u"--password-file"_s,
          path(u"wrongpw"_s)},
         u"doc.vlx: Invalid password!"_s,
         u"out.vlt"_s},
        {{u"convert"_s, path(u"flipped.vlx"_s), path(u"out.vlt"_s), u"--password-file"_s,
          path(u"pw"_s)},
         u"flipped.vlx\" is damaged or was changed"_s,
         u"out.vlt"_s},
        {{u"convert"_s, path(u"cut.vlx"_s), path(u"out.vlt"_s), u"--password-file"_s,
          path(u"pw"_s)},
         u"cut.vlx\" is damaged or was changed"_s,
         u"out.vlt"_s},
        {{u"convert"_s, path(u"bad.vle"_s), path(u"out.vlt"_s), u"--password-file"_s,
          path(u"pw"_s)},
         u"Invalid file signature!"_s,
         u"out.vlt"_s},
        {{u"convert"_s, path(u"text.vlt"_s), path(u"out.vlt"_s)}, u"not a notes file"_s,
         u"out.vlt"_s},
        {{u"convert"_s, path(u"doc.vlt"_s), path(u"weak.vle"_s), u"--password-file"_s,
          path(u"weakpw"_s)},
         u"this password cannot be used"_s,
         u"weak.vle"_s},
        {{u"tree"_s, path(u"missing.vlt"_s)}, u"missing.vlt"_s, QString()},
        {{u"convert"_s, path(u"doc.vlt"_s), path(u"no/such/folder/out.vlt"_s)}, u"out.vlt"_s,
         QString()},
    };
    for (const Case &c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.reason)) << r.err.toStdString();
        EXPECT_EQ(r.err.count(u'\n'), 1) << r.err.toStdString();
        if (!c.file.isEmpty()) {
            EXPECT_FALSE(QFile::exists(path(c.file)));
        }
    }
    // Enciphering without a password anywhere: no terminal here, so it must fail cleanly.
    const CliRun r = run({u"convert"_s, path(u"doc.vlt"_s), path(u"new.vle"_s)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(QFile::exists(path(u"new.vle"_s)));
}

TEST_F(CliTest, WrongUsageExitsTwoWithTheUsageText)
{
    for (const QStringList &args :
         {QStringList{}, QStringList{u"frobnicate"_s}, QStringList{u"tree"_s},
          QStringList{u"cat"_s, u"x.vlt"_s}, QStringList{u"convert"_s, u"a.vlt"_s, u"b.doc"_s},
          QStringList{u"tree"_s, u"a.vlt"_s, u"--bogus"_s},
          QStringList{u"tree"_s, u"a.vlt"_s, u"--password-file"_s}}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(u"Usage:"_s));
    }
    for (const QString &command : {u"tree"_s, u"cat"_s, u"convert"_s}) {
        const CliRun r = run({command, u"--help"_s});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.out.contains(u"Usage:"_s));
    }
}

TEST_F(CliTest, TreeOfADeepDocumentStreamsItsOutput)
{
    // The indented output grows with the square of the depth: 36 MB here from a file
    // of 150 KB. It once was built whole in memory, three times over.
    constexpr int depth = 6000;
    TNoteTree tree;
    tree.BeginBulkUpdate();
    TNote *last = nullptr;
    for (int level = 0; level < depth; ++level)
        last = tree.AddNote(last, u"n%1"_s.arg(level), imLastChild);
    tree.EndBulkUpdate();
    TArchive(&tree).WriteNotes(nullptr, path(u"deep.vlt"_s));

    QProcess process;
    process.setStandardOutputFile(path(u"deep.txt"_s));
    process.start(QStringLiteral(VT_CLI_PATH), {u"tree"_s, path(u"deep.vlt"_s)});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();

    qint64 expectedSize = 0;
    for (int level = 0; level < depth; ++level)
        expectedSize += 2 * level + u"n%1\n"_s.arg(level).size();
    QFile out(path(u"deep.txt"_s));
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.size(), expectedSize);
    out.seek(out.size() - (2 * (depth - 1) + 6));
    EXPECT_EQ(out.readAll(), QByteArray(2 * (depth - 1), ' ') + "n5999\n");
#if defined(Q_OS_UNIX) && !defined(__SANITIZE_ADDRESS__)
    // The tool's peak memory stays below the size of what it printed. (AddressSanitizer's
    // own shadow memory alone is larger.)
    rusage usage {};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LT(qint64(usage.ru_maxrss) * 1024, expectedSize);
#endif
}

// Last in the file: its key derivation, at the cost of a user's file, is the largest
// child process the memory check above would otherwise see.
TEST_F(CliTest, ConvertToStrongFileAndBackIsByteIdentical)
{
    CliRun r = run({u"convert"_s, path(u"doc.vlt"_s), path(u"doc.VLX"_s), u"--password-file"_s,
                    path(u"pw"_s)});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray strong = readFile(u"doc.vlx"_s);
    ASSERT_TRUE(TArchive::IsEncipheredData(strong));
    EXPECT_FALSE(strong.startsWith("VLE"));
    r = run({u"tree"_s, path(u"doc.vlx"_s), u"--password-file"_s, u"-"_s}, "secret12\n");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, u"Work\n  Computers\n    Linux\nInbox\n"_s);
    r = run({u"convert"_s, path(u"doc.vlx"_s), path(u"back.vlt"_s), u"--password-file"_s,
             path(u"pw"_s)});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(u"back.vlt"_s), readFile(u"doc.vlt"_s));

}

} // namespace
