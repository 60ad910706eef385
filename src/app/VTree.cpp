// Program entry: one instance when the user asked for it, then the main window.

#include "Errors.h"
#include "app/Main.h"
#include "app/MessageService.h"
#include "app/SingleInstance.h"
#include "settings/RegistryStore.h"
#include "settings/Utils.h"

#include <QApplication>
#include <QFileInfo>

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

} // namespace

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    QApplication::setApplicationName(u"Vellumtree"_s);
    QApplication::setOrganizationName(u"Vellumtree"_s);

    const QStringList args = QApplication::arguments();
    QString parameter = args.value(1);
    // The running instance has another working folder: hand it a full path.
    if (!parameter.isEmpty())
        parameter = QFileInfo(parameter).absoluteFilePath();

    // Only a stored 1 asks for a single instance; a first run has no key yet.
    std::unique_ptr<TSingleInstance> instance;
    if (ReadRegistryInteger(TRegistryRoot::CurrentUser, u"Software\\Vellumtree"_s,
                            u"SingleInstance"_s)
        == 1) {
        const QString request = parameter.isEmpty() ? TSingleInstance::NoParams() : parameter;
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
    if (instance)
        QObject::connect(instance.get(), &TSingleInstance::OpenRequest, &window,
                         &TfrmMain::HandleOpenRequest);
    window.show();
    return app.exec();
}
