#include "ConsoleApplication.h"
#include "SettingsStore.h"
#include "Translations.h"
#include "WindowFonts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

void describe(QCoreApplication& app)
{
    app.setApplicationName(QStringLiteral("qzconsole"));
    app.setOrganizationName(QStringLiteral("qzconsole"));
    app.setApplicationVersion(QStringLiteral(QZ_VERSION));
}

/// The operator's state directory, $XDG_STATE_HOME/qzconsole or ~/.local/state/qzconsole, made private if
/// missing and made the working directory. A desktop starts programs in the home directory, where nobody
/// looks for qz.log.
bool enterStateDirectory()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    const QString dir = base + QStringLiteral("/qzconsole");
    if (!QDir().mkpath(dir) || !QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
        || !QDir::setCurrent(dir)) {
        std::fprintf(stderr, "qzconsole: cannot use %s as its directory\n", qPrintable(dir));
        return false;
    }
    return true;
}

const QCommandLineOption kLanguageOption(QStringLiteral("language"), QString(), QStringLiteral("CODE"));

/// The language the operator asked for (option, then setting), or the desktop's.
QString chooseLanguage(const QStringList& arguments)
{
    // Read alone first: --help itself must come out in that language.
    QCommandLineParser early;
    early.addOption(kLanguageOption);
    early.parse(arguments);
    const QString setting = QtSettingsStore().value(Translations::kSettingKey, QString());
    return Translations::choose(early.value(kLanguageOption), setting,
                                [](const char* name) { return qEnvironmentVariable(name); });
}

QString translated(const char* text)
{
    return QCoreApplication::translate("main", text);
}

} // namespace

int main(int argc, char* argv[])
{
    QString language;
    {
        // Options are read before the window system is touched, so --help and
        // --version work without a display and start nothing.
        QCoreApplication options(argc, argv);
        describe(options);
        language = chooseLanguage(QCoreApplication::arguments());
        Translations::install(options, language);
        QCommandLineParser parser;
        parser.setApplicationDescription(translated(QT_TRANSLATE_NOOP(
            "main", "QZ Video Console: camera pictures, door and light relays, door calls and the SIP intercom "
                    "of up to 16 door stations. The configuration qzp.cfg is read from the program's directory.")));
        const QCommandLineOption help = parser.addHelpOption();
        const QCommandLineOption version = parser.addVersionOption();
        const QCommandLineOption stateDir(
            QStringLiteral("state-dir"),
            translated(QT_TRANSLATE_NOOP("main", "Run in the operator's state directory (~/.local/state/qzconsole, "
                                                 "made 0700 if missing), so qz.log is written there: how the desktop "
                                                 "menu and the session start it.")));
        parser.addOption(stateDir);
        QCommandLineOption languageOption = kLanguageOption;
        languageOption.setDescription(
            translated(QT_TRANSLATE_NOOP("main", "Show the console in this language (%1) instead of the desktop's; "
                                                 "the setting \"language\" in qzr.conf does the same."))
                .arg(Translations::available().join(QStringLiteral(", "))));
        parser.addOption(languageOption);
        // Anything else is left to Qt's own options (-platform, -display, ...).
        parser.parse(QCoreApplication::arguments());
        if (parser.isSet(help))
            parser.showHelp(); // both end the program
        if (parser.isSet(version))
            parser.showVersion();
        if (parser.isSet(stateDir) && !enterStateDirectory())
            return 1;
    }

    QApplication qtApp(argc, argv);
    describe(qtApp);
    Translations::install(qtApp, language);
    // The console lives in the tray: hiding the main window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    WindowFonts::installSubstitutes();

    ConsoleApplication console(QApplication::applicationDirPath());
    if (!console.start())
        return 0;
    return QApplication::exec();
}
