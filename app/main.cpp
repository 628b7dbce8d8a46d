#include "ConsoleApplication.h"
#include "WindowFonts.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qzconsole"));
    QApplication::setOrganizationName(QStringLiteral("qzconsole"));
    // The console lives in the tray: hiding the main window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    WindowFonts::installSubstitutes();

    ConsoleApplication console(QApplication::applicationDirPath());
    if (!console.start())
        return 0;
    return QApplication::exec();
}
