#pragma once

#include <QString>

#include <functional>

class QCoreApplication;

/// The operator's language: which catalogue the console shows its texts from.
namespace Translations {

/// Reads one environment variable; empty when unset.
using Environment = std::function<QString(const char* name)>;

/// The languages with a complete catalogue.
QStringList available();

/// The language the console shows: the --language option, else the setting,
/// else the desktop's locale the way gettext reads it (LANGUAGE's list, then
/// the first set of LC_ALL, LC_MESSAGES, LANG). Without a locale (unset, "C",
/// "POSIX") it returns "": the texts stay as written (the Italian catalogue's)
/// and Qt's own English. A locale with no catalogue gets English, the language
/// most operators read after their own. An option or setting naming no
/// catalogue is passed over.
QString choose(const QString& option, const QString& setting, const Environment& env);

/// The catalogue a locale name asks for ("de", "de_CH", "de_DE.UTF-8@euro" all
/// ask for "de"), or "" when there is none for its language.
QString catalogueOf(const QString& locale);

/// Loads the console's catalogue and Qt's own (standard buttons, the file
/// chooser, --help's own lines) for language into app; "" loads nothing.
/// False when the console's catalogue did not load; the texts then stay as written.
bool install(QCoreApplication& app, const QString& language);

/// The key of the language setting in the console's settings file.
inline const QString kSettingKey = QStringLiteral("language");

} // namespace Translations
