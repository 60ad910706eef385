#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class TArchive;

// Reads fileName into the archive's tree, with the password rules of the other
// commands; returns an error message, or an empty string when the file was read.
using TCliDocumentReader = std::function<QString(
    TArchive &archive, const QString &fileName, const std::optional<QString> &passwordFile)>;

// vellumtree-cli print FILE -o OUT.pdf [options]: the notes laid out as the print
// dialog prints them, into a PDF. args are the arguments after "print". Returns the
// exit status.
int CommandPrint(const QStringList &args, const TCliDocumentReader &readDocument);
