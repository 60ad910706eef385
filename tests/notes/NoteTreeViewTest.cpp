#include "TreeText.h"

#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QPixmap>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;
using TreeText::build;
using TreeText::find;

namespace {

// The real tree view over a model watched by Qt's model tester, shown offscreen.
class NoteTreeViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        tester = std::make_unique<QAbstractItemModelTester>(
            &tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
        view.setNoteTree(&tree);
        view.resize(300, 400);
        view.show();
    }

    QModelIndex index(const QString &title) const { return tree.IndexOf(find(tree, title)); }

    // Rows the user can see by scrolling, top to bottom.
    QStringList visibleTitles() const
    {
        QStringList titles;
        for (QModelIndex i = view.model()->index(0, 0); i.isValid(); i = view.indexBelow(i))
            titles << tree.NoteOf(i)->Title();
        return titles;
    }

    // The width the column is given for its titles.
    int titleWidth() const
    {
        return static_cast<const QAbstractItemView &>(view).sizeHintForColumn(0);
    }

    TNoteTree tree;
    std::unique_ptr<QAbstractItemModelTester> tester;
    TNoteTreeView view;
};

TEST_F(NoteTreeViewTest, ExpandAllOpensEveryBranchAndMarksNoLeafExpanded)
{
    build(tree, u"A(B(C),D),E(F)"_s);
    view.expandAllNotes();
    EXPECT_EQ(visibleTitles(), (QStringList{u"A"_s, u"B"_s, u"C"_s, u"D"_s, u"E"_s, u"F"_s}));
    for (const QString &branch : {u"A"_s, u"B"_s, u"E"_s})
        EXPECT_TRUE(view.isExpanded(index(branch))) << branch.toStdString();
    // A leaf marked expanded costs a persistent index that every later change updates.
    for (const QString &leaf : {u"C"_s, u"D"_s, u"F"_s})
        EXPECT_FALSE(view.isExpanded(index(leaf))) << leaf.toStdString();
    view.collapseAll();
    EXPECT_EQ(visibleTitles(), (QStringList{u"A"_s, u"E"_s}));
}

TEST_F(NoteTreeViewTest, ExpandAllStopsAtTheDeepestLevelTheViewLaysOut)
{
    const int depth = TNoteTreeView::MaxExpandedLevel + 5;
    tester.reset(); // its checks on every insert would make this slow
    TNote *last = nullptr;
    std::vector<TNote *> chain;
    for (int level = 0; level < depth; ++level) {
        last = tree.AddNote(last, u"n%1"_s.arg(level), imLastChild);
        chain.push_back(last);
    }
    view.expandAllNotes();
    const int limit = TNoteTreeView::MaxExpandedLevel;
    EXPECT_TRUE(view.isExpanded(tree.IndexOf(chain[limit - 1])));
    EXPECT_FALSE(view.isExpanded(tree.IndexOf(chain[limit])));
    EXPECT_FALSE(view.isExpanded(tree.IndexOf(chain[depth - 2])));
    EXPECT_EQ(visibleTitles().size(), limit + 1);
}

TEST_F(NoteTreeViewTest, ColumnWidthFollowsRenamesFontAndImage)
{
    // Title sizes are remembered; each of these must still change the measured width.
    build(tree, u"short,other"_s);
    const int narrow = titleWidth();
    ASSERT_GT(narrow, 0);
    tree.SetTitle(find(tree, u"short"_s), u"a far longer title than any other here"_s);
    const int wide = titleWidth();
    EXPECT_GT(wide, narrow);
    tree.SetTitle(find(tree, u"a far longer title than any other here"_s), u"short"_s);
    EXPECT_EQ(titleWidth(), narrow);

    QPixmap image(16, 16);
    image.fill(Qt::red);
    view.setNoteIcon(QIcon(image));
    const int withImage = titleWidth();
    EXPECT_GT(withImage, narrow);
    view.setNoteIcon(QIcon());
    EXPECT_EQ(titleWidth(), narrow);

    QFont font = view.font();
    font.setPointSizeF(font.pointSizeF() * 3);
    view.setFont(font);
    EXPECT_GT(titleWidth(), narrow);
}

TEST_F(NoteTreeViewTest, SelectionStaysOnItsNoteThroughMovesSortsAndDeletes)
{
    build(tree, u"c,b(z,y,x),a"_s);
    view.expandAllNotes();
    TNote *y = find(tree, u"y"_s);
    view.selectNote(y);
    auto selectionIsY = [&] {
        const QModelIndexList selected = view.selectionModel()->selectedIndexes();
        return view.selectedNote() == y && selected.size() == 1 && tree.NoteOf(selected[0]) == y
            && view.currentIndex().row() == y->Row();
    };
    ASSERT_TRUE(selectionIsY());

    ASSERT_TRUE(tree.MoveNote(y, mdUp));
    EXPECT_TRUE(selectionIsY());
    ASSERT_TRUE(tree.MoveNote(y, mdDown));
    ASSERT_TRUE(tree.MoveNote(y, mdDown));
    EXPECT_TRUE(selectionIsY());
    EXPECT_EQ(y->Row(), 2);
    tree.SortNotes();
    EXPECT_TRUE(selectionIsY());
    EXPECT_EQ(y->Row(), 1);
    tree.DeleteNote(find(tree, u"x"_s));
    tree.DeleteNote(find(tree, u"c"_s));
    EXPECT_TRUE(selectionIsY());
    EXPECT_EQ(y->Row(), 0);
    tree.AddNote(y, u"before"_s, imBefore);
    EXPECT_TRUE(selectionIsY());
    EXPECT_EQ(view.visualRect(view.currentIndex()), view.visualRect(tree.IndexOf(y)));
    EXPECT_EQ(view.indexAbove(tree.IndexOf(y)), index(u"before"_s));
}

} // namespace
