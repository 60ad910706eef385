#pragma once

#include "QtPrinters.h"
#include "notes/NoteTree.h"

#include <QString>

#include <ostream>

// Trees written as text for compact tests: "A(B(C),D),E" is root A with children
// B (which has child C) and D, then root E. Bodies are not part of the text.
namespace TreeText {

void build(TNoteTree &tree, const QString &shape);
QString dump(const TNoteTree &tree);
QString dumpBranch(const TNote *note);
TNote *find(const TNoteTree &tree, const QString &title);

} // namespace TreeText

