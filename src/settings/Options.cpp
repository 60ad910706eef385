#include "settings/Options.h"

#include "app/MessageService.h"
#include "settings/LngMan.h"
#include "settings/LngManGui.h"
#include "settings/Settings.h"
#include "settings/SettingsGui.h"
#include "settings/UtilsGui.h"
#include "widgets/BrowseDr.h"
#include "widgets/DFSClrBn.h"
#include "widgets/Spin.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDialog>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

std::function<int(TfrmOptions &)> TfrmOptions::RunModal;
std::function<bool(QWidget *, QFont &)> TfrmOptions::ChooseFont;
bool TfrmOptions::AssociateRefreshesDesktop = true;
bool TfrmOptions::HotKeyWorks = false;

namespace {

constexpr int kTabCount = 4;

template <typename T> T *named(QWidget *parent, const char *name)
{
    auto *w = new T(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &caption,
                    const QString &hint = {})
{
    auto *box = named<QCheckBox>(parent, name);
    box->setText(caption);
    box->setToolTip(hint);
    return box;
}

QLabel *label(QWidget *parent, const char *name, const QString &caption, QWidget *buddy)
{
    auto *l = named<QLabel>(parent, name);
    l->setText(caption);
    l->setBuddy(buddy);
    return l;
}

// A row of the grid: label, text box and "..." button, named as given.
struct TBoxRowNames
{
    const char *label;
    QString caption;
    const char *box;
    QString hint;
    const char *button;
};

struct TBoxRow
{
    QLabel *label;
    QLineEdit *box;
    QToolButton *button;
};

// The button's Tag tells its handler which row it is in.
TBoxRow addBoxRow(QWidget *page, QGridLayout *grid, int row, const TBoxRowNames &names, int tag)
{
    auto *box = named<QLineEdit>(page, names.box);
    box->setToolTip(names.hint);
    TBoxRow r { label(page, names.label, names.caption, box), box,
                named<QToolButton>(page, names.button) };
    r.button->setText(u"..."_s);
    r.button->setProperty("Tag", tag);
    grid->addWidget(r.label, row, 0);
    grid->addWidget(r.box, row, 1);
    grid->addWidget(r.button, row, 2);
    return r;
}

// A page of the tab control: a column of rows with room below.
QVBoxLayout *pageLayout(QWidget *page)
{
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(6);
    return layout;
}

void invalidateLayouts(QLayout *layout)
{
    // The dialog's own layouts, nested two deep at most.
    layout->invalidate();
    for (int i = 0; i < layout->count(); ++i) {
        if (QLayout *inner = layout->itemAt(i)->layout())
            invalidateLayouts(inner);
    }
}

} // namespace

TfrmOptions::TfrmOptions(TSettings &Settings, int TabIndex, QWidget *parent)
    : QDialog(parent, DialogWindowFlags | Qt::MSWindowsFixedSizeDialogHint),
      m_settings(Settings)
{
    setObjectName(u"frmOptions"_s);
    setWindowTitle(u"Options"_s);

    pcOptions = named<QTabWidget>(this, "pcOptions");
    tsInterface = named<QWidget>(pcOptions, "tsInterface");
    tsAppearance = named<QWidget>(pcOptions, "tsAppearance");
    tsFiles = named<QWidget>(pcOptions, "tsFiles");
    tsGeneral = named<QWidget>(pcOptions, "tsGeneral");
    pcOptions->addTab(tsInterface, u"&Interface"_s);
    pcOptions->addTab(tsAppearance, u"&Appearance"_s);
    pcOptions->addTab(tsFiles, u"&Files"_s);
    pcOptions->addTab(tsGeneral, u"&General"_s);
    createInterfaceTab();
    createAppearanceTab();
    createFilesTab();
    createGeneralTab();
    dlgBrowseFolder = new TdfsBrowseDirectoryDlg(this);
    dlgBrowseFolder->setObjectName(u"dlgBrowseFolder"_s);

    btnOk = named<QPushButton>(this, "btnOk");
    btnOk->setText(u"OK"_s);
    btnOk->setDefault(true);
    btnCancel = named<QPushButton>(this, "btnCancel");
    btnCancel->setText(u"Cancel"_s);
    connect(btnOk, &QPushButton::clicked, this, &TfrmOptions::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmOptions::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pcOptions);
    layout->addLayout(buttons);
    // A fixed dialog border: the size follows the texts of the language in use.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Enter anywhere is OK, except on a focused Cancel, which cancels; no other button
    // takes it for itself.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(button == btnOk || button == btnCancel);

    TabToCheckedRadio(this);
    FormCreate(TabIndex);
}

void TfrmOptions::createInterfaceTab()
{
    QWidget *page = tsInterface;
    QVBoxLayout *layout = pageLayout(page);
    cbMinimize = checkBox(page, "cbMinimize", u"Mi&nimize on Escape"_s,
                          u"Minimize application window\nwhen user presses 'Esc' key"_s);
    cbFullPath = checkBox(page, "cbFullPath", u"Full path on &caption"_s,
                          u"Display full file path on Vellumtree\nwindow caption"_s);
    cbSavePosition = checkBox(page, "cbSavePosition", u"&Save window position on exit"_s,
                              u"Save window position on exit and\nrestore it on application startup"_s);
    layout->addWidget(cbMinimize);
    layout->addWidget(cbFullPath);
    layout->addWidget(cbSavePosition);

    edtMruSize = named<TSpinEdit>(page, "edtMruSize");
    edtMruSize->setToolTip(u"Number of Most Recent Used\nfiles in ''Open'' submenu"_s);
    lblMruSize = label(page, "lblMruSize", u"&MRU size:"_s, edtMruSize);
    edtTabSize = named<TSpinEdit>(page, "edtTabSize");
    edtTabSize->setToolTip(u"Tabulation size in editor"_s);
    lblTabSize = label(page, "lblTabSize", u"Tab &size:"_s, edtTabSize);
    cbxLanguages = named<QComboBox>(page, "cbxLanguages");
    cbxLanguages->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cbxLanguages->setMinimumContentsLength(12);
    lblLanguages = label(page, "lblLanguages", u"&Language:"_s, cbxLanguages);
    connect(cbxLanguages, &QComboBox::currentIndexChanged, this, &TfrmOptions::cbxLanguagesChange);

    auto *grid = new QGridLayout;
    grid->setContentsMargins(0, 6, 0, 6);
    grid->addWidget(lblMruSize, 0, 0);
    grid->addWidget(edtMruSize, 0, 1, Qt::AlignLeft);
    grid->addWidget(lblTabSize, 1, 0);
    grid->addWidget(edtTabSize, 1, 1, Qt::AlignLeft);
    grid->addWidget(lblLanguages, 2, 0);
    grid->addWidget(cbxLanguages, 2, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);

    rgConfirmDelete = named<QGroupBox>(page, "rgConfirmDelete");
    rgConfirmDelete->setTitle(u"&Confirm on delete:"_s);
    rgConfirmDelete->setToolTip(u"Select confirmation level"_s);
    auto *columns = new QHBoxLayout(rgConfirmDelete);
    const QString items[3] = { u"N&ever"_s, u"N&ote"_s, u"&Branch"_s };
    for (int i = 0; i < 3; ++i) {
        rbConfirm[i] = new QRadioButton(items[i], rgConfirmDelete);
        columns->addWidget(rbConfirm[i], 1);
    }
    layout->addWidget(rgConfirmDelete);
    layout->addStretch();
}

void TfrmOptions::createAppearanceTab()
{
    QWidget *page = tsAppearance;
    QVBoxLayout *layout = pageLayout(page);
    auto *grid = new QGridLayout;
    auto fontRow = [&](int row, const char *labelName, const QString &caption, const char *boxName,
                       const QString &hint, const char *buttonName, int tag,
                       const char *colorName) {
        const TBoxRow r = addBoxRow(page, grid, row, { labelName, caption, boxName, hint, buttonName }, tag);
        r.box->setReadOnly(true);
        r.box->setMinimumWidth(180);
        connect(r.button, &QToolButton::clicked, this, [this, tag] { btnFontClick(tag); });
        auto *color = named<TdfsColorButton>(page, colorName);
        grid->addWidget(color, row, 3);
        return std::tuple(r.label, r.box, r.button, color);
    };
    std::tie(lblEditorFont, edtEditorFont, btnEditorFont, cbtnEditorColor)
        = fontRow(0, "lblEditorFont", u"&Editor:"_s, "edtEditorFont",
                  u"Specify a font to use in editor"_s, "btnEditorFont", 0, "cbtnEditorColor");
    std::tie(lblTreeFont, edtTreeFont, btnTreeFont, cbtnTreeColor)
        = fontRow(1, "lblTreeFont", u"Notes &tree:"_s, "edtTreeFont",
                  u"Specify a font to use in notes tree"_s, "btnTreeFont", 1, "cbtnTreeColor");
    // "..." and a colour swatch say nothing to a screen reader; the language file's
    // AccessibleName keys replace these.
    btnEditorFont->setAccessibleName(u"Choose the editor font"_s);
    btnTreeFont->setAccessibleName(u"Choose the notes tree font"_s);
    cbtnEditorColor->setAccessibleName(u"Editor background colour"_s);
    cbtnTreeColor->setAccessibleName(u"Notes tree background colour"_s);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    cbNoteImages = checkBox(page, "cbNoteImages", u"Display i&mages for notes"_s);
    layout->addSpacing(6);
    layout->addWidget(cbNoteImages);
    layout->addStretch();
}

void TfrmOptions::createFilesTab()
{
    QWidget *page = tsFiles;
    QVBoxLayout *layout = pageLayout(page);
    cbBackup = checkBox(page, "cbBackup", u"&Make backups"_s,
                        u"Make backup copies of files\nbefore saving them to disk"_s);
    cbTrimTrailing = checkBox(page, "cbTrimTrailing", u"&Trim trailing spaces "_s,
                              u"Remove trailing spaces\nwhen saving files"_s);
    cbReloadLast = checkBox(page, "cbReloadLast", u"&Reload last file"_s,
                            u"Reload last used file\non Vellumtree startup"_s);
    connect(cbBackup, &QCheckBox::toggled, this, &TfrmOptions::cbBackupClick);

    btnAutoSave = named<QPushButton>(page, "btnAutoSave");
    btnAutoSave->setText(u"&Autosave files...    "_s);
    mnuAutoSave = named<QMenu>(page, "mnuAutoSave");
    m_autoSaveItems = new QActionGroup(this);
    const struct {
        const char *name;
        QString caption;
    } items[] = { { "miAutoSaveNever", u"&Never"_s },
                  { "miAutoSaveSwitch", u"When &switching to other app"_s },
                  { "miAutoSaveClose", u"When &closing"_s },
                  { "miAutoSave5", u"Every &5 minutes"_s },
                  { "miAutoSave10", u"Every &10 minutes"_s } };
    for (int i = 0; i < 5; ++i) {
        QAction *item = mnuAutoSave->addAction(items[i].caption);
        item->setObjectName(QLatin1String(items[i].name));
        item->setCheckable(true);
        m_autoSaveItems->addAction(item);
        connect(item, &QAction::triggered, this, [this, i] { mnuAutoSaveClick(i); });
    }
    // A button's own menu drops from its bottom-left corner.
    btnAutoSave->setMenu(mnuAutoSave);

    auto *top = new QGridLayout;
    top->addWidget(cbBackup, 0, 0);
    top->addWidget(cbTrimTrailing, 1, 0);
    top->addWidget(cbReloadLast, 2, 0);
    top->addWidget(btnAutoSave, 0, 1, Qt::AlignTop | Qt::AlignRight);
    top->setColumnStretch(0, 1);
    layout->addLayout(top);

    lblDirectories = named<QLabel>(page, "lblDirectories");
    lblDirectories->setText(u"Directories:"_s);
    QFont bold = lblDirectories->font();
    bold.setBold(true);
    lblDirectories->setFont(bold);
    rbRememberLast = named<QRadioButton>(page, "rbRememberLast");
    rbRememberLast->setText(u"Remember &last used"_s);
    rbRememberLast->setToolTip(
        u"Remember last used directories when\nopening/saving/making backups"_s);
    rbUseDefault = named<QRadioButton>(page, "rbUseDefault");
    rbUseDefault->setText(u"Use &default"_s);
    rbUseDefault->setToolTip(
        u"Use directories specified below\nas default when opening, saving\nor backing up files"_s);
    connect(rbRememberLast, &QRadioButton::clicked, this, &TfrmOptions::rbDirectoryClick);
    connect(rbUseDefault, &QRadioButton::clicked, this, &TfrmOptions::rbDirectoryClick);
    layout->addSpacing(6);
    layout->addWidget(lblDirectories);
    layout->addWidget(rbRememberLast);
    layout->addWidget(rbUseDefault);

    auto *grid = new QGridLayout;
    auto folderRow = [&](int row, const char *labelName, const QString &caption,
                         const char *boxName, const QString &hint, const char *buttonName,
                         int tag) {
        const TBoxRow r = addBoxRow(page, grid, row, { labelName, caption, boxName, hint, buttonName }, tag);
        r.box->setMinimumWidth(220);
        connect(r.button, &QToolButton::clicked, this, [this, tag] { btnBrowseClick(tag); });
        return std::tuple(r.label, r.box, r.button);
    };
    std::tie(lblDefaultOpen, edtDefaultOpen, btnBrowseOpen)
        = folderRow(0, "lblDefaultOpen", u"&Open in:"_s, "edtDefaultOpen",
                    u"Specify a directory where you\nwant to open files"_s, "btnBrowseOpen", 0);
    std::tie(lblDefaultSave, edtDefaultSave, btnBrowseSave)
        = folderRow(1, "lblDefaultSave", u"&Save in:"_s, "edtDefaultSave",
                    u"Specify a directory where you\nwant to save files"_s, "btnBrowseSave", 1);
    std::tie(lblDefaultBackup, edtDefaultBackup, btnBrowseBackup) = folderRow(
        2, "lblDefaultBackup", u"&Backup in:"_s, "edtDefaultBackup",
        u"Specify directory for making backup\ncopies of work files"_s, "btnBrowseBackup", 2);
    btnBrowseOpen->setAccessibleName(u"Choose the folder to open in"_s);
    btnBrowseSave->setAccessibleName(u"Choose the folder to save in"_s);
    btnBrowseBackup->setAccessibleName(u"Choose the folder for backups"_s);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addStretch();
}

void TfrmOptions::createGeneralTab()
{
    QWidget *page = tsGeneral;
    QVBoxLayout *layout = pageLayout(page);
    cbMultipleInstances = checkBox(page, "cbMultipleInstances", u"Allow &multiple instances"_s,
                                   u"Allow running more than one copy\nof application simultaneously"_s);
    cbMinimizeToTray = checkBox(page, "cbMinimizeToTray", u"Minimize to &system tray"_s,
                                u"Display icon in system tray after\nminimizing application"_s);
    cbCloseToTray = checkBox(page, "cbCloseToTray", u"&Close to system tray"_s,
                             u"Jump to tray instead of\nclosing application"_s);
    cbRememberNote = checkBox(page, "cbRememberNote", u"&Remember edited note"_s,
                              u"Remember last edited note"_s);
    for (QCheckBox *box : { cbMultipleInstances, cbMinimizeToTray, cbCloseToTray, cbRememberNote })
        layout->addWidget(box);
    btnAssociate = named<QPushButton>(page, "btnAssociate");
    btnAssociate->setText(u"A&ssociate with .vlt, .vlx and .vle files"_s);
    connect(btnAssociate, &QPushButton::clicked, this, &TfrmOptions::btnAssociateClick);
    layout->addSpacing(12);
    layout->addWidget(btnAssociate, 0, Qt::AlignLeft);

    // The key is fixed; the box shows it, and whether the session lets it work.
    edtHotKey = named<QLineEdit>(page, "edtHotKey");
    edtHotKey->setReadOnly(true);
    edtHotKey->setEnabled(HotKeyWorks);
    lblHotKey = label(page, "lblHotKey", {}, edtHotKey);
    lblHotKeyNone = named<QLabel>(page, "lblHotKeyNone");
    lblHotKeyNone->setVisible(!HotKeyWorks);
    auto *hotKeyRow = new QHBoxLayout;
    hotKeyRow->addWidget(lblHotKey);
    hotKeyRow->addWidget(edtHotKey);
    hotKeyRow->addStretch();
    layout->addSpacing(12);
    layout->addLayout(hotKeyRow);
    layout->addWidget(lblHotKeyNone);
    layout->addStretch();
}

void TfrmOptions::FormCreate(int tabIndex)
{
    const TSettings &s = m_settings;
    cbMinimize->setChecked(s.MinimizeOnEsc);
    cbFullPath->setChecked(s.FullPathOnCaption);
    cbSavePosition->setChecked(s.RememberWindowPos);
    edtMruSize->SetValue(s.MRUSize);
    edtTabSize->SetValue(s.TabSize);
    // A stored level beyond the three choices leaves none of them chosen.
    if (s.DeleteConfirmationLevel < 3)
        rbConfirm[s.DeleteConfirmationLevel]->setChecked(true);
    m_editorFont = s.EditorFont;
    showFont(edtEditorFont, m_editorFont);
    cbtnEditorColor->SetColor(s.EditorColor);
    m_treeFont = s.TreeFont;
    showFont(edtTreeFont, m_treeFont);
    cbtnTreeColor->SetColor(s.TreeColor);
    cbNoteImages->setChecked(s.NoteImages);
    cbBackup->setChecked(s.Backup);
    cbBackupClick();
    cbReloadLast->setChecked(s.ReloadLastFile);
    cbTrimTrailing->setChecked(s.TrimSpaces);
    const QList<QAction *> autoSave = mnuAutoSave->actions();
    if (s.AutoSave < autoSave.size())
        autoSave[s.AutoSave]->setChecked(true);
    btnAutoSave->setProperty("Tag", int(s.AutoSave));
    edtDefaultOpen->setText(s.DefaultOpenFolder);
    edtDefaultSave->setText(s.DefaultSaveFolder);
    edtDefaultBackup->setText(s.BackupFolder);
    rbRememberLast->setChecked(s.RememberLastFolder);
    rbUseDefault->setChecked(!s.RememberLastFolder);
    rbDirectoryClick();
    cbBackupClick();
    cbMultipleInstances->setChecked(!s.SingleInstance);
    cbMinimizeToTray->setChecked(s.MinimizeToTray);
    cbCloseToTray->setChecked(s.CloseToTray);
    cbRememberNote->setChecked(s.RememberLastNote);
    pcOptions->setCurrentIndex(tabIndex >= 0 && tabIndex < kTabCount ? tabIndex : 0);
}

void TfrmOptions::showEvent(QShowEvent *event)
{
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
    QDialog::showEvent(event);
}

void TfrmOptions::FormShow()
{
    TLngMan &language = LanguageManager();
    translate();
    QStringList files;
    language.ListLanguages(files);
    m_fillingLanguages = true;
    cbxLanguages->clear();
    cbxLanguages->addItems(files);
    cbxLanguages->setCurrentIndex(files.isEmpty() ? -1 : files.indexOf(language.LanguageName()));
    m_fillingLanguages = false;
    m_startLanguage = language.LanguageName();
}

int TfrmOptions::ConfirmDeleteIndex() const
{
    for (int i = 0; i < 3; ++i) {
        if (rbConfirm[i]->isChecked())
            return i;
    }
    return 0;
}

int TfrmOptions::AutoSaveTag() const
{
    return btnAutoSave->property("Tag").toInt();
}

void TfrmOptions::showFont(QLineEdit *box, const TFontDesc &font)
{
    const QFont shown = SettingsGui::shownFont(font);
    box->setFont(shown);
    // A face this system does not have (the default "Tahoma" on Linux) is drawn in
    // another one: the box says which, and the stored name stays.
    const QString used = QFontInfo(shown).family();
    box->setText(used.compare(font.Name, Qt::CaseInsensitive) == 0 || used.isEmpty()
                     ? font.Name
                     : u"%1 (%2)"_s.arg(font.Name, used));
}

void TfrmOptions::rbDirectoryClick()
{
    const bool useDefault = rbUseDefault->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *> { edtDefaultOpen, btnBrowseOpen,
                                                         edtDefaultSave, btnBrowseSave })
        w->setEnabled(useDefault);
    const bool backup = useDefault && cbBackup->isChecked();
    edtDefaultBackup->setEnabled(backup);
    btnBrowseBackup->setEnabled(backup);
}

void TfrmOptions::cbBackupClick()
{
    edtDefaultBackup->setEnabled(cbBackup->isChecked());
    btnBrowseBackup->setEnabled(cbBackup->isChecked());
}

void TfrmOptions::mnuAutoSaveClick(int Position)
{
    mnuAutoSave->actions().at(Position)->setChecked(true);
    btnAutoSave->setProperty("Tag", Position);
}

void TfrmOptions::btnFontClick(int Tag)
{
    TFontDesc &desc = Tag == 1 ? m_treeFont : m_editorFont;
    QLineEdit *box = Tag == 1 ? edtTreeFont : edtEditorFont;
    QFont font = SettingsGui::toQFont(desc);
    const bool chosen = ChooseFont ? ChooseFont(this, font) : [&] {
        bool ok = false;
        font = QFontDialog::getFont(&ok, font, this);
        return ok;
    }();
    if (!chosen)
        return;
    TFontDesc picked = SettingsGui::fromQFont(font, desc.Color);
    // Qt's font knows no character set, and a pitch only once it is matched.
    picked.Charset = desc.Charset;
    if (picked.Name == desc.Name)
        picked.Pitch = desc.Pitch;
    else
        picked.Pitch = QFontInfo(font).fixedPitch() ? fpFixed : fpDefault;
    desc = picked;
    showFont(box, desc);
}

void TfrmOptions::btnBrowseClick(int Tag)
{
    QLineEdit *box = Tag == 0 ? edtDefaultOpen : (Tag == 1 ? edtDefaultSave : edtDefaultBackup);
    dlgBrowseFolder->Selection = box->text();
    if (dlgBrowseFolder->Execute())
        box->setText(dlgBrowseFolder->Selection);
}

void TfrmOptions::switchLanguage(const QString &name)
{
    try {
        LanguageManager().SetLanguage(name);
    } catch (const ELngManagerException &e) {
        // The file went away after the list was made; the language in use stays.
        TMessageService::ShowError(this, e.message() + u"\n"_s + name);
    }
    InstallQtTranslations(LanguageManager());
}

void TfrmOptions::cbxLanguagesChange()
{
    if (m_fillingLanguages || cbxLanguages->currentIndex() < 0)
        return;
    switchLanguage(cbxLanguages->currentText());
    translate();
}

void TfrmOptions::translate()
{
    TranslateForm(this, false);
    const TLngMan &language = LanguageManager();
    lblHotKey->setText(language.GetString(u"hotkey_label"_s, u"Strings"_s));
    edtHotKey->setText(language.GetString(u"hotkey_keys"_s, u"Strings"_s));
    lblHotKeyNone->setText(language.GetString(u"hotkey_unavailable"_s, u"Strings"_s));
    // The blanks after the caption keep the text clear of the menu arrow; a language file
    // cannot hold trailing blanks, so they are put back.
    const QString autoSave = btnAutoSave->text();
    if (!autoSave.endsWith(u' '))
        btnAutoSave->setText(autoSave + u"    "_s);
    // A new text invalidates only the page's outer layout; the nested ones keep the old
    // sizes until the page is shown, and the dialog would grow then instead of now.
    for (QWidget *page : { tsInterface, tsAppearance, tsFiles, tsGeneral }) {
        invalidateLayouts(page->layout());
        page->updateGeometry();
    }
    pcOptions->updateGeometry();
}

void TfrmOptions::btnAssociateClick()
{
    const QString program = QCoreApplication::applicationFilePath();
    try {
        RegisterFileType(u".vlt"_s, program, 2, false);
        RegisterFileType(u".vle"_s, program, 1, false);
        RegisterFileType(u".vlx"_s, program, 1, false);
        if (AssociateRefreshesDesktop)
            AnnounceFileTypes({ u".vlt"_s, u".vle"_s, u".vlx"_s });
    } catch (const EVellumtreeError &) {
        // Association is a convenience: a read-only data folder is no reason to bother the
        // user.
    }
}

void TfrmOptions::btnOkClick()
{
    TSettings &s = m_settings;
    s.MinimizeOnEsc = cbMinimize->isChecked();
    s.FullPathOnCaption = cbFullPath->isChecked();
    s.RememberLastFolder = rbRememberLast->isChecked();
    s.RememberWindowPos = cbSavePosition->isChecked();
    if (cbxLanguages->currentIndex() >= 0) {
        const QString chosen = cbxLanguages->currentText();
        switchLanguage(chosen);
        // Only a language that could be loaded is remembered.
        if (LanguageManager().LanguageName() == chosen)
            s.LanguageFile = chosen;
    }
    s.MRUSize = edtMruSize->Value();
    s.TabSize = edtTabSize->Value();
    s.DeleteConfirmationLevel = quint8(ConfirmDeleteIndex());
    s.EditorFont = m_editorFont;
    s.EditorColor = cbtnEditorColor->Color();
    s.TreeFont = m_treeFont;
    s.TreeColor = cbtnTreeColor->Color();
    s.NoteImages = cbNoteImages->isChecked();
    s.Backup = cbBackup->isChecked();
    s.ReloadLastFile = cbReloadLast->isChecked();
    s.TrimSpaces = cbTrimTrailing->isChecked();
    s.AutoSave = quint8(AutoSaveTag());
    s.RememberLastFolder = rbRememberLast->isChecked();
    s.DefaultOpenFolder = edtDefaultOpen->text();
    s.DefaultSaveFolder = edtDefaultSave->text();
    s.BackupFolder = edtDefaultBackup->text();
    s.SingleInstance = !cbMultipleInstances->isChecked();
    s.MinimizeToTray = cbMinimizeToTray->isChecked();
    s.CloseToTray = cbCloseToTray->isChecked();
    s.RememberLastNote = cbRememberNote->isChecked();
    accept();
    s.SaveSettings();
}

void TfrmOptions::reject()
{
    if (m_shown && !m_startLanguage.isEmpty())
        switchLanguage(m_startLanguage);
    QDialog::reject();
}

int TfrmOptions::Execute(TSettings &Settings, int &TabIndex, QWidget *Owner)
{
    TfrmOptions dialog(Settings, TabIndex, Owner);
    // Translated before it is measured, so it is centred at its real size.
    dialog.FormShow();
    dialog.m_shown = true;
    dialog.adjustSize();
    CentreOverOwner(&dialog, Owner);
    const int result = RunModal ? RunModal(dialog) : dialog.exec();
    TabIndex = dialog.pcOptions->currentIndex();
    return result;
}
