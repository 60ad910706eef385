#pragma once

#include "notes/TextEncoding.h"

#include <QString>
#include <QStringList>

class TNote;
class TNoteTree;

// What File → Import and File → Export do with files, apart from the window, so that
// the command line does the same.
namespace ImportExport {

// Import reads a notes file only for the extension ".vlt" exactly as written; any
// other name, "NOTES.VLT" too, is read as text.
bool ImportsAsNotesFile(const QString &fileName);
// Export writes a notes file for ".vlt" in any case, text otherwise.
bool ExportsAsNotesFile(const QString &fileName);

// The proposed export file name: the title with each run of the characters a file
// name must not hold (" ' + / : ; < = > [ \ ] |) turned into one "_".
QString ExportFileName(const QString &title);

// A text file as a body's text form (TNote::SetBodyText): UTF-8 when valid, else the
// legacy code page; lines split at CR LF, a lone CR or a lone LF; a NUL byte ends the
// text. Only regular files are read. Raises EFileError naming the file.
QString ReadTextBody(const QString &fileName, TTextEncoding legacy);
// The same, read chunkBytes at a time: a test can put the place where two reads meet
// anywhere in a small file.
QString ReadTextBody(const QString &fileName, TTextEncoding legacy, qsizetype chunkBytes);

// The note and its following siblings with their branches, flattened as text.
QStringList ExportText(const TNoteTree &tree, const TNote *note);
// Writes every entry followed by CR LF, atomically: in the wanted code page when every
// character fits it, else UTF-8. Raises EFileError naming the file.
void WriteTextFile(const QString &fileName, const QStringList &entries, TTextEncoding wanted);

} // namespace ImportExport
