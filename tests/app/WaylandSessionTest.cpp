// The real program in a Wayland session: weston's headless back end as the compositor,
// the window on Qt's Wayland platform with a file, a second start handing another file
// over, an edit saved through the window, and not one word on standard error from
// either start (Qt's warnings included).

#include "OutsidePrograms.h"
#include "TempFiles.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kStartMs = 30000;

class WaylandSessionTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(Installed(u"weston"_s));
        // The compositor's socket and the single-instance socket live here, as in a
        // session: a private folder of the user's.
        runtime = dir.filePath(u"runtime"_s);
        ASSERT_TRUE(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        socket = u"vt-wayland-%1"_s.arg(QCoreApplication::applicationPid());

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
        env.insert(u"HOME"_s, dir.filePath(u"home"_s));
        weston.setProcessEnvironment(env);
        weston.setProcessChannelMode(QProcess::MergedChannels);
        weston.start(u"weston"_s, {u"--backend=headless-backend.so"_s, u"--socket="_s + socket,
                                   u"--no-config"_s, u"--idle-time=0"_s});
        ASSERT_TRUE(weston.waitForStarted());
        const QDeadlineTimer deadline(kStartMs);
        while (!QFileInfo::exists(runtime + u'/' + socket) && !deadline.hasExpired()
               && weston.state() == QProcess::Running)
            QThread::msleep(50);
        ASSERT_TRUE(QFileInfo::exists(runtime + u'/' + socket))
            << "weston did not start: " << weston.readAll().toStdString();

        // The program with its language files and help beside it, as installed.
        const QString bin = dir.filePath(u"bin"_s);
        ASSERT_TRUE(QDir().mkpath(bin + u"/lng"_s));
        program = bin + u"/vellumtree"_s;
        ASSERT_TRUE(QFile::copy(QStringLiteral(VT_PROGRAM_PATH), program));
        const QDir languages(QStringLiteral(VT_RESOURCE_DIR) + u"/lng"_s);
        for (const QString &name : languages.entryList({u"*.lng"_s}, QDir::Files))
            ASSERT_TRUE(QFile::copy(languages.filePath(name), bin + u"/lng/"_s + name));
        QFile::copy(QStringLiteral(VT_RESOURCE_DIR) + u"/Help.vlt"_s, bin + u"/Help.vlt"_s);

        // One window at a time, asked for the way the Options dialog stores it.
        const QString config = dir.filePath(u"config"_s);
        ASSERT_TRUE(QDir().mkpath(config + u"/Vellumtree"_s));
        WriteTestFile(config + u"/Vellumtree/registry.reg"_s,
                      "Windows Registry Editor Version 5.00\n\n"
                      "[HKEY_CURRENT_USER\\Software\\Vellumtree]\n"
                      "\"SingleInstance\"=dword:00000001\n\n");

        // A Wayland session and nothing else: no X server to fall back on, no user's
        // settings, no rules that would hide a warning.
        programEnv = env;
        for (const QString &name : {u"DISPLAY"_s, u"XAUTHORITY"_s, u"QT_LOGGING_RULES"_s,
                                    u"QT_QPA_PLATFORMTHEME"_s, u"XDG_ACTIVATION_TOKEN"_s,
                                    u"DESKTOP_STARTUP_ID"_s, u"QT_SCALE_FACTOR"_s})
            programEnv.remove(name);
        programEnv.insert(u"QT_QPA_PLATFORM"_s, u"wayland"_s);
        programEnv.insert(u"WAYLAND_DISPLAY"_s, socket);
        programEnv.insert(u"XDG_SESSION_TYPE"_s, u"wayland"_s);
        programEnv.insert(u"XDG_CONFIG_HOME"_s, config);
        programEnv.insert(u"XDG_CACHE_HOME"_s, dir.filePath(u"cache"_s));
        programEnv.insert(u"XDG_DATA_HOME"_s, dir.filePath(u"data"_s));
        programEnv.insert(u"XDG_STATE_HOME"_s, dir.filePath(u"state"_s));
    }

    void TearDown() override
    {
        for (QProcess *process : {first.get(), second.get(), &weston}) {
            if (!process || process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    std::unique_ptr<QProcess> start(const QString &file, bool commands)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = programEnv;
        if (commands)
            env.insert(u"VELLUMTREE_STDIN_COMMANDS"_s, u"1"_s);
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(dir.path());
        process->start(program, {file});
        EXPECT_TRUE(process->waitForStarted());
        return process;
    }

    // The first window's answer to a command, or what went wrong instead.
    QByteArray ask(const QByteArray &command, int timeoutMs = kStartMs)
    {
        first->write(command + '\n');
        const QDeadlineTimer deadline(timeoutMs);
        while (!first->canReadLine() && !deadline.hasExpired()
               && first->state() == QProcess::Running)
            first->waitForReadyRead(100);
        if (!first->canReadLine())
            return "no answer to " + command + "; stderr: " + first->readAllStandardError();
        return first->readLine().trimmed();
    }

    void writeDocument(const QString &name, const QString &title)
    {
        TNoteTree tree;
        tree.AddNote(nullptr, title, imLastChild, u"body of "_s + title);
        TArchive archive(&tree);
        ASSERT_TRUE(archive.WriteNotes(nullptr, dir.filePath(name)));
    }

    QTemporaryDir dir;
    QString runtime;
    QString socket;
    QString program;
    QProcessEnvironment programEnv;
    QProcess weston;
    std::unique_ptr<QProcess> first;
    std::unique_ptr<QProcess> second;
};

TEST_F(WaylandSessionTest, SecondStartHandsOverAndTheWindowSavesWithoutAWarning)
{
    writeDocument(u"a.vlt"_s, u"Alpha"_s);
    writeDocument(u"b.vlt"_s, u"Beta"_s);
    first = start(dir.filePath(u"a.vlt"_s), true);
    ASSERT_EQ(ask("file"), "ok " + dir.filePath(u"a.vlt"_s).toUtf8());

    // The second start must hand its file over and end, as under X11.
    second = start(dir.filePath(u"b.vlt"_s), false);
    ASSERT_TRUE(second->waitForFinished(kStartMs))
        << "the second start neither handed over nor ended";
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    const QByteArray secondErrors = second->readAllStandardError();
    EXPECT_EQ(ask("file"), "ok " + dir.filePath(u"b.vlt"_s).toUtf8());

    // An edit saved through the window's own command lands in the handed-over file.
    EXPECT_EQ(ask("type typed under Wayland "), "ok");
    EXPECT_EQ(ask("run miFileSave"), "ok");
    TNoteTree saved;
    TArchive archive(&saved);
    ASSERT_TRUE(archive.ReadNotes(nullptr, dir.filePath(u"b.vlt"_s)));
    ASSERT_NE(saved.FirstNote(), nullptr);
    EXPECT_EQ(saved.FirstNote()->Title(), u"Beta"_s);
    EXPECT_TRUE(saved.FirstNote()->BodyText().contains(u"typed under Wayland"_s))
        << saved.FirstNote()->BodyText().toStdString();
    EXPECT_FALSE(ReadTestFile(dir.filePath(u"a.vlt"_s)).contains("typed under Wayland"));

    // File → Exit ends the program the normal way.
    first->write("run miExit\n");
    ASSERT_TRUE(first->waitForFinished(kStartMs));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);

    EXPECT_EQ(first->readAllStandardError().toStdString(), "");
    EXPECT_EQ(secondErrors.toStdString(), "");
}

} // namespace
