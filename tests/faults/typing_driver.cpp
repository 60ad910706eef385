// The main window with a user typing into it, for the recovery and signal tests:
//
//   typing_driver FILE [--autosave N] [--chars N] [--seed S]
//       Opens FILE in the real main window (offscreen), with termination signals
//       handled as the program does, and types Typing::Text() into the first note in
//       bursts with pauses of random length. Prints "typed K" after each character
//       and "ready" before the first; after N characters (0: until killed) it waits.
//   typing_driver --recover
//       Starts the window without a file, answers an offered recovery copy with
//       Recover, prints "offered", "file NAME", "modified 0|1" and "body TEXT" (the
//       first note's body, percent-encoded), and ends.
//
// Every message box is printed as "message: TEXT".

#include "DriverOutput.h"
#include "QuietSettings.h"
#include "Typing.h"

#include "app/Main.h"
#include "app/MessageService.h"
#include "app/SignalGate.h"
#include "app/qkRichedit.h"
#include "notes/NoteTree.h"
#include "notes/NoteTreeView.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;

using DriverOutput::option;
using DriverOutput::say;

namespace {

int recover()
{
    bool offered = false;
    TMessageService::Answer = [&offered](const TMessageRequest &request) {
        say(u"message: "_s + request.Text);
        if (request.Buttons.testFlag(QMessageBox::Yes)
            && request.Buttons.testFlag(QMessageBox::Discard)) {
            offered = true;
            return QMessageBox::Yes;
        }
        return QMessageBox::Cancel;
    };
    TfrmMain window;
    window.show();
    // The offer comes once the window is shown.
    if (QTest::qWaitFor([&offered] { return offered; }, 1000))
        say(u"offered"_s);
    say(u"file "_s + window.NoteFile());
    say(u"modified "_s + QString::number(window.Modified()));
    const TNote *first = window.TopicTreeModel->FirstNote();
    say(u"body "_s
        + QString::fromLatin1(QUrl::toPercentEncoding(first ? first->BodyText() : QString())));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Vellumtree"_s);
    QApplication::setOrganizationName(u"Vellumtree"_s);
    const QStringList args = QApplication::arguments();
    const int autosave = option(args, u"--autosave"_s, u"0"_s).toInt();
    StoreQuietSettings([autosave](TSettings &settings) { settings.AutoSave = quint8(autosave); });
    if (args.contains(u"--recover"_s))
        return recover();

    TMessageService::Answer = [](const TMessageRequest &request) {
        say(u"message: "_s + request.Text);
        return QMessageBox::Cancel;
    };
    const int chars = option(args, u"--chars"_s, u"0"_s).toInt();
    QRandomGenerator random(option(args, u"--seed"_s, u"1"_s).toUInt());

    TfrmMain window(TfrmMain::TStartup { args.value(1) });
    TSignalGate gate({ SIGTERM, SIGHUP, SIGINT });
    QObject::connect(&gate, &TSignalGate::Received, &window, &TfrmMain::CloseForSignal);
    window.show();
    QApplication::processEvents();
    window.TopicTree->selectNote(window.TopicTreeModel->FirstNote());
    window.Notes->setFocus();
    window.Notes->moveCursor(QTextCursor::End);
    QApplication::processEvents();
    say(u"ready"_s);

    const QString text = Typing::Text();
    int typed = 0;
    int burst = 0;
    int pauses = 0;
    QTimer typing;
    typing.setSingleShot(true);
    QObject::connect(&typing, &QTimer::timeout, [&] {
        if ((chars > 0 && typed >= chars) || typed >= text.size())
            return;
        QTest::keyClick(window.Notes, text[typed].toLatin1());
        say(u"typed %1"_s.arg(++typed));
        // Bursts of a few words, then a pause, by turns longer and shorter than the
        // wait before a recovery copy.
        if (burst == 0)
            burst = random.bounded(5, 30);
        if (--burst > 0)
            typing.start(Typing::KeyMs);
        else
            typing.start(
                int((++pauses % 2) ? random.bounded(3200, 4500) : random.bounded(300, 1500)));
    });
    typing.start(0);
    return app.exec();
}
