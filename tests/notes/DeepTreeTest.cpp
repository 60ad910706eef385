// Documents far deeper than any stack: every walk over the tree must be iterative.

#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kDepth = 100000;

QString titleAt(int level)
{
    return u"n"_s + QString::number(level);
}

// A chain of kDepth notes, each the only child of the one before; every note has a
// one-line body with trailing blanks.
TNote *buildChain(TNoteTree &tree, TNote *anchor = nullptr, int mode = imLastChild)
{
    tree.BeginBulkUpdate();
    TNote *top = tree.AddNote(anchor, titleAt(0), mode, u"body 0  "_s);
    TNote *last = top;
    for (int level = 1; level < kDepth; ++level)
        last = tree.AddNote(last, titleAt(level), imLastChild, u"body %1  "_s.arg(level));
    tree.EndBulkUpdate();
    return last;
}

// Checks that the branch below top is the chain, returns its deepest note.
const TNote *expectChain(const TNote *top)
{
    const TNote *note = top;
    for (int level = 0; level < kDepth; ++level) {
        if (!note || note->Title() != titleAt(level) || note->ChildCount() > 1) {
            ADD_FAILURE() << "the chain breaks at level " << level;
            return nullptr;
        }
        if (level + 1 < kDepth)
            note = note->FirstChild();
    }
    EXPECT_FALSE(note->HasChildren());
    return note;
}

TEST(DeepTree, HundredThousandLevelsAreWrittenAndReadBackUnchanged)
{
    TNoteTree tree;
    TNote *deepest = buildChain(tree);
    TArchive writer(&tree);
    writer.LastNode = deepest;
    const QStringList lines = writer.BuildLines(nullptr);
    EXPECT_EQ(lines[1], u"<!--LastNote:%1-->"_s.arg(kDepth - 1));
    EXPECT_EQ(lines.count(u"<dl>"_s), lines.count(u"</dl>"_s));

    TNoteTree back;
    TArchive reader(&back);
    ASSERT_TRUE(reader.ReadLines(nullptr, lines));
    EXPECT_EQ(back.Count(), kDepth);
    const TNote *backDeepest = expectChain(back.FirstNote());
    ASSERT_NE(backDeepest, nullptr);
    EXPECT_EQ(reader.LastNode, backDeepest);
    EXPECT_EQ(backDeepest->Body(), QStringList{u"body %1  "_s.arg(kDepth - 1)});

    // What the reader built, the writer writes again line for line.
    TArchive rewriter(&back);
    rewriter.LastNode = reader.LastNode;
    EXPECT_EQ(rewriter.BuildLines(nullptr), lines);
}

TEST(DeepTree, BranchExportOfADeepNoteReadsBackAsItsBranch)
{
    TNoteTree tree;
    buildChain(tree);
    TNoteTree back;
    TArchive reader(&back);
    ASSERT_TRUE(reader.ReadLines(nullptr, TArchive(&tree).BuildLines(tree.FirstNote())));
    EXPECT_EQ(back.RootCount(), 1);
    EXPECT_NE(expectChain(back.FirstNote()), nullptr);
}

TEST(DeepTree, HundredThousandLevelsAreCopiedThroughTheBranchStream)
{
    TNoteTree tree;
    buildChain(tree);
    const QByteArray stream = tree.WriteBranch(tree.FirstNote());
    // Every note but the deepest opens and closes one level; one end marker.
    qsizetype markers = 2 * (kDepth - 1) + 1;
    qsizetype records = 0;
    for (int level = 0; level < kDepth; ++level)
        records += 8 + titleAt(level).size() + u"body %1  \r\n"_s.arg(level).size();
    EXPECT_EQ(stream.size(), records + 4 * markers);

    TNoteTree target;
    TNote *anchor = target.AddNote(nullptr, u"anchor"_s, imLastChild);
    target.AddNote(nullptr, u"after"_s, imLastChild);
    target.BeginBulkUpdate();
    TNote *first = target.InsertBranch(anchor, imFirstChild, stream);
    target.EndBulkUpdate();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Parent(), anchor);
    EXPECT_EQ(target.Count(), kDepth + 2);
    EXPECT_NE(expectChain(first), nullptr);
    EXPECT_EQ(target.RootNote(1)->Title(), u"after"_s);
}

TEST(DeepTree, SearchesAndWalksReachTheDeepestNote)
{
    TNoteTree tree;
    TNote *deepest = buildChain(tree);
    const QString deepestTitle = titleAt(kDepth - 1);

    EXPECT_EQ(tree.FindByTitle(deepestTitle.toUpper()), deepest);
    EXPECT_EQ(tree.FindByLink(TNoteTree::GetNoteLink(deepest)), deepest);
    EXPECT_EQ(tree.AbsoluteIndex(deepest), kDepth - 1);
    EXPECT_EQ(tree.NoteAt(kDepth - 1), deepest);
    EXPECT_EQ(tree.NodeAfterBranch(tree.FirstNote()), nullptr);
    EXPECT_EQ(deepest->Level(), kDepth - 1);

    int level = 0;
    int count = 0;
    for (const TNote *n = tree.FirstNote(); n; n = tree.NextInTreeOrder(n, &level)) {
        if (n == deepest) {
            EXPECT_EQ(level, kDepth - 1);
        }
        ++count;
    }
    EXPECT_EQ(count, kDepth);

    QStringList exported;
    tree.ExportSiblings(exported, tree.FirstNote(), true);
    EXPECT_EQ(exported.size(), 4 * kDepth);

    tree.TrimNotes();
    EXPECT_EQ(deepest->Body(), QStringList{u"body %1"_s.arg(kDepth - 1)});
    EXPECT_TRUE(tree.SortNotes());
    EXPECT_EQ(tree.FindByTitle(deepestTitle), deepest);
    tree.FreeBranchData(tree.FirstNote());
    EXPECT_TRUE(deepest->Body().isEmpty());
    EXPECT_FALSE(tree.FirstNote()->Body().isEmpty());
}

TEST(DeepTree, DeepBranchesAreFreedWithoutRecursion)
{
    TNoteTree tree;
    buildChain(tree);
    buildChain(tree);
    buildChain(tree);
    tree.DeleteNote(tree.RootNote(1));
    EXPECT_EQ(tree.Count(), 2 * kDepth);
    tree.ClearNotes();
    EXPECT_EQ(tree.Count(), 0);
    buildChain(tree);
    // The tree's own destructor frees the last chain.
}

TEST(DeepTree, LevelFollowsTheWalkAcrossBranches)
{
    // A(B(C),D),E: levels 0 1 2 1 0, as the walk must report them.
    TNoteTree tree;
    TNote *a = tree.AddNote(nullptr, u"A"_s, imLastChild);
    TNote *b = tree.AddNote(a, u"B"_s, imLastChild);
    tree.AddNote(b, u"C"_s, imLastChild);
    tree.AddNote(a, u"D"_s, imLastChild);
    tree.AddNote(nullptr, u"E"_s, imLastChild);
    QList<int> levels;
    int level = 0;
    for (const TNote *n = tree.FirstNote(); n; n = tree.NextInTreeOrder(n, &level)) {
        EXPECT_EQ(level, n->Level()) << n->Title().toStdString();
        levels.append(level);
    }
    EXPECT_EQ(levels, (QList<int>{0, 1, 2, 1, 0}));
}

} // namespace
