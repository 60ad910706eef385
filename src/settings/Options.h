#pragma once

#include "settings/SettingsTypes.h"

#include <QDialog>

#include <functional>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QFont;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;
class TSettings;
class TSpinEdit;
class TdfsBrowseDirectoryDlg;
class TdfsColorButton;

// The options dialog: most settings on four tabs, a live language switch and the file
// type association. OK copies the controls back into the settings and writes them;
// Cancel only undoes a language tried out meanwhile.
class TfrmOptions final : public QDialog
{
    Q_OBJECT

public:
    // Copies the settings into the controls and opens on the tab TabIndex.
    TfrmOptions(TSettings &Settings, int TabIndex, QWidget *parent = nullptr);

    // Creates the dialog over Owner, runs it modally and returns its result; TabIndex
    // is the tab to open on and, afterwards, the tab it was closed on.
    static int Execute(TSettings &Settings, int &TabIndex, QWidget *Owner);

    // Tests replace the modal run: they get the shown dialog and return its result.
    static std::function<int(TfrmOptions &Dialog)> RunModal;
    // Tests replace the font dialog: true with Font set, false when cancelled.
    static std::function<bool(QWidget *Owner, QFont &Font)> ChooseFont;
    // The association refreshes the desktop's databases in the background; tests that
    // look only at the written files turn that off.
    static bool AssociateRefreshesDesktop;
    // Whether the global hot key works in this session; the main window says so when it
    // registers it. Where it does not, the dialog shows the key disabled and says why,
    // rather than offer a key that does nothing.
    static bool HotKeyWorks;

    // The selected item of rgConfirmDelete, 0 to 2.
    int ConfirmDeleteIndex() const;
    // The AutoSave value chosen in mnuAutoSave (the Tag of btnAutoSave).
    int AutoSaveTag() const;

    QTabWidget *pcOptions = nullptr;
    QWidget *tsInterface = nullptr;
    QWidget *tsAppearance = nullptr;
    QWidget *tsFiles = nullptr;
    QWidget *tsGeneral = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;

    // Interface
    QCheckBox *cbMinimize = nullptr;
    QCheckBox *cbFullPath = nullptr;
    QCheckBox *cbSavePosition = nullptr;
    QLabel *lblMruSize = nullptr;
    TSpinEdit *edtMruSize = nullptr;
    QLabel *lblTabSize = nullptr;
    TSpinEdit *edtTabSize = nullptr;
    QLabel *lblLanguages = nullptr;
    QComboBox *cbxLanguages = nullptr;
    QGroupBox *rgConfirmDelete = nullptr;
    QRadioButton *rbConfirm[3] = {};

    // Appearance
    QLabel *lblEditorFont = nullptr;
    QLineEdit *edtEditorFont = nullptr;
    QToolButton *btnEditorFont = nullptr;
    TdfsColorButton *cbtnEditorColor = nullptr;
    QLabel *lblTreeFont = nullptr;
    QLineEdit *edtTreeFont = nullptr;
    QToolButton *btnTreeFont = nullptr;
    TdfsColorButton *cbtnTreeColor = nullptr;
    QCheckBox *cbNoteImages = nullptr;

    // Files
    QCheckBox *cbBackup = nullptr;
    QCheckBox *cbTrimTrailing = nullptr;
    QCheckBox *cbReloadLast = nullptr;
    QPushButton *btnAutoSave = nullptr;
    QMenu *mnuAutoSave = nullptr;
    QLabel *lblDirectories = nullptr;
    QRadioButton *rbRememberLast = nullptr;
    QRadioButton *rbUseDefault = nullptr;
    QLabel *lblDefaultOpen = nullptr;
    QLineEdit *edtDefaultOpen = nullptr;
    QToolButton *btnBrowseOpen = nullptr;
    QLabel *lblDefaultSave = nullptr;
    QLineEdit *edtDefaultSave = nullptr;
    QToolButton *btnBrowseSave = nullptr;
    QLabel *lblDefaultBackup = nullptr;
    QLineEdit *edtDefaultBackup = nullptr;
    QToolButton *btnBrowseBackup = nullptr;
    TdfsBrowseDirectoryDlg *dlgBrowseFolder = nullptr;

    // General
    QCheckBox *cbMultipleInstances = nullptr;
    QCheckBox *cbMinimizeToTray = nullptr;
    QCheckBox *cbCloseToTray = nullptr;
    QCheckBox *cbRememberNote = nullptr;
    QPushButton *btnAssociate = nullptr;
    QLabel *lblHotKey = nullptr;
    QLineEdit *edtHotKey = nullptr;
    QLabel *lblHotKeyNone = nullptr;

    // Handlers, by the components' names
    void FormShow();
    void btnOkClick();
    void rbDirectoryClick();
    void cbBackupClick();
    void mnuAutoSaveClick(int Position);
    void btnFontClick(int Tag);
    void btnBrowseClick(int Tag);
    void cbxLanguagesChange();
    void btnAssociateClick();

    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createInterfaceTab();
    void createAppearanceTab();
    void createFilesTab();
    void createGeneralTab();
    void FormCreate(int tabIndex);
    void showFont(QLineEdit *box, const TFontDesc &font);
    void switchLanguage(const QString &name);
    void translate();

    TSettings &m_settings;
    TFontDesc m_editorFont;
    TFontDesc m_treeFont;
    QActionGroup *m_autoSaveItems = nullptr;
    QString m_startLanguage;
    bool m_shown = false;
    bool m_fillingLanguages = false;
};
