// The search and replace dialog driven as a user would, over a real main window.

#include "QtPrinters.h"
#include "app/MainWindowFixture.h"
#include "notes/NoteUndo.h"
#include "find/Find.h"
#include "settings/UtilsGui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace {

class FindDialogTest : public MainWindowTest
{
protected:
    void startWithPets()
    {
        start([](TNoteTree &tree) {
            TNote *pets = tree.AddNote(nullptr, u"Pets"_s, imLastChild, u"a dog\r\nno\r\nthe cat"_s);
            tree.AddNote(pets, u"cat food"_s, imLastChild, u"Cat and cat"_s);
            tree.AddNote(nullptr, u"Work"_s, imLastChild, u"concat cat"_s);
        });
    }

    TfrmSearchReplace *openDialog()
    {
        command("miEditSearch")->trigger();
        QApplication::processEvents();
        return TfrmSearchReplace::OpenOver(window.get());
    }

    void type(QComboBox *box, const QString &text)
    {
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), text);
    }

    QString editorSelection() const { return window->Notes->textCursor().selectedText(); }
    QString selectedTitle() const { return window->TopicTree->selectedNote()->Title(); }
};

TEST_F(FindDialogTest, FirstOpeningTakesTheSelectionAndTheDefaults)
{
    startWithPets();
    QTextCursor cursor = window->Notes->textCursor();
    cursor.setPosition(2);
    cursor.setPosition(5, QTextCursor::KeepAnchor); // "dog"
    window->Notes->setTextCursor(cursor);
    EXPECT_TRUE(command("btnSearch")->isEnabled());

    TfrmSearchReplace *dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->cbxSearch->currentText(), u"dog"_s);
    EXPECT_TRUE(dialog->cbSearchNotes->isChecked());
    EXPECT_TRUE(dialog->cbSearchTitles->isChecked());
    EXPECT_FALSE(dialog->cbCaseSensitive->isChecked());
    EXPECT_FALSE(dialog->cbWholeWords->isChecked());
    EXPECT_TRUE(dialog->rgSearchScope->findChildren<QRadioButton *>().at(2)->isChecked());
    EXPECT_EQ(dialog->windowTitle(), u"Find/Replace"_s);
    EXPECT_EQ(dialog->cbxSearch->toolTip(), u"Type in text to search for"_s);
    EXPECT_TRUE(dialog->btnFindNext->isDefault());
    EXPECT_TRUE(dialog->btnFind->isEnabled());
    EXPECT_FALSE(command("btnSearch")->isEnabled());
    const QRect main = window->frameGeometry();
    const QRect frame = dialog->frameGeometry();
    EXPECT_EQ(frame.left(), main.left() + main.width() / 2 - frame.width() / 2);
    EXPECT_EQ(frame.top(), main.top() + main.height() / 2 - frame.height() / 2);

    // Emptying the search text switches the four actions off.
    dialog->cbxSearch->lineEdit()->clear();
    for (QPushButton *b : {dialog->btnFind, dialog->btnFindNext, dialog->btnReplace,
                           dialog->btnReplaceAll})
        EXPECT_FALSE(b->isEnabled());
    // Unchecking both "Search in" boxes leaves bodies searched.
    dialog->cbSearchTitles->click();
    dialog->cbSearchNotes->click();
    EXPECT_TRUE(dialog->cbSearchNotes->isChecked());
    EXPECT_EQ(dialog->Search().Where, swBodies);
    // Scope Active note: titles can no longer be chosen.
    dialog->rgSearchScope->findChildren<QRadioButton *>().at(0)->click();
    EXPECT_FALSE(dialog->cbSearchTitles->isEnabled());

    QTest::keyClick(dialog->cbxSearch->lineEdit(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(TfrmSearchReplace::OpenOver(window.get()), nullptr);
    EXPECT_TRUE(command("btnSearch")->isEnabled());
}

TEST_F(FindDialogTest, FindNextWalksTheScopeAndOffersToStartAgain)
{
    startWithPets();
    TfrmSearchReplace *dialog = openDialog();
    type(dialog->cbxSearch, u"cat"_s);
    dialog->cbWholeWords->click();

    dialog->btnFind->click();
    // "the cat" on the body's third line.
    EXPECT_EQ(selectedTitle(), u"Pets"_s);
    EXPECT_EQ(window->Notes->textCursor().selectionStart(), 13);
    EXPECT_EQ(editorSelection(), u"cat"_s);
    EXPECT_EQ(dialog->windowTitle(), u"Find/Replace [Pets]"_s);

    // A title match: the caret at the start, nothing selected; then the body.
    QTest::keyClick(dialog->cbxSearch->lineEdit(), Qt::Key_F3);
    EXPECT_EQ(selectedTitle(), u"cat food"_s);
    EXPECT_FALSE(window->Notes->textCursor().hasSelection());
    EXPECT_EQ(window->Notes->textCursor().position(), 0);
    QTest::keyClick(dialog->cbxSearch->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(window->Notes->textCursor().selectionStart(), 0);
    EXPECT_EQ(editorSelection(), u"Cat"_s);
    dialog->btnFindNext->click();
    EXPECT_EQ(window->Notes->textCursor().selectionStart(), 8);
    dialog->btnFindNext->click();
    EXPECT_EQ(selectedTitle(), u"Work"_s);
    EXPECT_EQ(window->Notes->textCursor().selectionStart(), 7); // not "concat"
    EXPECT_TRUE(messages.isEmpty());

    answers << QMessageBox::Yes;
    dialog->btnFindNext->click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], u"The text \"cat\" was not found.\nStart again from the beginning?"_s);
    EXPECT_EQ(icons[0], QMessageBox::Question);
    EXPECT_EQ(selectedTitle(), u"Pets"_s);
    EXPECT_EQ(editorSelection(), u"cat"_s);
}

// Keypad Enter carries the keypad modifier, and with an empty search text it did
// nothing where Return and F3 ask whether to start again.
TEST_F(FindDialogTest, KeypadEnterActsAsReturn)
{
    startWithPets();
    TfrmSearchReplace *dialog = openDialog();
    ASSERT_TRUE(dialog->cbxSearch->currentText().isEmpty());
    QTest::keyClick(dialog->cbxSearch->lineEdit(), Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(icons[0], QMessageBox::Question);

    type(dialog->cbxSearch, u"cat"_s);
    dialog->cbSearchTitles->setChecked(false);
    QTest::keyClick(dialog->cbxSearch->lineEdit(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(window->Notes->textCursor().selectionStart(), 13);
    // One step a key: the next match, in the next note.
    QTest::keyClick(dialog->cbxSearch->lineEdit(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(selectedTitle(), u"cat food"_s);
    EXPECT_EQ(window->Notes->textCursor().selectionStart(), 0);
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(FindDialogTest, DialogMovesOffTheMatchItWouldCover)
{
    startWithPets();
    TfrmSearchReplace *dialog = openDialog();
    type(dialog->cbxSearch, u"dog"_s);
    QPoint match;
    CharPosToScreen(window->Notes, 2, match);
    dialog->move(match.x() - 20, match.y() - 10);
    QApplication::processEvents();
    ASSERT_TRUE(dialog->frameGeometry().contains(match));
    dialog->btnFind->click();
    ASSERT_EQ(editorSelection(), u"dog"_s);
    const QRect frame = dialog->frameGeometry();
    EXPECT_FALSE(frame.top() <= match.y() && match.y() <= frame.bottom())
        << frame.top() << " " << frame.bottom() << " " << match.y();
}

TEST_F(FindDialogTest, ActiveBranchNeverTakesTheNoteAfterIt)
{
    startWithPets();
    select(u"cat food"_s);
    TfrmSearchReplace *dialog = openDialog();
    type(dialog->cbxSearch, u"cat"_s);
    dialog->rgSearchScope->findChildren<QRadioButton *>().at(1)->click();
    dialog->cbSearchTitles->setChecked(false);
    QStringList found;
    answers << QMessageBox::No;
    for (int i = 0; i < 6 && messages.isEmpty(); ++i) {
        dialog->btnFindNext->click();
        if (messages.isEmpty())
            found << selectedTitle();
    }
    EXPECT_EQ(found, (QStringList{u"cat food"_s, u"cat food"_s}));
}

TEST_F(FindDialogTest, FirstReplaceFindsTheSecondReplacesAndMovesOn)
{
    startWithPets();
    select(u"cat food"_s);
    TfrmSearchReplace *dialog = openDialog();
    type(dialog->cbxSearch, u"cat"_s);
    type(dialog->cbxReplace, u"cats"_s);
    dialog->cbSearchTitles->setChecked(false);

    dialog->btnReplace->click(); // nothing selected: only finds
    EXPECT_EQ(editorSelection(), u"Cat"_s);
    EXPECT_FALSE(window->Modified());
    dialog->btnReplace->click();
    EXPECT_EQ(note(u"cat food"_s)->Body(), QStringList{u"cats and cat"_s});
    EXPECT_TRUE(window->Modified());
    // On to the next match, after the inserted text.
    EXPECT_EQ(window->Notes->textCursor().selectionStart(), 9);
    dialog->btnReplace->click();
    EXPECT_EQ(note(u"cat food"_s)->Body(), QStringList{u"cats and cats"_s});
    EXPECT_EQ(dialog->cbxReplace->itemText(0), u"cats"_s);
    EXPECT_EQ(dialog->cbxSearch->itemText(0), u"cat"_s);
}

TEST_F(FindDialogTest, HandMadeSelectionThatIsNoWholeWordIsNotReplaced)
{
    startWithPets();
    select(u"Work"_s);
    QTextCursor cursor = window->Notes->textCursor();
    cursor.setPosition(3);
    cursor.setPosition(6, QTextCursor::KeepAnchor); // the "cat" of "concat"
    window->Notes->setTextCursor(cursor);
    TfrmSearchReplace *dialog = openDialog();
    type(dialog->cbxReplace, u"dog"_s);
    dialog->cbWholeWords->setChecked(true);
    dialog->btnReplace->click();
    EXPECT_EQ(note(u"Work"_s)->Body(), QStringList{u"concat cat"_s});
    EXPECT_EQ(window->Notes->textCursor().selectionStart(), 7);
}

TEST_F(FindDialogTest, ReplaceAllIsOneModificationAndKeepsWhatWasTyped)
{
    start([](TNoteTree &tree) {
        tree.AddNote(nullptr, u"Fruit"_s, imLastChild, u"banana"_s);
        tree.AddNote(nullptr, u"More"_s, imLastChild, u"an apple"_s);
    });
    TfrmSearchReplace *dialog = openDialog();
    // Typed after the dialog opened (on a line of its own), not yet stored in the note.
    window->Notes->moveCursor(QTextCursor::End);
    QTest::keyClicks(window->Notes, u" tea"_s);
    window->SetModified(false);
    type(dialog->cbxSearch, u"A"_s);
    type(dialog->cbxReplace, u"aa"_s);
    dialog->btnReplaceAll->click();
    EXPECT_EQ(note(u"Fruit"_s)->Body(), (QStringList{u"baanaanaa"_s, u" teaa"_s}));
    EXPECT_EQ(note(u"More"_s)->Body(), QStringList{u"aan aapple"_s});
    EXPECT_EQ(selectedTitle(), u"More"_s);
    EXPECT_EQ(window->Notes->toPlainText(), u"aan aapple\n"_s);
    EXPECT_TRUE(window->Modified());
    select(u"Fruit"_s);
    EXPECT_EQ(note(u"Fruit"_s)->Body(), (QStringList{u"baanaanaa"_s, u" teaa"_s}));

    // Nothing to replace: the modified flag stays as it was.
    window->SetModified(false);
    type(dialog->cbxSearch, u"zebra"_s);
    dialog->btnReplaceAll->click();
    EXPECT_FALSE(window->Modified());
}

// Replace All is one step of the tree's undo, however many notes it changed; so is
// each single Replace.
TEST_F(FindDialogTest, ReplaceAllAndReplaceAreEachOneStepToTakeBack)
{
    startWithPets();
    select(u"Pets"_s);
    TfrmSearchReplace *dialog = openDialog();
    type(dialog->cbxSearch, u"cat"_s);
    type(dialog->cbxReplace, u"owl"_s);
    dialog->cbSearchTitles->setChecked(true);
    dialog->btnReplaceAll->click();
    ASSERT_NE(note(u"owl food"_s), nullptr);
    EXPECT_EQ(note(u"owl food"_s)->Body(), QStringList{u"owl and owl"_s});
    EXPECT_EQ(note(u"Work"_s)->Body(), QStringList{u"conowl owl"_s});
    // As a click into the tree would: the main window is active again.
    const auto undoInTree = [this] {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        window->TopicTree->setFocus();
        QApplication::processEvents();
        QTest::keyClick(window->TopicTree, Qt::Key_Z, Qt::ControlModifier);
        QApplication::processEvents();
    };
    undoInTree();
    ASSERT_NE(note(u"cat food"_s), nullptr);
    EXPECT_EQ(note(u"cat food"_s)->Body(), QStringList{u"Cat and cat"_s});
    EXPECT_EQ(note(u"Work"_s)->Body(), QStringList{u"concat cat"_s});
    EXPECT_EQ(note(u"Pets"_s)->Body(), (QStringList{u"a dog"_s, u"no"_s, u"the cat"_s}));
    EXPECT_EQ(selectedTitle(), u"Pets"_s);
    EXPECT_FALSE(window->Modified());
    EXPECT_FALSE(window->UndoStack()->CanUndo());

    select(u"cat food"_s);
    dialog->cbSearchTitles->setChecked(false);
    dialog->btnReplace->click(); // finds
    dialog->btnReplace->click(); // replaces
    EXPECT_EQ(note(u"cat food"_s)->Body(), QStringList{u"owl and cat"_s});
    undoInTree();
    EXPECT_EQ(note(u"cat food"_s)->Body(), QStringList{u"Cat and cat"_s});
    EXPECT_EQ(window->Notes->toPlainText(), u"Cat and cat\n"_s);
}

// Replace All never said how many it replaced, and when nothing matched it showed an
// error asking "Start again from the beginning?" with nothing but an OK button.
TEST_F(FindDialogTest, ReplaceAllReportsHowManyAndAsksNoQuestion)
{
    start([](TNoteTree &tree) {
        tree.AddNote(nullptr, u"Fruit"_s, imLastChild, u"banana"_s);
        tree.AddNote(nullptr, u"More"_s, imLastChild, u"an apple"_s);
    });
    TfrmSearchReplace *dialog = openDialog();
    type(dialog->cbxSearch, u"a"_s);
    type(dialog->cbxReplace, u"aa"_s);
    dialog->btnReplaceAll->click();
    type(dialog->cbxSearch, u"pp"_s);
    type(dialog->cbxReplace, u"p"_s);
    dialog->btnReplaceAll->click();
    type(dialog->cbxSearch, u"zebra|cat"_s);
    dialog->btnReplaceAll->click();

    EXPECT_EQ(messages, (QStringList{u"5 replacements made."_s, u"One replacement made."_s,
                                     u"The text \"zebra|cat\" was not found."_s}));
    EXPECT_EQ(icons, QList<QMessageBox::Icon>(3, QMessageBox::Information));
    EXPECT_EQ(buttons, QList<QMessageBox::StandardButtons>(3, QMessageBox::Ok));
}

// The boxes completed from their histories without regard to case: with "cat" in the
// history, a typed "CAT" became "cat" when the focus left the box.
TEST_F(FindDialogTest, TypedTextIsNotReplacedByACaseVariantFromTheHistory)
{
    start([](TNoteTree &tree) { tree.AddNote(nullptr, u"Note"_s, imLastChild, u"cat CAT"_s); });
    TfrmSearchReplace *dialog = openDialog();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    auto typeInto = [](QComboBox *box, const QString &text) {
        box->setFocus(Qt::TabFocusReason);
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), text);
    };
    typeInto(dialog->cbxSearch, u"cat"_s);
    typeInto(dialog->cbxReplace, u"dog"_s);
    dialog->btnReplace->click(); // finds; both texts go into the histories
    ASSERT_EQ(dialog->cbxSearch->itemText(0), u"cat"_s);
    ASSERT_EQ(dialog->cbxReplace->itemText(0), u"dog"_s);

    dialog->cbCaseSensitive->click();
    typeInto(dialog->cbxSearch, u"CAT"_s);
    typeInto(dialog->cbxReplace, u"DOG"_s);
    QTest::mouseClick(dialog->btnReplaceAll, Qt::LeftButton);
    EXPECT_EQ(dialog->cbxSearch->currentText(), u"CAT"_s);
    EXPECT_EQ(dialog->cbxReplace->currentText(), u"DOG"_s);
    EXPECT_EQ(note(u"Note"_s)->Body(), QStringList{u"cat DOG"_s});
}

TEST_F(FindDialogTest, OptionsAndHistoriesSurviveCloseAndReopen)
{
    startWithPets();
    TfrmSearchReplace *dialog = openDialog();
    dialog->cbCaseSensitive->click();
    dialog->cbWholeWords->click();
    dialog->cbSearchTitles->click();
    dialog->rgSearchScope->findChildren<QRadioButton *>().at(1)->click();
    for (int i = 1; i <= 8; ++i) {
        type(dialog->cbxSearch, u"word%1"_s.arg(i));
        answers << QMessageBox::No;
        dialog->btnFind->click();
    }
    type(dialog->cbxReplace, u"new"_s);
    answers << QMessageBox::No;
    dialog->btnReplace->click();
    dialog->close();
    QApplication::processEvents();

    dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->cbCaseSensitive->isChecked());
    EXPECT_TRUE(dialog->cbWholeWords->isChecked());
    EXPECT_FALSE(dialog->cbSearchTitles->isChecked());
    EXPECT_TRUE(dialog->rgSearchScope->findChildren<QRadioButton *>().at(1)->isChecked());
    EXPECT_EQ(dialog->cbxSearch->currentText(), u"word8"_s);
    EXPECT_EQ(dialog->cbxSearch->count(), 7);
    EXPECT_EQ(dialog->cbxSearch->itemText(6), u"word2"_s);
    EXPECT_EQ(dialog->cbxReplace->currentText(), u"new"_s);
}

TEST_F(FindDialogTest, ScopeOfAReplacedDocumentIsNotKept)
{
    startWithPets();
    select(u"Work"_s);
    TfrmSearchReplace *dialog = openDialog();
    dialog->rgSearchScope->findChildren<QRadioButton *>().at(1)->click();
    window->TopicTreeModel->DeleteNote(note(u"Work"_s));
    EXPECT_EQ(dialog->Search().ScopeStart, nullptr);

    command("miFileNew")->trigger();
    QApplication::processEvents();
    ASSERT_EQ(window->TopicTreeModel->Count(), 1);
    window->Notes->setPlainText(u"a cat"_s);
    type(dialog->cbxSearch, u"cat"_s);
    type(dialog->cbxReplace, u"dog"_s);
    dialog->btnReplaceAll->click();
    EXPECT_EQ(window->TopicTreeModel->FirstNote()->Body(), QStringList{u"a dog"_s});
}

// The scope's notes were taken when the scope was chosen and then only after notes
// were removed: after sorting, a note now above the old first note was never searched,
// and a branch's end was where the branch used to end.
TEST_F(FindDialogTest, ScopeIsTakenFromTheTreeAsItIsWhenASearchStarts)
{
    start([](TNoteTree &tree) {
        tree.AddNote(nullptr, u"b"_s, imLastChild, u"a cat"_s);
        tree.AddNote(nullptr, u"a"_s, imLastChild, u"cat"_s);
    });
    TfrmSearchReplace *dialog = openDialog();
    type(dialog->cbxSearch, u"cat"_s);
    type(dialog->cbxReplace, u"dog"_s);
    command("miSortTree")->trigger();
    ASSERT_EQ(titles(), u"a,b"_s);
    dialog->btnReplaceAll->click();
    EXPECT_EQ(note(u"a"_s)->Body(), QStringList{u"dog"_s});
    EXPECT_EQ(note(u"b"_s)->Body(), QStringList{u"a dog"_s});

    // Find begins at a note added above the first.
    window->TopicTreeModel->AddNote(note(u"a"_s), u"new"_s, imBefore, u"cat"_s);
    messages.clear();
    dialog->btnFind->click();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(selectedTitle(), u"new"_s);

    // Active branch "a"; "new" then moves to just after it, ahead of "b".
    window->TopicTreeModel->AddNote(note(u"a"_s), u"a1"_s, imLastChild, u"cat"_s);
    select(u"a"_s);
    dialog->rgSearchScope->findChildren<QRadioButton *>().at(1)->click();
    select(u"new"_s);
    command("miMoveDown")->trigger();
    ASSERT_EQ(titles(), u"a,>a1,new,b"_s);
    dialog->btnReplaceAll->click();
    EXPECT_EQ(note(u"a1"_s)->Body(), QStringList{u"dog"_s});
    EXPECT_EQ(note(u"new"_s)->Body(), QStringList{u"cat"_s});
}

// Session end or the tray's Exit destroys the main window while the dialog is active
// with text typed in a box. The box's edit ends as the dialog goes, and may change its
// text then (the box completing from its history, an input method committing what it
// composed); no handler of the half-destroyed dialog may run (the suite runs under
// ASan, which reports it; a plain build usually crashes).
TEST_F(FindDialogTest, DestroyingTheWindowRunsNoHandlerOfTheDestroyedDialog)
{
    startWithPets();
    TfrmSearchReplace *dialog = openDialog();
    type(dialog->cbxSearch, u"cat"_s);
    dialog->btnFind->click();
    ASSERT_EQ(dialog->cbxSearch->itemText(0), u"cat"_s);
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    dialog->cbxSearch->setFocus();
    type(dialog->cbxSearch, u"CAT"_s);
    QLineEdit *line = dialog->cbxSearch->lineEdit();
    // What an input method with a pending composition does when the focus leaves.
    QObject::connect(line, &QLineEdit::editingFinished, line, [line] { line->insert(u"s"_s); });
    ASSERT_EQ(QApplication::focusWidget(), dialog->cbxSearch);
    window.reset();
}

TEST_F(FindDialogTest, CaptionShortensLongTitlesAndSecondCtrlFReusesTheDialog)
{
    start([](TNoteTree &tree) {
        tree.AddNote(nullptr, u"abcdefghijklmnopqrstuvwxy"_s, imLastChild, u"one two"_s);
    });
    TfrmSearchReplace *dialog = openDialog();
    type(dialog->cbxSearch, u"two"_s);
    dialog->btnFind->click();
    EXPECT_EQ(dialog->windowTitle(), u"Find/Replace [abcdefghijklmnopqrst...]"_s);

    QTextCursor cursor = window->Notes->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(3, QTextCursor::KeepAnchor);
    window->Notes->setTextCursor(cursor);
    EXPECT_EQ(openDialog(), dialog);
    EXPECT_EQ(window->findChildren<TfrmSearchReplace *>().size(), 1);
    EXPECT_EQ(dialog->cbxSearch->currentText(), u"one"_s);
}

} // namespace
