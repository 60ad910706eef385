// A stand-in for the other process of a single-instance hand-over.
//
//   single_instance_peer listen NAME [HANDLE_MS]
//       Listens; prints "listening" (or "refused" and exits 3). For every request
//       prints "begin <SHA-1 of the UTF-8 text>", spends HANDLE_MS in a nested event
//       loop as a dialog would (deleting what was let go meanwhile), then prints "end <SHA-1>" and, when an activation
//       token came with it, "token <TOKEN>". Runs until killed.
//   single_instance_peer send NAME TEXT TIMEOUT_MS [TOKEN]
//       Hands TEXT over (with TOKEN); exit code 0 when handed over, 1 otherwise.

#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace {

void say(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 5 && args[1] == QLatin1String("send"))
        return TSingleInstance::HandOver(args[2], args[3], args[4].toInt(), nullptr,
                                         args.value(5))
            ? 0
            : 1;
    if (args.size() < 3 || args[1] != QLatin1String("listen"))
        return 2;

    TSingleInstance instance(args[2]);
    const int handleMs = args.size() > 3 ? args[3].toInt() : 0;
    QObject::connect(&instance, &TSingleInstance::OpenRequest, [handleMs](const QString &text,
                                                                          const QString &token) {
        // A digest keeps lines short: a full pipe would stall the handler.
        const QByteArray hex
            = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex();
        say("begin " + hex);
        if (handleMs > 0) {
            QEventLoop loop;
            QTimer::singleShot(handleMs, &loop, &QEventLoop::quit);
            loop.exec();
            // Some platforms' dialog loops delete what was let go meanwhile, such as
            // the socket of a peer that gave up: the instance must not mind.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        say("end " + hex);
        if (!token.isEmpty())
            say("token " + token.toUtf8());
    });
    if (!instance.Listen()) {
        say("refused");
        return 3;
    }
    say("listening");
    return app.exec();
}
