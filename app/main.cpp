#include "ConsoleApplication.h"
#include "WindowFonts.h"

#include <QApplication>
#include <QCommandLineParser>

namespace {

void describe(QCoreApplication& app)
{
    app.setApplicationName(QStringLiteral("qzconsole"));
    app.setOrganizationName(QStringLiteral("qzconsole"));
    app.setApplicationVersion(QStringLiteral(QZ_VERSION));
}

} // namespace

int main(int argc, char* argv[])
{
    {
        // Options are read before the window system is touched, so --help and
        // --version work without a display and start nothing.
        QCoreApplication options(argc, argv);
        describe(options);
        QCommandLineParser parser;
        parser.setApplicationDescription(QStringLiteral(
            "QZ Video Console: camera pictures, door and light relays, door calls and the SIP intercom "
            "of up to 16 door stations. The configuration qzp.cfg is read from the program's directory."));
        const QCommandLineOption help = parser.addHelpOption();
        const QCommandLineOption version = parser.addVersionOption();
        // Anything else is left to Qt's own options (-platform, -display, ...).
        parser.parse(QCoreApplication::arguments());
        if (parser.isSet(help))
            parser.showHelp(); // both end the program
        if (parser.isSet(version))
            parser.showVersion();
    }

    QApplication qtApp(argc, argv);
    describe(qtApp);
    // The console lives in the tray: hiding the main window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    WindowFonts::installSubstitutes();

    ConsoleApplication console(QApplication::applicationDirPath());
    if (!console.start())
        return 0;
    return QApplication::exec();
}
