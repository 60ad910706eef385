// Program entry: one instance when the user asked for it, then the main window.

#include "app/Main.h"
#include "app/SingleInstance.h"
#include "settings/RegistryStore.h"
#include "settings/Utils.h"

#include <QApplication>
#include <QFileInfo>

#include <memory>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
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
        if (TSingleInstance::HandOver(request, -1))
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
