// The notes-file reader on arbitrary bytes: decoding, line splitting and the
// tolerant line reader, whole-tree and under a note.
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "notes/TextEncoding.h"

#include <cstdint>

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
    return 0;
}
