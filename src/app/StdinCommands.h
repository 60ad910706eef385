#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;
class TfrmMain;

// Lets an end-to-end test drive the real program where it cannot send keys (a Wayland
// compositor takes no synthesised input from clients): with VELLUMTREE_STDIN_COMMANDS=1
// in the environment, each line on standard input is a command to the main window, and
// each gets one answer line on standard output, "ok" with a value or "error" with why:
//   type TEXT   inserts TEXT into the editor as if typed
//   run NAME    triggers the window's command NAME (a menu item's name, miFileSave)
//   file        answers the document's file name
// Without the variable nothing is read.
class TStdinCommands final : public QObject
{
public:
    static bool Enabled();
    explicit TStdinCommands(TfrmMain *window);

    // One command line, without its line end; the answer, without its line end.
    QByteArray Run(const QByteArray &line);

private:
    void readInput();

    TfrmMain *m_window;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_buffer;
};
