#include "FaultRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace FaultRun {

const QStringList &Calls()
{
    static const QStringList calls{u"tmpfile"_s, u"write"_s, u"fsync"_s, u"rename"_s,
                                   u"link"_s};
    return calls;
}

TResult Run(const QString &program, const QStringList &args, const QString &workDir,
            const QString &configDir, const QString &pattern, const QString &call, int nth,
            int errorNumber, const QString &logFile, bool noTmpfile)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"XDG_CONFIG_HOME"_s, configDir);
    env.insert(u"XDG_DATA_HOME"_s, configDir);
    env.insert(u"XDG_STATE_HOME"_s, configDir + u"/state"_s);
    env.insert(u"LD_PRELOAD"_s, QStringLiteral(VT_FAULT_SHIM));
    // A sanitizer's runtime wants to come first; the shim only wraps system calls.
    env.insert(u"ASAN_OPTIONS"_s,
               env.value(u"ASAN_OPTIONS"_s) + u":verify_asan_link_order=0"_s);
    env.insert(u"VT_FAULT_CALL"_s, call);
    env.insert(u"VT_FAULT_PATH"_s, pattern);
    env.insert(u"VT_FAULT_NTH"_s, QString::number(nth));
    env.insert(u"VT_FAULT_ERRNO"_s, QString::number(errorNumber));
    env.insert(u"VT_FAULT_LOG"_s, logFile);
    if (nth > 0 && errorNumber == 0)
        env.insert(u"VT_FAULT_KILL"_s, u"1"_s);
    if (noTmpfile)
        env.insert(u"VT_FAULT_NO_TMPFILE"_s, u"1"_s);
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    // No terminal: a password question can never wait for a person.
    process.setChildProcessModifier([] { setsid(); });
    process.start(program, args);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    TResult result;
    result.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.Out = QString::fromUtf8(process.readAllStandardOutput());
    result.Err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QMap<QString, int> CountCalls(const QString &logFile)
{
    QMap<QString, int> counts;
    const QByteArray log = ReadBytes(logFile);
    for (const QByteArray &line : log.split('\n')) {
        if (!line.isEmpty())
            ++counts[QString::fromUtf8(line.left(line.indexOf(' ')))];
    }
    return counts;
}

qint64 EnvironmentNumber(const char *name, qint64 fallback)
{
    return qEnvironmentVariableIsSet(name) ? qEnvironmentVariable(name).toLongLong() : fallback;
}

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QStringList FilesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace FaultRun
