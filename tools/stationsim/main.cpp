// qz-stationsim: simulated door stations on loopback addresses, for tests and demos.

#include "SignalWatcher.h"
#include "Simulator.h"
#include "SimulatorOptions.h"

#include <QGuiApplication>

#include <cstdio>

namespace
{

QtMessageHandler g_defaultHandler = nullptr;

void filterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // The offscreen platform asks for a runtime directory it never uses; the warning is noise here.
    if (message.contains(QStringLiteral("XDG_RUNTIME_DIR")))
        return;
    g_defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char* argv[])
{
    // Text is drawn into the pictures, which needs the GUI module but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_defaultHandler = qInstallMessageHandler(filterMessages);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qz-stationsim"));

    SimulatorOptions options;
    QString error;
    bool helpShown = false;
    if (!SimulatorOptions::parse(QCoreApplication::arguments(), &options, &error, &helpShown)) {
        if (helpShown)
            return 0;
        std::fprintf(stderr, "qz-stationsim: %s (see --help)\n", error.toLocal8Bit().constData());
        return 1;
    }

    SignalWatcher signalWatcher;
    if (!signalWatcher.install(&error)) {
        std::fprintf(stderr, "qz-stationsim: %s\n", error.toLocal8Bit().constData());
        return 2;
    }
    Simulator simulator(options);
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &app, [] { QCoreApplication::exit(0); });
    QObject::connect(
        &simulator, &Simulator::quitRequested, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "qz-stationsim: %s\n", error.toLocal8Bit().constData());
        return 2;
    }
    return QCoreApplication::exec();
}
