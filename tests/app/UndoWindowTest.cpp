// Taking the tree's changes back in the real window: keys, menu items, selection,
// editor and the modified mark.

#include "MainWindowFixture.h"

#include "notes/NoteUndo.h"

#include <QSignalSpy>

namespace {

class UndoWindowTest : public MainWindowTest
{
protected:
    // All a user sees of the document: every note with its body, the selected note,
    // what the editor shows, and the modified mark.
    QString seen() const
    {
        QStringList out;
        const TNoteTree *tree = window->TopicTreeModel;
        for (TNote *n = tree->FirstNote(); n; n = tree->NextInTreeOrder(n))
            out << QString(n->Level(), u'>') + n->Title() + u'|' + n->BodyText();
        const TNote *selected = window->TopicTree->selectedNote();
        out << u"selected "_s + (selected ? selected->Title() : u"none"_s);
        // As the note would hold it: the editor need not end with a line break.
        TNote shown;
        shown.SetBodyText(window->Notes->BodyText());
        out << u"editor "_s + shown.BodyText();
        out << (window->Modified() ? u"modified"_s : u"unmodified"_s);
        return out.join(u"; "_s);
    }

    void treeKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        window->TopicTree->setFocus();
        QApplication::processEvents();
        QTest::keyClick(window->TopicTree, key, modifiers);
        QApplication::processEvents();
    }

    QStringList savedTitles(const QString &name) const
    {
        TNoteTree tree;
        TArchive archive(&tree);
        EXPECT_TRUE(archive.ReadNotes(nullptr, path(name)));
        QStringList out;
        for (TNote *n = tree.FirstNote(); n; n = tree.NextInTreeOrder(n))
            out << n->Title() + u'|' + n->BodyText();
        return out;
    }
};

// The slip the undo is for: a note deleted and the file saved without it; Ctrl+Z in
// the tree brings it back, marks the document modified again, and Ctrl+S saves it.
TEST_F(UndoWindowTest, DeletedNoteComesBackAndIsSaved)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Beta"_s);
    treeKey(Qt::Key_Delete);
    EXPECT_EQ(titles(), u"Alpha,Gamma"_s);
    treeKey(Qt::Key_S);
    EXPECT_FALSE(window->Modified());
    EXPECT_EQ(savedTitles(u"doc.vlt"_s), (QStringList{u"Alpha|first\r\n"_s, u"Gamma|"_s}));

    window->TopicTree->setFocus();
    QApplication::processEvents();
    QAction *undo = command("miEditUndo");
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->text(), u"&Undo Delete \"Beta\""_s);
    treeKey(Qt::Key_Z);
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma"_s);
    EXPECT_EQ(window->TopicTree->selectedNote(), note(u"Beta"_s));
    EXPECT_EQ(window->Notes->BodyText(), u"second\r\n"_s);
    EXPECT_TRUE(window->Modified());
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(undo->text(), u"&Undo"_s);
    EXPECT_EQ(command("miEditRedo")->text(), u"&Redo Delete \"Beta\""_s);

    treeKey(Qt::Key_S);
    EXPECT_EQ(savedTitles(u"doc.vlt"_s),
              (QStringList{u"Alpha|first\r\n"_s, u"Beta|second\r\n"_s, u"Gamma|"_s}));
}

struct WindowCommand
{
    const char *name;
    const char *select;
    std::function<void()> run;
    const char *after; // titles() after the command
    // Sets the document up before anything is recorded.
    std::function<void()> prepare = {};
};

// Each command of the tree from the window: undo gives back the tree, the bodies, the
// selection, the editor's text and the modified mark exactly; redo the result.
TEST_F(UndoWindowTest, EveryTreeCommandUndoesAndRedoes)
{
    const WindowCommand commands[] = {
        {"add", "Alpha",
         [this] {
             newNoteTitle = u"Added"_s;
             newNotePosition = 0; // after the selected note
             command("miNotesAdd")->trigger();
         },
         "Alpha,>Beta,Added,Gamma"},
        {"delete a branch", "Alpha", [this] { treeKey(Qt::Key_Delete); },
         "Gamma"},
        {"move down", "Alpha", [this] { treeKey(Qt::Key_Down, Qt::AltModifier); },
         "Gamma,Alpha,>Beta"},
        {"move left", "Beta", [this] { treeKey(Qt::Key_Left, Qt::AltModifier); },
         "Alpha,Beta,Gamma"},
        {"sort tree", "Gamma",
         [this] { command("miSortTree")->trigger(); }, "Gamma,Zeta,>Beta",
         [this] {
             window->TopicTreeModel->SetTitle(note(u"Alpha"_s), u"Zeta"_s);
         }},
        {"paste text as a sibling", "Gamma",
         [this] {
             QGuiApplication::clipboard()->setText(u"Pasted\r\nline"_s);
             treeKey(Qt::Key_A, Qt::NoModifier);
         },
         "Alpha,>Beta,Gamma,Pasted"},
        {"paste a branch", "Gamma", [this] { command("miNotesPaste")->trigger(); },
         "Alpha,>Beta,Gamma,Alpha,>Beta",
         [this] {
             select(u"Alpha"_s);
             treeKey(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
         }},
        {"drag into another note", "Gamma",
         [this] {
             window->TopicTreeDragDrop(note(u"Gamma"_s), note(u"Beta"_s), true);
         },
         "Alpha,>Beta,>>Gamma"},
        {"rename in place", "Gamma",
         [this] {
             window->TopicTree->edit(window->TopicTree->currentIndex());
             auto *edit = window->TopicTree->findChild<QLineEdit *>();
             ASSERT_NE(edit, nullptr);
             edit->setText(u"Renamed"_s);
             QTest::keyClick(edit, Qt::Key_Return);
             QApplication::processEvents();
         },
         "Alpha,>Beta,Renamed"},
    };
    for (const WindowCommand &c : commands) {
        SCOPED_TRACE(c.name);
        writeDocument(u"doc.vlt"_s);
        start(path(u"doc.vlt"_s));
        if (c.prepare)
            c.prepare();
        select(QString::fromUtf8(c.select));
        // Typed into the selected note just before the command: undo keeps it.
        typeInEditor(u" typed"_s);
        window->TopicTree->setFocus();
        window->StoreEditorText();
        window->SetModified(false);
        QApplication::processEvents();
        const QString before = seen();
        c.run();
        EXPECT_EQ(titles(), QString::fromUtf8(c.after));
        const QString after = seen();
        ASSERT_NE(after, before);
        treeKey(Qt::Key_Z);
        EXPECT_EQ(seen(), before);
        treeKey(Qt::Key_Y);
        EXPECT_EQ(seen(), after);
        treeKey(Qt::Key_Z);
        EXPECT_EQ(seen(), before);
        treeKey(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(seen(), after);
        window->SetModified(false);
        window.reset();
    }
}

// In the editor Ctrl+Z stays the editor's own; the tree's step waits for the tree.
TEST_F(UndoWindowTest, EditorKeysKeepActingOnTheEditor)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Gamma"_s);
    treeKey(Qt::Key_Delete);
    EXPECT_EQ(titles(), u"Alpha,>Beta"_s);
    select(u"Alpha"_s);
    typeInEditor(u"!"_s);
    EXPECT_EQ(window->Notes->BodyText(), u"first\r\n!"_s);
    QTest::keyClick(window->Notes, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window->Notes->BodyText(), u"first\r\n"_s);
    EXPECT_EQ(titles(), u"Alpha,>Beta"_s);
    QTest::keyClick(window->Notes, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(window->Notes->BodyText(), u"first\r\n!"_s);
    EXPECT_EQ(titles(), u"Alpha,>Beta"_s);

    // The tree's undo keeps what was typed into the note selected.
    treeKey(Qt::Key_Z);
    EXPECT_EQ(titles(), u"Alpha,>Beta,Gamma"_s);
    EXPECT_EQ(note(u"Alpha"_s)->BodyText(), u"first\r\n!\r\n"_s);
    EXPECT_TRUE(window->Modified()); // the typing is no step of the tree's
}

TEST_F(UndoWindowTest, NewDocumentStartsWithNothingToUndo)
{
    writeDocument(u"doc.vlt"_s);
    start(path(u"doc.vlt"_s));
    select(u"Gamma"_s);
    treeKey(Qt::Key_Delete);
    EXPECT_TRUE(window->UndoStack()->CanUndo());
    window->SetModified(false);
    command("miFileNew")->trigger();
    EXPECT_FALSE(window->UndoStack()->CanUndo());
    window->TopicTree->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(command("miEditUndo")->isEnabled());

    window->OpenDocument(path(u"doc.vlt"_s));
    EXPECT_FALSE(window->UndoStack()->CanUndo());
}

} // namespace
