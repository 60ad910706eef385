#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class TArchive;
class TNote;

// find, replace, import and export: the search engine and File → Import / Export
// without a window.
namespace FindCommands {

// What the commands take from the tool's common part.
struct THooks
{
    // Reads a notes file as the other commands do (asking for a password when needed),
    // as the whole tree or, under parent, as its last children; returns the one-line
    // failure, or an empty text.
    std::function<QString(TArchive &archive, const QString &fileName, TNote *parent)>
        ReadDocument;
    // Reports wrong usage; returns the exit status.
    std::function<int(const QString &why)> UsageError;
};

bool IsCommand(const QString &command);
// The options only these commands know; the common parser passes them through.
bool IsOption(const QString &argument);
// args: everything after the command, options included. Returns the exit status.
int Run(const QString &command, const QStringList &args, const THooks &hooks);

} // namespace FindCommands
