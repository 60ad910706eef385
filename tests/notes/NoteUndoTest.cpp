#include "TreeText.h"

#include "notes/NoteTree.h"
#include "notes/NoteUndo.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

using namespace Qt::StringLiterals;
using TreeText::build;
using TreeText::dump;
using TreeText::find;

namespace {

// The whole document as a test compares it: every note in tree order with its depth,
// title and body, and the note objects themselves, which an undo must give back
// rather than rebuild.
struct TState
{
    QStringList notes;
    std::vector<const TNote *> objects;
    int count = 0;
    bool operator==(const TState &) const = default;
};

TState stateOf(const TNoteTree &tree)
{
    TState state;
    int level = 0;
    for (const TNote *n = tree.FirstNote(); n; n = tree.NextInTreeOrder(n, &level)) {
        state.notes << QString(level, u'>') + n->Title() + u'|' + n->BodyText();
        state.objects.push_back(n);
    }
    state.count = tree.Count();
    return state;
}

void PrintTo(const TState &state, std::ostream *os)
{
    *os << state.notes.join(u"; "_s).toStdString() << " (count " << state.count << ")";
}

// A branch stream as another program may write it: several branches one after the
// other, then the end marker.
QByteArray streamOf(const TNoteTree &tree, std::initializer_list<const TNote *> notes)
{
    QByteArray out;
    for (const TNote *note : notes)
        out += tree.WriteBranch(note).chopped(4);
    const char end[4] = {'\xF9', '\xFF', '\xFF', '\xFF'}; // -7, little-endian
    out.append(end, 4);
    return out;
}

struct ChangeCase
{
    const char *name;
    const char *shape;
    // Makes the change and returns it; null when the tree refused it.
    std::function<std::unique_ptr<TTreeChange>(TNoteTree &tree)> make;
    const char *after; // the shape after the change
    // Bodies the notes have before the change.
    std::function<void(TNoteTree &tree)> prepare = {};
};

void PrintTo(const ChangeCase &c, std::ostream *os)
{
    *os << c.name;
}

TNote *n(const TNoteTree &tree, const char *title)
{
    TNote *note = find(tree, QString::fromUtf8(title));
    EXPECT_NE(note, nullptr) << title;
    return note;
}

// A stream inserted at anchor, recorded as a paste is.
std::unique_ptr<TTreeChange> pasteChange(TNoteTree &tree, TNote *anchor, int mode,
                                         QByteArrayView stream)
{
    const std::vector<TNote *> before = tree.ChildOrder(anchor);
    TNote *first = tree.InsertBranch(anchor, mode, stream);
    if (!first)
        return nullptr;
    return std::make_unique<TInsertChange>(tree, TInsertChange::Added(tree, first, anchor, before));
}

std::unique_ptr<TTreeChange> moveChange(TNoteTree &tree, const char *title, int direction)
{
    TNote *note = n(tree, title);
    TNote *parent = note->Parent();
    const int row = note->Row();
    if (!tree.MoveNote(note, direction))
        return nullptr;
    return std::make_unique<TMoveChange>(note, parent, row);
}

std::unique_ptr<TTreeChange> textChange(TNoteTree &tree,
                                        const std::function<void(TNoteTree &)> &edit)
{
    auto change = std::make_unique<TTextChange>(TTextChange::AllNotes(tree));
    edit(tree);
    change->Finish();
    return change;
}

const ChangeCase kChanges[] = {
    {"add child", "A(B),C",
     [](TNoteTree &t) {
         TNote *note = t.AddNote(n(t, "B"), u"N"_s, imFirstChild, u"new body"_s);
         return std::make_unique<TInsertChange>(t, std::vector<TNote *>{note});
     },
     "A(B(N)),C"},
    {"add root note", "A,C",
     [](TNoteTree &t) {
         TNote *note = t.AddNote(nullptr, u"N"_s, imFirstSibling);
         return std::make_unique<TInsertChange>(t, std::vector<TNote *>{note});
     },
     "N,A,C"},
    {"insert before", "A(B,C)",
     [](TNoteTree &t) {
         TNote *note = t.AddNote(n(t, "C"), u"N"_s, imBefore);
         return std::make_unique<TInsertChange>(t, std::vector<TNote *>{note});
     },
     "A(B,N,C)"},
    {"delete leaf", "A(B,C),D",
     [](TNoteTree &t) { return std::make_unique<TDeleteChange>(t, n(t, "B")); }, "A(C),D"},
    {"delete branch", "A(B(E,F(G)),C),D",
     [](TNoteTree &t) { return std::make_unique<TDeleteChange>(t, n(t, "B")); }, "A(C),D"},
    {"delete last root", "A,D(E)",
     [](TNoteTree &t) { return std::make_unique<TDeleteChange>(t, n(t, "D")); }, "A"},
    {"rename", "A(B),C",
     [](TNoteTree &t) {
         return textChange(t, [](TNoteTree &t) { t.SetTitle(n(t, "B"), u"Renamed"_s); });
     },
     "A(Renamed),C"},
    {"move up", "A,B,C", [](TNoteTree &t) { return moveChange(t, "C", mdUp); }, "A,C,B"},
    {"move down", "A,B,C", [](TNoteTree &t) { return moveChange(t, "A", mdDown); }, "B,A,C"},
    {"move left", "A(B,C),D", [](TNoteTree &t) { return moveChange(t, "B", mdLeft); },
     "A(C),B,D"},
    {"move right", "A(X),B(Y),C", [](TNoteTree &t) { return moveChange(t, "B", mdRight); },
     "A(X,B(Y)),C"},
    {"drag into another branch", "A(B,C),D(E)",
     [](TNoteTree &t) {
         TNote *note = n(t, "B");
         TNote *parent = note->Parent();
         const int row = note->Row();
         t.PlaceNote(note, n(t, "E"), imLastChild);
         return std::make_unique<TMoveChange>(note, parent, row);
     },
     "A(C),D(E(B))"},
    {"paste a stream of two branches as children", "A(B(C)),D",
     [](TNoteTree &t) {
         TNoteTree source;
         build(source, u"P(Q),R(S,T)"_s);
         return pasteChange(t, n(t, "D"), imLastChild,
                            streamOf(source, {source.RootNote(0), source.RootNote(1)}));
     },
     "A(B(C)),D(P(Q),R(S,T))"},
    {"paste after", "A(B),D",
     [](TNoteTree &t) {
         TNoteTree source;
         build(source, u"P(Q)"_s);
         return pasteChange(t, n(t, "A"), imAfter, source.WriteBranch(source.RootNote(0)));
     },
     "A(B),P(Q),D"},
    {"sort children", "A(c,a,b(z,y)),B",
     [](TNoteTree &t) {
         std::vector<TNoteTree::TChildOrder> before;
         t.SortChildren(n(t, "A"), &before);
         return std::make_unique<TOrderChange>(t, std::move(before));
     },
     "A(a,b(z,y),c),B"},
    {"sort tree", "C(c,a,b(z,y)),B,A",
     [](TNoteTree &t) {
         std::vector<TNoteTree::TChildOrder> before;
         t.SortNotes({}, 0, &before);
         return std::make_unique<TOrderChange>(t, std::move(before));
     },
     "A,B,C(a,b(y,z),c)"},
    {"replace all in titles and bodies", "cat(dog),cat fish",
     [](TNoteTree &t) {
         return textChange(t, [](TNoteTree &t) {
             for (TNote *note = t.FirstNote(); note; note = t.NextInTreeOrder(note)) {
                 t.SetTitle(note, QString(note->Title()).replace(u"cat"_s, u"cow"_s));
                 note->SetBodyText(QString(note->BodyText()).replace(u"cat"_s, u"cow"_s));
             }
         });
     },
     "cow(dog),cow fish", [](TNoteTree &t) { n(t, "dog")->SetBodyText(u"a cat\r\n"_s); }},
    {"text import replaces a body", "A(B)",
     [](TNoteTree &t) {
         auto change = std::make_unique<TTextChange>(std::vector<TNote *>{n(t, "B")});
         n(t, "B")->SetBodyText(u"imported\r\nlines\r\n"_s);
         change->Finish();
         return change;
     },
     "A(B)", [](TNoteTree &t) { n(t, "B")->SetBodyText(u"old text\r\n"_s); }},
    {"notes file import", "A(B),C",
     [](TNoteTree &t) {
         TNoteTree read;
         build(read, u"X(Y),Z"_s);
         TNote *parent = n(t, "A");
         const int had = parent->ChildCount();
         t.TakeNotes(read, parent);
         std::vector<TNote *> added;
         for (int row = had; row < parent->ChildCount(); ++row)
             added.push_back(parent->Child(row));
         return std::make_unique<TInsertChange>(t, added);
     },
     "A(B,X(Y),Z),C"},
    {"trim spaces", "A,B",
     [](TNoteTree &t) {
         auto change = std::make_unique<TTextChange>();
         t.TrimNotes([&change](TNote *note) { change->Add(note); });
         change->Finish();
         return change;
     },
     "A,B", [](TNoteTree &t) { n(t, "A")->SetBodyText(u"text  \r\n\r\n"_s); }},
};

class ChangeTest : public ::testing::TestWithParam<ChangeCase>
{
};

// Every kind of change: made, taken back, made again, taken back again; each time the
// tree, its bodies and its note objects are exactly as they were, and the stack knows
// whether the tree is as saved.
TEST_P(ChangeTest, UndoRestoresAndRedoRepeats)
{
    const ChangeCase &c = GetParam();
    TNoteTree tree;
    QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
    build(tree, QString::fromUtf8(c.shape));
    if (c.prepare)
        c.prepare(tree);
    TNoteUndoStack stack(tree);
    const TState before = stateOf(tree);
    std::unique_ptr<TTreeChange> change = c.make(tree);
    ASSERT_TRUE(change);
    ASSERT_FALSE(change->IsEmpty());
    const TState after = stateOf(tree);
    EXPECT_EQ(dump(tree), QString::fromUtf8(c.after));
    ASSERT_NE(before, after);

    stack.Push(std::move(change));
    EXPECT_FALSE(stack.IsClean());
    ASSERT_TRUE(stack.Undo());
    EXPECT_EQ(stateOf(tree), before);
    EXPECT_TRUE(stack.IsClean());
    ASSERT_TRUE(stack.Redo());
    EXPECT_EQ(stateOf(tree), after);
    ASSERT_TRUE(stack.Undo());
    EXPECT_EQ(stateOf(tree), before);
    EXPECT_FALSE(stack.CanUndo());
}

INSTANTIATE_TEST_SUITE_P(EveryChange, ChangeTest, ::testing::ValuesIn(kChanges),
                         [](const auto &info) {
                             std::string name = info.param.name;
                             for (char &ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

TEST(NoteUndoTest, ChangesThatChangedNothingAreNotKept)
{
    TNoteTree tree;
    build(tree, u"A(a,b),B"_s);
    TNoteUndoStack stack(tree);
    std::vector<TNoteTree::TChildOrder> before;
    tree.SortNotes({}, 0, &before);
    stack.Push(std::make_unique<TOrderChange>(tree, std::move(before)));
    auto text = std::make_unique<TTextChange>(TTextChange::AllNotes(tree));
    tree.SetTitle(find(tree, u"a"_s), u"a"_s);
    text->Finish();
    stack.Push(std::move(text));
    EXPECT_FALSE(stack.CanUndo());
    EXPECT_TRUE(stack.IsClean());
}

TEST(NoteUndoTest, TypingAfterATextStepIsNotTakenAwayByItsUndo)
{
    TNoteTree tree;
    build(tree, u"A,B"_s);
    TNote *a = find(tree, u"A"_s);
    TNote *b = find(tree, u"B"_s);
    a->SetBodyText(u"cat\r\n"_s);
    b->SetBodyText(u"cat\r\n"_s);
    TTextChange change(TTextChange::AllNotes(tree));
    a->SetBodyText(u"dog\r\n"_s);
    b->SetBodyText(u"dog\r\n"_s);
    change.Finish();
    b->SetBodyText(u"dog and more typed\r\n"_s);
    change.Undo(tree);
    EXPECT_EQ(a->BodyText(), u"cat\r\n"_s);
    EXPECT_EQ(b->BodyText(), u"dog and more typed\r\n"_s);
    change.Redo(tree);
    EXPECT_EQ(a->BodyText(), u"dog\r\n"_s);
    EXPECT_EQ(b->BodyText(), u"dog and more typed\r\n"_s);
}

// Large levels are sorted on two threads; their order before is kept all the same.
TEST(NoteUndoTest, LargeSortIsTakenBack)
{
    TNoteTree tree;
    TNote *top = tree.AddNote(nullptr, u"top"_s, imLastChild);
    for (int i = 0; i < 21000; ++i)
        tree.AddNote(top, QString::number((i * 7919) % 21000), imLastChild);
    const TState start = stateOf(tree);
    std::vector<TNoteTree::TChildOrder> before;
    tree.SortNotes({}, 0, &before);
    TOrderChange change(tree, std::move(before));
    ASSERT_FALSE(change.IsEmpty());
    const TState sorted = stateOf(tree);
    ASSERT_NE(sorted, start);
    change.Undo(tree);
    EXPECT_EQ(stateOf(tree), start);
    change.Redo(tree);
    EXPECT_EQ(stateOf(tree), sorted);
}

TEST(NoteUndoTest, ADeletedBranchIsKeptNotCopied)
{
    TNoteTree tree;
    build(tree, u"A(B(C,D)),E"_s);
    TNote *b = find(tree, u"B"_s);
    const TNote *c = find(tree, u"C"_s);
    TDeleteChange change(tree, b);
    EXPECT_EQ(change.BranchSize(), 3);
    EXPECT_EQ(tree.Count(), 2);
    change.Undo(tree);
    EXPECT_EQ(find(tree, u"B"_s), b);
    EXPECT_EQ(find(tree, u"C"_s), c);
    EXPECT_EQ(tree.Count(), 5);
    EXPECT_EQ(tree.AbsoluteIndex(c), 2);
}

TEST(NoteUndoTest, StackKeepsTheNewestStepsWithinItsLimits)
{
    TNoteTree tree;
    TNoteUndoStack stack(tree);
    stack.SetLimits(3, TNoteUndoStack::DefaultMaxBytes);
    for (int i = 0; i < 5; ++i) {
        TNote *note = tree.AddNote(nullptr, QString::number(i), imLastSibling);
        stack.Push(std::make_unique<TInsertChange>(tree, std::vector<TNote *>{note}));
    }
    EXPECT_EQ(stack.Count(), 3);
    while (stack.Undo()) { }
    EXPECT_EQ(dump(tree), u"0,1"_s);
    // The saved state lay before the dropped steps: no undo reaches it.
    EXPECT_FALSE(stack.IsClean());

    // By size: each delete keeps a body of 1,000 characters (2,000 bytes).
    TNoteTree big;
    TNoteUndoStack sized(big);
    for (int i = 0; i < 4; ++i)
        big.AddNote(nullptr, QString::number(i), imLastSibling, QString(1000, u'x'));
    sized.SetLimits(100, 5000);
    for (int i = 0; i < 3; ++i)
        sized.Push(std::make_unique<TDeleteChange>(big, big.FirstNote()));
    EXPECT_EQ(sized.Count(), 2);
    EXPECT_LE(sized.HeldBytes(), 5000);
    // The newest step stays even when it alone is over the limit.
    sized.SetLimits(100, 10);
    EXPECT_EQ(sized.Count(), 1);
    sized.Undo();
    EXPECT_EQ(dump(big), u"2,3"_s);
}

TEST(NoteUndoTest, CleanStateFollowsSaveUndoAndNewChanges)
{
    TNoteTree tree;
    build(tree, u"A,B,C"_s);
    TNoteUndoStack stack(tree);
    stack.Push(std::make_unique<TDeleteChange>(tree, find(tree, u"A"_s)));
    stack.SetClean(); // saved here
    stack.Push(std::make_unique<TDeleteChange>(tree, find(tree, u"B"_s)));
    EXPECT_FALSE(stack.IsClean());
    stack.Undo();
    EXPECT_TRUE(stack.IsClean());
    stack.Undo();
    EXPECT_FALSE(stack.IsClean()); // undo after a save: modified again
    stack.Redo();
    EXPECT_TRUE(stack.IsClean());
    stack.Undo();
    // A new step where the saved one was undone: the saved state is out of reach.
    stack.Push(std::make_unique<TDeleteChange>(tree, find(tree, u"C"_s)));
    EXPECT_FALSE(stack.IsClean());
    EXPECT_FALSE(stack.CanRedo());
    stack.Undo();
    EXPECT_FALSE(stack.IsClean());
    stack.Clear();
    EXPECT_TRUE(stack.IsClean());
    EXPECT_FALSE(stack.CanUndo());
}

// Long random sequences of every kind of change, all taken back: the tree is the one
// it started as, with the same note objects; all made again: the tree it ended as.
TEST(NoteUndoTest, RandomSequencesUndoToTheStart)
{
    for (unsigned seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        const auto pick = [&random](int n) {
            return std::uniform_int_distribution<int>(0, n - 1)(random);
        };
        TNoteTree tree;
        QAbstractItemModelTester tester(&tree,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        build(tree, u"a(b(c),d),e(f,g(h)),i"_s);
        TNoteUndoStack stack(tree);
        stack.SetLimits(1000, TNoteUndoStack::DefaultMaxBytes);
        const TState start = stateOf(tree);
        int made = 0;
        for (int step = 0; step < 200; ++step) {
            const auto any = [&] { return tree.NoteAt(pick(tree.Count())); };
            std::unique_ptr<TTreeChange> change;
            // A delete may have emptied the tree: then only an add is possible.
            switch (tree.Count() == 0 ? 0 : pick(7)) {
            case 0: {
                TNote *note = tree.AddNote(tree.Count() ? any() : nullptr,
                                           u"n%1"_s.arg(step), pick(6), u"body %1"_s.arg(step));
                change = std::make_unique<TInsertChange>(tree, std::vector<TNote *>{note});
                break;
            }
            case 1:
                change = std::make_unique<TDeleteChange>(tree, any());
                break;
            case 2: {
                TNote *note = any();
                TNote *parent = note->Parent();
                const int row = note->Row();
                if (tree.MoveNote(note, pick(4)))
                    change = std::make_unique<TMoveChange>(note, parent, row);
                break;
            }
            case 3: {
                TNote *note = any();
                TNote *target = any();
                TNote *parent = note->Parent();
                const int row = note->Row();
                if (tree.PlaceNote(note, target, pick(6)))
                    change = std::make_unique<TMoveChange>(note, parent, row);
                break;
            }
            case 4: {
                TNote *anchor = any();
                const int mode = pick(6);
                change = pasteChange(tree, anchor, mode, tree.WriteBranch(any()));
                break;
            }
            case 5: {
                std::vector<TNoteTree::TChildOrder> before;
                if (pick(2))
                    tree.SortNotes({}, 0, &before);
                else
                    tree.SortChildren(any(), &before);
                change = std::make_unique<TOrderChange>(tree, std::move(before));
                break;
            }
            default:
                change = textChange(tree, [&](TNoteTree &t) {
                    TNote *note = any();
                    t.SetTitle(note, note->Title() + u'x');
                    note->SetBodyText(u"edit %1\r\n"_s.arg(step));
                });
                break;
            }
            if (change && !change->IsEmpty())
                ++made;
            stack.Push(std::move(change));
        }
        ASSERT_EQ(stack.Count(), made);
        const TState end = stateOf(tree);
        while (stack.Undo()) { }
        ASSERT_EQ(stateOf(tree), start);
        while (stack.Redo()) { }
        ASSERT_EQ(stateOf(tree), end);
    }
}

} // namespace
