// The branch record stream as another process could put it on the clipboard or
// in a drop, pasted with every insert mode under a note at depth 1.
#include "notes/NoteTree.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int mode = data[0] % 7;
    const QByteArrayView stream(reinterpret_cast<const char *>(data + 1),
                                static_cast<qsizetype>(size - 1));
    TNoteTree tree;
    TNote *top = tree.AddNote(nullptr, QStringLiteral("top"), imLastChild);
    TNote *anchor = tree.AddNote(top, QStringLiteral("anchor"), imLastChild);
    tree.AddNote(nullptr, QStringLiteral("after"), imLastChild);
    TNote *first = tree.InsertBranch(anchor, mode, stream);
    // Nothing may land above the anchor's level.
    if (tree.RootCount() != 2)
        __builtin_trap();
    if (first) {
        const QByteArray copy = tree.WriteBranch(first);
        if (!tree.InsertBranch(first, imAfter, copy))
            __builtin_trap();
    }
    return 0;
}
