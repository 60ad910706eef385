// A window that is ended while the user types: a termination signal takes the normal
// close path (the autosave rule for closing, or a recovery copy), and after SIGKILL at
// any moment the next start offers everything typed up to the last pause.

#include "FaultRun.h"
#include "Typing.h"

#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

constexpr int kTimeoutMs = 60000;
// The window's wait after the last change before it writes the copy, and what a
// busy machine may add to it.
constexpr qint64 kQuietMs = 2000;
constexpr qint64 kSlackMs = 1000;

// A note's body without the line break that ends its last line.
QString typedPart(QString body)
{
    while (body.endsWith(u'\n') || body.endsWith(u'\r'))
        body.chop(1);
    return body;
}

class Driver
{
public:
    Driver(const QTemporaryDir &dir, const QString &state)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"XDG_CONFIG_HOME"_s, dir.filePath(u"config"_s));
        env.insert(u"XDG_STATE_HOME"_s, state);
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(dir.path());
    }

    bool start(const QStringList &args)
    {
        m_process.start(QStringLiteral(VT_TYPING_DRIVER), args);
        m_clock.start();
        return m_process.waitForStarted(kTimeoutMs);
    }

    // Reads what the driver printed so far; each "typed K" is kept with the time it
    // was read (never before it was typed).
    void poll(int waitMs = 10)
    {
        m_process.waitForReadyRead(waitMs);
        m_buffer += m_process.readAllStandardOutput();
        qsizetype end;
        while ((end = m_buffer.indexOf('\n')) >= 0) {
            const QByteArray line = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            m_lines << QString::fromUtf8(line);
            if (line.startsWith("typed "))
                m_typedAt << m_clock.elapsed();
        }
    }

    bool waitForTyped(int count)
    {
        QElapsedTimer waited;
        waited.start();
        while (m_typedAt.size() < count && waited.elapsed() < kTimeoutMs
            && m_process.state() == QProcess::Running)
            poll(50);
        return m_typedAt.size() >= count;
    }

    void typeFor(qint64 ms)
    {
        const qint64 until = m_clock.elapsed() + ms;
        while (m_clock.elapsed() < until && m_process.state() == QProcess::Running)
            poll(10);
    }

    qint64 signal(int number)
    {
        poll(0);
        const qint64 at = m_clock.elapsed();
        ::kill(pid_t(m_process.processId()), number);
        return at;
    }

    int finish()
    {
        m_process.waitForFinished(kTimeoutMs);
        poll(0);
        m_lines << QString::fromUtf8(m_buffer + m_process.readAllStandardError());
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    // The most characters a copy must hold for a kill at killedAt: every character
    // followed by a pause long enough for the copy to be written before the kill.
    int mustHold(qint64 killedAt) const
    {
        int count = 0;
        for (qsizetype k = 0; k < m_typedAt.size(); ++k) {
            const qint64 next = k + 1 < m_typedAt.size() ? m_typedAt[k + 1] : killedAt;
            if (next - m_typedAt[k] >= kQuietMs + kSlackMs
                && m_typedAt[k] + kQuietMs + kSlackMs <= killedAt)
                count = int(k + 1);
        }
        return count;
    }

    int typed() const { return int(m_typedAt.size()); }
    QString line(const QString &prefix) const
    {
        for (const QString &l : m_lines) {
            if (l.startsWith(prefix))
                return l.mid(prefix.size());
        }
        return {};
    }
    QString output() const { return m_lines.join(u'\n'); }

private:
    QProcess m_process;
    QElapsedTimer m_clock;
    QByteArray m_buffer;
    QStringList m_lines;
    QList<qint64> m_typedAt;
};

struct TRecovered
{
    bool Offered = false;
    QString Body;
    QString File;
};

TRecovered recoverIn(const QTemporaryDir &dir, const QString &state)
{
    Driver next(dir, state);
    EXPECT_TRUE(next.start({ u"--recover"_s }));
    EXPECT_EQ(next.finish(), 0) << next.output().toStdString();
    return { !next.line(u"offered"_s).isNull(),
        typedPart(QUrl::fromPercentEncoding(next.line(u"body "_s).toLatin1())),
        next.line(u"file "_s) };
}

void writeDocument(const QString &file)
{
    TNoteTree tree;
    tree.AddNote(nullptr, u"Check"_s, imLastChild, QString());
    TArchive(&tree).WriteNotes(nullptr, file);
}

QString bodyOf(const QString &file)
{
    TNoteTree tree;
    TArchive(&tree).ReadNotes(nullptr, file);
    return tree.FirstNote() ? typedPart(tree.FirstNote()->BodyText()) : u"(no note)"_s;
}

QStringList copiesIn(const QString &state)
{
    return QDir(state + u"/vellumtree/recovery"_s).entryList({ u"*.info"_s }, QDir::Files);
}

} // namespace

TEST(RecoveryKill, TermHupAndIntCloseTheWindowTheNormalWay)
{
    const QString text = Typing::Text();
    for (const int number : { SIGTERM, SIGHUP, SIGINT }) {
        for (const int autosave : { 2, 0 }) {
            SCOPED_TRACE(testing::Message() << "signal " << number << ", AutoSave " << autosave);
            QTemporaryDir dir;
            const QString file = dir.filePath(u"doc.vlt"_s);
            const QString state = dir.filePath(u"state"_s);
            writeDocument(file);
            const QByteArray before = FaultRun::ReadBytes(file);

            Driver driver(dir, state);
            ASSERT_TRUE(driver.start(
                { file, u"--autosave"_s, QString::number(autosave), u"--chars"_s, u"12"_s }));
            ASSERT_TRUE(driver.waitForTyped(12)) << driver.output().toStdString();
            driver.signal(number);
            EXPECT_EQ(driver.finish(), 128 + number) << driver.output().toStdString();
            EXPECT_TRUE(driver.line(u"message: "_s).isNull()) << "nobody is asked anything";

            if (autosave == 2) {
                // Closing saves (trimming the line's end): the typing is in the file
                // and no copy is left.
                EXPECT_EQ(bodyOf(file), text.left(12).trimmed());
                EXPECT_TRUE(copiesIn(state).isEmpty());
            } else {
                // Nothing saves: the file is as it was and the copy holds the typing.
                EXPECT_EQ(FaultRun::ReadBytes(file), before);
                const TRecovered recovered = recoverIn(dir, state);
                EXPECT_TRUE(recovered.Offered);
                EXPECT_EQ(recovered.Body, text.left(12));
                EXPECT_EQ(recovered.File, file);
            }
        }
    }
}

TEST(RecoveryKill, AfterAKillWhileTypingTheNextStartOffersTheTypingUpToTheLastPause)
{
    const int kills = int(FaultRun::EnvironmentNumber("VT_RECOVERY_KILLS", 6));
    const auto seed = quint32(
        FaultRun::EnvironmentNumber("VT_KILL_SEED", QRandomGenerator::global()->generate()));
    SCOPED_TRACE(testing::Message() << "VT_KILL_SEED=" << seed);
    QRandomGenerator random(seed);
    const QString text = Typing::Text();
    int offered = 0;
    for (int kill = 0; kill < kills; ++kill) {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"doc.vlt"_s);
        const QString state = dir.filePath(u"state"_s);
        writeDocument(file);

        Driver driver(dir, state);
        ASSERT_TRUE(driver.start({ file, u"--seed"_s, QString::number(random.generate()) }));
        ASSERT_TRUE(driver.waitForTyped(1)) << driver.output().toStdString();
        // Every other kill comes after the first long pause.
        driver.typeFor(kill % 2 ? random.bounded(5000, 12000) : random.bounded(300, 5000));
        const qint64 killedAt = driver.signal(SIGKILL);
        driver.finish();
        const int mustHold = driver.mustHold(killedAt);

        const TRecovered recovered = recoverIn(dir, state);
        SCOPED_TRACE(testing::Message()
            << "kill " << kill << ": typed " << driver.typed() << ", must hold " << mustHold);
        EXPECT_TRUE(text.startsWith(recovered.Body)) << "not what was typed";
        EXPECT_GE(recovered.Body.size(), mustHold);
        EXPECT_LE(recovered.Body.size(), driver.typed());
        if (kill % 2) {
            EXPECT_GT(mustHold, 0) << "the check holds the window to nothing";
        }
        if (mustHold > 0) {
            EXPECT_TRUE(recovered.Offered);
        }
        offered += recovered.Offered;
    }
    RecordProperty("offered", offered);
}

TEST(RecoveryKill, ASignalNeitherOverwritesAnotherProgramsChangeNorLosesADamagedOriginal)
{
    const QString text = Typing::Text();
    {
        // The command-line tool changes the file while the window holds typing: the
        // closing autosave skips it, and the typing waits in a recovery copy.
        QTemporaryDir dir;
        const QString file = dir.filePath(u"doc.vlt"_s);
        const QString state = dir.filePath(u"state"_s);
        writeDocument(file);
        Driver driver(dir, state);
        ASSERT_TRUE(driver.start({ file, u"--autosave"_s, u"2"_s, u"--chars"_s, u"8"_s }));
        ASSERT_TRUE(driver.waitForTyped(8)) << driver.output().toStdString();
        QProcess cli;
        cli.start(QStringLiteral(VT_CLI_PATH),
            { u"replace"_s, file, u"Check"_s, u"Theirs"_s, u"--titles"_s });
        ASSERT_TRUE(cli.waitForFinished(kTimeoutMs));
        ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
        const QByteArray theirs = FaultRun::ReadBytes(file);
        driver.signal(SIGTERM);
        EXPECT_EQ(driver.finish(), 128 + SIGTERM);
        EXPECT_EQ(FaultRun::ReadBytes(file), theirs) << "the other program's change stays";
        const TRecovered recovered = recoverIn(dir, state);
        EXPECT_TRUE(recovered.Offered);
        EXPECT_EQ(recovered.Body, text.left(8));
    }
    {
        // A file cut off before its closing lines: the save on closing keeps the
        // untouched original beside it first.
        QTemporaryDir dir;
        const QString file = dir.filePath(u"doc.vlt"_s);
        writeDocument(file);
        const QByteArray whole = FaultRun::ReadBytes(file);
        const QByteArray cut = whole.left(whole.lastIndexOf("</"));
        FaultRun::WriteBytes(file, cut);
        Driver driver(dir, dir.filePath(u"state"_s));
        ASSERT_TRUE(driver.start({ file, u"--autosave"_s, u"2"_s, u"--chars"_s, u"8"_s }));
        ASSERT_TRUE(driver.waitForTyped(8)) << driver.output().toStdString();
        driver.signal(SIGTERM);
        EXPECT_EQ(driver.finish(), 128 + SIGTERM);
        EXPECT_EQ(FaultRun::ReadBytes(dir.filePath(u"doc.damaged.vlt"_s)), cut);
        EXPECT_EQ(bodyOf(file), text.left(8).trimmed());
    }
}
