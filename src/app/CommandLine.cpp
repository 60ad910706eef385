#include "app/CommandLine.h"

using namespace Qt::StringLiterals;

TCommandLine ParseCommandLine(const QStringList &arguments)
{
    TCommandLine line;
    bool help = false;
    bool version = false;
    bool options = true;
    for (const QString &argument : arguments) {
        if (options && argument == u"--"_s) {
            options = false;
        } else if (options && argument.size() > 1 && argument.startsWith(u'-')) {
            if (argument == u"-h"_s || argument == u"--help"_s || argument == u"-?"_s)
                help = true;
            else if (argument == u"-v"_s || argument == u"--version"_s)
                version = true;
            else if (line.Error.isEmpty())
                line.Error = argument;
        } else if (line.FileParameter.isEmpty()) {
            line.FileParameter = argument;
        }
    }
    if (help)
        line.Action = TCommandLine::clHelp;
    else if (version)
        line.Action = TCommandLine::clVersion;
    else if (!line.Error.isEmpty())
        line.Action = TCommandLine::clError;
    return line;
}

QString ProgramVersion()
{
    return QStringLiteral(VT_VERSION);
}
