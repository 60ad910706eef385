#include "find/Find.h"

#include "app/Main.h"
#include "app/MessageService.h"
#include "app/qkRichedit.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/NoteUndo.h"
#include "settings/LngMan.h"
#include "settings/LngManGui.h"
#include "settings/Settings.h"
#include "settings/Utils.h"
#include "settings/UtilsGui.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTextBlock>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// Shows the busy cursor until the step is done, however it ends.
auto busyCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    return qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
}

void setHistory(QComboBox *box, const QStringList &history)
{
    const QString text = box->currentText();
    const QSignalBlocker block(box);
    box->clear();
    box->addItems(history);
    box->setEditText(text);
}

QComboBox *historyBox(QWidget *parent, const char *name, const QString &hint)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setEditable(true);
    // The history is kept by the dialog: Enter searches, it adds no item.
    box->setInsertPolicy(QComboBox::NoInsert);
    // What was typed is what is searched for or written: completed without regard to
    // case, a typed "CAT" would become the history's "cat" when the focus leaves.
    box->completer()->setCaseSensitivity(Qt::CaseSensitive);
    box->setToolTip(hint);
    box->setMinimumContentsLength(24);
    return box;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &caption, bool checked)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(checked);
    return box;
}

// The selected text of the editor in the body's text form.
QString selectedBodyText(const TqkRichedit *editor)
{
    return EditorTextToBodyText(editor->textCursor().selectedText());
}

// Keys the dialog takes for itself come without modifiers; Enter on the keypad carries
// the keypad one and is Return all the same.
bool isPlainKey(const QKeyEvent *key)
{
    return (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

bool anyAncestorCollapsed(const TNoteTreeView *view, const TNote *note)
{
    const TNoteTree *tree = view->noteTree();
    for (const TNote *p = note->Parent(); p; p = p->Parent()) {
        if (!view->isExpanded(tree->IndexOf(p)))
            return true;
    }
    return false;
}

} // namespace

TfrmSearchReplace::TfrmSearchReplace(TfrmMain *main)
    : QDialog(main, DialogWindowFlags), m_main(main), m_search(main->TopicTreeModel)
{
    Q_ASSERT(main);
    setObjectName(u"frmSearchReplace"_s);
    setWindowTitle(u"Find/Replace"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    m_optionsKey = TFindOptions::KeyFor(Settings ? Settings->Key : u"Software\\Vellumtree\\"_s);
    createControls();
    FormCreate();
    // Notes that go (a new or opened document, a deleted branch) must not stay the
    // scope: the next search takes it again from the selection.
    auto noteGone = [this] {
        m_scopeNote = nullptr;
        m_search.CurrentNote = nullptr;
        m_search.ScopeStart = nullptr;
        m_search.ScopeStop = nullptr;
        m_search.TitlePosition = 0;
        m_search.BodyPosition = 0;
        m_scopeLost = true;
    };
    m_treeConnections = {
        connect(main->TopicTreeModel, &QAbstractItemModel::modelReset, this, noteGone),
        connect(main->TopicTreeModel, &QAbstractItemModel::rowsRemoved, this, noteGone),
    };
}

TfrmSearchReplace::~TfrmSearchReplace()
{
    // The controls outlive this body: hiding the dialog and deleting them takes the
    // focus from a box, whose finished edit can change its text. No handler may run
    // on the dialog after this. The tree may be gone already (the main window deletes
    // it first), so its connections go by handle.
    for (QObject *child : findChildren<QObject *>()) {
        child->disconnect(this);
        child->removeEventFilter(this);
    }
    for (const QMetaObject::Connection &connection : m_treeConnections)
        disconnect(connection);
    // FormDestroy: the options outlive the dialog.
    m_options.WatchCase = cbCaseSensitive->isChecked();
    m_options.WholeWords = cbWholeWords->isChecked();
    m_options.SearchNames = cbSearchTitles->isChecked();
    m_options.SearchNotes = cbSearchNotes->isChecked();
    m_options.Scope = scopeIndex();
    m_options.Save(m_optionsKey);
}

TfrmSearchReplace *TfrmSearchReplace::OpenOver(const QWidget *main)
{
    if (!main)
        return nullptr;
    const QList<TfrmSearchReplace *> dialogs
        = main->findChildren<TfrmSearchReplace *>(QString(), Qt::FindDirectChildrenOnly);
    for (TfrmSearchReplace *dialog : dialogs) {
        if (!dialog->m_closed)
            return dialog;
    }
    return nullptr;
}

void TfrmSearchReplace::createControls()
{
    lblSearch = new QLabel(u"&Text to find:"_s, this);
    lblSearch->setObjectName(u"lblSearch"_s);
    cbxSearch = historyBox(this, "cbxSearch", u"Type in text to search for"_s);
    lblSearch->setBuddy(cbxSearch);
    lblReplace = new QLabel(u"R&eplace with:"_s, this);
    lblReplace->setObjectName(u"lblReplace"_s);
    cbxReplace = historyBox(this, "cbxReplace", u"Replace found text with"_s);
    lblReplace->setBuddy(cbxReplace);

    cbSearchNotes = checkBox(this, "cbSearchNotes", u"Search in &Notes"_s, true);
    cbSearchTitles = checkBox(this, "cbSearchTitles", u"Search in &Titles"_s, false);
    cbCaseSensitive = checkBox(this, "cbCaseSensitive", u"&Case sensitive"_s, false);
    cbWholeWords = checkBox(this, "cbWholeWords", u"&Whole words"_s, false);

    rgSearchScope = new QGroupBox(u"Scope:"_s, this);
    rgSearchScope->setObjectName(u"rgSearchScope"_s);
    auto *scopeLayout = new QHBoxLayout(rgSearchScope);
    m_scopeButtons = new QButtonGroup(this);
    const QString scopes[] = {u"Active n&ote"_s, u"Active branc&h"_s, u"Entire tr&ee"_s};
    for (int i = 0; i < 3; ++i) {
        auto *radio = new QRadioButton(scopes[i], rgSearchScope);
        scopeLayout->addWidget(radio);
        m_scopeButtons->addButton(radio, i);
    }
    m_scopeButtons->button(0)->setChecked(true);

    btnFind = button(this, "btnFind", u"&Find"_s);
    btnFindNext = button(this, "btnFindNext", u"Find &Next"_s);
    btnFindNext->setDefault(true);
    btnReplace = button(this, "btnReplace", u"&Replace"_s);
    btnReplaceAll = button(this, "btnReplaceAll", u"Replace &All"_s);
    btnCancel = button(this, "btnCancel", u"Cancel"_s);
    btnFind->setEnabled(false);
    btnFindNext->setEnabled(false);

    auto *fields = new QGridLayout;
    fields->addWidget(lblSearch, 0, 0);
    fields->addWidget(cbxSearch, 0, 1);
    fields->addWidget(lblReplace, 1, 0);
    fields->addWidget(cbxReplace, 1, 1);
    auto *checks = new QGridLayout;
    checks->addWidget(cbSearchNotes, 0, 0);
    checks->addWidget(cbCaseSensitive, 0, 1);
    checks->addWidget(cbSearchTitles, 1, 0);
    checks->addWidget(cbWholeWords, 1, 1);
    auto *left = new QVBoxLayout;
    left->addLayout(fields);
    left->addLayout(checks);
    left->addWidget(rgSearchScope);
    left->addStretch();
    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : {btnFind, btnFindNext, btnReplace, btnReplaceAll, btnCancel})
        buttons->addWidget(b);
    buttons->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);
    setSizeGripEnabled(false);

    connect(cbxSearch, &QComboBox::editTextChanged, this, &TfrmSearchReplace::cbxSearchChange);
    connect(cbxReplace, &QComboBox::editTextChanged, this, &TfrmSearchReplace::cbxReplaceChange);
    connect(cbCaseSensitive, &QCheckBox::toggled, this, &TfrmSearchReplace::cbCaseSensitiveClick);
    connect(cbWholeWords, &QCheckBox::toggled, this, &TfrmSearchReplace::cbWholeWordsClick);
    // Both "Search in" boxes share one handler, also when code checks them.
    connect(cbSearchTitles, &QCheckBox::toggled, this, &TfrmSearchReplace::cbSearchTitlesClick);
    connect(cbSearchNotes, &QCheckBox::toggled, this, &TfrmSearchReplace::cbSearchTitlesClick);
    connect(m_scopeButtons, &QButtonGroup::idClicked, this,
            &TfrmSearchReplace::rgSearchScopeClick);
    connect(btnFind, &QPushButton::clicked, this, &TfrmSearchReplace::btnFindClick);
    connect(btnFindNext, &QPushButton::clicked, this, &TfrmSearchReplace::btnFindNextClick);
    connect(btnReplace, &QPushButton::clicked, this, &TfrmSearchReplace::btnReplaceClick);
    connect(btnReplaceAll, &QPushButton::clicked, this, &TfrmSearchReplace::btnReplaceAllClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmSearchReplace::btnCancelClick);

    // The dialog sees the keys before its controls (the lists of the boxes, which are
    // windows of their own, keep theirs).
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
    TabToCheckedRadio(this);
}

void TfrmSearchReplace::FormCreate()
{
    m_options.Load(m_optionsKey);
    setHistory(cbxSearch, m_options.FindHistory);
    setHistory(cbxReplace, m_options.ReplaceHistory);
    {
        const QSignalBlocker titles(cbSearchTitles);
        const QSignalBlocker notes(cbSearchNotes);
        cbCaseSensitive->setChecked(m_options.WatchCase);
        cbWholeWords->setChecked(m_options.WholeWords);
        cbSearchTitles->setChecked(m_options.SearchNames);
        cbSearchNotes->setChecked(m_options.SearchNotes);
    }
    m_scopeButtons->button(m_options.Scope)->setChecked(true);
    m_search.Found = false;

    const QString selection = selectedBodyText(m_main->Notes);
    if (!selection.isEmpty())
        cbxSearch->setEditText(selection);
    else if (!m_options.FindHistory.isEmpty())
        cbxSearch->setEditText(m_options.FindHistory.first());
    if (!m_options.ReplaceHistory.isEmpty())
        cbxReplace->setEditText(m_options.ReplaceHistory.first());

    cbxSearchChange();
    cbxReplaceChange();
    cbCaseSensitiveClick();
    cbWholeWordsClick();
    cbSearchTitlesClick();
    rgSearchScopeClick();
}

void TfrmSearchReplace::TakeEditorSelection()
{
    const QString selection = selectedBodyText(m_main->Notes);
    if (!selection.isEmpty())
        cbxSearch->setEditText(selection);
}

void TfrmSearchReplace::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmSearchReplace::FormShow()
{
    TranslateForm(this, false);
    if (QAction *search = m_main->findChild<QAction *>(u"btnSearch"_s))
        search->setEnabled(false);
}

void TfrmSearchReplace::closeEvent(QCloseEvent *event)
{
    QDialog::closeEvent(event);
    if (!event->isAccepted())
        return;
    m_closed = true;
    if (QAction *search = m_main->findChild<QAction *>(u"btnSearch"_s))
        search->setEnabled(true);
}

bool TfrmSearchReplace::FormKeyDown(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F3:
        btnFindNextClick();
        return true;
    case Qt::Key_Escape:
        close();
        return true;
    default:
        return false;
    }
}

bool TfrmSearchReplace::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *widget = qobject_cast<QWidget *>(watched);
        const auto *key = static_cast<QKeyEvent *>(event);
        if (widget && widget->window() == this && isPlainKey(key) && FormKeyDown(key->key()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmSearchReplace::keyPressEvent(QKeyEvent *event)
{
    if (isPlainKey(event) && FormKeyDown(event->key()))
        return;
    QDialog::keyPressEvent(event);
}

int TfrmSearchReplace::scopeIndex() const
{
    return std::max(m_scopeButtons->checkedId(), 0);
}

void TfrmSearchReplace::updateMatcher()
{
    m_search.Matcher = TTextMatcher(m_searchText, m_caseSensitive, m_wholeWords);
}

void TfrmSearchReplace::cbxSearchChange()
{
    m_searchText = cbxSearch->currentText();
    const bool any = !m_searchText.isEmpty();
    for (QPushButton *b : {btnFind, btnFindNext, btnReplace, btnReplaceAll})
        b->setEnabled(any);
    updateMatcher();
}

void TfrmSearchReplace::cbxReplaceChange()
{
    m_replacement = cbxReplace->currentText();
}

void TfrmSearchReplace::cbCaseSensitiveClick()
{
    m_caseSensitive = cbCaseSensitive->isChecked();
    updateMatcher();
}

void TfrmSearchReplace::cbWholeWordsClick()
{
    m_wholeWords = cbWholeWords->isChecked();
    updateMatcher();
}

void TfrmSearchReplace::cbSearchTitlesClick()
{
    // At least the bodies are always searched.
    if (!cbSearchTitles->isChecked() && !cbSearchNotes->isChecked())
        cbSearchNotes->setChecked(true); // comes back here
    m_search.Where = (cbSearchTitles->isChecked() ? swTitles : 0)
        | (cbSearchNotes->isChecked() ? swBodies : 0);
}

void TfrmSearchReplace::rgSearchScopeClick()
{
    const int scope = scopeIndex();
    if (scope == ssActiveNote) {
        cbSearchTitles->setEnabled(false);
        cbSearchNotes->setChecked(true);
    } else {
        cbSearchTitles->setEnabled(true);
    }
    m_search.Scope = scope;
    m_scopeNote = m_main->TopicTree->selectedNote();
    m_scopeLost = false;
    ComputeScope();
}

void TfrmSearchReplace::addToHistories()
{
    AddToHistory(m_options.FindHistory, m_searchText, TFindOptions::HistorySize);
    setHistory(cbxSearch, m_options.FindHistory);
    if (!m_replacement.isEmpty()) {
        AddToHistory(m_options.ReplaceHistory, m_replacement, TFindOptions::HistorySize);
        setHistory(cbxReplace, m_options.ReplaceHistory);
    }
}

void TfrmSearchReplace::btnFindClick()
{
    AddToHistory(m_options.FindHistory, m_searchText, TFindOptions::HistorySize);
    setHistory(cbxSearch, m_options.FindHistory);
    // What was typed since the dialog opened is searched too.
    m_main->StoreEditorText();
    RunSearch(true);
}

void TfrmSearchReplace::btnFindNextClick()
{
    m_main->StoreEditorText();
    RunSearch(false);
}

void TfrmSearchReplace::ComputeScope()
{
    if (m_scopeLost) {
        m_scopeLost = false;
        m_scopeNote = m_main->TopicTree->selectedNote();
    }
    // From the tree as it is now: sorting, moving or adding notes since moves the
    // first note of the tree and the end of a branch.
    m_search.ComputeScope(m_scopeNote);
}

void TfrmSearchReplace::RunSearch(bool fromScopeStart)
{
    ComputeScope();
    // Find Next goes on from the note selected in the tree, in another note than the
    // one searched last from its beginning.
    TNote *from = fromScopeStart ? m_search.ScopeStart : m_main->TopicTree->selectedNote();
    if (!from)
        return;
    {
        const auto restore = busyCursor();
        if (fromScopeStart)
            m_search.Find();
        else
            m_search.FindNext(from);
    }
    ShowResult();
}

QString TfrmSearchReplace::caption() const
{
    return LanguageManager().GetString(u"FindForm.Caption"_s, u"FindForm"_s);
}

void TfrmSearchReplace::ShowResult()
{
    if (!m_search.Found) {
        setWindowTitle(caption());
        QString message = LanguageManager().GetString(u"not_found"_s, u"Strings"_s);
        message.replace(u"%s"_s, m_searchText).replace(u'|', u'\n');
        const auto answer = TMessageService::Ask(m_main, message,
                                                 QMessageBox::Yes | QMessageBox::No,
                                                 QMessageBox::Yes);
        if (answer == QMessageBox::Yes)
            btnFindClick();
        return;
    }
    TNote *note = m_search.CurrentNote;
    TNoteTreeView *view = m_main->TopicTree;
    if (note != view->selectedNote() || anyAncestorCollapsed(view, note)) {
        view->selectNote(note);
        m_main->ShowNote(note);
    }
    TqkRichedit *editor = m_main->Notes;
    if (m_search.BodyPosition != 0) {
        // The body counts CR LF as two characters, the editor a line break as one.
        const QString body = note->BodyText();
        const qsizetype start = BodyPosToEditorPos(body, m_search.BodyPosition - 1);
        const qsizetype end
            = BodyPosToEditorPos(body, m_search.BodyPosition - 1 + m_search.Matcher.Length());
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(static_cast<int>(start));
        cursor.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
        editor->setTextCursor(cursor);
        editor->ensureCursorVisible();
        m_search.MatchShown();
        MoveClearOfMatch();
    } else {
        m_search.MatchShown();
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(0);
        editor->setTextCursor(cursor);
        QCoreApplication::processEvents();
        cursor.clearSelection();
        editor->setTextCursor(cursor);
    }
    view->ScrollToLeft();
    setWindowTitle(caption() + u" ["_s + ShortenText(note->Title(), 20) + u"]"_s);
    m_search.Found = false;
}

void TfrmSearchReplace::MoveClearOfMatch()
{
    // Where the compositor places the windows the dialog stays where it is put.
    if (!CanPlaceWindows())
        return;
    const QTextCursor cursor = m_main->Notes->textCursor();
    QPoint a;
    QPoint b;
    CharPosToScreen(m_main->Notes, cursor.selectionStart(), a);
    CharPosToScreen(m_main->Notes, cursor.selectionEnd(), b);
    b.ry() += 20;
    const QRect frame = frameGeometry();
    if (!frame.contains(a) && !frame.contains(b))
        return;
    const QPoint mouse = QCursor::pos() - frame.topLeft();
    const int h = frame.height();
    const QScreen *screen = this->screen();
    const int screenHeight = screen ? screen->geometry().height() : 0;
    int top = frame.top();
    if (h + 20 < a.y())
        top = a.y() - 20 - h;
    else if (a.y() + h < screenHeight)
        top = a.y() + 40;
    else
        return;
    move(frame.left(), top);
    QCursor::setPos(frameGeometry().topLeft() + mouse);
}

void TfrmSearchReplace::btnReplaceClick()
{
    addToHistories();
    TqkRichedit *editor = m_main->Notes;
    QTextCursor cursor = editor->textCursor();
    const QString editorText = editor->EditorText();
    // A selection made by hand is replaced only when it is what Find would select.
    const bool wholeWord = !m_wholeWords
        || m_search.Matcher.IsWholeWord(editorText, cursor.selectionStart() + 1);
    TNote *note = m_main->TopicTree->selectedNote();
    if (!note || !cursor.hasSelection() || !m_search.Matcher.Equals(selectedBodyText(editor))
        || !wholeWord) {
        btnFindNextClick();
        return;
    }
    const int s = cursor.selectionStart();
    const QString inserted = BodyTextToEditorText(m_replacement);
    // The note holds what was typed before the replacement, so that taking the
    // replacement back keeps it.
    m_main->StoreEditorText();
    auto change = std::make_unique<TTextChange>(std::vector<TNote *>{note});
    cursor.insertText(inserted);
    m_main->StoreEditorText();
    change->Finish();
    cursor.setPosition(s);
    cursor.setPosition(s + static_cast<int>(inserted.size()), QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
    m_main->RecordTreeChange(std::move(change), note, u"undo_replace"_s, u"Replace"_s);
    // Find Next goes on after the inserted text, as Replace All does.
    const QString updated = editor->EditorText();
    m_search.CurrentNote = note;
    m_search.TitlePosition = 0;
    m_search.BodyPosition = EditorPosToBodyPos(updated, s + inserted.size()) + 1;
    RunSearch(false);
}

void TfrmSearchReplace::btnReplaceAllClick()
{
    int count = 0;
    {
        const auto restore = busyCursor();
        addToHistories();
        // Text typed since is replaced too, and the editor is reloaded from the
        // notes below, so nothing typed is lost.
        m_main->StoreEditorText();
        ComputeScope();
        TNote *selected = m_main->TopicTree->selectedNote();
        auto change = std::make_unique<TTextChange>(
            m_search.Scope == ssActiveNote ? std::vector<TNote *>{m_search.ScopeStart}
                                           : TTextChange::AllNotes(*m_main->TopicTreeModel));
        TNote *last = nullptr;
        count = m_search.ReplaceInScope(m_replacement, &last);
        if (count > 0) {
            change->Finish();
            TNoteTreeView *view = m_main->TopicTree;
            // The editor must hold the selected note's new text before the selection
            // moves, or leaving the note would store the old text back.
            m_main->ShowNote(view->selectedNote());
            view->selectNote(last);
            m_main->ShowNote(last);
            m_main->RecordTreeChange(std::move(change), selected, u"undo_replace_all"_s,
                                     u"Replace All"_s);
        }
    }
    // A report, not a question: Replace All has gone through the whole scope.
    QString key = u"replaced"_s;
    if (count == 0)
        key = u"text_not_found"_s;
    else if (count == 1)
        key = u"replaced_one"_s;
    // Line breaks first, so that a "|" in the search text stays as it is.
    const QString text = LanguageManager().GetString(key, u"Strings"_s).replace(u'|', u'\n');
    TMessageService::Notify(m_main,
                            FormatString(text, count == 0 ? m_searchText : QString::number(count)));
}

void TfrmSearchReplace::btnCancelClick()
{
    close();
}
