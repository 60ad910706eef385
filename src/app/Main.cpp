// The main window: its components, start-up, settings and closing. The document's
// life is in MainDocument.cpp, the commands on notes and text in MainCommands.cpp,
// their enabling in MainCommandStates.cpp.

#include "app/Main.h"

#include "app/CommandLine.h"
#include "app/HotKey.h"
#include "app/MessageService.h"
#include "app/WindowPlacement.h"
#include "app/qkRichedit.h"
#include "find/Find.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/NoteUndo.h"
#include "notes/Pass.h"
#include "notes/Recovery.h"
#include "settings/LngMan.h"
#include "settings/LngManGui.h"
#include "settings/Settings.h"
#include "settings/SettingsGui.h"
#include "settings/UtilsGui.h"
#include "settings/qkMRUList.h"
#include "settings/qkMRUMenus.h"
#include "widgets/IcoList.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QMenuBar>
#include <QScreen>
#include <QSessionManager>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The images of the toolbar strip that the main window uses.
enum ImageIndex {
    imgNew = 0,
    imgOpen = 1,
    imgSave = 2,
    imgSaveAs = 3,
    imgCut = 4,
    imgCopy = 5,
    imgPaste = 6,
    imgUndo = 7,
    imgAbout = 8,
    imgExit = 9,
    imgOptions = 10,
    imgPrint = 11,
    imgSearch = 12,
    imgRestore = 13,
    imgHide = 14,
    imgTrayExit = 15,
    imgNote = 17,
};

QAction *makeAction(QObject *owner, const char *name, const QString &caption,
                    const QKeySequence &key = {})
{
    auto *a = new QAction(caption, owner);
    a->setObjectName(QLatin1String(name));
    if (!key.isEmpty())
        a->setShortcut(key);
    return a;
}

QMenu *makeMenu(QWidget *owner, const char *name, const QString &caption)
{
    auto *menu = new QMenu(caption, owner);
    menu->setObjectName(QLatin1String(name));
    menu->menuAction()->setObjectName(QLatin1String(name));
    return menu;
}

} // namespace

std::function<QString(TfrmMain *, bool, const QString &)> TfrmMain::ChooseFile;

TfrmMain::TfrmMain(const TStartup &startup, QWidget *parent)
    : QMainWindow(parent), m_startup(startup)
{
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"Vellumtree"_s);
    setWindowIcon(MainIcon());
    resize(624, 486);
    move(392, 226);
    createActions();
    createMenus();
    createToolbars();
    createLayout();
    nameControls();
    connectCommands();
    connectDialogCommands();
    FormCreate();
}

TfrmMain::~TfrmMain()
{
    // The children are destroyed after this body and move the focus and selection as
    // they go: no notification may reach the half-destroyed window.
    for (QObject *sender : std::initializer_list<QObject *>{
             qApp, QGuiApplication::clipboard(), Notes, TopicTree, TopicTreeModel})
        sender->disconnect(this);
    if (Settings == m_settings.get())
        Settings = nullptr;
}

QString TfrmMain::ProgramFolder()
{
    return QCoreApplication::applicationDirPath();
}

QAction *TfrmMain::action(const char *name) const
{
    // The enabling update asks for some sixty actions many times a second.
    QPointer<QAction> &cached = m_actions[QByteArray(name)];
    if (!cached)
        cached = findChild<QAction *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    return cached;
}

QMenu *TfrmMain::menu(const char *name) const
{
    QPointer<QMenu> &cached = m_menus[QByteArray(name)];
    if (!cached)
        cached = findChild<QMenu *>(QLatin1String(name));
    return cached;
}

QString TfrmMain::text(const QString &key) const
{
    return LanguageManager().GetString(key, u"Strings"_s);
}

QString TfrmMain::message(const QString &key, const QString &value) const
{
    return FormatString(text(key).replace(u'|', u'\n'), value);
}

void TfrmMain::createActions()
{
    // File
    connect(makeAction(this, "miFileNew", u"&New"_s, QKeySequence(u"Ctrl+N"_s)),
            &QAction::triggered, this, &TfrmMain::miFileNewClick);
    connect(makeAction(this, "miFileOpen", u"&Open..."_s, QKeySequence(u"Ctrl+O"_s)),
            &QAction::triggered, this, &TfrmMain::miFileOpenClick);
    connect(makeAction(this, "miFileSave", u"&Save"_s, QKeySequence(u"Ctrl+S"_s)),
            &QAction::triggered, this, &TfrmMain::miFileSaveClick);
    connect(makeAction(this, "miFileSaveAs", u"Save &As..."_s, QKeySequence(u"F12"_s)),
            &QAction::triggered, this, &TfrmMain::miFileSaveAsClick);
    connect(makeAction(this, "miFileExport", u"&Export..."_s, QKeySequence(u"Ctrl+E"_s)),
            &QAction::triggered, this, &TfrmMain::miFileExportClick);
    connect(makeAction(this, "miFileImport", u"&Import..."_s, QKeySequence(u"Ctrl+I"_s)),
            &QAction::triggered, this, &TfrmMain::miFileImportClick);
    connect(makeAction(this, "miFileEncrypt", u"En&crypt..."_s, QKeySequence(u"Ctrl+R"_s)),
            &QAction::triggered, this, &TfrmMain::miFileEncryptClick);
    connect(makeAction(this, "miFilePrint", u"&Print..."_s, QKeySequence(u"Ctrl+P"_s)),
            &QAction::triggered, this, &TfrmMain::miFilePrintClick);
    connect(makeAction(this, "miFileExit", u"E&xit"_s, QKeySequence(u"Alt+X"_s)),
            &QAction::triggered, this, &TfrmMain::miFileExitClick);

    // Edit
    makeAction(this, "miEditUndo", u"&Undo"_s, QKeySequence(u"Ctrl+Z"_s));
    makeAction(this, "miEditRedo", u"&Redo"_s, QKeySequence(u"Ctrl+Y"_s))
        ->setShortcuts({QKeySequence(u"Ctrl+Y"_s), QKeySequence(u"Ctrl+Shift+Z"_s)});
    makeAction(this, "miEditCut", u"&Cut"_s, QKeySequence(u"Ctrl+X"_s));
    makeAction(this, "miEditCopy", u"&Copy"_s, QKeySequence(u"Ctrl+C"_s));
    makeAction(this, "miEditPaste", u"&Paste"_s, QKeySequence(u"Ctrl+V"_s));
    makeAction(this, "miEditSelectAll", u"Select &All"_s, QKeySequence(u"Ctrl+A"_s));
    makeAction(this, "miInsertDate", u"&Date"_s, QKeySequence(u"Ctrl+D"_s));
    makeAction(this, "miInsertDateLong", u"Date &Long"_s, QKeySequence(u"Ctrl+Shift+D"_s));
    makeAction(this, "miInsertTime", u"&Time"_s, QKeySequence(u"Ctrl+T"_s));
    makeAction(this, "miInsertDateTime", u"Date &and Time"_s, QKeySequence(u"Ctrl+Shift+T"_s));
    makeAction(this, "miEditSortLines", u"&Sort Lines"_s, QKeySequence(u"Ctrl+M"_s));
    connect(makeAction(this, "miEditSearch", u"S&earch/Replace..."_s, QKeySequence(u"Ctrl+F"_s)),
            &QAction::triggered, this, &TfrmMain::miEditSearchClick);

    // Notes
    makeAction(this, "miNotesAdd", u"&Add..."_s, QKeySequence(u"Ins"_s));
    makeAction(this, "miNotesDelete", u"&Delete"_s, QKeySequence(u"Ctrl+Del"_s));
    makeAction(this, "miNotesCut", u"C&ut"_s, QKeySequence(u"Ctrl+Shift+X"_s));
    makeAction(this, "miNotesCopy", u"&Copy"_s, QKeySequence(u"Ctrl+Shift+C"_s));
    makeAction(this, "miNotesPaste", u"&Paste"_s, QKeySequence(u"Ctrl+Shift+V"_s));
    makeAction(this, "miNotesRename", u"&Rename"_s, QKeySequence(u"F2"_s));
    makeAction(this, "miSortTree", u"&Entire tree"_s);
    makeAction(this, "miSortChildren", u"&Children"_s);
    makeAction(this, "miMoveUp", u"&Up"_s, QKeySequence(u"Alt+Up"_s));
    makeAction(this, "miMoveDown", u"&Down"_s, QKeySequence(u"Alt+Down"_s));
    makeAction(this, "miMoveLeft", u"&Left"_s, QKeySequence(u"Alt+Left"_s));
    makeAction(this, "miMoveRight", u"&Right"_s, QKeySequence(u"Alt+Right"_s));

    // Settings and help
    makeAction(this, "miSettingsOptions", u"&Options..."_s, QKeySequence(u"F9"_s));
    QAction *wrap = makeAction(this, "miSettingsWordWrap", u"&WordWrap"_s, QKeySequence(u"Ctrl+W"_s));
    wrap->setCheckable(true);
    // Ctrl+T belongs to Insert time, which comes first in the menus; the key is only
    // shown here.
    QAction *onTop = makeAction(this, "miSettingsOnTop", u"&Stay on top"_s);
    onTop->setCheckable(true);
    connect(makeAction(this, "miHelpContents", u"&Help contents"_s, QKeySequence(u"F1"_s)),
            &QAction::triggered, this, &TfrmMain::OpenHelpDocument);
    makeAction(this, "miHelpAbout", u"&About..."_s);

    // Tree pop-up
    makeAction(this, "miAddNote", u"&Add Note"_s, QKeySequence(u"Ctrl+Ins"_s));
    makeAction(this, "miDeleteNote", u"&Delete"_s);
    makeAction(this, "miCutNote", u"C&ut"_s);
    makeAction(this, "miCopyNote", u"&Copy"_s);
    makeAction(this, "miPasteNote", u"&Paste"_s);
    makeAction(this, "miCopyLink", u"Copy as &link"_s, QKeySequence(u"Ctrl+L"_s));

    // Editor pop-up
    makeAction(this, "miUndoEdit", u"&Undo"_s);
    makeAction(this, "miCutText", u"C&ut"_s);
    makeAction(this, "miCopyText", u"&Copy"_s);
    makeAction(this, "miPasteText", u"&Paste"_s);
    makeAction(this, "miSelectAll", u"Select &All"_s);
    makeAction(this, "miGotoUrl", u"&Go to URL"_s)->setVisible(false);
    makeAction(this, "miOpenInNew", u"Open in &new window"_s)->setVisible(false);
    makeAction(this, "miCopyUrl", u"Copy &URL"_s)->setVisible(false);
    makeAction(this, "miGotoInternalLink", u"&Go to intenal link"_s)->setVisible(false);
    makeAction(this, "miSetNoteCaption", u"To N&ote caption"_s);

    // Tray
    makeAction(this, "miRestore", u"Restore"_s);
    makeAction(this, "miHide", u"Hide"_s);
    connect(makeAction(this, "miExit", u"Exit"_s), &QAction::triggered, this,
            &TfrmMain::miFileExitClick);

    for (QAction *a : findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly)) {
        // The window's own keys work whichever control has the focus.
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }
    // The tree pop-up's keys act only while the tree has the focus.
    for (const char *name : {"miAddNote", "miCopyLink"}) {
        QAction *a = action(name);
        removeAction(a);
        a->setShortcutContext(Qt::WidgetShortcut);
    }
}

void TfrmMain::createMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(u"mnuMain"_s);

    QMenu *file = makeMenu(this, "miFile", u"&File"_s);
    file->addAction(action("miFileNew"));
    file->addAction(action("miFileOpen"));
    QMenu *reopen = makeMenu(this, "miFileReopen", u"&Reopen"_s);
    file->addMenu(reopen);
    file->addAction(action("miFileSave"));
    file->addAction(action("miFileSaveAs"));
    file->addSeparator();
    file->addAction(action("miFileExport"));
    file->addAction(action("miFileImport"));
    file->addSeparator();
    file->addAction(action("miFileEncrypt"));
    file->addAction(action("miFilePrint"));
    file->addSeparator();
    file->addAction(action("miFileExit"));
    bar->addMenu(file);

    QMenu *edit = makeMenu(this, "miEdit", u"&Edit"_s);
    edit->addAction(action("miEditUndo"));
    edit->addAction(action("miEditRedo"));
    edit->addAction(action("miEditCut"));
    edit->addAction(action("miEditCopy"));
    edit->addAction(action("miEditPaste"));
    edit->addAction(action("miEditSelectAll"));
    QMenu *insert = makeMenu(this, "miEditInsert", u"&Insert"_s);
    insert->addAction(action("miInsertDate"));
    insert->addAction(action("miInsertDateLong"));
    insert->addAction(action("miInsertTime"));
    insert->addAction(action("miInsertDateTime"));
    edit->addMenu(insert);
    edit->addAction(action("miEditSortLines"));
    edit->addAction(action("miEditSearch"));
    bar->addMenu(edit);

    QMenu *notes = makeMenu(this, "miNotes", u"&Notes"_s);
    notes->addAction(action("miNotesAdd"));
    notes->addAction(action("miNotesDelete"));
    notes->addAction(action("miNotesCut"));
    notes->addAction(action("miNotesCopy"));
    notes->addAction(action("miNotesPaste"));
    notes->addAction(action("miNotesRename"));
    QMenu *sort = makeMenu(this, "miNotesSort", u"&Sort"_s);
    sort->addAction(action("miSortTree"));
    sort->addAction(action("miSortChildren"));
    notes->addMenu(sort);
    QMenu *move = makeMenu(this, "miNotesMove", u"&Move"_s);
    move->addAction(action("miMoveUp"));
    move->addAction(action("miMoveDown"));
    move->addAction(action("miMoveLeft"));
    move->addAction(action("miMoveRight"));
    notes->addMenu(move);
    bar->addMenu(notes);

    QMenu *settings = makeMenu(this, "miSettings", u"&Settings"_s);
    settings->addAction(action("miSettingsOptions"));
    settings->addAction(action("miSettingsWordWrap"));
    settings->addAction(action("miSettingsOnTop"));
    bar->addMenu(settings);

    QMenu *help = makeMenu(this, "miHelp", u"&Help"_s);
    help->addAction(action("miHelpContents"));
    help->addAction(action("miHelpAbout"));
    bar->addMenu(help);

    mnuTree = makeMenu(this, "mnuTree", QString());
    mnuTree->addAction(action("miAddNote"));
    mnuTree->addAction(action("miDeleteNote"));
    mnuTree->addSeparator();
    mnuTree->addAction(action("miCutNote"));
    mnuTree->addAction(action("miCopyNote"));
    mnuTree->addAction(action("miPasteNote"));
    mnuTree->addSeparator();
    mnuTree->addAction(action("miCopyLink"));

    mnuEditor = makeMenu(this, "mnuEditor", QString());
    mnuEditor->addAction(action("miGotoUrl"));
    mnuEditor->addAction(action("miOpenInNew"));
    mnuEditor->addAction(action("miCopyUrl"));
    mnuEditor->addAction(action("miGotoInternalLink"));
    mnuEditor->addSeparator();
    mnuEditor->addAction(action("miUndoEdit"));
    mnuEditor->addSeparator();
    mnuEditor->addAction(action("miCutText"));
    mnuEditor->addAction(action("miCopyText"));
    mnuEditor->addAction(action("miPasteText"));
    mnuEditor->addSeparator();
    mnuEditor->addAction(action("miSelectAll"));
    mnuEditor->addAction(action("miSetNoteCaption"));

    mnuTray = makeMenu(this, "mnuTray", QString());
    mnuTray->addAction(action("miRestore"));
    mnuTray->addAction(action("miHide"));
    mnuTray->addAction(action("miExit"));
    mnuTray->setDefaultAction(action("miRestore"));

    mnuMRU = makeMenu(this, "mnuMRU", QString());

    // Menus are brought up to date just before they open, like at every idle moment.
    for (QMenu *menu : findChildren<QMenu *>())
        connect(menu, &QMenu::aboutToShow, this, &TfrmMain::updateCommandStates);
}

struct TfrmMain::TToolButton
{
    const char *name; // none: a separator
    const char *hint;
    int image;
    const char *command; // the menu item it runs, if any
};

void TfrmMain::addToolButtons(QToolBar *bar, std::initializer_list<TToolButton> buttons)
{
    for (const TToolButton &b : buttons) {
        if (!b.name) {
            bar->addSeparator();
            continue;
        }
        const QString hint = QString::fromLatin1(b.hint);
        QAction *a = makeAction(this, b.name, hint);
        a->setToolTip(QString(hint).replace(u"&&"_s, u"&"_s));
        a->setIcon(ToolbarIcon(b.image));
        if (b.command)
            connect(a, &QAction::triggered, action(b.command), &QAction::trigger);
        bar->addAction(a);
    }
}

void TfrmMain::createToolbars()
{
    tlbMain = new QToolBar(this);
    tlbMain->setObjectName(u"tlbMain"_s);
    tlbMain->setMovable(false);
    tlbMain->setFloatable(false);
    tlbMain->setIconSize(QSize(16, 16));
    tlbMain->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, tlbMain);
    addToolButtons(tlbMain, {
                                {"btnNew", "New", imgNew, "miFileNew"},
                                {"btnOpen", "Open", imgOpen, "miFileOpen"},
                                {"btnSave", "Save", imgSave, "miFileSave"},
                                {"btnSaveAs", "Save As", imgSaveAs, "miFileSaveAs"},
                                {"btnPrint", "Print...", imgPrint, "miFilePrint"},
                                {nullptr, nullptr, 0, nullptr},
                                {"btnCut", "Cut", imgCut, nullptr},
                                {"btnCopy", "Copy", imgCopy, nullptr},
                                {"btnPaste", "Paste", imgPaste, nullptr},
                                {"btnUndo", "Undo", imgUndo, nullptr},
                                {nullptr, nullptr, 0, nullptr},
                                {"btnSearch", "Search&&Replace", imgSearch, "miEditSearch"},
                                {"btnOptions", "Options", imgOptions, "miSettingsOptions"},
                                {"btnAbout", "About", imgAbout, "miHelpAbout"},
                                {"btnExit", "Exit", imgExit, "miFileExit"},
                            });
    // The recent files drop down from the Open button.
    QAction *open = action("btnOpen");
    open->setMenu(mnuMRU);
    if (auto *button = qobject_cast<QToolButton *>(tlbMain->widgetForAction(open)))
        button->setPopupMode(QToolButton::MenuButtonPopup);

    tlbMiddle = new QToolBar(this);
    tlbMiddle->setObjectName(u"tlbMiddle"_s);
    tlbMiddle->setOrientation(Qt::Vertical);
    tlbMiddle->setMovable(false);
    tlbMiddle->setIconSize(QSize(16, 16));
    addToolButtons(tlbMiddle, {
                                  {"btnAddNote", "Add note", 16, "miNotesAdd"},
                                  {"btnPasteSibling", "Paste as sibling", 22, nullptr},
                                  {"btnPasteChild", "Paste as child", 23, nullptr},
                                  {"btnRename", "Rename", 24, "miNotesRename"},
                                  {nullptr, nullptr, 0, nullptr},
                                  {"btnDeleteNote", "Delete", 18, nullptr},
                                  {nullptr, nullptr, 0, nullptr},
                                  {"btnMoveUp", "Move up", 19, "miMoveUp"},
                                  {"btnMoveDown", "Move down", 20, "miMoveDown"},
                                  {"btnMoveRight", "Move right", 21, "miMoveRight"},
                                  {"btnMoveLeft", "Move left", 25, "miMoveLeft"},
                              });
    action("btnPasteSibling")->setData(int(imAfter));
    action("btnPasteChild")->setData(int(imFirstChild));
}

void TfrmMain::createLayout()
{
    TopicTreeModel = new TNoteTree(this);
    m_undo = std::make_unique<TNoteUndoStack>(*TopicTreeModel);
    // A document read or created starts with nothing to take back.
    connect(TopicTreeModel, &TNoteTree::notesCleared, this, [this] { m_undo->Clear(); });
    TopicTree = new TNoteTreeView(this);
    TopicTree->setNoteTree(TopicTreeModel);
    TopicTree->setDragCursors(MoveCursor(), NestCursor());
    TopicTree->setContextMenuPolicy(Qt::CustomContextMenu);
    TopicTree->addAction(action("miAddNote"));
    TopicTree->addAction(action("miCopyLink"));
    connect(TopicTree, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        updateCommandStates();
        mnuTree->popup(TopicTree->viewport()->mapToGlobal(pos));
    });

    Notes = new TqkRichedit(this);
    Notes->setObjectName(u"Notes"_s);
    Notes->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Notes, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        Notes->setFocus();
        updateCommandStates();
        mnuEditor->popup(Notes->viewport()->mapToGlobal(pos));
    });

    auto *right = new QWidget(this);
    auto *rightLayout = new QHBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    rightLayout->addWidget(tlbMiddle);
    rightLayout->addWidget(Notes, 1);

    splitMain = new QSplitter(Qt::Horizontal, this);
    splitMain->setObjectName(u"splitMain"_s);
    splitMain->setHandleWidth(8);
    splitMain->setChildrenCollapsible(false);
    splitMain->addWidget(TopicTree);
    splitMain->addWidget(right);
    splitMain->setStretchFactor(1, 1);
    splitMain->setSizes({185, 439});
    TopicTree->setMinimumWidth(1);
    auto *central = new QWidget(this);
    auto *centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);
    createFileWatch(central);
    centralLayout->addWidget(pnlFileChanged);
    centralLayout->addWidget(splitMain, 1);
    setCentralWidget(central);

    connect(TopicTree, &TNoteTreeView::selectedNoteChanged, this, &TfrmMain::TopicTreeChange);
    connect(TopicTree, &TNoteTreeView::titleEdited, this,
            [this](TNote *note, const QString &before) {
                // The view has renamed the note already: the change is taken from
                // the title it had.
                const QString after = note->Title();
                TopicTreeModel->SetTitle(note, before);
                auto change = std::make_unique<TTextChange>(std::vector<TNote *>{note});
                TopicTreeModel->SetTitle(note, after);
                change->Finish();
                RecordTreeChange(std::move(change), note, u"undo_rename"_s, u"Rename"_s);
            });
}

void TfrmMain::FormCreate()
{
    // The application's notifications: deactivation saves when asked to, and a
    // desktop session that ends takes the normal close path.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationInactive && m_shown && !m_closing)
                    AutoSaveOnSwitch();
            });
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) {
        close();
    });
    // Commands follow focus, selection, clipboard and editor state at every moment.
    auto schedule = [this] { scheduleCommandStates(); };
    connect(qApp, &QApplication::focusChanged, this, [this, schedule](QWidget *, QWidget *now) {
        // Menus take the focus while they are open; the commands still act on the
        // control the user was in.
        if (now == TopicTree || (now && TopicTree->isAncestorOf(now)))
            m_lastFocus = TopicTree;
        // The title editor gets the window's own keys too (Alt+B, Ctrl+Tab).
        if (now && now != TopicTree && TopicTree->isAncestorOf(now))
            now->installEventFilter(this);
        else if (now == Notes)
            m_lastFocus = Notes;
        else if (now && now->window() == this && !qobject_cast<QMenuBar *>(now))
            m_lastFocus = now;
        schedule();
    });
    readClipboardState();
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        readClipboardState();
        scheduleCommandStates();
    });
    connect(Notes, &QPlainTextEdit::selectionChanged, this, schedule);
    connect(Notes, &QPlainTextEdit::undoAvailable, this, schedule);
    connect(Notes, &QPlainTextEdit::redoAvailable, this, schedule);
    connect(Notes, &QPlainTextEdit::blockCountChanged, this, schedule);
    // Sort Lines depends on the lines as the editor counts them, which can change
    // without a new block (typing after a final line break).
    connect(Notes->document(), &QTextDocument::contentsChanged, this, [this, schedule] {
        const bool several = editorLineCount() > 1;
        if (several != m_severalLines) {
            m_severalLines = several;
            schedule();
        }
    });
    connect(TopicTreeModel, &QAbstractItemModel::rowsInserted, this, schedule);
    connect(TopicTreeModel, &QAbstractItemModel::rowsRemoved, this, schedule);
    connect(TopicTreeModel, &QAbstractItemModel::modelReset, this, schedule);
    connect(TopicTreeModel, &QAbstractItemModel::rowsMoved, this, schedule);

    auto *help = new QShortcut(QKeySequence(u"Alt+F1"_s), this);
    connect(help, &QShortcut::activated, this, &TfrmMain::OpenHelpDocument);

    createTray();
    createRecovery();

    m_requestTimer = new QTimer(this);
    m_requestTimer->setSingleShot(true);
    m_requestTimer->setInterval(200);
    connect(m_requestTimer, &QTimer::timeout, this, &TfrmMain::runOpenRequests);

    tmrAutosave = new QTimer(this);
    tmrAutosave->setObjectName(u"tmrAutosave"_s);
    tmrAutosave->setInterval(300000);
    connect(tmrAutosave, &QTimer::timeout, this, &TfrmMain::tmrAutosaveTimer);

    // The password dialog's refusals go through the one message service too.
    TfrmPassword::ShowError = [](QWidget *owner, const QString &message) {
        TMessageService::ShowError(owner, message);
    };

    m_settings = std::make_unique<TSettings>(u"Software\\Vellumtree\\"_s, ProgramVersion());
    Settings = m_settings.get();
    Settings->LoadSettings();

    mruMain = new TqkMRUList(this);
    mruMain->setObjectName(u"mruMain"_s);
    mruMain->SetSaveSection(u"\\Software\\Vellumtree\\MRU Items"_s);
    m_mruMenus = new TqkMRUMenus(mruMain);
    m_mruMenus->SetPopupMenu(mnuMRU);
    m_mruMenus->SetMenuItem(findChild<QMenu *>(u"miFileReopen"_s));
    connect(mruMain, &TqkMRUList::OnMRUClick, this,
            [this](TqkMRUList *, const QString &fileName) { MRUMRUItemClick(fileName); });
    mruMain->LoadItems();

    ApplyStartupState();
}

void TfrmMain::ApplyStartupState()
{
    StartLanguageManager(LanguageManager(), LanguageFolder(), Settings->LanguageFile);
    ApplySettings();
    const TRectI &stored = Settings->WindowPos.rcNormalPosition;
    const bool placed = stored.right - stored.left > 50 && stored.bottom - stored.top > 50;
    if (!placed)
        placeFirstWindow();
    else if (Settings->RememberWindowPos)
        restorePlacement();
    int treeWidth = Settings->SplitterPos;
    // The first start has no width of the user's own yet: titles are readable.
    if (!placed)
        treeWidth = std::max(treeWidth, width() / 4);
    if (treeWidth > 0)
        splitMain->setSizes({treeWidth, qMax(1, width() - treeWidth)});
    if (Settings->ReloadLastFile && m_startup.FileParameter.isEmpty()
        && !Settings->LastFile.isEmpty() && QFileInfo::exists(Settings->LastFile))
        LoadDocument(Settings->LastFile);
}

void TfrmMain::ApplySettings()
{
    SetStayOnTop(this, Settings->StayOnTop);
    TopicTree->setNoteIcon(Settings->NoteImages ? ToolbarIcon(imgNote) : QIcon());

    ++m_editorLoading;
    applyColors();
    Notes->setLineWrapMode(Settings->WordWrap ? QPlainTextEdit::WidgetWidth
                                              : QPlainTextEdit::NoWrap);
    Notes->setFont(SettingsGui::toQFont(Settings->EditorFont));
    Notes->SetLeftMargin(10);
    Notes->SetRightMargin(10);
    // A tab size the editor cannot use is used as 1; a huge one as the widest stop it can.
    Notes->SetTabSize(qBound(1, Settings->TabSize, 1000));
    Notes->ApplyLayout();
    --m_editorLoading;

    TopicTree->setFont(SettingsGui::toQFont(Settings->TreeFont));

    const bool timed = Settings->AutoSave == 3 || Settings->AutoSave == 4;
    tmrAutosave->setInterval(Settings->AutoSave == 4 ? 600000 : 300000);
    if (timed)
        tmrAutosave->start();
    else
        tmrAutosave->stop();

    applyTraySettings();

    mruMain->SetItemCount(Settings->MRUSize);
    InstallQtTranslations(LanguageManager());
    translate();
    action("miSettingsWordWrap")->setChecked(Settings->WordWrap);
    action("miSettingsOnTop")->setChecked(Settings->StayOnTop);
    SetNoteFile(m_noteFile);
}

void TfrmMain::StoreWindowState()
{
    Settings->SplitterPos = splitMain->sizes().value(0, 185);
    // The window's own area, as setGeometry takes it back: a frame counted in would
    // grow the window at every start.
    const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    Settings->WindowPos = PlacementToStore(
        Settings->WindowPos, {normal.left(), normal.top(), normal.right() + 1, normal.bottom() + 1},
        isMinimized() ? 2 : (isMaximized() ? 3 : 1), CanPlaceWindows());
}

void TfrmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TfrmMain::translate()
{
    TranslateForm(this, false);
    // Ctrl+T belongs to Insert time; Stay on top only shows the key, named as the
    // menus name the keys of their shortcuts ("Strg+T" in German).
    QAction *onTop = action("miSettingsOnTop");
    if (!onTop->text().contains(u'\t'))
        onTop->setText(onTop->text() + u'\t'
            + QKeySequence(u"Ctrl+T"_s).toString(QKeySequence::NativeText));
}

void TfrmMain::FormShow()
{
    translate();
    if (!m_startup.FileParameter.isEmpty())
        OpenDocument(m_startup.FileParameter);
    if (TopicTreeModel->Count() == 0) {
        addRootNote();
        if (m_noteFile.isEmpty()) {
            // The default name must not make the next start forget the last file,
            // which may just have failed to open (a wrong password, say).
            const QString lastFile = Settings->LastFile;
            SetNoteFile(u"Notes.vlt"_s);
            Settings->LastFile = lastFile;
        }
    }
    // Typing must always go into a note: without a remembered one, take the first.
    if (!Settings->RememberLastNote || !TopicTree->selectedNote())
        TopicTree->selectNote(TopicTreeModel->FirstNote());
    ShowNote(TopicTree->selectedNote());
    connect(Notes, &QPlainTextEdit::textChanged, this, &TfrmMain::NotesChange);
    SetNoteFile(m_noteFile);
    TopicTree->setFocus();
    m_lastFocus = TopicTree;
    updateCommandStates();
    // Once the window is there to show them over.
    QTimer::singleShot(0, this, &TfrmMain::OfferRecoveryCopies);
}

void TfrmMain::addRootNote()
{
    TNote *note = TopicTreeModel->AddNote(nullptr, text(u"root_note"_s), imAfter);
    TopicTree->selectNote(note);
}

void TfrmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // The desktop switched between light and dark: the colours that follow it follow.
    if (event->type() == QEvent::PaletteChange && Notes)
        applyColors();
    // Once the user has the window back, a minimise is the user's own.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_restoredAt.invalidate();
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    // The window manager can report the minimise that took the window into the tray
    // only after a second start has brought it back: that report is undone, not
    // followed, or the window would vanish again.
    if (event->spontaneous() && m_restoredAt.isValid()
        && m_restoredAt.elapsed() < kLateMinimiseMs) {
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                setWindowState(windowState() & ~Qt::WindowMinimized);
            ActivateWindowForcibly(this);
        });
        return;
    }
    ApplicationMinimize();
}

void TfrmMain::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && Settings && Settings->MinimizeOnEsc) {
        miHideClick();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    if (!m_signalClosing && closeToTray(event))
        return;
    if (!m_signalClosing && !FormCloseQuery()) {
        event->ignore();
        return;
    }
    m_closing = true;
    // A document closed unmodified needs no copy; one still modified here (closed on
    // a signal, or while a dialog held it) keeps its copy for the next start.
    m_recoveryTimer->stop();
    if (!m_modified)
        discardRecoveryCopy();
    clearEditor();
    TopicTreeModel->ResetTree();
    StoreWindowState();
    Settings->SaveSettings();
    mruMain->SaveItems();
    trayMain->hide();
    m_hotKey->Unregister();
    event->accept();
}
