#pragma once

#include "notes/Archive.h"
#include "notes/TextEncoding.h"
#include "settings/FileStamp.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QStringList>
#include <QSystemTrayIcon>

#include <initializer_list>
#include <memory>
#include <vector>

class QAction;
class QFileDialog;
class QFileSystemWatcher;
class QLabel;
class QMenu;
class QSplitter;
class THotKey;
class QTimer;
class QToolBar;
class QToolButton;
class TNote;
class TRecoveryStore;
struct TRecoveryInfo;
class TNoteTree;
class TNoteTreeView;
class TNoteUndoStack;
class TTreeChange;
class TqkMRUList;
class TqkMRUMenus;
class TqkRichedit;
class TSettings;

// The main window: the tree of notes on the left, the selected note's body in the
// editor on the right, and the one open document.
class TfrmMain final : public QMainWindow
{
    Q_OBJECT

public:
    // Start-up options the program entry passes in; tests set them too.
    struct TStartup
    {
        QString FileParameter; // the first command-line parameter, or empty
    };

    explicit TfrmMain(const TStartup &startup = {}, QWidget *parent = nullptr);
    ~TfrmMain() override;

    // Document state
    const QString &NoteFile() const { return m_noteFile; }
    const QString &DocTitle() const { return m_docTitle; }
    bool Modified() const { return m_modified; }
    const QString &FilePassword() const { return m_filePassword; }

    void SetNoteFile(const QString &name);
    void SetModified(bool value);
    void ShowNote(TNote *note);
    void StoreEditorText();
    bool ConfirmSaveChanges();
    bool LoadDocument(const QString &name);
    void OpenDocument(const QString &name);
    // automatic: an autosave, which skips a file another program has changed.
    bool SaveDocument(const QString &name, bool automatic = false);
    void AutoSaveOnSwitch();
    // A termination signal: the window closes as it would for the user, without a
    // question; changes no autosave rule saves stay in a recovery copy.
    void CloseForSignal(int signalNumber);
    // Offers the recovery copies that sessions which ended left behind.
    void OfferRecoveryCopies();
    // How long after the last change the recovery copy is written, and the longest
    // it waits while changes go on.
    static int RecoveryQuietMs;
    static int RecoveryLongestMs;

    void ApplySettings();
    // A second instance asked to open a file ("no_params" for none). Waits while a
    // dialog is open. activationToken: the desktop's leave for the second start to
    // bring a window forward, passed on to the window system.
    void HandleOpenRequest(const QString &text, const QString &activationToken = {});

    // Window behaviour
    void miRestoreClick();
    void miHideClick();
    void trayMainClick(QSystemTrayIcon::ActivationReason reason);
    void miSettingsOnTopClick();
    void ApplicationMinimize();
    // The desktop's tray host (re)started.
    void TaskbarCreated();
    // Whether the desktop has a tray to minimise to.
    static bool TrayAvailable();
    THotKey *HotKey() const { return m_hotKey; }

    // Commands
    void miFileNewClick();
    void miFileOpenClick();
    void miFileSaveClick();
    void miFileSaveAsClick();
    void miFileExitClick();
    void miFileEncryptClick();
    void MRUMRUItemClick(const QString &fileName);
    void tmrAutosaveTimer();
    void OpenHelpDocument();
    // Printing: the print dialog with a scope argument (0 keeps the remembered one);
    // miPrintNoteClick takes it from the invoking menu item's Tag (its data).
    void miFilePrintClick();
    void miPrintNoteClick();
    void OpenPrintDialog(int scope);

    // The options dialog and the about box
    void miSettingsOptionsClick();
    void miHelpAboutClick();
    // The tab the options dialog was last closed on, for this run only.
    int Tag = 0;

    // Tree commands
    void miNotesAddClick();
    void DeleteNote(TNote *note, int confirmationLevel);
    void miNotesDeleteClick();
    void miNotesCutClick();
    void miNotesCopyClick();
    void miNotesPasteClick();
    void miNotesRenameClick();
    void miSortTreeClick();
    void miSortChildrenClick();
    void MoveSelected(int direction);
    void miCopyLinkClick();
    void btnPasteSiblingClick(int mode);
    void miSetNoteCaptionClick();
    void miGotoInternalLinkClick();
    void Back();
    void TopicTreeDragDrop(TNote *dragged, TNote *target, bool nest);

    // Taking changes to the tree back (MainUndo.cpp). A change already made is
    // recorded with the note selected before it, and marks the document modified.
    TNoteUndoStack *UndoStack() const { return m_undo.get(); }
    void RecordTreeChange(std::unique_ptr<TTreeChange> change, TNote *selectedBefore,
                          const QString &kindKey, const QString &kindText);
    void UndoTreeChange();
    void RedoTreeChange();
    // Edit > Undo and Redo: the tree's changes while the tree has the focus, the
    // editor's own otherwise.
    void miEditUndoMenuClick();
    void miEditRedoClick();

    // Editor commands
    // Returns the kind of link under the pointer.
    int NotesMouseDown(const QPoint &pos, bool doubleClick);
    void miEditUndoClick();
    void miEditCutClick();
    void miEditCopyClick();
    void miEditPasteClick();
    void miEditSortLinesClick();
    void miSettingsWordWrapClick();
    void miGotoUrlClick();
    void miOpenInNewClick();
    void miCopyUrlClick();

    // The note a link under the pointer named at the last right-click or double-click.
    TNote *LinkTarget() const;
    TNote *BackNote() const;
    const QString &LinkText() const { return m_linkText; }
    int AddPosition() const { return m_addPosition; }

    // Components, by the names the language files use.
    TNoteTree *TopicTreeModel = nullptr;
    TNoteTreeView *TopicTree = nullptr;
    TqkRichedit *Notes = nullptr;
    QToolBar *tlbMain = nullptr;
    QToolBar *tlbMiddle = nullptr;
    QSplitter *splitMain = nullptr;
    QMenu *mnuTree = nullptr;
    QMenu *mnuEditor = nullptr;
    QMenu *mnuTray = nullptr;
    QMenu *mnuMRU = nullptr;
    QTimer *tmrAutosave = nullptr;
    QSystemTrayIcon *trayMain = nullptr;
    TqkMRUList *mruMain = nullptr;
    // The notice that another program changed or removed the document's file.
    QWidget *pnlFileChanged = nullptr;

    // Search and replace, import and export
    void miEditSearchClick();
    void miFileImportClick();
    void miFileExportClick();

    // What the open or save dialog shows while it runs; import and export re-label it.
    struct TFileDialogTexts
    {
        QString Title;
        QString OkText;
        QString Filter; // a language file filter: "description|patterns|..."
        QString FileName;
    };
    const TFileDialogTexts &FileDialogTexts() const { return m_fileDialogTexts; }

    // The folder of the program's own files (help document, languages).
    static QString ProgramFolder();
    // Tests replace the file dialogs: the chosen name, or empty for cancel.
    static std::function<QString(TfrmMain *main, bool save, const QString &folder)> ChooseFile;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    bool nativeEvent(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    void createActions();
    void createMenus();
    void createToolbars();
    struct TToolButton;
    void addToolButtons(QToolBar *bar, std::initializer_list<TToolButton> buttons);
    void createLayout();
    void connectCommands();
    void connectDialogCommands();
    bool treeKey(QKeyEvent *event);
    bool treeHasUndoFocus() const;
    void applyTreeChange(bool redo);
    void recordInserted(TNote *first, TNote *parent, const std::vector<TNote *> &childrenBefore,
                        TNote *selectedBefore, const QString &kindKey, const QString &kindText);
    QString undoCaption(bool redo) const;
    bool editorKey(QKeyEvent *event);
    bool ownedKey(QKeyEvent *event);
    void setSelected(TNote *note);
    void openLink(const QString &target);
    void FormCreate();
    void ApplyStartupState();
    void FormShow();
    void translate();
    // Names for a screen reader, and the text areas' colours (MainAppearance.cpp).
    void nameControls();
    void applyColors();
    bool FormCloseQuery();
    void StoreWindowState();
    void restorePlacement();
    void placeFirstWindow();
    void updateCommandStates();
    void scheduleCommandStates();
    void readClipboardState();
    int editorLineCount() const;
    void TopicTreeChange(TNote *current, TNote *previous);
    void NotesChange();
    void clearEditor();
    void storeEditorTextInto(TNote *note);
    void addRootNote();
    QString runFileDialog(bool save, const QString &folder,
                          const TFileDialogTexts *relabel = nullptr);
    QString backupPathFor(const QString &target) const;
    void setPlainFile(const QString &name);
    void afterSave(const QString &target, bool deleteOriginal);
    bool readDocument(const QString &name, const QString &password);
    // Whether a save may write target now; asks or says why not.
    bool mayOverwrite(const QString &target, bool automatic);
    void reportDamage(const QString &name, const TArchive::TDamage &damage);
    static QString damagedCopyName(const QString &original);
    // Before the first save over a damaged file: its untouched copy beside it.
    bool keepDamagedOriginal(const QString &target);
    // The document's file against other programs' changes (MainFileWatch.cpp).
    void createFileWatch(QWidget *above);
    void rememberFile(const QString &fileName, const TFileStamp &stamp);
    bool fileChangedOnDisk(const QString &target) const;
    bool confirmOverwriteChanged(const QString &target);
    void autosaveSkipped(const QString &target);
    bool reloadFromDisk();
    void fileWatchTimeout();
    void showChangeNotice();
    void runOpenRequests();
    // Restores the window for a second start, with its activation token if it sent one.
    void bringForward();
    // Recovery copies (MainRecovery.cpp).
    void createRecovery();
    void documentChanged();
    void writeRecoveryCopy();
    void discardRecoveryCopy();
    QString recoveryPassword() const;
    bool recoverDocument(const TRecoveryInfo &copy);
    static bool isUntitled(const QString &fileName);
    QString initialFolder(const QString &last, const QString &fallback) const;
    QString dialogFilter(const QString &languageFilter) const;
    QString text(const QString &key) const;
    // A message's language text with its "|" as line breaks, then value put in for
    // its "%s" (so that a "|" in a file name stays as it is).
    QString message(const QString &key, const QString &value = {}) const;
    QAction *action(const char *name) const;
    QMenu *menu(const char *name) const;
    void createTray();
    void applyTraySettings();
    void showInTaskbar();
    void leaveTray();
    bool closeToTray(QCloseEvent *event);
    void snapToWorkArea();

    TStartup m_startup;
    std::unique_ptr<TSettings> m_settings;
    TqkMRUMenus *m_mruMenus = nullptr;

    QString m_noteFile;
    QString m_docTitle;
    bool m_modified = false;
    bool m_dialogOpen = false;
    TFileDialogTexts m_fileDialogTexts;
    bool m_openDialogRelabelled = false;
    bool m_saveDialogRelabelled = false;
    QString m_filePassword;
    // How the document's enciphered file is keyed, from its last read or save.
    TArchive::TFileKey m_fileKey;
    TTextEncoding m_fileEncoding = TTextEncoding::Utf8;
    // The plain file the document was read from or last saved as, and whether the
    // next enciphered save deletes it (File > Encrypt with "Delete original file").
    QString m_plainFile;
    bool m_deletePlainOnSave = false;
    // The document's file (links resolved) as last read or written.
    // A file read with damage, until its original is kept at the first save over it.
    QString m_damagedOriginal;
    QString m_stampPath;
    TFileStamp m_fileStamp;
    // The file as the watch last dealt with it.
    TFileStamp m_watchSeen;
    bool m_autosaveSkipSaid = false;
    // An autosave found the file read-only and said so.
    bool m_readOnlySaid = false;
    QFileSystemWatcher *m_fileWatcher = nullptr;
    QTimer *m_watchTimer = nullptr;
    QLabel *lblFileChanged = nullptr;
    std::unique_ptr<TRecoveryStore> m_recovery;
    QTimer *m_recoveryTimer = nullptr;
    // Since the first change the recovery copy does not hold yet.
    QElapsedTimer m_changesSince;
    qint64 m_recoveryWriteMs = 0;
    bool m_writingRecovery = false;
    bool m_recoveryFailedSaid = false;
    bool m_signalClosing = false;
    // An untitled document's name was asked for when the user switched away.
    bool m_switchSaveAsked = false;
    // The document's password while Save As has set it aside.
    QString m_passwordAside;
    // Open requests of second starts, run once no dialog is open.
    QStringList m_openRequests;
    // The newest request's activation token, used by the next restore.
    QString m_activationToken;
    QTimer *m_requestTimer = nullptr;
    bool m_runningRequest = false;

    std::unique_ptr<TNoteUndoStack> m_undo;
    // Changed since the last save in a way the undo stack does not hold (typing, a
    // password set): undoing the tree's changes then leaves the document modified.
    bool m_changedBeyondUndo = false;
    bool m_recordingChange = false;

    int m_addPosition = 0;
    QPersistentModelIndex m_linkTarget;
    QPersistentModelIndex m_backNote;
    QString m_linkText;
    QString m_lastOpenedLink;
    QElapsedTimer m_lastOpenedAt;

    // The control the user works in: the tree, the editor, or another one.
    QPointer<QWidget> m_lastFocus;
    bool m_shown = false;
    bool m_closing = false;
    int m_editorLoading = 0;
    // The note whose body is too large for the editor, while it is selected: the
    // editor shows a notice instead and never stores its text into it.
    TNote *m_hiddenNote = nullptr;
    bool m_severalLines = false;
    bool m_statesPending = false;
    // What the clipboard holds, read when it changes.
    bool m_clipText = false;
    bool m_clipNotes = false;
    mutable QHash<QByteArray, QPointer<QAction>> m_actions;
    mutable QHash<QByteArray, QPointer<QMenu>> m_menus;

    THotKey *m_hotKey = nullptr;
    QTimer *m_snapTimer = nullptr;
    QTimer *m_trayWatch = nullptr;
    bool m_snapping = false;
    // Hidden in the tray: minimised without a taskbar button.
    bool m_inTray = false;
    bool m_maximizedBeforeTray = false;
    // Coming back from the tray: the minimised state passed through is no minimise.
    bool m_restoring = false;
    // When the window last came back from the tray; a minimise the window manager
    // reports shortly after, before the window is active again, is its late report
    // of the earlier one.
    QElapsedTimer m_restoredAt;
    static constexpr int kLateMinimiseMs = 1500;
};
