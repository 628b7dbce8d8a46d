#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>

namespace Translations {

QStringList available()
{
    return {QStringLiteral("it"), QStringLiteral("en"), QStringLiteral("de")};
}

QString catalogueOf(const QString& locale)
{
    // language[_territory][.codeset][@modifier]
    QString language = locale.section(QLatin1Char('@'), 0, 0).section(QLatin1Char('.'), 0, 0);
    language = language.section(QLatin1Char('_'), 0, 0).section(QLatin1Char('-'), 0, 0).toLower();
    return available().contains(language) ? language : QString();
}

QString choose(const QString& option, const QString& setting, const Environment& env)
{
    for (const QString& asked : {option, setting}) {
        const QString code = catalogueOf(asked.trimmed());
        if (!code.isEmpty())
            return code;
    }
    QString locale = env("LC_ALL");
    if (locale.isEmpty())
        locale = env("LC_MESSAGES");
    if (locale.isEmpty())
        locale = env("LANG");
    if (locale.isEmpty() || locale == QLatin1String("C") || locale.startsWith(QLatin1String("C."))
        || locale == QLatin1String("POSIX"))
        return QString();
    // gettext reads LANGUAGE only when a locale is set: it lists the operator's languages in order.
    const QStringList wanted = env("LANGUAGE").split(QLatin1Char(':'), Qt::SkipEmptyParts) + QStringList{locale};
    for (const QString& each : wanted) {
        const QString code = catalogueOf(each);
        if (!code.isEmpty())
            return code;
    }
    return QStringLiteral("en");
}

bool install(QCoreApplication& app, const QString& language)
{
    if (language.isEmpty())
        return false;
    auto* own = new QTranslator(&app);
    const bool loaded = own->load(QStringLiteral(":/i18n/qzconsole_") + language);
    if (loaded)
        QCoreApplication::installTranslator(own);
    else
        delete own;
    // Qt's catalogue ships with Debian's qt6-translations-l10n; without it Qt's own texts stay English.
    auto* qt = new QTranslator(&app);
    if (qt->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
    return loaded;
}

} // namespace Translations
