// The main window saving a document as a user would, for the fault and kill tests:
//
//   save_driver FILE [--backup] [--password P] [--lines N] [--saves N]
//
// Opens FILE in the real main window (offscreen), then N times (0: until killed)
// types the next version into the note "Check" and saves with File > Save. Prints
// "ready" once the document is open, "saved K" after each save and "message: TEXT"
// for every message box. Exit status 0 when every save succeeded, 1 otherwise.

#include "DriverOutput.h"
#include "QuietSettings.h"
#include "Versions.h"

#include "app/Main.h"
#include "app/MessageService.h"
#include "app/qkRichedit.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "notes/Pass.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QLineEdit>

#include <cstdio>

using namespace Qt::StringLiterals;

using DriverOutput::say;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Vellumtree"_s);
    QApplication::setOrganizationName(u"Vellumtree"_s);

    const QStringList args = QApplication::arguments();
    const QString file = args.value(1);
    const bool backup = args.contains(u"--backup"_s);
    const auto option = [&args](const QString &name, const QString &fallback) {
        return DriverOutput::option(args, name, fallback);
    };
    const QString password = option(u"--password"_s, {});
    const int lineBase = option(u"--lines"_s, u"50"_s).toInt();
    const int saves = option(u"--saves"_s, u"1"_s).toInt();

    StoreQuietSettings([backup](TSettings &settings) { settings.Backup = backup; });
    TMessageService::Answer = [](const TMessageRequest &request) {
        say(u"message: "_s + request.Text);
        return QMessageBox::Ok;
    };
    TfrmPassword::RunModal = [password](TfrmPassword &dialog) {
        dialog.edtPassword->setText(password);
        dialog.edtVerify->setText(password);
        return int(QDialog::Accepted);
    };

    TfrmMain window(TfrmMain::TStartup{file});
    window.show();
    QApplication::processEvents();
    TNote *check = window.TopicTreeModel->FindByTitle(u"Check"_s);
    if (!check) {
        say(u"no note Check in "_s + file);
        return 2;
    }
    window.TopicTree->selectNote(check);
    QApplication::processEvents();
    int version = check->Body().value(0).section(u' ', 1, 1).chopped(1).toInt();
    say(u"ready"_s);

    for (int i = 0; saves == 0 || i < saves; ++i) {
        ++version;
        window.Notes->SetBodyText(Versions::Body(version, lineBase));
        window.SetModified(true);
        window.miFileSaveClick();
        if (window.Modified())
            return 1;
        say(u"saved %1"_s.arg(version));
    }
    return 0;
}
