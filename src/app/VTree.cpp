// Program entry: one instance when the user asked for it, then the main window.

#include "Errors.h"
#include "app/CommandLine.h"
#include "app/Main.h"
#include "app/MessageService.h"
#include "app/SignalGate.h"
#include "app/SingleInstance.h"
#include "app/StdinCommands.h"
#include "settings/LngMan.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/Utils.h"

#include <QApplication>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// No error ends the program: whatever a command lets through is shown to the user,
// and the program goes on with the document as it is.
class TApplication final : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const EVellumtreeError &e) {
            TMessageService::ShowError(activeWindow(), e.message());
        } catch (const std::exception &e) {
            TMessageService::ShowError(activeWindow(), QString::fromLocal8Bit(e.what()));
        }
        return false;
    }
};

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// A language text of section "Strings" in the user's language, every "|" a line break.
QString consoleText(const QString &key)
{
    static const bool started = [] {
        TSettings settings(u"Software\\Vellumtree\\"_s, ProgramVersion());
        settings.LoadSettings();
        return StartLanguageManager(LanguageManager(), LanguageFolder(), settings.LanguageFile);
    }();
    Q_UNUSED(started);
    return LanguageManager().GetString(key, u"Strings"_s).replace(u'|', u'\n');
}

} // namespace

int main(int argc, char *argv[])
{
    // Help and version are answered on the console, before anything could open a
    // window, connect to a display or hand them to a running instance as file names.
    {
        QStringList raw;
        for (int i = 1; i < argc; ++i)
            raw << QString::fromLocal8Bit(argv[i]);
        const TCommandLine early = ParseCommandLine(raw);
        if (early.Action == TCommandLine::clVersion) {
            print(stdout, u"Vellumtree "_s + ProgramVersion() + u'\n');
            return 0;
        }
        if (early.Action == TCommandLine::clHelp) {
            QCoreApplication console(argc, argv);
            QCoreApplication::setApplicationName(u"Vellumtree"_s);
            QCoreApplication::setOrganizationName(u"Vellumtree"_s);
            print(stdout, consoleText(u"cmdline_help"_s) + u'\n');
            return 0;
        }
    }

    TApplication app(argc, argv);
    QApplication::setApplicationName(u"Vellumtree"_s);
    QApplication::setOrganizationName(u"Vellumtree"_s);

    // Qt has taken its own options (-platform, -style, ...) by now.
    const TCommandLine line = ParseCommandLine(QApplication::arguments().mid(1));
    if (line.Action == TCommandLine::clError) {
        print(stderr, FormatString(consoleText(u"cmdline_unknown"_s), line.Error) + u'\n');
        return 2;
    }
    QString parameter = line.FileParameter;
    // The running instance has another working folder: hand it a full path.
    if (!parameter.isEmpty())
        parameter = QFileInfo(parameter).absoluteFilePath();

    // Only a stored 1 asks for a single instance; a first run has no key yet.
    std::unique_ptr<TSingleInstance> instance;
    if (ReadRegistryInteger(TRegistryRoot::CurrentUser, u"Software\\Vellumtree"_s,
                            u"SingleInstance"_s)
        == 1) {
        const QString request = parameter.isEmpty() ? THandOverRequest::NoParams() : parameter;
        // A request the running instance has received is its to finish, answered in
        // time or not; only when none listens does this process become the instance.
        bool delivered = false;
        if (TSingleInstance::HandOver(request, TSingleInstance::HandOverTimeoutMs, &delivered)
            || delivered)
            return 0;
        instance = std::make_unique<TSingleInstance>();
        instance->Listen();
    }

    TfrmMain window(TfrmMain::TStartup{parameter});
    // The session's end, kill and a closed terminal close the window the normal way.
    TSignalGate gate({SIGTERM, SIGHUP, SIGINT});
    int closingSignal = 0;
    QObject::connect(&gate, &TSignalGate::Received, &window, [&closingSignal](int number) {
        if (closingSignal == 0)
            closingSignal = number;
    });
    QObject::connect(&gate, &TSignalGate::Received, &window, &TfrmMain::CloseForSignal);
    if (instance)
        QObject::connect(instance.get(), &TSingleInstance::OpenRequest, &window,
                         &TfrmMain::HandleOpenRequest);
    if (TStdinCommands::Enabled())
        new TStdinCommands(&window);
    window.show();
    // show() opens the document and may ask about it; a signal then closed the window
    // inside that question. Its exit() ended only the loops running then, so the main
    // loop would start for a window that is gone and never end.
    if (closingSignal != 0)
        return 128 + closingSignal;
    return app.exec();
}
