#pragma once

// The main window driven as a user would: keys, menus and the document's files, with
// the message boxes, file dialogs and password questions answered by a script.

#include "QuietSettings.h"
#include "app/Main.h"
#include "app/MessageService.h"
#include "app/Prompt.h"
#include "app/SingleInstance.h"
#include "app/qkRichedit.h"
#include "crypto/StrongCipher.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/Pass.h"
#include "settings/Settings.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        UseTemporaryXdgFolders(dir);
        // Keys of new .vlx files at the cheapest cost: the window derives one per file.
        StrongCipher::SetParamsForNewKeys(StrongCipher::MinimumParams());
        savedRunModal = TfrmPassword::RunModal;
        TMessageService::Answer = [this](const TMessageRequest &request) {
            messages << request.Text;
            icons << request.Icon;
            buttons << request.Buttons;
            return answers.isEmpty() ? QMessageBox::No : answers.takeFirst();
        };
        TfrmMain::ChooseFile = [this](TfrmMain *main, bool save, const QString &) {
            dialogTexts << main->FileDialogTexts();
            dialogs << (save ? u"save"_s : u"open"_s);
            return chosenFile;
        };
        TfrmPassword::RunModal = [this](TfrmPassword &dialog) {
            passwordQuestions << (dialog.IsEnterMode() ? u"enter"_s : u"new"_s);
            if (!dialog.IsEnterMode()) {
                offeredFormats << (dialog.rbCompatible->isChecked()
                                       ? TArchive::TEncipherment::Compatible
                                       : TArchive::TEncipherment::Strong);
                if (!formats.isEmpty())
                    (formats.takeFirst() == TArchive::TEncipherment::Compatible
                         ? dialog.rbCompatible
                         : dialog.rbStrong)
                        ->setChecked(true);
            }
            if (passwords.isEmpty())
                return int(QDialog::Rejected);
            const QString password = passwords.takeFirst();
            dialog.edtPassword->setText(password);
            dialog.edtVerify->setText(password);
            return int(QDialog::Accepted);
        };
        TfrmNewNote::RunModal = [this](TfrmNewNote &dialog) {
            if (newNoteTitle.isNull())
                return int(QDialog::Rejected);
            dialog.edtNoteName->setText(newNoteTitle);
            dialog.cbxAddType->setCurrentIndex(newNotePosition);
            return int(QDialog::Accepted);
        };
        StoreQuietSettings([this](TSettings &settings) { adjust(settings); });
    }

    void TearDown() override
    {
        window.reset();
        TMessageService::Answer = nullptr;
        TfrmMain::ChooseFile = nullptr;
        TfrmPassword::RunModal = savedRunModal;
        TfrmNewNote::RunModal = nullptr;
        StrongCipher::SetParamsForNewKeys(StrongCipher::DefaultParams());
        QGuiApplication::clipboard()->clear();
    }

    // Lets a test change the stored settings before the window starts.
    virtual void adjust(TSettings &) { }

    void start(const QString &file = {})
    {
        window = std::make_unique<TfrmMain>(TfrmMain::TStartup{file});
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Starts the window on a document built by the caller.
    void start(const std::function<void(TNoteTree &)> &build)
    {
        start();
        TNoteTree *tree = window->TopicTreeModel;
        tree->ResetTree();
        build(*tree);
        window->TopicTree->selectNote(tree->FirstNote());
        window->ShowNote(tree->FirstNote());
        window->SetModified(false);
        QApplication::processEvents();
    }

    // Starts the window on file as the program's one instance: a second start finds
    // its socket in a runtime folder of the test's own (XDG_RUNTIME_DIR, which the test
    // unsets when done) and hands its file to the window.
    std::unique_ptr<TSingleInstance> startAsSingleInstance(const QString &file)
    {
        TSettings settings(u"Software\\Vellumtree\\"_s, u"1.57"_s);
        settings.LoadSettings();
        settings.SingleInstance = true;
        settings.SaveSettings();
        const QString runtime = dir.filePath(u"runtime"_s);
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                           | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
        start(file);
        auto instance = std::make_unique<TSingleInstance>();
        EXPECT_TRUE(instance->Listen());
        QObject::connect(instance.get(), &TSingleInstance::OpenRequest, window.get(),
                         &TfrmMain::HandleOpenRequest);
        return instance;
    }

    // The middle of the character at a position of the editor's text, in the
    // viewport's coordinates: where a user clicks to hit that character.
    QPoint editorPointOf(int position) const
    {
        QTextCursor cursor(window->Notes->document());
        cursor.setPosition(position);
        const QRect before = window->Notes->cursorRect(cursor);
        cursor.setPosition(position + 1);
        return QPoint((before.left() + window->Notes->cursorRect(cursor).left()) / 2,
                      before.center().y());
    }

    // Closes the window as a user would; true when it closed.
    bool closeWindow()
    {
        const bool closed = window->close();
        if (closed)
            window.reset();
        return closed;
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    QByteArray readBytes(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A notes file with the notes Alpha (body "first"), its child Beta and Gamma.
    void writeDocument(const QString &name, const QString &password = {})
    {
        TNoteTree tree;
        TNote *alpha = tree.AddNote(nullptr, u"Alpha"_s, imLastChild, u"first"_s);
        tree.AddNote(alpha, u"Beta"_s, imLastChild, u"second"_s);
        tree.AddNote(nullptr, u"Gamma"_s, imLastChild);
        TArchive archive(&tree);
        archive.Password = password;
        archive.WriteNotes(nullptr, path(name));
    }

    QString titles() const
    {
        QStringList out;
        const TNoteTree *tree = window->TopicTreeModel;
        for (TNote *n = tree->FirstNote(); n; n = tree->NextInTreeOrder(n))
            out << QString(n->Level(), u'>') + n->Title();
        return out.join(u',');
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

    // A user's clicks leave time for the window's own events in between.
    void select(const QString &title)
    {
        window->TopicTree->setFocus();
        window->TopicTree->selectNote(note(title));
        QApplication::processEvents();
    }

    void typeInEditor(const QString &text)
    {
        window->Notes->setFocus();
        window->Notes->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->Notes, text);
    }

    QString registryFile() const { return path(u"config/Vellumtree/registry.reg"_s); }

    QTemporaryDir dir;
    std::unique_ptr<TfrmMain> window;
    QStringList messages;
    QList<QMessageBox::Icon> icons;
    QList<QMessageBox::StandardButtons> buttons;
    QList<QMessageBox::StandardButton> answers;
    QStringList dialogs;
    QList<TfrmMain::TFileDialogTexts> dialogTexts;
    QString chosenFile;
    QStringList passwords;
    QStringList passwordQuestions;
    // New-password questions: the format each one preselected, and the format the
    // next ones choose (the preselection when there is none).
    QList<TArchive::TEncipherment> offeredFormats;
    QList<TArchive::TEncipherment> formats;
    QString newNoteTitle;
    int newNotePosition = 0;
    std::function<int(TfrmPassword &)> savedRunModal;
};
