#pragma once

#include "app/Main.h"
#include "app/MessageService.h"
#include "app/qkRichedit.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "settings/Settings.h"

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// A real main window on temporary settings, with its message boxes and file dialogs
// answered by the test.
class MainWindowFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
        TMessageService::Answer = [this](const TMessageRequest &request) {
            messages << request.Text;
            icons << request.Icon;
            return answers.isEmpty() ? QMessageBox::No : answers.takeFirst();
        };
        TfrmMain::ChooseFile = [this](TfrmMain *main, bool save, const QString &) {
            dialogTexts << main->FileDialogTexts();
            dialogs << (save ? QStringLiteral("save") : QStringLiteral("open"));
            return chosenFile;
        };
        TSettings settings(QStringLiteral("Software\\Vellumtree\\"), QStringLiteral("1.57"));
        settings.SetDefaults();
        settings.AutoSave = 0;
        settings.ReloadLastFile = false;
        settings.MinimizeToTray = false;
        settings.RememberWindowPos = false;
        settings.SaveSettings();
    }

    void TearDown() override
    {
        window.reset();
        TMessageService::Answer = nullptr;
        TfrmMain::ChooseFile = nullptr;
    }

    // Starts the window on a document built by the caller.
    void start(const std::function<void(TNoteTree &)> &build)
    {
        window = std::make_unique<TfrmMain>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        TNoteTree *tree = window->TopicTreeModel;
        tree->ResetTree();
        build(*tree);
        window->TopicTree->selectNote(tree->FirstNote());
        window->ShowNote(tree->FirstNote());
        window->SetModified(false);
        QApplication::processEvents();
    }

    TNote *note(const QString &title) const
    {
        const TNoteTree *tree = window->TopicTreeModel;
        for (TNote *n = tree->FirstNote(); n; n = tree->NextInTreeOrder(n)) {
            if (n->Title() == title)
                return n;
        }
        return nullptr;
    }

    QAction *command(const char *name) const
    {
        return window->findChild<QAction *>(QLatin1String(name));
    }

    void select(const QString &title)
    {
        window->TopicTree->setFocus();
        window->TopicTree->selectNote(note(title));
        QApplication::processEvents();
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    std::unique_ptr<TfrmMain> window;
    QStringList messages;
    QList<QMessageBox::Icon> icons;
    QList<QMessageBox::StandardButton> answers;
    QStringList dialogs;
    QList<TfrmMain::TFileDialogTexts> dialogTexts;
    QString chosenFile;
};
