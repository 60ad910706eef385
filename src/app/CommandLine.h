#pragma once

#include <QString>
#include <QStringList>

// What the program's command line asks for. Only the first file name is used; the
// others are ignored.
struct TCommandLine
{
    enum TAction {
        clOpen,    // start the window (with FileParameter, when there is one)
        clHelp,    // -h, --help or -?: the usage on standard output
        clVersion, // -v or --version: the version on standard output
        clError,   // an option the program does not know (in Error)
    };
    TAction Action = clOpen;
    QString FileParameter;
    QString Error;
};

// Arguments without the program's name. An argument that starts with "-" (but is not
// "-" alone) is an option, up to a "--", after which every argument is a file name
// (so "./--help" and "-- --help" open a file of that name). Help comes before
// version, version before an unknown option, wherever they stand.
TCommandLine ParseCommandLine(const QStringList &arguments);

// The program's version, the one the build system gives the project ("1.57").
QString ProgramVersion();
