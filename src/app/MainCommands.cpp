// The commands on notes and on text: menus, buttons, keys, links, drag and drop.

#include "app/Main.h"

#include "app/MainText.h"
#include "app/MessageService.h"
#include "app/Prompt.h"
#include "app/qkRichedit.h"
#include "notes/CaseFold.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/NoteUndo.h"
#include "settings/LngMan.h"
#include "settings/Settings.h"
#include "settings/Utils.h"
#include "settings/UtilsGui.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTextBlock>

using namespace Qt::StringLiterals;

namespace {

// The editor pop-up's keys, which reach its items before the editor sees them.
struct EditorKey
{
    int key;
    const char *item;
};
constexpr EditorKey kEditorKeys[] = {
    {Qt::Key_X, "miCutText"},  {Qt::Key_C, "miCopyText"},  {Qt::Key_V, "miPasteText"},
    {Qt::Key_Z, "miUndoEdit"}, {Qt::Key_A, "miSelectAll"}, {Qt::Key_F2, "miSetNoteCaption"},
};

const char *editorItemFor(const QKeyEvent *event)
{
    if (event->modifiers() != Qt::ControlModifier)
        return nullptr;
    for (const EditorKey &k : kEditorKeys) {
        if (event->key() == k.key)
            return k.item;
    }
    return nullptr;
}

} // namespace

void TfrmMain::connectCommands()
{
    auto on = [this](const char *name, auto &&slot) {
        connect(action(name), &QAction::triggered, this, std::forward<decltype(slot)>(slot));
    };
    // Notes
    on("miNotesAdd", [this] { miNotesAddClick(); });
    on("miAddNote", [this] { miNotesAddClick(); });
    on("miNotesDelete", [this] { miNotesDeleteClick(); });
    on("miDeleteNote", [this] { miNotesDeleteClick(); });
    on("btnDeleteNote", [this] { miNotesDeleteClick(); });
    on("miNotesCut", [this] { miNotesCutClick(); });
    on("miCutNote", [this] { miNotesCutClick(); });
    on("miNotesCopy", [this] { miNotesCopyClick(); });
    on("miCopyNote", [this] { miNotesCopyClick(); });
    on("miNotesPaste", [this] { miNotesPasteClick(); });
    on("miPasteNote", [this] { miNotesPasteClick(); });
    on("miNotesRename", [this] { miNotesRenameClick(); });
    on("miSortTree", [this] { miSortTreeClick(); });
    on("miSortChildren", [this] { miSortChildrenClick(); });
    on("miMoveUp", [this] { MoveSelected(mdUp); });
    on("miMoveDown", [this] { MoveSelected(mdDown); });
    on("miMoveLeft", [this] { MoveSelected(mdLeft); });
    on("miMoveRight", [this] { MoveSelected(mdRight); });
    on("miCopyLink", [this] { miCopyLinkClick(); });
    for (const char *name : {"btnPasteSibling", "btnPasteChild"}) {
        QAction *button = action(name);
        connect(button, &QAction::triggered, this,
                [this, button] { btnPasteSiblingClick(button->data().toInt()); });
    }
    on("miSetNoteCaption", [this] { miSetNoteCaptionClick(); });
    on("miGotoInternalLink", [this] { miGotoInternalLinkClick(); });

    // Editor
    on("miEditUndo", [this] { miEditUndoMenuClick(); });
    on("miEditRedo", [this] { miEditRedoClick(); });
    on("miUndoEdit", [this] { miEditUndoClick(); });
    on("btnUndo", [this] { miEditUndoClick(); });
    on("miEditCut", [this] { miEditCutClick(); });
    on("miCutText", [this] { miEditCutClick(); });
    on("miEditCopy", [this] { miEditCopyClick(); });
    on("miCopyText", [this] { miEditCopyClick(); });
    on("miEditPaste", [this] { miEditPasteClick(); });
    on("miPasteText", [this] { miEditPasteClick(); });
    on("miEditSelectAll", [this] { Notes->selectAll(); });
    on("miSelectAll", [this] { Notes->selectAll(); });
    on("miInsertDate", [this] { Notes->InsertText(ShortDateText()); });
    on("miInsertDateLong", [this] { Notes->InsertText(LongDateText()); });
    on("miInsertTime", [this] { Notes->InsertText(TimeText()); });
    on("miInsertDateTime",
       [this] { Notes->InsertText(ShortDateText() + u' ' + TimeText()); });
    on("miEditSortLines", [this] { miEditSortLinesClick(); });
    on("miSettingsWordWrap", [this] { miSettingsWordWrapClick(); });
    on("miSettingsOnTop", [this] {
        Settings->StayOnTop = action("miSettingsOnTop")->isChecked();
        SetStayOnTop(this, Settings->StayOnTop);
    });
    on("miGotoUrl", [this] { miGotoUrlClick(); });
    on("miOpenInNew", [this] { miOpenInNewClick(); });
    on("miCopyUrl", [this] { miCopyUrlClick(); });

    // The toolbar's Cut, Copy, Paste and Undo act on the editor only.
    on("btnCut", [this] { miEditCutClick(); });
    on("btnCopy", [this] { miEditCopyClick(); });
    on("btnPaste", [this] { miEditPasteClick(); });

    connect(Notes, &TqkRichedit::OnHyperlinkClicked, this, [this](int, int, const QString &text) {
        openLink(text);
    });
    // Text the editor cannot take must not vanish without a word.
    connect(Notes, &TqkRichedit::OnInputRefused, this, [this] {
        QString limit = FormatString(text(u"text_limit"_s), QLocale().toString(Notes->MaxLength()));
        limit = FormatString(limit, QLocale().toString(Notes->MaxLineCount()));
        TMessageService::Notify(
            this, FormatString(limit, QLocale().toString(Notes->MaxLineLength())),
            QMessageBox::Warning);
    });
    connect(TopicTree, &TNoteTreeView::noteDropped, this, &TfrmMain::TopicTreeDragDrop);
    connect(TopicTree, &TNoteTreeView::branchDropped, this,
            [this](const QByteArray &stream, TNote *target, bool nest) {
                TNote *before = TopicTree->selectedNote();
                const std::vector<TNote *> children = TopicTreeModel->ChildOrder(target);
                if (TNote *first = TopicTreeModel->InsertBranch(target, nest ? imLastChild : imAfter,
                                                                stream)) {
                    setSelected(first);
                    recordInserted(first, target, children, before, u"undo_drag"_s, u"Drag"_s);
                }
            });
    connect(mnuTree, &QMenu::aboutToShow, this, &TfrmMain::updateCommandStates);
    connect(mnuEditor, &QMenu::aboutToShow, this, [this] {
        Notes->setFocus();
        updateCommandStates();
    });

    TopicTree->installEventFilter(this);
    Notes->installEventFilter(this);
    connect(Notes, &TqkRichedit::OnMouseDown, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos,
                   bool doubleClick) {
                if (!doubleClick && button == Qt::RightButton)
                    NotesMouseDown(pos, false);
                else if (doubleClick && button == Qt::LeftButton && modifiers == Qt::NoModifier)
                    NotesMouseDown(pos, true);
            });
}

TNote *TfrmMain::LinkTarget() const
{
    return TopicTreeModel->NoteOf(m_linkTarget);
}

TNote *TfrmMain::BackNote() const
{
    return TopicTreeModel->NoteOf(m_backNote);
}

void TfrmMain::setSelected(TNote *note)
{
    TopicTree->selectNote(note);
    ShowNote(note);
}

// ------------------------------------------------------------------ tree commands

void TfrmMain::miNotesAddClick()
{
    QString title = text(u"new_note"_s);
    m_addPosition = TfrmNewNote::AskNewNote(this, m_addPosition, title);
    if (title.isEmpty())
        return;
    TNote *selected = TopicTree->selectedNote();
    TNote *note = selected ? TopicTreeModel->AddNote(selected, title, m_addPosition + 2)
                           : TopicTreeModel->AddNote(nullptr, title, imAfter);
    setSelected(note);
    RecordTreeChange(std::make_unique<TInsertChange>(*TopicTreeModel, std::vector<TNote *>{note}),
                     selected, u"undo_add"_s, u"Add"_s);
}

void TfrmMain::DeleteNote(TNote *note, int confirmationLevel)
{
    if (!note)
        return;
    const bool ask = confirmationLevel == 2 ? note->HasChildren() : confirmationLevel != 0;
    if (ask) {
        const QString question
            = text(u"prompt_delete"_s) + u"\n\""_s + note->Title() + u"\"?"_s;
        if (TMessageService::Ask(this, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No, QMessageBox::Warning)
            != QMessageBox::Yes)
            return;
    }
    TNote *next = note->NextSibling();
    if (!next)
        next = note->PrevSibling();
    if (!next)
        next = note->Parent();
    if (!next)
        next = TopicTreeModel->NodeAfterBranch(note);
    // Leaving the branch first stores the editor's text into its own note, so none of
    // it can reach the note selected next; the bodies go with their notes.
    TNote *selected = TopicTree->selectedNote();
    if (selected && (selected == note || selected->IsDescendantOf(note)))
        TopicTree->selectionModel()->clearCurrentIndex();
    // The branch moves into the change, which keeps it for an undo.
    auto change = std::make_unique<TDeleteChange>(*TopicTreeModel, note);
    if (next)
        setSelected(next);
    else
        clearEditor();
    RecordTreeChange(std::move(change), selected, u"undo_delete"_s, u"Delete"_s);
}

void TfrmMain::miNotesDeleteClick()
{
    DeleteNote(TopicTree->selectedNote(), Settings->DeleteConfirmationLevel);
}

void TfrmMain::miNotesCutClick()
{
    TNote *note = TopicTree->selectedNote();
    if (!note)
        return;
    StoreEditorText();
    TopicTree->CopyToClipboard(note);
    DeleteNote(note, 0);
}

void TfrmMain::miNotesCopyClick()
{
    StoreEditorText();
    TopicTree->CopyToClipboard(TopicTree->selectedNote());
}

void TfrmMain::miNotesPasteClick()
{
    StoreEditorText();
    TNote *anchor = TopicTree->selectedNote();
    const std::vector<TNote *> children = TopicTreeModel->ChildOrder(anchor);
    if (TNote *first = TopicTree->PasteFromClipboard(anchor, imAfter)) {
        setSelected(first);
        recordInserted(first, anchor, children, anchor, u"undo_paste"_s, u"Paste"_s);
    }
}

void TfrmMain::miNotesRenameClick()
{
    if (TopicTree->selectedNote()) {
        TopicTree->setFocus();
        TopicTree->edit(TopicTree->currentIndex());
    }
}

void TfrmMain::miSortTreeClick()
{
    StoreEditorText();
    std::vector<TNoteTree::TChildOrder> before;
    TopicTreeModel->SortNotes({}, 0, &before);
    RecordTreeChange(std::make_unique<TOrderChange>(*TopicTreeModel, std::move(before)), TopicTree->selectedNote(), u"undo_sort"_s, u"Sort"_s);
}

void TfrmMain::miSortChildrenClick()
{
    if (TNote *note = TopicTree->selectedNote()) {
        std::vector<TNoteTree::TChildOrder> before;
        TopicTreeModel->SortChildren(note, &before);
        auto change = std::make_unique<TOrderChange>(*TopicTreeModel, std::move(before));
        change->Subject = note->Title();
        RecordTreeChange(std::move(change), note, u"undo_sort"_s, u"Sort"_s);
    }
}

void TfrmMain::MoveSelected(int direction)
{
    TNote *note = TopicTree->selectedNote();
    if (!note)
        return;
    TNote *parent = note->Parent();
    const int row = note->Row();
    if (TopicTreeModel->MoveNote(note, direction)) {
        TopicTree->selectNote(note);
        RecordTreeChange(std::make_unique<TMoveChange>(note, parent, row), note, u"undo_move"_s,
                         u"Move"_s);
        TopicTree->ScrollToLeft();
    }
}

void TfrmMain::miCopyLinkClick()
{
    if (TNote *note = TopicTree->selectedNote())
        SetClipboardText(TNoteTree::GetNoteLink(note));
}

void TfrmMain::btnPasteSiblingClick(int mode)
{
    const QString clip = GetClipboardText();
    const QString title = MainText::TitleFromClipboardText(clip, text(u"new_note"_s));
    StoreEditorText();
    TNote *selected = TopicTree->selectedNote();
    TNote *note = TopicTreeModel->AddNote(selected, title, mode, clip);
    setSelected(note);
    RecordTreeChange(std::make_unique<TInsertChange>(*TopicTreeModel, std::vector<TNote *>{note}),
                     selected, u"undo_paste"_s, u"Paste"_s);
}

void TfrmMain::miSetNoteCaptionClick()
{
    TNote *note = TopicTree->selectedNote();
    if (!note)
        return;
    const QString title = MainText::TitleFromSelection(Notes->textCursor().selectedText());
    if (title.isEmpty())
        return;
    auto change = std::make_unique<TTextChange>(std::vector<TNote *>{note});
    TopicTreeModel->SetTitle(note, title);
    change->Finish();
    RecordTreeChange(std::move(change), note, u"undo_rename"_s, u"Rename"_s);
}

void TfrmMain::miGotoInternalLinkClick()
{
    TNote *target = LinkTarget();
    if (!target)
        return;
    m_backNote = TopicTreeModel->IndexOf(TopicTree->selectedNote());
    setSelected(target);
}

void TfrmMain::Back()
{
    if (TNote *back = BackNote()) {
        m_linkTarget = TopicTreeModel->IndexOf(back);
        miGotoInternalLinkClick();
    }
}

void TfrmMain::TopicTreeDragDrop(TNote *dragged, TNote *target, bool nest)
{
    if (!dragged || !target)
        return;
    TNote *parent = dragged->Parent();
    const int row = dragged->Row();
    bool moved = false;
    if (nest)
        moved = TopicTreeModel->PlaceNote(dragged, target, imLastChild);
    else if (target->NextSibling())
        moved = TopicTreeModel->PlaceNote(dragged, target, imAfter);
    else if (target->PrevSibling())
        moved = TopicTreeModel->PlaceNote(dragged, target, imLastSibling);
    else
        moved = TopicTreeModel->PlaceNote(dragged, target, imFirstSibling);
    if (!moved)
        return;
    TopicTree->selectNote(dragged);
    RecordTreeChange(std::make_unique<TMoveChange>(dragged, parent, row), dragged, u"undo_drag"_s,
                     u"Drag"_s);
}

bool TfrmMain::treeKey(QKeyEvent *event)
{
    if (TopicTree->isEditingTitle())
        return false;
    if (event->key() == Qt::Key_Insert) {
        if (event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)
            && TopicTree->selectedNote())
            btnPasteSiblingClick(imFirstChild);
        return true;
    }
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::NoModifier)
        return true; // Tab never moves the focus away from the tree
    const QString typed = event->text();
    if (typed.size() != 1 || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    if (TopicTree->selectedNote())
        updateCommandStates();
    switch (typed[0].unicode()) {
    case u'*':
    case u'-':
        if (typed[0] == u'*') {
            TopicTree->expandAllNotes();
        } else {
            TopicTree->collapseAll();
            // A note inside a collapsed branch gives the selection to its top note.
            if (TNote *note = TopicTree->selectedNote()) {
                while (note->Parent())
                    note = note->Parent();
                TopicTree->selectNote(note);
            }
        }
        ShowNote(TopicTree->selectedNote());
        return true;
    case u'a':
    case u'A':
        btnPasteSiblingClick(imAfter);
        return true;
    case u'i':
    case u'I':
        btnPasteSiblingClick(imFirstChild);
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------- editor commands

int TfrmMain::NotesMouseDown(const QPoint &pos, bool doubleClick)
{
    const TLinkInfo link = Notes->LinkAt(pos);
    m_linkText = link.Text;
    QString caption = link.Text;
    if (caption.size() > 32)
        caption = caption.left(32) + u"..."_s;
    QAction *gotoUrl = action("miGotoUrl");
    gotoUrl->setText(QString(caption).replace(u'&', u"&&"_s));
    const bool address = link.Kind == lkWebAddress || link.Kind == lkFtpAddress
        || link.Kind == lkMailAddress;
    gotoUrl->setVisible(address);
    action("miCopyUrl")->setVisible(address);
    action("miOpenInNew")->setVisible(link.Kind == lkWebAddress);
    const bool internal = link.Kind == lkNoteLink || link.Kind == lkTitleLink;
    action("miGotoInternalLink")->setVisible(internal);
    TNote *target = nullptr;
    if (link.Kind == lkNoteLink)
        target = TopicTreeModel->FindByLink(link.Text);
    else if (link.Kind == lkTitleLink)
        target = TopicTreeModel->FindByTitle(link.Text);
    m_linkTarget = TopicTreeModel->IndexOf(target);
    if (doubleClick) {
        if (address || link.Kind == lkFileLink)
            openLink(link.Text);
        else
            miGotoInternalLinkClick();
    }
    return link.Kind;
}

void TfrmMain::openLink(const QString &target)
{
    // The press of a double-click has opened the link already.
    if (target.isEmpty()
        || (target == m_lastOpenedLink && m_lastOpenedAt.isValid()
            && m_lastOpenedAt.elapsed() < 2 * QApplication::doubleClickInterval()))
        return;
    m_lastOpenedLink = target;
    m_lastOpenedAt.start();
    ShellOpen(target, false);
}

void TfrmMain::miEditUndoClick()
{
    Notes->undo();
    SetModified(true);
}

void TfrmMain::miEditCutClick()
{
    Notes->CutText();
    SetModified(true);
}

void TfrmMain::miEditCopyClick()
{
    Notes->CopyText();
}

void TfrmMain::miEditPasteClick()
{
    Notes->PasteText();
    SetModified(true);
}

void TfrmMain::miEditSortLinesClick()
{
    Notes->SortLines();
    SetModified(true);
}

void TfrmMain::miSettingsWordWrapClick()
{
    ++m_editorLoading;
    Notes->SetWordWrap(action("miSettingsWordWrap")->isChecked());
    Settings->WordWrap = Notes->WordWrap();
    --m_editorLoading;
}

void TfrmMain::miGotoUrlClick()
{
    if (!m_linkText.isEmpty())
        ShellOpen(m_linkText, false);
}

void TfrmMain::miOpenInNewClick()
{
    if (!m_linkText.isEmpty())
        ShellOpen(m_linkText, true);
}

void TfrmMain::miCopyUrlClick()
{
    QString url = m_linkText;
    if (url.contains(u"mailto:"_s))
        url.remove(0, 7);
    SetClipboardText(url);
}

bool TfrmMain::editorKey(QKeyEvent *event)
{
    if (const char *item = editorItemFor(event)) {
        // Like the pop-up's own keys: its opening rules first, then the item.
        updateCommandStates();
        QAction *a = action(item);
        if (a->isEnabled())
            a->trigger();
        return true;
    }
    return false;
}

bool TfrmMain::ownedKey(QKeyEvent *event)
{
    // A key that a main-menu item owns acts only through that item: a disabled one
    // does nothing, and the editor never sees the key (Ctrl+Del would delete a word).
    const QKeySequence pressed(event->keyCombination());
    for (QAction *a : actions()) {
        if (a->shortcut().isEmpty() || a->shortcut() != pressed)
            continue;
        updateCommandStates();
        if (a->isEnabled())
            a->trigger();
        return true;
    }
    return false;
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    // The title being edited in place counts as the tree for the window's own keys.
    const bool titleEditor = watched != TopicTree && watched->isWidgetType()
        && TopicTree->isAncestorOf(static_cast<QWidget *>(watched));
    const bool mainControl = watched == Notes || watched == TopicTree || titleEditor;
    if (type == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        // Keys that the editor's and the tree's own handling must get before the menus.
        if ((mainControl && key->key() == Qt::Key_B && key->modifiers() == Qt::AltModifier)
            || (watched == Notes && editorItemFor(key))
            || (watched == TopicTree && key->key() == Qt::Key_Insert
                && key->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier))) {
            event->accept();
            return true;
        }
    } else if (type == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (mainControl && key->key() == Qt::Key_Tab && key->modifiers() == Qt::ControlModifier) {
            focusNextChild();
            return true;
        }
        if (mainControl && key->key() == Qt::Key_B && key->modifiers() == Qt::AltModifier) {
            Back();
            return true;
        }
        if (watched == TopicTree) {
            // A key that a menu item owns never reaches the tree, even while that
            // item is disabled.
            const QKeySequence pressed(key->keyCombination());
            for (const QAction *a : actions() + TopicTree->actions()) {
                if (!a->shortcut().isEmpty() && a->shortcut() == pressed)
                    return true;
            }
            return treeKey(key);
        }
        if (watched == Notes)
            return editorKey(key) || ownedKey(key);
    }
    return QMainWindow::eventFilter(watched, event);
}
