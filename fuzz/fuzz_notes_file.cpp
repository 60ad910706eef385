// The notes-file reader on arbitrary bytes: decoding, line splitting and the
// tolerant line reader, whole-tree and under a note; and the reader of files, which
// takes the bytes a chunk at a time, against the reader of decoded lines. The same
// file imported as text must give the decoded lines as a body.
#include "app/ImportExport.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "notes/TextEncoding.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

namespace {

// The file reader must read what the line reader reads from the same text.
void readAsFile(QByteArrayView bytes)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input.vlt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes.data(), bytes.size()) != bytes.size())
        return;
    file.close();

    TNoteTree fromFile;
    TArchive reader(&fromFile);
    reader.LegacyEncoding = TTextEncoding::Windows1251;
    TNoteTree fromLines;
    const QStringList lines =
        TextEncoding::decodeLines(TextEncoding::untilNul(bytes), TTextEncoding::Windows1251);
    if (reader.ReadNotes(nullptr, path) != TArchive(&fromLines).ReadLines(nullptr, lines))
        __builtin_trap();
    if (ImportExport::ReadTextBody(path, TTextEncoding::Windows1251)
        != TextEncoding::joinLines(lines))
        __builtin_trap();
    if (fromFile.Count() != fromLines.Count())
        __builtin_trap();
    for (TNote *a = fromFile.FirstNote(), *b = fromLines.FirstNote(); a && b;
         a = fromFile.NextInTreeOrder(a), b = fromLines.NextInTreeOrder(b)) {
        if (a->Title() != b->Title() || a->BodyText() != b->BodyText()
            || a->ChildCount() != b->ChildCount())
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QStringList lines = TextEncoding::decodeLines(bytes, TTextEncoding::Windows1251);

    TNoteTree tree;
    TArchive archive(&tree);
    if (archive.ReadLines(nullptr, lines) && tree.Count() > 0) {
        // Reading again under a note must keep the rest of the tree.
        TNote *first = tree.FirstNote();
        const int before = tree.Count();
        TArchive(&tree).ReadLines(first, lines);
        if (tree.Count() < before)
            __builtin_trap();
        // And what was read must write out and read back to the same shape and text.
        TNoteTree back;
        TArchive(&back).ReadLines(nullptr, archive.BuildLines(nullptr));
        if (back.Count() != tree.Count())
            __builtin_trap();
        // Every body line comes back as it was, markup-like lines included.
        for (TNote *a = tree.FirstNote(), *b = back.FirstNote(); a && b;
             a = tree.NextInTreeOrder(a), b = back.NextInTreeOrder(b)) {
            if (a->Body() != b->Body())
                __builtin_trap();
        }
    }
    readAsFile(bytes);
    return 0;
}
