#pragma once

// What the notes file's reader and writer share: the escape of body lines that would
// end their body, and how files are named and checked in messages.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace ArchiveFormat {

// A body line that reads as the end of its body is written with its "<" as "&lt;",
// and a line that looks like that escaped form gains one "amp;": every body line comes
// back as it was, and a browser shows the text that was typed. Only a file that holds
// such a line carries the marker, and only a file with the marker is unescaped, so
// files written without it read exactly as they always did.
inline const QString kBodyEnd = QStringLiteral("</pre></dd>");
inline const QString kEscapedMarker = QStringLiteral("<!--Escaped-->");

// "</pre></dd>", or "&" + "amp;" repeated + "lt;/pre></dd>".
bool needsEscape(QStringView line);
QString escapeBodyLine(QStringView line);
QString unescapeBodyLine(QStringView line);

QString displayName(const QString &fileName);
// Where a text is kept as lines, each costs its list entry however short it is: a
// text of nothing but line breaks would take some thirty times its size. Such a text
// is refused (EFileError).
qsizetype countLineBreaks(QByteArrayView text);
void checkLineBreaks(qsizetype breaks, const QString &fileName);

QByteArray passwordKey(const QString &password);

} // namespace ArchiveFormat
