#include "TreeText.h"

#include "notes/NoteTree.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QSignalSpy>

#include <QElapsedTimer>

#include <QCollator>

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace Qt::StringLiterals;
using TreeText::build;
using TreeText::dump;
using TreeText::find;

namespace {

// Every tree under test is watched by Qt's model tester, which fails on broken
// model signals that a view would crash on.
class NoteTreeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        tester = std::make_unique<QAbstractItemModelTester>(
            &tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
    }

    TNoteTree tree;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

struct AddCase
{
    const char *name;
    const char *anchor; // empty: none
    int mode;
    const char *expected;
};

class AddNotePlacement : public NoteTreeTest, public ::testing::WithParamInterface<AddCase>
{
};

TEST_P(AddNotePlacement, PutsTheNoteWhereTheModeSays)
{
    const AddCase &c = GetParam();
    build(tree, u"A(B,C,D),E"_s);
    TNote *anchor = *c.anchor ? find(tree, QString::fromLatin1(c.anchor)) : nullptr;
    TNote *note = tree.AddNote(anchor, u"N"_s, c.mode, u"body"_s);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(dump(tree), QString::fromLatin1(c.expected));
    EXPECT_EQ(note->Body(), QStringList{u"body"_s});
}

INSTANTIATE_TEST_SUITE_P(
    Modes, AddNotePlacement,
    ::testing::Values(AddCase{"FirstSibling", "C", imFirstSibling, "A(N,B,C,D),E"},
                      AddCase{"LastSibling", "C", imLastSibling, "A(B,C,D,N),E"},
                      AddCase{"After", "C", imAfter, "A(B,C,N,D),E"},
                      AddCase{"AfterLastSibling", "D", imAfter, "A(B,C,D,N),E"},
                      AddCase{"Before", "C", imBefore, "A(B,N,C,D),E"},
                      AddCase{"BeforeFirst", "B", imBefore, "A(N,B,C,D),E"},
                      AddCase{"FirstChild", "A", imFirstChild, "A(N,B,C,D),E"},
                      AddCase{"LastChild", "C", imLastChild, "A(B,C(N),D),E"},
                      AddCase{"NoAnchorFirstSibling", "", imFirstSibling, "N,A(B,C,D),E"},
                      AddCase{"NoAnchorLastSibling", "", imLastSibling, "A(B,C,D),E,N"},
                      AddCase{"NoAnchorAfter", "", imAfter, "A(B,C,D),E,N"},
                      AddCase{"NoAnchorBefore", "", imBefore, "A(B,C,D),E,N"},
                      AddCase{"NoAnchorFirstChild", "", imFirstChild, "N,A(B,C,D),E"},
                      AddCase{"NoAnchorLastChild", "", imLastChild, "A(B,C,D),E,N"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(NoteTreeTest, AddNoteWithAnUnknownModeCreatesNothing)
{
    build(tree, u"A"_s);
    EXPECT_EQ(tree.AddNote(find(tree, u"A"_s), u"N"_s, 6), nullptr);
    EXPECT_EQ(tree.AddNote(nullptr, u"N"_s, -1), nullptr);
    EXPECT_EQ(dump(tree), u"A"_s);
    EXPECT_EQ(tree.Count(), 1);
}

TEST_F(NoteTreeTest, BodyTextSplitsAtEveryKindOfLineBreak)
{
    TNote *note = tree.AddNote(nullptr, u"A"_s, imLastChild, u"one\r\ntwo\rthree\nfour\r\n"_s);
    EXPECT_EQ(note->Body(), (QStringList{u"one"_s, u"two"_s, u"three"_s, u"four"_s}));
    EXPECT_EQ(note->BodyText(), u"one\r\ntwo\r\nthree\r\nfour\r\n"_s);
    note->SetBodyText(u"x\r\n\r\n"_s);
    EXPECT_EQ(note->Body(), (QStringList{u"x"_s, QString()}));
    note->SetBodyText(QString());
    EXPECT_TRUE(note->Body().isEmpty());
    EXPECT_EQ(note->BodyText(), QString());
}

struct MoveCase
{
    const char *name;
    const char *note;
    int direction;
    bool moved;
    const char *expected;
};

class MoveNoteRules : public NoteTreeTest, public ::testing::WithParamInterface<MoveCase>
{
};

TEST_P(MoveNoteRules, MovesTheWholeBranchOneStep)
{
    const MoveCase &c = GetParam();
    build(tree, u"A(B,C(X),D),E(F)"_s);
    TNote *note = find(tree, QString::fromLatin1(c.note));
    EXPECT_EQ(tree.MoveNote(note, c.direction), c.moved);
    EXPECT_EQ(dump(tree), QString::fromLatin1(c.expected));
    // Rows and tree order must agree with the structure after every move.
    int index = 0;
    for (TNote *n = tree.FirstNote(); n; n = tree.NextInTreeOrder(n), ++index) {
        EXPECT_EQ(tree.AbsoluteIndex(n), index);
        EXPECT_EQ(tree.NoteAt(index), n);
        const TNote *parent = n->Parent();
        EXPECT_EQ(parent ? parent->Child(n->Row()) : tree.RootNote(n->Row()), n);
    }
    EXPECT_EQ(index, tree.Count());
}

INSTANTIATE_TEST_SUITE_P(
    Directions, MoveNoteRules,
    ::testing::Values(
        MoveCase{"UpOnFirstSibling", "B", mdUp, false, "A(B,C(X),D),E(F)"},
        MoveCase{"DownOnLastSibling", "D", mdDown, false, "A(B,C(X),D),E(F)"},
        MoveCase{"RightOnFirstSibling", "B", mdRight, false, "A(B,C(X),D),E(F)"},
        MoveCase{"LeftOnRootNote", "A", mdLeft, false, "A(B,C(X),D),E(F)"},
        MoveCase{"Up", "C", mdUp, true, "A(C(X),B,D),E(F)"},
        MoveCase{"Down", "B", mdDown, true, "A(C(X),B,D),E(F)"},
        MoveCase{"DownOnSecondLastBecomesLast", "C", mdDown, true, "A(B,D,C(X)),E(F)"},
        MoveCase{"RightBecomesLastChildOfPrevious", "D", mdRight, true, "A(B,C(X,D)),E(F)"},
        MoveCase{"LeftGoesRightAfterFormerParent", "X", mdLeft, true, "A(B,C,X,D),E(F)"},
        MoveCase{"LeftUnderLastRootBecomesLastRoot", "F", mdLeft, true, "A(B,C(X),D),E,F"},
        MoveCase{"LeftOfLastChild", "D", mdLeft, true, "A(B,C(X)),D,E(F)"},
        MoveCase{"RootDown", "A", mdDown, true, "E(F),A(B,C(X),D)"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(NoteTreeTest, MoveKeepsBodiesWithTheirNotes)
{
    TNote *a = tree.AddNote(nullptr, u"A"_s, imLastChild, u"a body"_s);
    TNote *b = tree.AddNote(nullptr, u"B"_s, imLastChild, u"b body"_s);
    ASSERT_TRUE(tree.MoveNote(b, mdRight));
    EXPECT_EQ(b->Parent(), a);
    EXPECT_EQ(a->Body(), QStringList{u"a body"_s});
    EXPECT_EQ(b->Body(), QStringList{u"b body"_s});
}

TEST_F(NoteTreeTest, RootLevelSortsByCodePointsDeeperLevelsByLocale)
{
    // The C locale collates by code points too; a real locale shows the difference.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    build(tree, u"b,B,a,P(b,ä,a,z)"_s);
    // Above the surrogate range: UTF-16 unit order would put U+1F600 first.
    tree.AddNote(nullptr, u"\U0001F600"_s, imLastChild);
    tree.AddNote(nullptr, u"\uFF01"_s, imLastChild);
    ASSERT_TRUE(tree.SortNotes());
    QLocale::setDefault(saved);
    EXPECT_EQ(dump(tree), u"B,P(a,ä,b,z),a,b,\uFF01,\U0001F600"_s);
}

struct CollationCase
{
    const char *name;
    QLocale::Language language;
    const char16_t *before;
    const char16_t *after;
};

class CollationOrder : public NoteTreeTest, public ::testing::WithParamInterface<CollationCase>
{
};

// A level found in order is left alone, so the check must agree with the sort's own
// keys, in the C locale too, whose keys go by code point.
TEST_P(CollationOrder, LevelIsCheckedInTheOrderItsKeysSortIn)
{
    const CollationCase &c = GetParam();
    const QLocale saved;
    QLocale::setDefault(QLocale(c.language, c.language == QLocale::German ? QLocale::Germany
                                                                          : QLocale::AnyTerritory));
    build(tree, u"P"_s);
    for (const QString &title : QString::fromUtf16(c.before).split(u','))
        tree.AddNote(tree.FirstNote(), title, imLastChild);
    tree.SortChildren(tree.FirstNote());
    QLocale::setDefault(saved);
    EXPECT_EQ(dump(tree), u"P("_s + QString::fromUtf16(c.after) + u')');
}

INSTANTIATE_TEST_SUITE_P(
    Locales, CollationOrder,
    ::testing::Values(
        CollationCase{"CByCodePoint", QLocale::C, u"\U0001F600,\uFF01", u"\uFF01,\U0001F600"},
        CollationCase{"CInOrder", QLocale::C, u"B,a,\uFF01", u"B,a,\uFF01"},
        CollationCase{"CLastPair", QLocale::C, u"a,b,d,c", u"a,b,c,d"},
        CollationCase{"GermanInOrder", QLocale::German, u"a,\u00E4,b,B,z", u"a,\u00E4,b,B,z"},
        CollationCase{"GermanOutOfOrder", QLocale::German, u"a,b,\u00E4,z", u"a,\u00E4,b,z"},
        CollationCase{"GermanLastPair", QLocale::German, u"a,\u00E4,z,b", u"a,\u00E4,b,z"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(NoteTreeTest, SortKeepsTheOrderOfEqualTitles)
{
    TNote *p = tree.AddNote(nullptr, u"P"_s, imLastChild);
    for (int i = 0; i < 5; ++i)
        tree.AddNote(p, i % 2 ? u"x"_s : u"y"_s, imLastChild, QString::number(i));
    tree.AddNote(nullptr, u"same"_s, imLastChild, u"first"_s);
    tree.AddNote(nullptr, u"same"_s, imFirstChild, u"second"_s);
    tree.SortNotes();
    QStringList order;
    for (int i = 0; i < p->ChildCount(); ++i)
        order << p->Child(i)->Body().value(0);
    EXPECT_EQ(order, (QStringList{u"1"_s, u"3"_s, u"0"_s, u"2"_s, u"4"_s}));
    EXPECT_EQ(tree.RootNote(1)->Body(), QStringList{u"second"_s});
}

// Large sorts build their keys on two threads: one large level in two halves, many
// levels half each. Either way the order must be the one a plain stable sort by the
// collator gives, equal titles kept in their order and every row renumbered.
TEST(NoteTreeSort, LargeSortsOnTwoThreadsGiveTheCollatorsStableOrder)
{
    // No model tester here: it checks the whole model at every one of 55,000 inserts.
    TNoteTree tree;
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QStringList words{u"apfel"_s, u"\u00C4pfel"_s, u"zebra"_s, u"Zebra"_s, u"b\u00E4r"_s,
                            u"bar"_s, u"baer"_s, u"10"_s, u"9"_s, u"\u00FCber"_s};
    const auto title = [&words](int i) { return words[(i * 7919) % words.size()] + QString::number(i % 13); };
    // One level of 25,000 notes; then 300 levels of 100 under a second root.
    TNote *big = tree.AddNote(nullptr, u"Big"_s, imLastChild);
    for (int i = 0; i < 25000; ++i)
        tree.AddNote(big, title(i), imLastChild, QString::number(i));
    TNote *many = tree.AddNote(nullptr, u"Many"_s, imLastChild);
    for (int l = 0; l < 300; ++l) {
        TNote *level = tree.AddNote(many, u"L"_s + QString::number(l), imLastChild);
        for (int i = 0; i < 100; ++i)
            tree.AddNote(level, title(l * 100 + i), imLastChild, QString::number(i));
    }
    const auto expected = [](const TNote *parent) {
        std::vector<const TNote *> notes;
        for (int i = 0; i < parent->ChildCount(); ++i)
            notes.push_back(parent->Child(i));
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseSensitive);
        std::stable_sort(notes.begin(), notes.end(), [&](const TNote *a, const TNote *b) {
            return collator.compare(a->Title(), b->Title()) < 0;
        });
        return notes;
    };
    const auto check = [](const TNote *parent, const std::vector<const TNote *> &notes) {
        for (int i = 0; i < parent->ChildCount(); ++i) {
            ASSERT_EQ(parent->Child(i), notes[static_cast<size_t>(i)]) << i;
            ASSERT_EQ(parent->Child(i)->Row(), i);
        }
    };

    const auto bigOrder = expected(big);
    tree.SortChildren(big);
    check(big, bigOrder);

    std::map<const TNote *, std::vector<const TNote *>> levelOrders;
    for (int l = 0; l < many->ChildCount(); ++l)
        levelOrders[many->Child(l)] = expected(many->Child(l));
    tree.SortNotes();
    QLocale::setDefault(saved);
    for (const auto &[level, order] : levelOrders)
        check(level, order);
    EXPECT_EQ(tree.Count(), 2 + 25000 + 300 * 101);
    EXPECT_EQ(tree.NoteAt(tree.AbsoluteIndex(big->LastChild())), big->LastChild());
}

TEST_F(NoteTreeTest, SortChildrenDoesNotDescend)
{
    build(tree, u"P(c(z,y),b)"_s);
    tree.SortChildren(find(tree, u"P"_s));
    EXPECT_EQ(dump(tree), u"P(b,c(z,y))"_s);
}

TEST_F(NoteTreeTest, SortUsesTheGivenComparisonOnEveryLevel)
{
    build(tree, u"a,c(x,z,y),b"_s);
    tree.SortNotes([](const TNote *x, const TNote *y, qintptr dir) {
        return static_cast<int>(dir) * QString::compare(x->Title(), y->Title());
    }, -1);
    EXPECT_EQ(dump(tree), u"c(z,y,x),b,a"_s);
}

TEST_F(NoteTreeTest, SetSortTypeSortsOnlyForTypesThatSortByText)
{
    build(tree, u"b,a"_s);
    tree.SetSortType(1);
    EXPECT_EQ(dump(tree), u"b,a"_s);
    tree.SetSortType(2);
    EXPECT_EQ(dump(tree), u"a,b"_s);
    tree.AddNote(nullptr, u"0"_s, imLastChild);
    tree.SetSortType(2); // same value: nothing happens
    EXPECT_EQ(dump(tree), u"a,b,0"_s);
}

TEST_F(NoteTreeTest, SortKeepsPersistentIndexesOnTheirNotes)
{
    build(tree, u"c,b(y,x),a"_s);
    const QPersistentModelIndex x = tree.IndexOf(find(tree, u"x"_s));
    const QPersistentModelIndex c = tree.IndexOf(find(tree, u"c"_s));
    tree.SortNotes();
    EXPECT_EQ(tree.NoteOf(x)->Title(), u"x"_s);
    EXPECT_EQ(x.row(), 0);
    EXPECT_EQ(c.row(), 2);
}

TEST_F(NoteTreeTest, SortingASortedTreeTellsViewsNothing)
{
    build(tree, u"a,b(x,y),c"_s);
    QSignalSpy about(&tree, &QAbstractItemModel::layoutAboutToBeChanged);
    QSignalSpy changed(&tree, &QAbstractItemModel::layoutChanged);
    tree.SortNotes();
    tree.SortChildren(find(tree, u"b"_s));
    EXPECT_EQ(about.count(), 0);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(dump(tree), u"a,b(x,y),c"_s);
}

TEST_F(NoteTreeTest, OneLevelOutOfOrderIsOneLayoutChangeBeforeAnyNoteMoves)
{
    build(tree, u"a(p,q),b(y,x),c(r,s)"_s);
    TNote *x = find(tree, u"x"_s);
    QStringList seenAtAnnouncement;
    QObject::connect(&tree, &QAbstractItemModel::layoutAboutToBeChanged, &tree,
            [&] { seenAtAnnouncement << dump(tree); });
    QSignalSpy changed(&tree, &QAbstractItemModel::layoutChanged);
    const QPersistentModelIndex persistent = tree.IndexOf(x);
    tree.SortNotes();
    EXPECT_EQ(seenAtAnnouncement, QStringList{u"a(p,q),b(y,x),c(r,s)"_s});
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(dump(tree), u"a(p,q),b(x,y),c(r,s)"_s);
    EXPECT_EQ(persistent.row(), 0);
    EXPECT_EQ(tree.NoteOf(persistent), x);
    EXPECT_EQ(tree.NoteAt(tree.AbsoluteIndex(x)), x);
    EXPECT_EQ(tree.AbsoluteIndex(x), 4);
}

TEST_F(NoteTreeTest, LargeDeletedBranchLeavesCountOrderAndTheRestIntact)
{
    // Branches this large are freed away from the caller's thread.
    TNote *big = tree.AddNote(nullptr, u"big"_s, imLastChild);
    TNote *other = tree.AddNote(nullptr, u"other"_s, imLastChild);
    tester.reset(); // its checks on every insert would make this slow
    for (int i = 0; i < 3000; ++i) {
        TNote *child = tree.AddNote(big, QString::number(i), imLastChild, u"body"_s);
        tree.AddNote(child, u"grandchild"_s, imLastChild, u"body"_s);
    }
    TNote *second = tree.AddNote(other, u"second"_s, imLastChild);
    for (int i = 0; i < 1500; ++i)
        tree.AddNote(second, QString::number(i), imLastChild);
    tree.AddNote(other, u"kept"_s, imLastChild, u"stays"_s);
    tester = std::make_unique<QAbstractItemModelTester>(
        &tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
    tree.DeleteNote(big);
    tree.DeleteNote(second);
    EXPECT_EQ(dump(tree), u"other(kept)"_s);
    EXPECT_EQ(tree.Count(), 2);
    EXPECT_EQ(tree.NoteAt(1)->Title(), u"kept"_s);
    EXPECT_EQ(tree.NoteAt(1)->Body(), QStringList{u"stays"_s});

    // A large document cleared away goes the same way; the tree takes new notes at once.
    tester.reset();
    for (int i = 0; i < 2000; ++i)
        tree.AddNote(nullptr, QString::number(i), imLastChild, u"body"_s);
    tree.ResetTree();
    EXPECT_EQ(tree.Count(), 0);
    EXPECT_EQ(tree.FirstNote(), nullptr);
    tree.AddNote(nullptr, u"new"_s, imLastChild);
    EXPECT_EQ(dump(tree), u"new"_s);
}

TEST_F(NoteTreeTest, ExportFlattensTheBranchWithOrWithoutBodies)
{
    TNote *a = tree.AddNote(nullptr, u"A"_s, imLastChild, u"one\r\ntwo"_s);
    tree.AddNote(a, u"B"_s, imLastChild);
    tree.AddNote(nullptr, u"C"_s, imLastChild, u"c"_s);
    QStringList lines;
    tree.ExportBranch(a, lines, true);
    EXPECT_EQ(lines, (QStringList{u"A"_s, u""_s, u"one\r\ntwo\r\n"_s, u""_s, u"B"_s, u""_s}));
    lines.clear();
    tree.ExportSiblings(lines, a, false);
    EXPECT_EQ(lines, (QStringList{u"A"_s, u""_s, u"B"_s, u""_s, u"C"_s, u""_s}));
    lines.clear();
    tree.ExportSiblings(lines, nullptr, true);
    EXPECT_TRUE(lines.isEmpty());
}

TEST_F(NoteTreeTest, BranchPlainTextHoldsTheBranchAloneInTreeOrder)
{
    TNote *a = tree.AddNote(nullptr, u"A"_s, imLastChild, u"one\r\ntwo"_s);
    TNote *b = tree.AddNote(a, u"B"_s, imLastChild);
    tree.AddNote(b, u"B1"_s, imLastChild, u"\r\nafter an empty line"_s);
    tree.AddNote(nullptr, u"C"_s, imLastChild, u"c"_s);
    EXPECT_EQ(tree.BranchPlainText(a), u"A\n\none\ntwo\n\nB\n\nB1\n\n\nafter an empty line\n"_s);
    EXPECT_EQ(tree.BranchPlainText(b), u"B\n\nB1\n\n\nafter an empty line\n"_s);
    // A note without children, with more notes after it.
    EXPECT_EQ(tree.BranchPlainText(find(tree, u"B1"_s)), u"B1\n\n\nafter an empty line\n"_s);
    EXPECT_EQ(tree.BranchPlainText(find(tree, u"C"_s)), u"C\n\nc\n"_s);
    EXPECT_EQ(tree.BranchPlainText(nullptr), QString());
}

TEST_F(NoteTreeTest, FindByTitleFoldsCaseOfEveryScript)
{
    build(tree, u"Inbox,Work(Ünïcode,Привет,ΣΟΦΙΑ,Ђак),Ѓ"_s);
    EXPECT_EQ(tree.FindByTitle(u"INBOX"_s), find(tree, u"Inbox"_s));
    EXPECT_EQ(tree.FindByTitle(u"üNÏCODE"_s), find(tree, u"Ünïcode"_s));
    EXPECT_EQ(tree.FindByTitle(u"пРИВЕТ"_s), find(tree, u"Привет"_s));
    EXPECT_EQ(tree.FindByTitle(u"σοφια"_s), find(tree, u"ΣΟΦΙΑ"_s));
    // Letters of the old Cyrillic code page outside the contiguous block.
    EXPECT_EQ(tree.FindByTitle(u"ђак"_s), find(tree, u"Ђак"_s));
    EXPECT_EQ(tree.FindByTitle(u"ѓ"_s), find(tree, u"Ѓ"_s));
    EXPECT_EQ(tree.FindByTitle(u"Inbo"_s), nullptr);
    EXPECT_EQ(tree.FindByTitle(u"Inboxx"_s), nullptr);
}

TEST_F(NoteTreeTest, NoteLinksNameTheTitlesFromTheTop)
{
    build(tree, u"Inbox,Work(Home,Computers(Linux)),work(computers)"_s);
    EXPECT_EQ(TNoteTree::GetNoteLink(find(tree, u"Inbox"_s)), u"note://Inbox;"_s);
    EXPECT_EQ(TNoteTree::GetNoteLink(find(tree, u"Linux"_s)), u"note://Work\\Computers\\Linux;"_s);
    EXPECT_EQ(tree.FindByLink(u"NOTE://INBOX;"_s), find(tree, u"Inbox"_s));
    // The first match among siblings wins.
    EXPECT_EQ(tree.FindByLink(u"note://work\\COMPUTERS;"_s), find(tree, u"Computers"_s));
    EXPECT_EQ(tree.FindByLink(u"note://Work\\Computers\\Linux;"_s), find(tree, u"Linux"_s));
    EXPECT_EQ(tree.FindByLink(u"note://Work\\Nothing;"_s), nullptr);
    EXPECT_EQ(tree.FindByLink(u"note://Work\\Computers\\Linux\\Deeper;"_s), nullptr);
    EXPECT_EQ(tree.FindByLink(u"note"_s), nullptr);
    EXPECT_EQ(tree.FindByLink(QString()), nullptr);
}

TEST_F(NoteTreeTest, TitleWithBackslashIsFoundByItsOwnLink)
{
    // Every note's own link finds it, whichever way its "\\" splits into titles.
    build(tree, u"a(b(c)),x"_s);
    TNote *ab = tree.AddNote(nullptr, u"A\\Z"_s, imLastChild);
    TNote *inner = tree.AddNote(ab, u"c\\"_s, imLastChild);
    TNote *deep = tree.AddNote(inner, u"\\d"_s, imLastChild);
    TNote *plain = find(tree, u"c"_s);
    for (TNote *note : {ab, inner, deep, plain})
        EXPECT_EQ(tree.FindByLink(TNoteTree::GetNoteLink(note)), note)
            << TNoteTree::GetNoteLink(note).toStdString();
    EXPECT_EQ(tree.FindByLink(u"note://a\\z\\C\\;"_s), inner);
    EXPECT_EQ(tree.FindByLink(u"note://a\\z\\nothing;"_s), nullptr);
    // Where the plain split leads to a note, it wins, as before: a root titled a\b has
    // the link of b under a.
    tree.AddNote(nullptr, u"a\\b"_s, imLastChild);
    EXPECT_EQ(tree.FindByLink(u"note://A\\B;"_s), find(tree, u"b"_s));
}

TEST_F(NoteTreeTest, LinkWithManyBackslashesIsResolvedInBoundedWork)
{
    // Titles "\\" nested deep: a link of 400 backslashes splits in 2^400 ways.
    TNote *parent = nullptr;
    for (int i = 0; i < 200; ++i)
        parent = tree.AddNote(parent, u"\\"_s, imLastChild);
    tree.AddNote(nullptr, u"\\"_s, imLastChild);
    const QString link = u"note://"_s + QString(401, u'\\') + u"x;"_s;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(tree.FindByLink(link), nullptr);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(tree.FindByLink(TNoteTree::GetNoteLink(parent)), parent);
}

TEST_F(NoteTreeTest, NodeAfterBranch)
{
    build(tree, u"A(B(C),D),E,F(G)"_s);
    EXPECT_EQ(tree.NodeAfterBranch(find(tree, u"A"_s)), find(tree, u"E"_s));
    EXPECT_EQ(tree.NodeAfterBranch(find(tree, u"B"_s)), find(tree, u"D"_s));
    // Without children there is no range to end.
    EXPECT_EQ(tree.NodeAfterBranch(find(tree, u"E"_s)), nullptr);
    EXPECT_EQ(tree.NodeAfterBranch(find(tree, u"F"_s)), nullptr);
    EXPECT_EQ(tree.TreeEnd(), nullptr);
}

TEST_F(NoteTreeTest, TrimNotesStripsTrailingBlanksAndEmptyLines)
{
    TNote *a = tree.AddNote(nullptr, u"A"_s, imLastChild, u"one  \r\ntwo\t\r\n\r\n"_s);
    TNote *b = tree.AddNote(nullptr, u"B"_s, imLastChild, u"tab\t\r\nend \r\n \r\n\t"_s);
    tree.TrimNotes();
    EXPECT_EQ(a->Body(), (QStringList{u"one"_s, u"two"_s}));
    EXPECT_EQ(b->Body(), (QStringList{u"tab\t"_s, u"end"_s}));
}

TEST_F(NoteTreeTest, TrimNotesTrimsEachBodyAsItsText)
{
    const struct
    {
        QStringList body;
        QStringList trimmed;
    } cases[] = {
        {{}, {}},
        {{u" \t"_s, u"\t "_s, QString()}, {}},
        {{u"a \t "_s}, {u"a"_s}},
        {{QString(), u"x"_s, QString(), u"y\t"_s}, {QString(), u"x"_s, QString(), u"y"_s}},
        {{u"mid\t "_s, u"last"_s}, {u"mid\t"_s, u"last"_s}},
        // Lines set by a program may hold breaks; the text splits there.
        {{u"a\r"_s, u"b\nc  "_s, u" "_s}, {u"a"_s, QString(), u"b"_s, u"c"_s}},
        {{u"x  \ny"_s, u"\t"_s}, {u"x"_s, u"y"_s}},
    };
    for (const auto &c : cases) {
        tree.ClearNotes();
        tree.AddNote(nullptr, u"N"_s, imLastChild)->SetBody(c.body);
        tree.TrimNotes();
        EXPECT_EQ(tree.FirstNote()->Body(), c.trimmed) << c.body.join(u'|').toStdString();
    }
}

TEST_F(NoteTreeTest, TrimNotesCopiesNoBodyThatNeedsNoTrim)
{
    TNote *note = tree.AddNote(nullptr, u"N"_s, imLastChild);
    note->SetBody({u"one"_s, QString(), u"two"_s});
    const QChar *before = note->BodyText().constData();
    tree.TrimNotes();
    EXPECT_EQ(note->BodyText().constData(), before);
    EXPECT_EQ(note->BodyText(), u"one\r\n\r\ntwo\r\n"_s);
}

TEST_F(NoteTreeTest, DeleteAndClearKeepCountAndOrderRight)
{
    build(tree, u"A(B(C),D),E"_s);
    tree.DeleteNote(find(tree, u"B"_s));
    EXPECT_EQ(dump(tree), u"A(D),E"_s);
    EXPECT_EQ(tree.Count(), 3);
    EXPECT_EQ(tree.NoteAt(1)->Title(), u"D"_s);
    EXPECT_EQ(find(tree, u"D"_s)->Row(), 0);
    tree.ResetTree();
    EXPECT_EQ(tree.Count(), 0);
    EXPECT_EQ(tree.FirstNote(), nullptr);
    EXPECT_EQ(tree.NoteAt(0), nullptr);
}

TEST_F(NoteTreeTest, FreeBranchDataEmptiesOnlyTheDescendants)
{
    TNote *a = tree.AddNote(nullptr, u"A"_s, imLastChild, u"a"_s);
    TNote *b = tree.AddNote(a, u"B"_s, imLastChild, u"b"_s);
    TNote *c = tree.AddNote(nullptr, u"C"_s, imLastChild, u"c"_s);
    tree.FreeBranchData(a);
    EXPECT_EQ(a->Body(), QStringList{u"a"_s});
    EXPECT_TRUE(b->Body().isEmpty());
    EXPECT_EQ(c->Body(), QStringList{u"c"_s});
}

TEST_F(NoteTreeTest, BulkUpdateSendsOneResetInsteadOfRowSignals)
{
    QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&tree, &QAbstractItemModel::modelReset);
    tree.BeginBulkUpdate();
    tree.BeginBulkUpdate();
    build(tree, u"A(B,C),D"_s);
    tree.SortNotes();
    tree.EndBulkUpdate();
    EXPECT_TRUE(tree.InBulkUpdate());
    EXPECT_EQ(reset.count(), 0);
    tree.EndBulkUpdate();
    EXPECT_FALSE(tree.InBulkUpdate());
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(tree.rowCount(tree.IndexOf(find(tree, u"A"_s))), 2);
}

TEST_F(NoteTreeTest, EditingTheTitleThroughTheModelRenamesTheNote)
{
    build(tree, u"A"_s);
    QSignalSpy changed(&tree, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(tree.setData(tree.index(0, 0), u"Renamed"_s));
    EXPECT_EQ(tree.RootNote(0)->Title(), u"Renamed"_s);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(NoteTreeTest, ManySiblingsKeepTheirRows)
{
    TNote *p = tree.AddNote(nullptr, u"P"_s, imLastChild);
    tester.reset(); // the tester's checks on every insert would make this slow
    for (int i = 0; i < 50000; ++i)
        tree.AddNote(p, QString::number(i), imLastChild);
    TNote *middle = p->Child(25000);
    tree.AddNote(middle, u"new"_s, imBefore);
    EXPECT_EQ(p->Child(25000)->Title(), u"new"_s);
    EXPECT_EQ(middle->Row(), 25001);
    EXPECT_EQ(tree.IndexOf(middle).row(), 25001);
    EXPECT_EQ(tree.parent(tree.IndexOf(middle)), tree.IndexOf(p));
    EXPECT_EQ(tree.AbsoluteIndex(p->LastChild()), 50001);
    ASSERT_TRUE(tree.MoveNote(middle, mdUp));
    EXPECT_EQ(middle->Row(), 25000);
    EXPECT_EQ(tree.NoteAt(25001), middle);
}

TEST_F(NoteTreeTest, MimeDataCarriesTheBranchStream)
{
    build(tree, u"A(B)"_s);
    std::unique_ptr<QMimeData> mime(tree.mimeData({tree.index(0, 0)}));
    ASSERT_NE(mime, nullptr);
    EXPECT_EQ(mime->data(TNoteTree::NotesMimeType()), tree.WriteBranch(tree.RootNote(0)));
}

} // namespace

namespace {

TEST_F(NoteTreeTest, PlaceNoteMovesTheBranchButNeverIntoItself)
{
    build(tree, u"A(B(C),D),E"_s);
    EXPECT_TRUE(tree.PlaceNote(find(tree, u"B"_s), find(tree, u"E"_s), imLastChild));
    EXPECT_EQ(dump(tree), u"A(D),E(B(C))"_s);
    EXPECT_TRUE(tree.PlaceNote(find(tree, u"E"_s), find(tree, u"A"_s), imBefore));
    EXPECT_EQ(dump(tree), u"E(B(C)),A(D)"_s);
    EXPECT_FALSE(tree.PlaceNote(find(tree, u"E"_s), find(tree, u"C"_s), imLastChild));
    EXPECT_FALSE(tree.PlaceNote(find(tree, u"E"_s), find(tree, u"E"_s), imAfter));
    EXPECT_EQ(dump(tree), u"E(B(C)),A(D)"_s);
    EXPECT_EQ(tree.AbsoluteIndex(find(tree, u"D"_s)), 4);
}

} // namespace
