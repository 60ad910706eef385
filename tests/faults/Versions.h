#pragma once

#include <QString>

class TNoteTree;

// Numbered versions of a document, each one recognisably whole: the note "Check"
// holds "version K" and a number of lines that only version K has, so a torn or
// mixed file is never taken for a version.
namespace Versions {

// The body of the note "Check" in version k; lineBase scales its size.
QString Body(int k, int lineBase);
// A document of version k: "Check" and a few other notes.
void Fill(TNoteTree &tree, int k, int lineBase);
// The version a notes file holds when it is whole, else -1 (also when missing).
int OfFile(const QString &fileName, const QString &password = {});

} // namespace Versions
