// The main window killed (SIGKILL) at random moments while it saves with Backup on,
// again and again: the notes file must be there and whole after every kill, never
// older than the last save the window reported, and the backup a whole earlier
// version. VT_KILLS sets the number of kills (200 by default).

#include "FaultRun.h"
#include "Versions.h"

#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <signal.h>

using namespace Qt::StringLiterals;

namespace {

// The last "saved K" in the driver's output so far, or `last` when there is none.
int lastSaved(const QByteArray &output, int last)
{
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith("saved "))
            last = line.mid(6).toInt();
    }
    return last;
}

TEST(KillTest, KilledSavesNeverLoseTheNotesFileOrTheBackup)
{
    const int kills = int(FaultRun::EnvironmentNumber("VT_KILLS", 200));
    const auto seed = quint32(
        FaultRun::EnvironmentNumber("VT_KILL_SEED", QRandomGenerator::global()->generate()));
    QRandomGenerator random(seed);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath(u"notes"_s);
    const QString file = dir.filePath(u"notes/doc.vlt"_s);
    const QString backup = dir.filePath(u"notes/doc.vlt.bak"_s);
    {
        TNoteTree tree;
        Versions::Fill(tree, 0, 4096);
        TArchive(&tree).WriteNotes(nullptr, file);
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"XDG_CONFIG_HOME"_s, dir.filePath(u"config"_s));
    env.insert(u"XDG_DATA_HOME"_s, dir.filePath(u"config"_s));
    env.insert(u"XDG_STATE_HOME"_s, dir.filePath(u"state"_s));

    int reported = 0; // the newest version the window said it saved
    int insideCommit = 0;
    int withoutSave = 0;
    QElapsedTimer clock;
    clock.start();
    for (int kill = 0; kill < kills; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill) + ", seed " + std::to_string(seed));
        const int before = int(FaultRun::FilesIn(dir.filePath(u"notes"_s)).size());
        QProcess driver;
        driver.setProcessEnvironment(env);
        driver.start(QStringLiteral(VT_SAVE_DRIVER),
                     {file, u"--backup"_s, u"--lines"_s, u"4096"_s, u"--saves"_s, u"0"_s});
        QByteArray output;
        while (!output.contains("ready\n") && driver.waitForReadyRead(30000))
            output += driver.readAllStandardOutput();
        ASSERT_TRUE(output.contains("ready\n")) << output.toStdString();
        // Anywhere in the next saves: a save here takes some tens of milliseconds.
        QThread::msleep(random.bounded(300));
        ::kill(pid_t(driver.processId()), SIGKILL);
        driver.waitForFinished(10000);
        output += driver.readAllStandardOutput();
        const int saved = lastSaved(output, reported);
        if (saved == reported)
            ++withoutSave;
        reported = saved;

        const int version = Versions::OfFile(file);
        ASSERT_GE(version, 0) << "the notes file is missing or torn";
        ASSERT_GE(version, reported) << "a save the window reported is gone";
        if (QFile::exists(backup)) {
            const int backupVersion = Versions::OfFile(backup);
            ASSERT_GE(backupVersion, 0) << "the backup is torn";
            ASSERT_LE(backupVersion, version);
        }
        // A kill between the first and the last step of a commit leaves its hidden
        // temporary names behind; they hold nothing the files above lack.
        if (FaultRun::FilesIn(dir.filePath(u"notes"_s)).size() > before)
            ++insideCommit;
    }
    // The next save takes away what the killed ones left.
    QProcess last;
    last.setProcessEnvironment(env);
    last.start(QStringLiteral(VT_SAVE_DRIVER),
               {file, u"--backup"_s, u"--lines"_s, u"4096"_s, u"--saves"_s, u"1"_s});
    ASSERT_TRUE(last.waitForFinished(60000));
    EXPECT_EQ(last.exitCode(), 0);
    EXPECT_EQ(FaultRun::FilesIn(dir.filePath(u"notes"_s)),
              QStringList({u"doc.vlt"_s, u"doc.vlt.bak"_s}));
    std::printf("[kills] %d kills in %lld s (seed %u): %d saves completed, %d kills inside a "
                "commit, %d before the first save of a run; notes file and backup whole "
                "every time, nothing lost\n",
                kills, static_cast<long long>(clock.elapsed() / 1000), seed, reported,
                insideCommit, withoutSave);
}

} // namespace
