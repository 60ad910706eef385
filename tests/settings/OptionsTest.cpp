// The options dialog on its real widgets, inside the real main window, with a temporary
// registry file and data folder.

#include "app/QuietSettings.h"
#include "app/Main.h"
#include "app/MessageService.h"
#include "app/qkRichedit.h"
#include "notes/NoteTreeView.h"
#include "settings/LngMan.h"
#include "settings/Options.h"
#include "settings/Settings.h"
#include "settings/SettingsGui.h"
#include "settings/qkMRUList.h"
#include "widgets/BrowseDr.h"
#include "widgets/CBtnForm.h"
#include "widgets/DFSClrBn.h"
#include "widgets/Spin.h"
#include "widgets/About.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kKey = u"Software\\Vellumtree\\"_s;

// A check box or radio button reacts to clicks on its indicator and text only, and a
// layout may make it wider than those.
void clickIndicator(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// Every field the dialog edits, compared one by one so a failure names the field.
void expectEditedFieldsEqual(const TSettings &a, const TSettings &b)
{
    EXPECT_EQ(a.AutoSave, b.AutoSave);
    EXPECT_EQ(a.DeleteConfirmationLevel, b.DeleteConfirmationLevel);
    EXPECT_EQ(a.MinimizeOnEsc, b.MinimizeOnEsc);
    EXPECT_EQ(a.FullPathOnCaption, b.FullPathOnCaption);
    EXPECT_EQ(a.ReloadLastFile, b.ReloadLastFile);
    EXPECT_EQ(a.RememberLastFolder, b.RememberLastFolder);
    EXPECT_EQ(a.Backup, b.Backup);
    EXPECT_EQ(a.MinimizeToTray, b.MinimizeToTray);
    EXPECT_EQ(a.CloseToTray, b.CloseToTray);
    EXPECT_EQ(a.TrimSpaces, b.TrimSpaces);
    EXPECT_EQ(a.RememberWindowPos, b.RememberWindowPos);
    EXPECT_EQ(a.RememberLastNote, b.RememberLastNote);
    EXPECT_EQ(a.NoteImages, b.NoteImages);
    EXPECT_EQ(a.SingleInstance, b.SingleInstance);
    EXPECT_EQ(a.MRUSize, b.MRUSize);
    EXPECT_EQ(a.TabSize, b.TabSize);
    EXPECT_TRUE(a.TreeFont == b.TreeFont) << a.TreeFont.Name.toStdString();
    EXPECT_TRUE(a.EditorFont == b.EditorFont) << a.EditorFont.Name.toStdString();
    EXPECT_EQ(a.TreeColor, b.TreeColor);
    EXPECT_EQ(a.EditorColor, b.EditorColor);
    EXPECT_EQ(a.LanguageFile, b.LanguageFile);
    EXPECT_EQ(a.DefaultOpenFolder, b.DefaultOpenFolder);
    EXPECT_EQ(a.DefaultSaveFolder, b.DefaultSaveFolder);
    EXPECT_EQ(a.BackupFolder, b.BackupFolder);
}

class OptionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        UseTemporaryXdgFolders(dir);
        TMessageService::Answer = [this](const TMessageRequest &request) {
            messages << request.Text;
            return QMessageBox::Ok;
        };
        TfrmOptions::AssociateRefreshesDesktop = false;
        StoreQuietSettings([this](TSettings &settings) { adjust(settings); });
    }

    void TearDown() override
    {
        window.reset();
        TfrmOptions::RunModal = nullptr;
        TfrmOptions::ChooseFont = nullptr;
        TdfsBrowseDirectoryDlg::RunModal = nullptr;
        TMessageService::Answer = nullptr;
        // Every test starts in English, in the program's own language folder.
        StartLanguageManager(LanguageManager(), LanguageFolder(), u"English.lng"_s);
    }

    virtual void adjust(TSettings &) { }

    void start()
    {
        window = std::make_unique<TfrmMain>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Opens the dialog through F9 and lets act work on it; returns what act returned.
    int openOptions(const std::function<int(TfrmOptions &)> &act)
    {
        int result = -1;
        TfrmOptions::RunModal = [&](TfrmOptions &dialog) {
            dialog.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
            result = act(dialog);
            return result;
        };
        // The window's keys work while it is the active window.
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_F9);
        TfrmOptions::RunModal = nullptr;
        EXPECT_NE(result, -1) << "F9 opened no dialog";
        return result;
    }

    static int chooseLanguage(TfrmOptions &dialog, const QString &file)
    {
        const int index = dialog.cbxLanguages->findText(file);
        EXPECT_GE(index, 0);
        dialog.cbxLanguages->setCurrentIndex(index);
        return index;
    }

    static int pressOk(TfrmOptions &dialog)
    {
        QTest::mouseClick(dialog.btnOk, Qt::LeftButton);
        return dialog.result();
    }

    static TSettings stored()
    {
        TSettings s(kKey, u"1.57"_s);
        s.LoadSettings();
        return s;
    }

    QString caption(const char *action) const
    {
        return window->findChild<QAction *>(QLatin1String(action))->text();
    }

    QTemporaryDir dir;
    std::unique_ptr<TfrmMain> window;
    QStringList messages;
};

TEST_F(OptionsTest, F9AndTheToolbarButtonOpenIt)
{
    start();
    int opened = 0;
    TfrmOptions::RunModal = [&](TfrmOptions &dialog) {
        ++opened;
        EXPECT_EQ(dialog.windowTitle(), u"Options"_s);
        EXPECT_EQ(dialog.parentWidget(), window.get());
        return int(QDialog::Rejected);
    };
    QTest::keyClick(window.get(), Qt::Key_F9);
    window->findChild<QAction *>(u"btnOptions"_s)->trigger();
    EXPECT_EQ(opened, 2);
}

TEST_F(OptionsTest, HelpAboutAndTheAboutButtonOpenTheAboutBox)
{
    start();
    QStringList shown;
    TfrmAbout::RunModal = [&](TfrmAbout &about) {
        about.show();
        shown << about.lblInformation->text().section(u'\n', 0, 0);
        EXPECT_EQ(about.parentWidget(), window.get());
        return int(QDialog::Accepted);
    };
    window->findChild<QAction *>(u"miHelpAbout"_s)->trigger();
    window->findChild<QAction *>(u"btnAbout"_s)->trigger();
    TfrmAbout::RunModal = nullptr;
    EXPECT_EQ(shown, QStringList({ u"Vellumtree 1.57"_s, u"Vellumtree 1.57"_s }));
}

TEST_F(OptionsTest, RemembersTheTabWithinARunButNotAcrossRuns)
{
    start();
    openOptions([](TfrmOptions &dialog) {
        EXPECT_EQ(dialog.pcOptions->currentWidget(), dialog.tsInterface);
        dialog.pcOptions->setCurrentWidget(dialog.tsFiles);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        return dialog.result();
    });
    openOptions([](TfrmOptions &dialog) {
        EXPECT_EQ(dialog.pcOptions->currentWidget(), dialog.tsFiles);
        dialog.pcOptions->setCurrentWidget(dialog.tsGeneral);
        return pressOk(dialog);
    });
    openOptions([](TfrmOptions &dialog) {
        EXPECT_EQ(dialog.pcOptions->currentWidget(), dialog.tsGeneral);
        return pressOk(dialog);
    });
    ASSERT_TRUE(window->close());
    window.reset();
    start();
    openOptions([](TfrmOptions &dialog) {
        EXPECT_EQ(dialog.pcOptions->currentWidget(), dialog.tsInterface);
        return int(QDialog::Rejected);
    });
}

TEST_F(OptionsTest, LanguageSwitchesLiveAndCancelPutsTheOldOneBack)
{
    start();
    const int result = openOptions([](TfrmOptions &dialog) {
        EXPECT_EQ(dialog.cbxLanguages->currentText(), u"English.lng"_s);
        chooseLanguage(dialog, u"Deutsch.lng"_s);
        // The dialog speaks the new language at once, before anything is confirmed.
        EXPECT_EQ(dialog.windowTitle(), u"Optionen"_s);
        EXPECT_EQ(dialog.btnCancel->text(), u"Abbrechen"_s);
        EXPECT_EQ(dialog.cbtnTreeColor->OtherCaption(), u"&Andere"_s);
        QTest::keyClick(dialog.cbMinimize, Qt::Key_Escape);
        return dialog.result();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(LanguageManager().LanguageName(), u"English.lng"_s);
    EXPECT_EQ(Settings->LanguageFile, u"English.lng"_s);
    EXPECT_EQ(caption("miFile"), u"&File"_s);
}

TEST_F(OptionsTest, OkSwitchesTheLanguageStoresItAndTheMainWindowFollows)
{
    start();
    openOptions([](TfrmOptions &dialog) {
        chooseLanguage(dialog, u"Deutsch.lng"_s);
        return pressOk(dialog);
    });
    EXPECT_EQ(LanguageManager().LanguageName(), u"Deutsch.lng"_s);
    EXPECT_EQ(stored().LanguageFile, u"Deutsch.lng"_s);
    EXPECT_EQ(caption("miFile"), u"&Datei"_s);
    EXPECT_EQ(caption("miSettingsOptions"), u"&Optionen..."_s);
}

TEST_F(OptionsTest, DialogKeepsItsSizeAcrossTabsAfterALanguageSwitch)
{
    start();
    openOptions([](TfrmOptions &dialog) {
        chooseLanguage(dialog, u"Deutsch.lng"_s);
        QTest::qWait(20); // let the new layout settle
        const QSize size = dialog.size();
        for (QWidget *page : { dialog.tsAppearance, dialog.tsFiles, dialog.tsGeneral }) {
            dialog.pcOptions->setCurrentWidget(page);
            QTest::qWait(20);
            EXPECT_EQ(dialog.size(), size) << page->objectName().toStdString();
        }
        // Nothing is cut off: every page gets at least the room it asks for.
        for (QWidget *page : { dialog.tsInterface, dialog.tsAppearance, dialog.tsFiles,
                 dialog.tsGeneral }) {
            EXPECT_GE(page->width(), page->minimumSizeHint().width())
                << page->objectName().toStdString();
            EXPECT_GE(page->height(), page->minimumSizeHint().height())
                << page->objectName().toStdString();
        }
        return int(QDialog::Rejected);
    });
}

class OptionsBackupFolderTest : public OptionsTest
{
    void adjust(TSettings &s) override
    {
        s.RememberLastFolder = true;
        s.Backup = true;
    }
};

TEST_F(OptionsBackupFolderTest, FolderBoxesFollowTheRadioButtonsAndMakeBackups)
{
    start();
    openOptions([](TfrmOptions &dialog) {
        auto enabled = [&dialog] {
            return QString::fromLatin1("%1%2%3%4%5%6")
                .arg(int(dialog.edtDefaultOpen->isEnabled()))
                .arg(int(dialog.btnBrowseOpen->isEnabled()))
                .arg(int(dialog.edtDefaultSave->isEnabled()))
                .arg(int(dialog.btnBrowseSave->isEnabled()))
                .arg(int(dialog.edtDefaultBackup->isEnabled()))
                .arg(int(dialog.btnBrowseBackup->isEnabled()));
        };
        dialog.pcOptions->setCurrentWidget(dialog.tsFiles);
        // At opening the backup folder follows "Make backups" alone.
        EXPECT_EQ(enabled(), u"000011"_s);
        // Clicking the radio button already chosen applies the radio rule.
        clickIndicator(dialog.rbRememberLast);
        EXPECT_EQ(enabled(), u"000000"_s);
        clickIndicator(dialog.rbUseDefault);
        EXPECT_EQ(enabled(), u"111111"_s);
        clickIndicator(dialog.cbBackup);
        EXPECT_EQ(enabled(), u"111100"_s);
        clickIndicator(dialog.rbRememberLast);
        clickIndicator(dialog.cbBackup);
        EXPECT_EQ(enabled(), u"000011"_s);
        return int(QDialog::Rejected);
    });
}

TEST_F(OptionsTest, MruSizeThirtyKeepsSixteenFilesAndZeroEmptiesTheList)
{
    start();
    openOptions([](TfrmOptions &dialog) {
        dialog.edtMruSize->SetValue(30);
        return pressOk(dialog);
    });
    EXPECT_EQ(Settings->MRUSize, 30);
    EXPECT_EQ(stored().MRUSize, 30);
    for (int i = 0; i < 20; ++i)
        window->mruMain->AddFile(dir.filePath(u"file%1.vlt"_s.arg(i)));
    EXPECT_EQ(window->mruMain->Items().size(), 16);

    openOptions([](TfrmOptions &dialog) {
        EXPECT_EQ(dialog.edtMruSize->Value(), 30);
        dialog.edtMruSize->SetValue(0);
        return pressOk(dialog);
    });
    EXPECT_EQ(Settings->MRUSize, 0);
    EXPECT_EQ(window->mruMain->ItemCount(), 0);
    EXPECT_TRUE(window->mruMain->Items().isEmpty());
}

TEST_F(OptionsTest, LettersAreRefusedAndAnEmptyTabSizeStoresZeroButTheEditorUsesOne)
{
    start();
    openOptions([](TfrmOptions &dialog) {
        dialog.edtTabSize->setFocus();
        dialog.edtTabSize->selectAll();
        QTest::keyClick(dialog.edtTabSize, Qt::Key_Delete);
        QTest::keyClicks(dialog.edtTabSize, u"abc"_s);
        EXPECT_EQ(dialog.edtTabSize->text(), QString());
        // Enter in a box is OK for the whole dialog.
        QTest::keyClick(dialog.edtTabSize, Qt::Key_Return);
        return dialog.result();
    });
    EXPECT_EQ(stored().TabSize, 0);
    EXPECT_EQ(window->Notes->TabSize(), 1);
}

TEST_F(OptionsTest, EnterOnAFocusedCancelCancels)
{
    start();
    const bool before = Settings->MinimizeOnEsc;
    const int result = openOptions([](TfrmOptions &dialog) {
        dialog.cbMinimize->click();
        dialog.btnCancel->setFocus();
        QTest::keyClick(dialog.btnCancel, Qt::Key_Return);
        return dialog.result();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(Settings->MinimizeOnEsc, before);
    EXPECT_EQ(stored().MinimizeOnEsc, before);
}

TEST_F(OptionsTest, OkWithoutChangesKeepsEverySetting)
{
    TSettings before(kKey, u"1.57"_s);
    before.LoadSettings();
    before.AutoSave = 4;
    before.DeleteConfirmationLevel = 2;
    before.MinimizeOnEsc = false;
    before.FullPathOnCaption = true;
    before.Backup = true;
    before.CloseToTray = true;
    before.TrimSpaces = false;
    before.RememberLastNote = false;
    before.NoteImages = false;
    before.SingleInstance = false;
    before.MRUSize = 3;
    before.TabSize = 2;
    before.TreeFont = TFontDesc { u"No Such Face"_s, 11, fsItalic, fpFixed, 0x0000FF, 204 };
    before.EditorColor = 0x00ABCDEF;
    before.DefaultOpenFolder = u"/nowhere/open"_s;
    before.BackupFolder = u"relative"_s;
    before.SaveSettings();
    start();
    openOptions([](TfrmOptions &dialog) {
        EXPECT_TRUE(dialog.cbMultipleInstances->isChecked());
        EXPECT_TRUE(dialog.rbConfirm[2]->isChecked());
        EXPECT_TRUE(dialog.mnuAutoSave->actions().at(4)->isChecked());
        // Drawn in a face that exists, and the box says which.
        EXPECT_EQ(dialog.edtTreeFont->text(),
                  u"No Such Face (%1)"_s.arg(QFontInfo(dialog.edtTreeFont->font()).family()));
        EXPECT_EQ(dialog.edtDefaultOpen->text(), u"/nowhere/open"_s);
        return pressOk(dialog);
    });
    expectEditedFieldsEqual(stored(), before);
}

TEST_F(OptionsTest, OkWritesEveryControlAndTheMainWindowShowsItAtOnce)
{
    start();
    TSettings expected = stored();
    TfrmOptions::ChooseFont = [](QWidget *, QFont &font) {
        font = QFont(u"DejaVu Serif"_s, 13);
        font.setBold(true);
        return true;
    };
    TdfsBrowseDirectoryDlg::RunModal = [this](QFileDialog &dialog) {
        dialog.selectFile(dir.path());
        return int(QDialog::Accepted);
    };
    openOptions([this](TfrmOptions &dialog) {
        clickIndicator(dialog.cbMinimize);
        clickIndicator(dialog.cbFullPath);
        clickIndicator(dialog.cbSavePosition);
        dialog.edtMruSize->SetValue(9);
        dialog.edtTabSize->SetValue(6);
        clickIndicator(dialog.rbConfirm[1]);

        dialog.pcOptions->setCurrentWidget(dialog.tsAppearance);
        QTest::mouseClick(dialog.btnEditorFont, Qt::LeftButton);
        EXPECT_EQ(dialog.edtEditorFont->text(), u"DejaVu Serif"_s);
        EXPECT_EQ(dialog.edtEditorFont->font().family(), u"DejaVu Serif"_s);
        QTest::mouseClick(dialog.cbtnTreeColor, Qt::LeftButton);
        EXPECT_EQ(dialog.cbtnTreeColor->Palette()->btnOther->text(), u"&Other"_s);
        QTest::mouseClick(dialog.cbtnTreeColor->Palette()->Swatch(9), Qt::LeftButton); // red
        dialog.cbtnEditorColor->SetColor(0x00F0FBFF);
        clickIndicator(dialog.cbNoteImages);

        dialog.pcOptions->setCurrentWidget(dialog.tsFiles);
        clickIndicator(dialog.cbBackup);
        clickIndicator(dialog.cbTrimTrailing);
        clickIndicator(dialog.cbReloadLast);
        dialog.mnuAutoSave->actions().at(3)->trigger();
        clickIndicator(dialog.rbUseDefault);
        QTest::mouseClick(dialog.btnBrowseOpen, Qt::LeftButton);
        dialog.edtDefaultSave->setText(u"typed as it is"_s);
        dialog.edtDefaultBackup->setText(dir.filePath(u"bak"_s));

        dialog.pcOptions->setCurrentWidget(dialog.tsGeneral);
        clickIndicator(dialog.cbMultipleInstances);
        clickIndicator(dialog.cbMinimizeToTray);
        clickIndicator(dialog.cbCloseToTray);
        clickIndicator(dialog.cbRememberNote);
        return pressOk(dialog);
    });
    expected.MinimizeOnEsc = !expected.MinimizeOnEsc;
    expected.FullPathOnCaption = !expected.FullPathOnCaption;
    expected.RememberWindowPos = !expected.RememberWindowPos;
    expected.MRUSize = 9;
    expected.TabSize = 6;
    expected.DeleteConfirmationLevel = 1;
    expected.EditorFont.Name = u"DejaVu Serif"_s;
    expected.EditorFont.Size = 13;
    expected.EditorFont.Style = fsBold;
    expected.TreeColor = 0x0000FF;
    expected.EditorColor = 0x00F0FBFF;
    expected.NoteImages = !expected.NoteImages;
    expected.Backup = !expected.Backup;
    expected.TrimSpaces = !expected.TrimSpaces;
    expected.ReloadLastFile = !expected.ReloadLastFile;
    expected.AutoSave = 3;
    expected.RememberLastFolder = false;
    expected.DefaultOpenFolder = QDir::toNativeSeparators(dir.path());
    expected.DefaultSaveFolder = u"typed as it is"_s;
    expected.BackupFolder = dir.filePath(u"bak"_s);
    expected.SingleInstance = !expected.SingleInstance;
    expected.MinimizeToTray = !expected.MinimizeToTray;
    expected.CloseToTray = !expected.CloseToTray;
    expected.RememberLastNote = !expected.RememberLastNote;
    expectEditedFieldsEqual(stored(), expected);
    expectEditedFieldsEqual(*Settings, expected);

    // The main window shows the new settings without a restart.
    EXPECT_EQ(window->Notes->font().family(), u"DejaVu Serif"_s);
    EXPECT_TRUE(window->Notes->font().bold());
    EXPECT_EQ(window->Notes->TabSize(), 6);
    EXPECT_EQ(window->TopicTree->palette().color(QPalette::Base), QColor(255, 0, 0));
    EXPECT_EQ(window->tmrAutosave->interval(), 300000);
    EXPECT_TRUE(window->tmrAutosave->isActive());
    EXPECT_EQ(window->mruMain->ItemCount(), 9);
}

TEST_F(OptionsTest, CancelChangesNoSetting)
{
    start();
    const QByteArray before = [] {
        QFile f(QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath(u"Vellumtree/registry.reg"_s));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    openOptions([](TfrmOptions &dialog) {
        clickIndicator(dialog.cbMinimize);
        dialog.edtTabSize->SetValue(12);
        QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
        return dialog.result();
    });
    EXPECT_TRUE(Settings->MinimizeOnEsc);
    EXPECT_EQ(Settings->TabSize, 4);
    EXPECT_EQ(window->Notes->TabSize(), 4);
    QFile after(QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath(u"Vellumtree/registry.reg"_s));
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
}

TEST_F(OptionsTest, AutosaveMenuChecksOneItemAndKeepsItsPositionInTheTag)
{
    start();
    openOptions([](TfrmOptions &dialog) {
        const QList<QAction *> items = dialog.mnuAutoSave->actions();
        EXPECT_EQ(items.size(), 5);
        if (items.size() != 5)
            return int(QDialog::Rejected);
        EXPECT_EQ(items[0]->text(), u"&Never"_s);
        EXPECT_EQ(dialog.AutoSaveTag(), 0);
        EXPECT_TRUE(items[0]->isChecked());
        items[4]->trigger();
        EXPECT_EQ(dialog.AutoSaveTag(), 4);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(items[i]->isChecked(), i == 4) << i;
        EXPECT_EQ(dialog.btnAutoSave->menu(), dialog.mnuAutoSave);
        return int(QDialog::Rejected);
    });
}

TEST_F(OptionsTest, AssociateWritesTheDesktopFilesSilently)
{
    start();
    openOptions([](TfrmOptions &dialog) {
        QTest::mouseClick(dialog.btnAssociate, Qt::LeftButton);
        return int(QDialog::Rejected);
    });
    const QDir data(dir.filePath(u"data"_s));
    QFile desktop(data.filePath(u"applications/vellumtree.desktop"_s));
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    EXPECT_TRUE(entry.contains(
        u"MimeType=application/x-vellumtree-vlt;application/x-vellumtree-vle;"
        "application/x-vellumtree-vlx;"_s))
        << entry.toStdString();
    EXPECT_TRUE(entry.contains(QCoreApplication::applicationFilePath())) << entry.toStdString();
    for (const QString &name : { u"vlt"_s, u"vle"_s, u"vlx"_s }) {
        QFile package(data.filePath(u"mime/packages/vellumtree-%1.xml"_s.arg(name)));
        ASSERT_TRUE(package.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_TRUE(package.readAll().contains(u"<glob pattern=\"*.%1\"/>"_s.arg(name).toUtf8()));
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(OptionsTest, AssociateFailureShowsNothing)
{
    // A file where the data folder should be: nothing can be written below it.
    QFile blocker(dir.filePath(u"data"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    start();
    openOptions([](TfrmOptions &dialog) {
        QTest::mouseClick(dialog.btnAssociate, Qt::LeftButton);
        return int(QDialog::Rejected);
    });
    EXPECT_TRUE(messages.isEmpty());
}

// The dialog alone, on a language folder that no longer holds the language in use.
TEST_F(OptionsTest, LanguageListWithoutTheLanguageInUseSelectsNothingAndOkKeepsIt)
{
    QTemporaryDir lng;
    for (const QString &name : { u"English.lng"_s, u"Deutsch.lng"_s })
        ASSERT_TRUE(QFile::copy(QDir(LanguageFolder()).filePath(name), QDir(lng.path()).filePath(name)));
    TLngMan &manager = LanguageManager();
    manager.SetFolder(lng.path());
    manager.SetLanguage(u"Deutsch.lng"_s);
    ASSERT_TRUE(QFile::remove(QDir(lng.path()).filePath(u"Deutsch.lng"_s)));

    TSettings settings(kKey, u"1.57"_s);
    settings.LoadSettings();
    settings.LanguageFile = u"Deutsch.lng"_s;
    int tab = 0;
    TfrmOptions::RunModal = [](TfrmOptions &dialog) {
        EXPECT_EQ(dialog.cbxLanguages->count(), 1);
        EXPECT_EQ(dialog.cbxLanguages->currentIndex(), -1);
        return pressOk(dialog);
    };
    EXPECT_EQ(TfrmOptions::Execute(settings, tab, nullptr), QDialog::Accepted);
    EXPECT_EQ(settings.LanguageFile, u"Deutsch.lng"_s);
    EXPECT_EQ(manager.LanguageName(), u"Deutsch.lng"_s);
    EXPECT_EQ(stored().LanguageFile, u"Deutsch.lng"_s);
}

// --- Qt's own texts ---------------------------------------------------------------------

QString yesButtonText()
{
    QMessageBox box(QMessageBox::Question, u"Vellumtree"_s, u"?"_s,
                    QMessageBox::Yes | QMessageBox::No);
    return box.button(QMessageBox::Yes)->text();
}

TEST_F(OptionsTest, QtButtonsFollowTheLanguageLiveAndBackOnCancel)
{
    start();
    EXPECT_EQ(yesButtonText(), u"&Yes"_s);
    openOptions([](TfrmOptions &dialog) {
        chooseLanguage(dialog, u"Deutsch.lng"_s);
        EXPECT_EQ(yesButtonText(), u"&Ja"_s);
        QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
        return dialog.result();
    });
    EXPECT_EQ(yesButtonText(), u"&Yes"_s);
    openOptions([](TfrmOptions &dialog) {
        chooseLanguage(dialog, u"Deutsch.lng"_s);
        return pressOk(dialog);
    });
    EXPECT_EQ(yesButtonText(), u"&Ja"_s);
}

TEST(QtTranslationLocale, ComesFromTheFileElseFromTheSystem)
{
    QTemporaryDir lng;
    const struct {
        const char *file;
        const char *text;
    } files[] = {
        { "Named.lng", "[Language]\nLocale=pt_BR\n" },
        { "Older.lng", "[Strings]\nroot_note=Notes\n" },
        { "Foreign.lng", "[Language]\nLocale=../../etc/passwd\n" },
    };
    for (const auto &f : files) {
        QFile file(QDir(lng.path()).filePath(QLatin1String(f.file)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(f.text);
    }
    TLngMan manager;
    manager.SetFolder(lng.path());
    manager.SetLanguage(u"Named.lng"_s);
    EXPECT_EQ(manager.LanguageLocale(), u"pt_BR"_s);
    EXPECT_EQ(QtTranslationLocale(manager).name(), u"pt_BR"_s);
    manager.SetLanguage(u"Older.lng"_s);
    EXPECT_EQ(manager.LanguageLocale(), QString());
    EXPECT_EQ(QtTranslationLocale(manager), QLocale::system());
    manager.SetLanguage(u"Foreign.lng"_s);
    EXPECT_EQ(QtTranslationLocale(manager), QLocale::system());
    // Without any file the program speaks its built-in English.
    TLngMan none;
    EXPECT_EQ(none.LanguageLocale(), u"en"_s);
}

} // namespace

// A hot key the session cannot give must not look as if it worked: the box is greyed
// out and one line says why, in the dialog's language. Offscreen nothing grabs keys.
TEST_F(OptionsTest, HotKeyBoxSaysWhenTheSessionGivesNoHotKey)
{
    start();
    EXPECT_FALSE(TfrmOptions::HotKeyWorks);
    openOptions([](TfrmOptions &dialog) {
        dialog.pcOptions->setCurrentWidget(dialog.tsGeneral);
        EXPECT_FALSE(dialog.edtHotKey->isEnabled());
        EXPECT_EQ(dialog.edtHotKey->text(), u"Super+N"_s);
        EXPECT_TRUE(dialog.lblHotKeyNone->isVisible());
        EXPECT_EQ(dialog.lblHotKeyNone->text(), u"This desktop gives no program a global hot key."_s);
        chooseLanguage(dialog, u"Deutsch.lng"_s);
        EXPECT_TRUE(dialog.lblHotKeyNone->text().startsWith(u"Diese Arbeitsumgebung"_s));
        EXPECT_EQ(dialog.lblHotKey->buddy(), dialog.edtHotKey);
        QTest::keyClick(dialog.cbMinimize, Qt::Key_Escape);
        return dialog.result();
    });

    TfrmOptions::HotKeyWorks = true;
    openOptions([](TfrmOptions &dialog) {
        dialog.pcOptions->setCurrentWidget(dialog.tsGeneral);
        EXPECT_TRUE(dialog.edtHotKey->isEnabled());
        EXPECT_FALSE(dialog.lblHotKeyNone->isVisible());
        QTest::keyClick(dialog.cbMinimize, Qt::Key_Escape);
        return dialog.result();
    });
    TfrmOptions::HotKeyWorks = false;
}
