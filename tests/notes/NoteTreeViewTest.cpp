#include "TreeText.h"

#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>

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

// A title of megabytes (a paste from a binary file) was laid out whole for every
// measurement and paint: most of a minute and gigabytes for a 50 MB title.
TEST_F(NoteTreeViewTest, AHugeTitleIsLaidOutOnlyAsFarAsAScreenCanShow)
{
    build(tree, u"short"_s);
    QString huge;
    while (huge.size() < 20'000'000)
        huge += u"many words in a title "_s;
    TNote *note = find(tree, u"short"_s);
    QElapsedTimer timer;
    timer.start();
    tree.SetTitle(note, huge);
    EXPECT_GT(titleWidth(), 0);
    view.grab();
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(note->Title(), huge) << "only what is shown is cut";
}

TEST_F(NoteTreeViewTest, ConfirmingTheTitleEditorKeepsATitleLongerThanALineEditHolds)
{
    build(tree, u"short"_s);
    TNote *note = find(tree, u"short"_s);
    const QString longTitle = QString(40000, u'x') + u"end"_s;
    tree.SetTitle(note, longTitle);
    const QModelIndex index = tree.IndexOf(note);
    view.setCurrentIndex(index);
    static_cast<QAbstractItemView &>(view).edit(index);
    auto *editor = view.viewport()->findChild<QLineEdit *>();
    ASSERT_TRUE(editor);
    // What confirming the edit does with the editor's text.
    view.itemDelegate()->setModelData(editor, view.model(), index);
    EXPECT_EQ(note->Title(), longTitle);
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

// The tree beside another control in one window, as the main window has its editor.
class DelayedRename : public ::testing::Test
{
protected:
    void SetUp() override
    {
        build(tree, u"A,B"_s);
        auto *layout = new QHBoxLayout(&window);
        view = new TNoteTreeView;
        other = new QLineEdit;
        layout->addWidget(view);
        layout->addWidget(other);
        view->setNoteTree(&tree);
        window.resize(500, 300);
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        view->setFocus();
        view->selectNote(find(tree, u"A"_s));
    }

    // A single click on the title of A, which is selected already.
    void clickSelectedTitle()
    {
        const QRect title = view->visualRect(tree.IndexOf(find(tree, u"A"_s)));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, title.center());
    }

    // Longer than the delay of a rename started by a click.
    static void waitPastTheRenameDelay()
    {
        QTest::qWait(QApplication::doubleClickInterval() + 300);
    }

    TNoteTree tree;
    QWidget window;
    TNoteTreeView *view = nullptr;
    QLineEdit *other = nullptr;
};

TEST_F(DelayedRename, AClickOnTheSelectedTitleStillRenamesIt)
{
    clickSelectedTitle();
    EXPECT_FALSE(view->isEditingTitle()) << "a double-click must not start with a rename";
    EXPECT_TRUE(QTest::qWaitFor([this] { return view->isEditingTitle(); }, 3000));
}

TEST_F(DelayedRename, PendingRenameDoesNotTakeKeysTypedElsewhereAfterAClick)
{
    clickSelectedTitle();
    QTest::mouseClick(other, Qt::LeftButton);
    other->setFocus(Qt::MouseFocusReason);
    waitPastTheRenameDelay();
    EXPECT_FALSE(view->isEditingTitle());
    EXPECT_TRUE(other->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), u"typed"_s);
    EXPECT_EQ(other->text(), u"typed"_s);
    EXPECT_EQ(find(tree, u"A"_s)->Title(), u"A"_s);
}

TEST_F(DelayedRename, PendingRenameIsCancelledByAKeyOrAFocusChange)
{
    // A key moves on to B: no title at all may open for editing.
    clickSelectedTitle();
    QTest::keyClick(view, Qt::Key_Down);
    waitPastTheRenameDelay();
    EXPECT_FALSE(view->isEditingTitle());
    EXPECT_EQ(view->selectedNote(), find(tree, u"B"_s));

    // The focus leaves and comes back before the delay is over.
    view->selectNote(find(tree, u"A"_s));
    clickSelectedTitle();
    other->setFocus(Qt::TabFocusReason);
    view->setFocus(Qt::TabFocusReason);
    waitPastTheRenameDelay();
    EXPECT_FALSE(view->isEditingTitle());
}

} // namespace
