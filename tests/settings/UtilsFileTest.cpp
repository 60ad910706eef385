#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "settings/UtilsFile.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;

namespace {

class AtomicWriteTest : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return dir.filePath(name); }

    QByteArray read(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QStringList files(const QString &folder = {}) const
    {
        return QDir(path(folder)).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    QTemporaryDir dir;
};

TEST_F(AtomicWriteTest, BackupReplacesThePreviousOneAndNothingIsLeftBeside)
{
    for (const QByteArray version : {"one", "two", "three"})
        WriteFileAtomically(path(u"doc.vlt"_s), version, path(u"doc.bak"_s));
    EXPECT_EQ(read(u"doc.vlt"_s), "three");
    EXPECT_EQ(read(u"doc.bak"_s), "two");
    EXPECT_EQ(files(), QStringList({u"doc.bak"_s, u"doc.vlt"_s}));
}

TEST_F(AtomicWriteTest, WriteErrorNamesTheFileAndTheCause)
{
    try {
        WriteFileAtomically(path(u"missing/doc.vlt"_s), "x");
        FAIL() << "no error";
    } catch (const EFileError &e) {
        EXPECT_TRUE(e.message().contains(u"doc.vlt"_s)) << e.what();
        EXPECT_TRUE(e.message().contains(SystemErrorText(ENOENT))) << e.what();
    }
}

#ifdef Q_OS_UNIX

TEST_F(AtomicWriteTest, LinkedNotesFileKeepsItsLinkAndItsPreviousVersion)
{
    QDir(dir.path()).mkpath(u"real"_s);
    WriteFileAtomically(path(u"real/doc.vlt"_s), "old");
    // A chain of two links, the first one relative.
    ASSERT_TRUE(QFile::link(u"real/doc.vlt"_s, path(u"middle.vlt"_s)));
    ASSERT_TRUE(QFile::link(path(u"middle.vlt"_s), path(u"link.vlt"_s)));
    EXPECT_EQ(ResolvedFilePath(path(u"link.vlt"_s)), path(u"real/doc.vlt"_s));

    WriteFileAtomically(path(u"link.vlt"_s), "new", path(u"real/doc.bak"_s));
    EXPECT_TRUE(QFileInfo(path(u"link.vlt"_s)).isSymLink());
    EXPECT_TRUE(QFileInfo(path(u"middle.vlt"_s)).isSymLink());
    EXPECT_EQ(read(u"link.vlt"_s), "new");
    EXPECT_EQ(read(u"real/doc.bak"_s), "old");

    // A link whose target is not there yet: the save creates the target.
    ASSERT_TRUE(QFile::link(u"real/later.vlt"_s, path(u"dangling.vlt"_s)));
    WriteFileAtomically(path(u"dangling.vlt"_s), "first");
    EXPECT_TRUE(QFileInfo(path(u"dangling.vlt"_s)).isSymLink());
    EXPECT_EQ(read(u"real/later.vlt"_s), "first");
}

TEST_F(AtomicWriteTest, ReplacedFileKeepsItsPermissions)
{
    WriteFileAtomically(path(u"doc.vlt"_s), "old");
    ASSERT_EQ(::chmod(QFile::encodeName(path(u"doc.vlt"_s)).constData(), 0640), 0);
    WriteFileAtomically(path(u"doc.vlt"_s), "new", path(u"doc.bak"_s));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path(u"doc.vlt"_s)).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(AtomicWriteTest, BackupOnAnotherFileSystemIsASyncedCopy)
{
    QTemporaryDir other(u"/dev/shm/vt-backup-XXXXXX"_s);
    if (!other.isValid() || QStorageInfo(other.path()).device() == QStorageInfo(dir.path()).device())
        GTEST_SKIP() << "no second file system to back up to";
    const QString backup = other.filePath(u"doc.bak"_s);
    WriteFileAtomically(path(u"doc.vlt"_s), "one", backup);
    WriteFileAtomically(path(u"doc.vlt"_s), "two", backup);
    WriteFileAtomically(path(u"doc.vlt"_s), "three", backup);
    QFile file(backup);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "two");
    EXPECT_EQ(QDir(other.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

struct NotAFile
{
    const char *name;
    const char *path; // relative to the test folder, or absolute
    const char *says;
};

class OpenRegularFileTest : public AtomicWriteTest, public ::testing::WithParamInterface<NotAFile>
{
};

// Renaming over a FIFO or a socket would put a file in its place (and over a device
// node, as root, replace the device): every writer refuses them and leaves them be.
TEST_F(AtomicWriteTest, WriterRefusesAFifoOrASocketAndLeavesItInPlace)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(u"fifo"_s)).constData(), 0600), 0);
    QFile::link(path(u"fifo"_s), path(u"fifo-link"_s));
    for (const QString &name : {u"fifo"_s, u"fifo-link"_s}) {
        try {
            WriteFileAtomically(path(name), "x", path(u"fifo.bak"_s));
            ADD_FAILURE() << "written: " << name.toStdString();
        } catch (const EFileError &e) {
            EXPECT_TRUE(e.message().contains(u"pipe"_s)) << e.what();
            EXPECT_TRUE(e.message().contains(name)) << e.what();
        }
    }
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path(u"fifo"_s)).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(files(), QStringList({u"fifo"_s, u"fifo-link"_s}));
}

// A file its owner made read-only is not replaced by a rename behind their back,
// unless the caller says so (the command-line tool's --force).
TEST_F(AtomicWriteTest, ReadOnlyFileIsReplacedOnlyWhenAllowed)
{
    WriteFileAtomically(path(u"doc.vlt"_s), "mine");
    ASSERT_EQ(::chmod(QFile::encodeName(path(u"doc.vlt"_s)).constData(), 0444), 0);
    EXPECT_TRUE(IsReadOnlyFile(path(u"doc.vlt"_s)));
    try {
        WriteFileAtomically(path(u"doc.vlt"_s), "theirs", path(u"doc.bak"_s));
        ADD_FAILURE() << "replaced";
    } catch (const EFileError &e) {
        EXPECT_TRUE(e.message().contains(u"read-only"_s)) << e.what();
    }
    EXPECT_EQ(read(u"doc.vlt"_s), "mine");
    EXPECT_EQ(files(), QStringList{u"doc.vlt"_s});

    AllowReplacingReadOnlyFiles(true);
    WriteFileAtomically(path(u"doc.vlt"_s), "forced");
    AllowReplacingReadOnlyFiles(false);
    EXPECT_EQ(read(u"doc.vlt"_s), "forced");
    EXPECT_TRUE(IsReadOnlyFile(path(u"doc.vlt"_s))); // and still read-only
}

// Reading one of these would block for ever (a FIFO without a writer) or never end.
TEST_P(OpenRegularFileTest, RefusesWhatIsNoRegularFileAndSaysWhat)
{
    ::mkfifo(QFile::encodeName(path(u"fifo"_s)).constData(), 0600);
    QFile::link(u"/dev/zero"_s, path(u"zero-link"_s));
    QDir(dir.path()).mkpath(u"folder"_s);
    WriteFileAtomically(path(u"big"_s), QByteArray(2048, 'x'));

    const QString name = QString::fromLatin1(GetParam().path);
    QFile file;
    try {
        OpenRegularFile(file, QDir(dir.path()).filePath(name), 1024);
        FAIL() << "opened";
    } catch (const EFileError &e) {
        EXPECT_TRUE(e.message().contains(QString::fromLatin1(GetParam().says))) << e.what();
        EXPECT_TRUE(e.message().contains(QFileInfo(name).fileName())) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OpenRegularFileTest,
    ::testing::Values(NotAFile{"Fifo", "fifo", "pipe"}, NotAFile{"Device", "/dev/null", "device"},
                      NotAFile{"LinkToZero", "zero-link", "device"},
                      NotAFile{"Folder", "folder", "folder"},
                      NotAFile{"TooLarge", "big", "the largest file that can be opened is 1 MB"},
                      NotAFile{"Missing", "missing", "No such file"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(AtomicWriteTest, NotesFileBeyondTheLimitIsRefusedWithoutBeingRead)
{
    for (const QString &name : {u"huge.vlt"_s, u"huge.vle"_s}) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("VLE");
        // Sparse: no disk space and no time, but the size of a file too large to hold.
        ASSERT_TRUE(file.resize(TArchive::MaxFileSize + 1));
        file.close();
        TNoteTree tree;
        TArchive archive(&tree);
        try {
            archive.ReadNotes(nullptr, path(name));
            FAIL() << "read";
        } catch (const EFileError &e) {
            EXPECT_TRUE(e.message().contains(u"513 MB"_s)) << e.what();
        }
    }
}

#endif

TEST_F(AtomicWriteTest, TextOfNothingButLineBreaksIsRefused)
{
    QFile file(path(u"breaks.vlt"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(TArchive::DocTypeLine().toLatin1());
    file.write(QByteArray(TArchive::MaxLineBreaks + 1, '\n'));
    file.close();
    TNoteTree tree;
    try {
        TArchive(&tree).ReadNotes(nullptr, path(u"breaks.vlt"_s));
        FAIL() << "read";
    } catch (const EFileError &e) {
        EXPECT_TRUE(e.message().contains(u"line breaks"_s)) << e.what();
    }
}

TEST_F(AtomicWriteTest, EncipheredZerosReadAsAWrongPassword)
{
    // "VLE" and zeros decipher to one endless line or to noise: a wrong password
    // either way, found out without keeping the text.
    QFile file(path(u"zeros.vle"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("VLE");
    file.write(QByteArray(8 << 20, '\0'));
    file.close();
    for (const QString &password : {u"any"_s, u"secret12"_s, u"x"_s}) {
        TNoteTree tree;
        TArchive archive(&tree);
        archive.Password = password;
        bool read = true;
        try {
            read = archive.ReadNotes(nullptr, path(u"zeros.vle"_s));
        } catch (const EInvalidPassword &) {
            read = false;
        }
        EXPECT_FALSE(read);
        EXPECT_EQ(tree.Count(), 0);
    }
}

} // namespace
