// The writers on trees of any shape, deep ones above all: the input is a short
// program that grows a tree (long chains from a few bytes), which is then written as
// a notes file and as a branch stream, read back from both, searched and freed.
#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <cstdint>
#include <iterator>

namespace {

// Enough to overflow any recursive walk many times over, small enough to stay fast.
constexpr int kMaxNotes = 120000;

const QString kBodies[] = {QString(), QStringLiteral("x"), QStringLiteral("a\r\n\r\nb"),
                           QStringLiteral("  trailing  \r\n\t")};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TNoteTree tree;
    tree.BeginBulkUpdate();
    TNote *current = nullptr;
    int serial = 0;
    auto add = [&](TNote *anchor, int mode) {
        const int id = serial++;
        current = tree.AddNote(anchor, QString::number(id), mode, kBodies[id % std::size(kBodies)]);
    };
    for (size_t i = 0; i + 1 < size && tree.Count() < kMaxNotes; i += 2) {
        const uint8_t arg = data[i + 1];
        switch (data[i] % 4) {
        case 0: // a chain of 1 to 131,072 levels below the current note
            for (int n = 1 << (arg % 18); n > 0 && tree.Count() < kMaxNotes; --n)
                add(current, imLastChild);
            break;
        case 1: // siblings after the current note
            for (int n = arg % 8 + 1; n > 0; --n)
                add(current, imAfter);
            break;
        case 2: // up some levels
            for (int n = arg; n > 0 && current && current->Parent(); --n)
                current = current->Parent();
            break;
        case 3: // a new root note
            add(nullptr, imLastSibling);
            break;
        }
    }
    tree.EndBulkUpdate();
    if (!tree.FirstNote())
        return 0;

    // The notes file: what is written reads back to the same count and writes again
    // line for line.
    TArchive writer(&tree);
    writer.LastNode = current;
    const QStringList lines = writer.BuildLines(nullptr);
    TNoteTree back;
    TArchive reader(&back);
    if (!reader.ReadLines(nullptr, lines) || back.Count() != tree.Count())
        __builtin_trap();
    TArchive rewriter(&back);
    rewriter.LastNode = reader.LastNode;
    if (rewriter.BuildLines(nullptr) != lines)
        __builtin_trap();

    // The branch stream of the first root note, pasted into another tree.
    TNoteTree target;
    TNote *anchor = target.AddNote(nullptr, QStringLiteral("anchor"), imLastChild);
    target.BeginBulkUpdate();
    TNote *first = target.InsertBranch(anchor, imFirstChild, tree.WriteBranch(tree.FirstNote()));
    target.EndBulkUpdate();
    if (!first || target.RootCount() != 1)
        __builtin_trap();

    // Searches and walks reach the deepest note written last.
    if (tree.FindByLink(TNoteTree::GetNoteLink(current)) == nullptr
        || tree.NoteAt(tree.AbsoluteIndex(current)) != current)
        __builtin_trap();
    QStringList exported;
    tree.ExportSiblings(exported, tree.FirstNote(), true);
    tree.TrimNotes();
    tree.SortNotes();
    tree.FreeBranchData(tree.FirstNote());
    tree.DeleteNote(tree.FirstNote());
    return 0;
}
