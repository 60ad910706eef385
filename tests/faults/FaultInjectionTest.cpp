// Every creation, write, sync, rename and link of a save failed in turn, as a full
// disk or a failing device would: afterwards the notes file and its backup are whole -
// the old or the new version, byte for byte - and the error names its cause.

#include "FaultRun.h"
#include "Versions.h"

#include "crypto/StrongCipher.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "settings/UtilsFile.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <sys/mount.h>

using namespace Qt::StringLiterals;
using namespace FaultRun;

namespace {

const QString kPassword = u"secret12"_s;

// A file in notes/ of version k, written by the program's own writer.
void writeVersion(const QString &path, int k, const QString &password = {})
{
    TNoteTree tree;
    Versions::Fill(tree, k, 50);
    TArchive archive(&tree);
    archive.Password = password;
    archive.WriteNotes(nullptr, path);
}

// What a file holds: a .vlx is enciphered anew at every save, so its text is compared.
QByteArray content(const QByteArray &bytes)
{
    if (!StrongCipher::IsStrongData(bytes))
        return bytes;
    QByteArray text;
    const auto status = StrongCipher::Decipher(bytes, kPassword.toUtf8(), text, qint64(1) << 30);
    return status == StrongCipher::TStatus::Ok ? text : QByteArray("not a whole .vlx");
}

// The errno a call fails with: a full disk for the data, a device error for a sync.
int errorFor(const QString &call)
{
    return call == u"fsync"_s ? EIO : ENOSPC;
}

class FaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The files written here carry their cost: the saves under test stay quick.
        StrongCipher::SetParamsForNewKeys(StrongCipher::MinimumParams());
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath(u"notes"_s);
        QDir(dir.path()).mkpath(u"config"_s);
    }

    QString notes(const QString &name = {}) const
    {
        return dir.filePath(u"notes/"_s + name);
    }

    // Runs with the nth call of a kind failing, or with the process killed there.
    TResult run(const QString &program, const QStringList &args, const QString &call = {},
                int nth = 0, const QString &log = {}, bool kill = false) const
    {
        return FaultRun::Run(program, args, notes(), dir.filePath(u"config"_s),
                             dir.filePath(u"notes*"_s), call, nth, kill ? 0 : errorFor(call),
                             log, noTmpfile);
    }

    // Runs once logging every call on the notes folder; the counts per kind.
    QMap<QString, int> countCalls(const QString &program, const QStringList &args,
                                  TResult *result) const
    {
        const QString log = dir.filePath(u"calls.log"_s);
        QFile::remove(log);
        *result = run(program, args, u"all"_s, 0, log);
        return CountCalls(log);
    }

    static void report(const char *what, const QMap<QString, int> &counts, int failed,
                       int harmless)
    {
        std::printf("[faults] %s: tmpfile %d, write %d, fsync %d, rename %d, link %d "
                    "injected; %d reported as errors, %d without effect; nothing lost\n",
                    what, counts.value(u"tmpfile"_s), counts.value(u"write"_s),
                    counts.value(u"fsync"_s),
                    counts.value(u"rename"_s), counts.value(u"link"_s), failed, harmless);
    }

    QTemporaryDir dir;
    // As on a file system without unnamed files.
    bool noTmpfile = false;
};

struct CliCase
{
    const char *name;
    const char *command; // convert, export or print
    const char *out;
};

class CliFaults : public FaultTest, public ::testing::WithParamInterface<CliCase>
{
};

TEST_P(CliFaults, EveryFailedCallKeepsTheOldOutputAndNamesTheCause)
{
    const QString out = QString::fromLatin1(GetParam().out);
    const QString cli = QStringLiteral(VT_CLI_PATH);
    WriteBytes(notes(u"pw"_s), kPassword.toUtf8() + '\n');
    const QString command = QString::fromLatin1(GetParam().command);
    QStringList args{command, u"in.vlt"_s};
    if (command == u"convert"_s)
        args = QStringList{command, u"--password-file"_s, u"pw"_s, u"in.vlt"_s, out};
    else if (command == u"export"_s)
        args << u"Check"_s << out;
    else
        args << u"-o"_s << out;
    // A PDF carries the time it was made: only its being there, whole, can be compared;
    // a .vlx is enciphered anew each time: its text is.
    const auto sameOutput = [&](const QByteArray &a, const QByteArray &b) {
        return command == u"print"_s ? a.startsWith("%PDF") && a.trimmed().endsWith("%%EOF")
                                     : content(a) == content(b);
    };

    writeVersion(notes(u"in.vlt"_s), 4);
    ASSERT_EQ(run(cli, args).ExitCode, 0);
    const QByteArray oldBytes = ReadBytes(notes(out));
    writeVersion(notes(u"in.vlt"_s), 5);

    TResult baseline;
    const QMap<QString, int> counts = countCalls(cli, args, &baseline);
    ASSERT_EQ(baseline.ExitCode, 0) << baseline.Err.toStdString();
    const QByteArray newBytes = ReadBytes(notes(out));
    ASSERT_NE(newBytes, oldBytes);
    ASSERT_GT(counts.value(u"write"_s), 0);
    ASSERT_GT(counts.value(u"fsync"_s), 0) << "the output is never synced";
    const QStringList files = FilesIn(notes());

    int failed = 0;
    int harmless = 0;
    for (const QString &call : Calls()) {
        for (int nth = 1; nth <= counts.value(call); ++nth) {
            SCOPED_TRACE((call + u" #"_s + QString::number(nth)).toStdString());
            WriteBytes(notes(out), oldBytes);
            const TResult result = run(cli, args, call, nth);
            // The first sync is the new data's: losing it must fail the save.
            if (call == u"fsync"_s && nth == 1) {
                EXPECT_NE(result.ExitCode, 0) << "a failed sync was reported as success";
            }
            if (result.ExitCode == 0) {
                ++harmless;
                EXPECT_TRUE(sameOutput(ReadBytes(notes(out)), newBytes));
            } else {
                ++failed;
                EXPECT_EQ(result.ExitCode, 1) << result.Err.toStdString();
                EXPECT_EQ(ReadBytes(notes(out)), oldBytes);
                EXPECT_TRUE(result.Err.contains(SystemErrorText(errorFor(call))))
                    << result.Err.toStdString();
                EXPECT_TRUE(result.Err.contains(out)) << result.Err.toStdString();
            }
            EXPECT_EQ(FilesIn(notes()), files) << "a temporary file was left behind";
        }
    }
    report(GetParam().name, counts, failed, harmless);
    EXPECT_GT(failed, 0);
}

INSTANTIATE_TEST_SUITE_P(Write, CliFaults,
                         ::testing::Values(CliCase{"ConvertToVlt", "convert", "out.vlt"},
                                           CliCase{"ConvertToVle", "convert", "out.vle"},
                                           CliCase{"ConvertToVlx", "convert", "out.vlx"},
                                           CliCase{"ConvertToTxt", "convert", "out.txt"},
                                           CliCase{"ExportText", "export", "out.txt"},
                                           CliCase{"PrintToPdf", "print", "out.pdf"}),
                         [](const auto &info) { return std::string(info.param.name); });

struct WindowCase
{
    const char *name;
    const char *file;
    bool backup;
    const char *password;
    bool namedTemporaries = false;
};

class WindowFaults : public FaultTest, public ::testing::WithParamInterface<WindowCase>
{
protected:
    // Version 1 as the notes file, version 0 as its backup; one save through the
    // window, logging its calls, gives the new bytes; then the files go back.
    void prepare()
    {
        const WindowCase &param = GetParam();
        noTmpfile = param.namedTemporaries;
        file = notes(QString::fromLatin1(param.file));
        backup = file + u".bak"_s;
        password = QString::fromLatin1(param.password);
        args = QStringList{file, u"--password"_s, password};
        if (param.backup)
            args << u"--backup"_s;

        writeVersion(file, 0, password);
        if (param.backup)
            WriteBytes(backup, ReadBytes(file));
        backupBytes = ReadBytes(backup);
        writeVersion(file, 1, password);
        oldBytes = ReadBytes(file);

        TResult baseline;
        counts = countCalls(driver, args, &baseline);
        ASSERT_EQ(baseline.ExitCode, 0) << baseline.Out.toStdString() << baseline.Err.toStdString();
        newBytes = ReadBytes(file);
        ASSERT_EQ(Versions::OfFile(file, password), 2);
        EXPECT_EQ(counts.value(u"tmpfile"_s), param.namedTemporaries ? 0 : 1)
            << "the new file is not made unnamed first";
        if (param.backup) {
            // The backup is the previous file itself: enciphered when that was.
            EXPECT_EQ(ReadBytes(backup), oldBytes);
            ASSERT_GT(counts.value(u"link"_s), 0) << "the backup is not a hard link";
        }
        files = FilesIn(notes());
        restore();
    }

    void restore() const
    {
        for (const QString &name : FilesIn(notes()))
            QFile::remove(notes(name));
        WriteBytes(file, oldBytes);
        if (GetParam().backup)
            WriteBytes(backup, backupBytes);
    }

    const QString driver = QStringLiteral(VT_SAVE_DRIVER);
    QString file;
    QString backup;
    QString password;
    QStringList args;
    QByteArray oldBytes;
    QByteArray backupBytes;
    QByteArray newBytes;
    QMap<QString, int> counts;
    QStringList files;
};

TEST_P(WindowFaults, EveryFailedCallKeepsFileAndBackupAndNamesTheCause)
{
    ASSERT_NO_FATAL_FAILURE(prepare());
    int failed = 0;
    int harmless = 0;
    for (const QString &call : Calls()) {
        for (int nth = 1; nth <= counts.value(call); ++nth) {
            SCOPED_TRACE((call + u" #"_s + QString::number(nth)).toStdString());
            restore();
            const TResult result = run(driver, args, call, nth);
            if (call == u"fsync"_s && nth == 1) {
                EXPECT_NE(result.ExitCode, 0) << "a failed sync was reported as success";
            }
            if (result.ExitCode == 0) {
                ++harmless;
                EXPECT_EQ(content(ReadBytes(file)), content(newBytes));
                if (GetParam().backup) {
                    EXPECT_EQ(ReadBytes(backup), oldBytes);
                }
            } else {
                ++failed;
                EXPECT_EQ(result.ExitCode, 1) << result.Out.toStdString();
                EXPECT_EQ(ReadBytes(file), oldBytes);
                EXPECT_EQ(ReadBytes(backup), backupBytes) << "the previous backup is gone";
                EXPECT_TRUE(result.Out.contains(u"message: "_s)
                            && result.Out.contains(SystemErrorText(errorFor(call))))
                    << result.Out.toStdString();
            }
            EXPECT_EQ(FilesIn(notes()), files) << "a temporary file was left behind";
        }
    }
    report(GetParam().name, counts, failed, harmless);
    EXPECT_GT(failed, 0);
}

// Killed just before each step of the save: the notes file is there, old or new and
// whole, and the backup holds a whole earlier version; the next save leaves nothing of
// the killed one behind.
TEST_P(WindowFaults, KillBeforeEveryCallLeavesFileAndBackupWhole)
{
    ASSERT_NO_FATAL_FAILURE(prepare());
    int kills = 0;
    for (const QString &call : Calls()) {
        for (int nth = 1; nth <= counts.value(call); ++nth) {
            SCOPED_TRACE((call + u" #"_s + QString::number(nth)).toStdString());
            restore();
            const TResult result = run(driver, args, call, nth, {}, true);
            EXPECT_EQ(result.ExitCode, -2) << "not killed";
            ++kills;
            const QByteArray now = ReadBytes(file);
            const bool isNew = content(now) == content(newBytes);
            EXPECT_TRUE(now == oldBytes || isNew) << "the notes file is missing or torn";
            if (GetParam().backup) {
                const QByteArray saved = ReadBytes(backup);
                EXPECT_TRUE(saved == backupBytes || saved == oldBytes) << "the backup is torn";
                EXPECT_FALSE(isNew && saved != oldBytes);
            }
            const TResult next = run(driver, args);
            EXPECT_EQ(next.ExitCode, 0) << next.Out.toStdString();
            EXPECT_EQ(FilesIn(notes()), files) << "a temporary file was left behind";
        }
    }
    std::printf("[faults] %s: killed before each of %d calls; nothing lost\n", GetParam().name,
                kills);
}

INSTANTIATE_TEST_SUITE_P(
    Save, WindowFaults,
    ::testing::Values(WindowCase{"PlainWithoutBackup", "doc.vlt", false, ""},
                      WindowCase{"PlainWithBackup", "doc.vlt", true, ""},
                      WindowCase{"EncipheredWithBackup", "doc.vle", true, "secret12"},
                      WindowCase{"StronglyEncipheredWithBackup", "doc.vlx", true, "secret12"},
                      WindowCase{"NamedTemporariesWithBackup", "doc.vlt", true, "", true}),
    [](const auto &info) { return std::string(info.param.name); });

// A real full disk, where a write first goes through in part and only the next one
// fails: the tool still says why, and leaves nothing on the disk.
TEST_F(FaultTest, ExportAndPrintOnAFullDiskSayItIsFull)
{
    const QString full = dir.filePath(u"full"_s);
    QDir().mkpath(full);
    if (::mount("tmpfs", QFile::encodeName(full).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(full).constData(), MNT_DETACH); });
    TNoteTree tree;
    Versions::Fill(tree, 1, 8000);
    TArchive(&tree).WriteNotes(nullptr, notes(u"in.vlt"_s));
    const QString cli = QStringLiteral(VT_CLI_PATH);
    for (const QStringList &args :
         {QStringList{u"export"_s, u"in.vlt"_s, u"Check"_s, full + u"/out.txt"_s},
          QStringList{u"print"_s, u"in.vlt"_s, u"-o"_s, full + u"/out.pdf"_s}}) {
        SCOPED_TRACE(args.first().toStdString());
        const TResult result = run(cli, args);
        EXPECT_EQ(result.ExitCode, 1);
        EXPECT_TRUE(result.Err.contains(SystemErrorText(ENOSPC))) << result.Err.toStdString();
        EXPECT_EQ(FilesIn(full), QStringList());
    }
}

} // namespace
