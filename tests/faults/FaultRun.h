#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// Running the command-line tool and the save driver with system calls failing.
namespace FaultRun {

struct TResult
{
    int ExitCode = -1;
    QString Out;
    QString Err;
};

// The calls the shim can fail, in the order the tests try them.
const QStringList &Calls();

// Runs program in workDir with the shim preloaded. call "" injects nothing, "all"
// only logs; otherwise the nth call of that kind on a path matching pattern fails
// with errorNumber - or, with errorNumber 0, the process is killed just before it.
// XDG_CONFIG_HOME points at configDir. noTmpfile: as on a file system without
// unnamed files, so that new files start with a temporary name.
TResult Run(const QString &program, const QStringList &args, const QString &workDir,
            const QString &configDir, const QString &pattern, const QString &call = {},
            int nth = 0, int errorNumber = 0, const QString &logFile = {},
            bool noTmpfile = false);

// How many calls of each kind a log from a run with call "all" holds.
QMap<QString, int> CountCalls(const QString &logFile);

// An integer from the environment (VT_KILLS, VT_KILL_SEED, ...), or fallback when unset.
qint64 EnvironmentNumber(const char *name, qint64 fallback);

QByteArray ReadBytes(const QString &path);
void WriteBytes(const QString &path, const QByteArray &bytes);
// Every name in a folder, hidden ones included, sorted.
QStringList FilesIn(const QString &folder);

} // namespace FaultRun
