// Around the atomic write: what killed saves leave behind, backup names that cannot
// collide, links others put into shared folders, and errors that name their cause.

#include "OtherUser.h"
#include "TempFiles.h"
#include "settings/RegistryStore.h"
#include "settings/UtilsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

class SaveSafetyTest : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return dir.filePath(name); }

    QStringList files(const QString &folder = {}) const
    {
        return QDir(path(folder)).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    // A folder as the shared temporary folder is: sticky, anyone may write.
    QString sharedFolder()
    {
        QDir(dir.path()).mkpath(u"shared"_s);
        ::chmod(QFile::encodeName(path(u"shared"_s)).constData(), 01777);
        return path(u"shared"_s);
    }

    static void chownLink(const QString &link, uid_t owner)
    {
        ASSERT_EQ(::lchown(QFile::encodeName(link).constData(), owner, owner), 0);
    }

    QTemporaryDir dir;
};

TEST_F(SaveSafetyTest, LeftOversOfKilledSavesGoAtTheNextSaveAndNothingElseDoes)
{
    QDir(dir.path()).mkpath(u"backups"_s);
    WriteFileAtomically(path(u"doc.vlt"_s), "old");
    const QStringList leftOvers{u".doc.vlt.0123abcd.tmp"_s, u".doc.vlt.ffffffff.tmp"_s};
    const QStringList others{
        u".doc.vlt.0123abc.tmp"_s,     u".doc.vlt.0123ABCD.tmp"_s, u".doc.vlt.0123abcg.tmp"_s,
        u".doc.vlt.0123abcd.tmp~"_s,   u".doc.vlt.0123abcd"_s,     u"doc.vlt.0123abcd.tmp"_s,
        u".doc.vlt.0123abcd.tmp.tmp"_s, u".doc.vl.0123abcd.tmp"_s,  u".other.vlt.0123abcd.tmp"_s,
        u"..doc.vlt.0123abcd.tmp"_s};
    for (const QString &name : leftOvers + others)
        WriteTestFile(path(name), "x");
    WriteTestFile(path(u"backups/.doc.vlt.bak.00000000.tmp"_s), "x");
    // A save running in another process holds its temporary.
    WriteTestFile(path(u".doc.vlt.5ec0ad5e.tmp"_s), "running");
    const int running = ::open(QFile::encodeName(path(u".doc.vlt.5ec0ad5e.tmp"_s)).constData(),
                               O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(running, LOCK_SH), 0);
    // A link of the pattern is not followed, let alone its target removed.
    WriteTestFile(path(u"target"_s), "kept");
    ASSERT_TRUE(QFile::link(path(u"target"_s), path(u".doc.vlt.11111111.tmp"_s)));
    QStringList kept = others;
    kept << u".doc.vlt.5ec0ad5e.tmp"_s << u".doc.vlt.11111111.tmp"_s << u"doc.vlt"_s
         << u"target"_s;
    if (::geteuid() == 0) {
        // Another user's, of the pattern: theirs to remove.
        WriteTestFile(path(u".doc.vlt.22222222.tmp"_s), "theirs");
        chownLink(path(u".doc.vlt.22222222.tmp"_s), kOtherUser);
        kept << u".doc.vlt.22222222.tmp"_s;
    }
    kept.sort();

    WriteFileAtomically(path(u"doc.vlt"_s), "new", path(u"backups/doc.vlt.bak"_s));
    EXPECT_EQ(files(), kept);
    EXPECT_EQ(files(u"backups"_s), QStringList{u"doc.vlt.bak"_s});
    EXPECT_EQ(ReadTestFile(path(u"doc.vlt"_s)), "new");
    EXPECT_EQ(ReadTestFile(path(u"backups/doc.vlt.bak"_s)), "old");

    // Once that save is over, its temporary is a left-over too.
    ::close(running);
    WriteFileAtomically(path(u"doc.vlt"_s), "newer");
    EXPECT_FALSE(QFile::exists(path(u".doc.vlt.5ec0ad5e.tmp"_s)));
}

TEST_F(SaveSafetyTest, BackupNamesKeepTheExtensionAndTellFoldersApart)
{
    QDir(dir.path()).mkpath(u"a"_s);
    QDir(dir.path()).mkpath(u"b"_s);
    QDir(dir.path()).mkpath(u"common"_s);
    // Beside the file, and in its own folder named as backup folder.
    EXPECT_EQ(BackupFilePath(path(u"a/notes.vlt"_s), {}), path(u"a/notes.vlt.bak"_s));
    EXPECT_EQ(BackupFilePath(path(u"a/notes.vle"_s), {}), path(u"a/notes.vle.bak"_s));
    EXPECT_EQ(BackupFilePath(path(u"a/notes.vlt"_s), path(u"a/"_s)), path(u"a/notes.vlt.bak"_s));

    // In a common folder: one name per file, the same at every save.
    const QString a = BackupFilePath(path(u"a/notes.vlt"_s), path(u"common"_s));
    const QString b = BackupFilePath(path(u"b/notes.vlt"_s), path(u"common"_s));
    const QString e = BackupFilePath(path(u"a/notes.vle"_s), path(u"common"_s));
    EXPECT_NE(a, b);
    EXPECT_NE(a, e);
    EXPECT_EQ(a, BackupFilePath(path(u"b/../a/notes.vlt"_s), path(u"common"_s)));
    EXPECT_TRUE(QFileInfo(a).fileName().contains(QRegularExpression(u"^notes\\.vlt\\.[0-9a-f]{8}\\.bak$"_s)))
        << a.toStdString();
    EXPECT_EQ(QFileInfo(a).absolutePath(), path(u"common"_s));

    // A folder reached through a link is the same folder; a linked notes file is
    // backed up under its target's name.
    ASSERT_TRUE(QFile::link(path(u"a"_s), path(u"a-link"_s)));
    EXPECT_EQ(BackupFilePath(path(u"a-link/notes.vlt"_s), path(u"common"_s)), a);
    WriteTestFile(path(u"b/real.vlt"_s), "x");
    ASSERT_TRUE(QFile::link(path(u"b/real.vlt"_s), path(u"a/shown.vlt"_s)));
    EXPECT_EQ(BackupFilePath(path(u"a/shown.vlt"_s), {}), path(u"b/real.vlt.bak"_s));
}

// A link that another user put into /tmp could make a save replace, or a read show,
// any file the user may reach.
TEST_F(SaveSafetyTest, LinkOfAnotherUserInASharedFolderIsNotFollowed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a link to another user";
    const QString shared = sharedFolder();
    WriteTestFile(path(u"victim.vlt"_s), "precious");
    const QString link = shared + u"/notes.vlt"_s;
    ASSERT_TRUE(QFile::link(path(u"victim.vlt"_s), link));
    chownLink(link, kOtherUser);

    try {
        WriteFileAtomically(link, "overwritten");
        ADD_FAILURE() << "written through the link";
    } catch (const EFileError &e) {
        EXPECT_TRUE(e.message().contains(u"another user"_s)) << e.what();
        EXPECT_TRUE(e.message().contains(shared)) << e.what();
    }
    QFile file;
    EXPECT_THROW(OpenRegularFile(file, link, 1024), EFileError);
    // Also as the last link of a chain that starts in a folder of the user's own, and
    // as the backup's name.
    ASSERT_TRUE(QFile::link(link, path(u"mine.vlt"_s)));
    EXPECT_THROW(WriteFileAtomically(path(u"mine.vlt"_s), "overwritten"), EFileError);
    WriteTestFile(path(u"doc.vlt"_s), "doc");
    EXPECT_THROW(WriteFileAtomically(path(u"doc.vlt"_s), "new", link), EFileError);
    EXPECT_EQ(ReadTestFile(path(u"victim.vlt"_s)), "precious");
    EXPECT_EQ(ReadTestFile(path(u"doc.vlt"_s)), "doc");

    // The user's own link there, and one of the folder's owner, are followed.
    chownLink(link, ::geteuid());
    WriteFileAtomically(link, "mine");
    EXPECT_EQ(ReadTestFile(path(u"victim.vlt"_s)), "mine");
    ASSERT_EQ(::chown(QFile::encodeName(shared).constData(), kOtherUser, kOtherUser), 0);
    chownLink(link, kOtherUser);
    EXPECT_NO_THROW(OpenRegularFile(file, link, 1024));
    // Not sticky: anyone could replace the link itself there anyway.
    ::chmod(QFile::encodeName(shared).constData(), 0777);
    ASSERT_EQ(::chown(QFile::encodeName(shared).constData(), 0, 0), 0);
    file.close();
    EXPECT_NO_THROW(OpenRegularFile(file, link, 1024));
}

// Root may write anywhere: a user who may not runs these.
class ForbiddenFolderTest : public SaveSafetyTest
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to run as another user";
        // The other user must reach the test's folder.
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    }
};

TEST_F(ForbiddenFolderTest, SavingIntoAFolderTheUserMayNotWriteNamesTheFolder)
{
    QDir(dir.path()).mkpath(u"closed"_s);
    ::chmod(QFile::encodeName(path(u"closed"_s)).constData(), 0555);
    const std::optional<QString> said = RunAsOtherUser([this] {
        try {
            WriteFileAtomically(path(u"closed/doc.vlt"_s), "x");
        } catch (const EFileError &e) {
            return e.message();
        }
        return u"written"_s;
    });
    ASSERT_TRUE(said.has_value());
    EXPECT_EQ(said->toStdString(), u"Cannot write to the folder \"%1\". %2"_s
                                       .arg(path(u"closed"_s), SystemErrorText(EACCES))
                                       .toStdString());
}

TEST_F(ForbiddenFolderTest, RegistryThatCannotBeWrittenSaysWhyNotThatItIsLocked)
{
    QDir(dir.path()).mkpath(u"config/Vellumtree"_s);
    const QString file = path(u"config/Vellumtree/registry.reg"_s);
    const std::optional<QString> said = RunAsOtherUser([file] {
        TRegistryStore store(file, TRegistryRoot::CurrentUser);
        try {
            store.OpenKey(u"Software\\Vellumtree"_s, true);
            store.WriteInteger(u"AutoSave"_s, 1);
            store.Flush();
        } catch (const ERegistryException &e) {
            return e.message();
        }
        return u"written"_s;
    });
    ASSERT_TRUE(said.has_value());
    EXPECT_FALSE(said->contains(u"locked"_s)) << said->toStdString();
    EXPECT_TRUE(said->contains(SystemErrorText(EACCES))) << said->toStdString();
    EXPECT_TRUE(said->contains(file)) << said->toStdString();
}

} // namespace
