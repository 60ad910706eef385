#include "app/ImportExport.h"

#include "Errors.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "settings/UtilsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace ImportExport {

namespace {

QString shown(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName);
}

qsizetype countCrLf(QByteArrayView text)
{
    qsizetype pairs = 0;
    for (qsizetype at = text.indexOf("\r\n"); at >= 0; at = text.indexOf("\r\n", at + 2))
        ++pairs;
    return pairs;
}

// The bytes as a body's text form, each line decoded as decode() would decode the
// whole text. A text of many short lines never takes a string per line, and the
// form is allocated once: no line decodes to more units than it has bytes, and each
// break (one byte at least) becomes two.
QString decodeTextForm(QByteArrayView bytes, qsizetype lines, TTextEncoding legacy)
{
    const TTextEncoding encoding = TextEncoding::encodingFor(bytes.isValidUtf8(), legacy);
    QString form;
    form.reserve(bytes.size() + lines + 1);
    qsizetype start = 0;
    const auto take = [&](qsizetype end) {
        if (end > start)
            form += TextEncoding::decodeAs(bytes.sliced(start, end - start), encoding);
        form += QLatin1StringView("\r\n");
    };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            take(i);
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < bytes.size())
        take(bytes.size());
    if (form.capacity() - form.size() > form.size() / 8)
        form.squeeze();
    return form;
}

} // namespace

bool ImportsAsNotesFile(const QString &fileName)
{
    return fileName.endsWith(u".vlt"_s, Qt::CaseSensitive);
}

bool ExportsAsNotesFile(const QString &fileName)
{
    return QFileInfo(fileName).suffix().compare(u"vlt"_s, Qt::CaseInsensitive) == 0;
}

QString ExportFileName(const QString &title)
{
    static const QRegularExpression unsafe(uR"([\"'+/:;<=>\[\\\]|]+)"_s);
    return QString(title).replace(unsafe, u"_"_s);
}

QString ReadTextBody(const QString &fileName, TTextEncoding legacy)
{
    // A FIFO or a device would never end, or block the program.
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile())
        throw EFileError(u"Cannot read file \"%1\". It is not a regular file."_s.arg(
            shown(fileName)));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(
            u"Cannot open file \"%1\". %2"_s.arg(shown(fileName), file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EFileError(
            u"Cannot read file \"%1\". %2"_s.arg(shown(fileName), file.errorString()));
    const QByteArrayView text = TextEncoding::untilNul(bytes);
    // Each line is written back with CR LF: a text of more lines than a notes file may
    // hold would make the document one that cannot be opened once saved.
    const qsizetype lines = std::count(text.begin(), text.end(), '\n')
        + std::count(text.begin(), text.end(), '\r') - countCrLf(text) + 1;
    if (2 * lines > TArchive::MaxLineBreaks)
        throw EFileError(u"Cannot import file \"%1\". It has %2 lines, more than a notes file "
                         "can hold (%3)."_s.arg(shown(fileName)).arg(lines)
                             .arg(TArchive::MaxLineBreaks / 2));
    return decodeTextForm(text, lines, legacy);
}

QStringList ExportText(const TNoteTree &tree, const TNote *note)
{
    QStringList entries;
    tree.ExportSiblings(entries, note, true);
    return entries;
}

void WriteTextFile(const QString &fileName, const QStringList &entries, TTextEncoding wanted)
{
    // The same write as every other file's: synced before it replaces the old one, and
    // on a full disk the error says so - QSaveFile loses the cause of a failed write.
    WriteFileAtomically(fileName, TextEncoding::encode(TextEncoding::joinLines(entries), wanted));
}

} // namespace ImportExport
