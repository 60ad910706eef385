// The window behaviour that needs no desktop: the tray menu, the tray settings, stay on
// top, and what minimising does where there is no tray at all (as on the offscreen
// platform, and on plain GNOME).

#include "QuietSettings.h"

#include "app/Main.h"
#include "app/MessageService.h"
#include "notes/NoteTreeView.h"
#include "settings/Settings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

class WindowBehaviourOffscreen : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        UseTemporaryXdgFolders(dir);
        TMessageService::Answer = [](const TMessageRequest &) { return QMessageBox::No; };
    }

    void TearDown() override
    {
        window.reset();
        TMessageService::Answer = nullptr;
    }

    void start(const std::function<void(TSettings &)> &adjust)
    {
        StoreQuietSettings([&adjust](TSettings &settings) {
            settings.CloseToTray = false;
            adjust(settings);
        });
        window = std::make_unique<TfrmMain>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    QAction *command(const char *name) const
    {
        return window->findChild<QAction *>(QLatin1String(name));
    }

    QTemporaryDir dir;
    std::unique_ptr<TfrmMain> window;
};

TEST_F(WindowBehaviourOffscreen, TrayMenuHasRestoreAsDefaultAndAnImageForEveryItem)
{
    start([](TSettings &) {});
    ASSERT_EQ(window->trayMain->contextMenu(), window->mnuTray);
    QStringList items;
    for (QAction *a : window->mnuTray->actions()) {
        items << a->objectName();
        EXPECT_FALSE(a->icon().isNull()) << a->objectName().toStdString();
    }
    EXPECT_EQ(items, QStringList({u"miRestore"_s, u"miHide"_s, u"miExit"_s}));
    EXPECT_EQ(window->mnuTray->defaultAction(), command("miRestore"));
}

TEST_F(WindowBehaviourOffscreen, TrayIconIsActiveExactlyWhenATrayOptionIsOn)
{
    start([](TSettings &) {});
    struct Row
    {
        bool minimize, close, active;
    };
    for (const Row &row : {Row{false, false, false}, Row{true, false, true},
                           Row{false, true, true}, Row{true, true, true}}) {
        Settings->MinimizeToTray = row.minimize;
        Settings->CloseToTray = row.close;
        window->ApplySettings();
        EXPECT_EQ(window->trayMain->isVisible(), row.active)
            << "MinimizeToTray " << row.minimize << ", CloseToTray " << row.close;
    }
}

TEST_F(WindowBehaviourOffscreen, TrayHintFollowsTheCaptionCutAtTheBarAndAt63Characters)
{
    start([](TSettings &s) { s.MinimizeToTray = true; });
    window->SetNoteFile(dir.filePath(u"Diary.vlt"_s));
    EXPECT_EQ(window->trayMain->toolTip(), u"Vellumtree - [Diary.vlt]"_s);
    window->SetModified(true);
    EXPECT_EQ(window->trayMain->toolTip(), u"Vellumtree - [*Diary.vlt]"_s);
    // Cut before the first "|" and at 63 characters.
    const QString longName = dir.filePath(QString(80, u'n') + u".vlt"_s);
    window->SetNoteFile(longName);
    const QString caption = window->windowTitle();
    ASSERT_GT(caption.size(), 63);
    EXPECT_EQ(window->trayMain->toolTip(), caption.left(63));
    window->SetNoteFile(dir.filePath(u"before|after.vlt"_s));
    EXPECT_EQ(window->trayMain->toolTip(), u"Vellumtree - [*before"_s);
}

// The offscreen platform has no tray, as plain GNOME has none: "to the tray" must not
// leave a window nobody can bring back.
TEST_F(WindowBehaviourOffscreen, WithoutATrayMinimisingNeverHidesTheWindow)
{
    ASSERT_FALSE(TfrmMain::TrayAvailable());
    start([](TSettings &s) {
        s.MinimizeToTray = true;
        s.MinimizeOnEsc = true;
    });
    window->TopicTree->setFocus();
    QTest::keyClick(window->TopicTree, Qt::Key_Escape);
    QTest::qWait(50);
    EXPECT_TRUE(window->isMinimized());
    EXPECT_FALSE(window->isHidden());

    command("miRestore")->trigger();
    EXPECT_FALSE(window->isMinimized());
    command("miHide")->trigger();
    QTest::qWait(50);
    EXPECT_TRUE(window->isMinimized());
    EXPECT_FALSE(window->isHidden());
}

TEST_F(WindowBehaviourOffscreen, EscDoesNothingWithoutMinimizeOnEsc)
{
    start([](TSettings &s) { s.MinimizeOnEsc = false; });
    window->TopicTree->setFocus();
    QTest::keyClick(window->TopicTree, Qt::Key_Escape);
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(WindowBehaviourOffscreen, RestoreLeavesAMaximisedWindowMaximised)
{
    start([](TSettings &) {});
    window->showMaximized();
    ASSERT_TRUE(window->isMaximized());
    command("miRestore")->trigger();
    EXPECT_TRUE(window->isMaximized());
    window->showMinimized();
    command("miRestore")->trigger();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(WindowBehaviourOffscreen, FileExitClosesEvenWithCloseToTray)
{
    start([](TSettings &s) { s.CloseToTray = true; });
    command("miFileExit")->trigger();
    EXPECT_FALSE(window->isVisible());
}


TEST_F(WindowBehaviourOffscreen, StayOnTopFollowsTheMenuAndTheSetting)
{
    start([](TSettings &) {});
    QAction *onTop = command("miSettingsOnTop");
    ASSERT_FALSE(onTop->isChecked());
    onTop->trigger();
    EXPECT_TRUE(Settings->StayOnTop);
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window->isVisible());
    onTop->trigger();
    EXPECT_FALSE(Settings->StayOnTop);
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    // Set elsewhere (the Options dialog), the check mark follows when the menu opens.
    Settings->StayOnTop = true;
    emit window->findChild<QMenu *>(u"miSettings"_s)->aboutToShow();
    EXPECT_TRUE(onTop->isChecked());
    // Ctrl+T stays the editor's Insert time; the menu only shows the key.
    EXPECT_TRUE(onTop->shortcut().isEmpty());
    EXPECT_TRUE(onTop->text().endsWith(u"\tCtrl+T"_s));
}

} // namespace
