#include "SettingsStore.h"

#include <QSettings>

namespace {

QSettings openStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("qzr"), QStringLiteral("qzr"));
}

QString sectionKey(const QString& key)
{
    return QStringLiteral("settings/") + key;
}

} // namespace

QString QtSettingsStore::value(const QString& key, const QString& defaultValue) const
{
    const QSettings store = openStore();
    const QVariant v = store.value(sectionKey(key));
    return v.isValid() ? v.toString() : defaultValue;
}

void QtSettingsStore::setValue(const QString& key, const QString& text)
{
    QSettings store = openStore();
    store.setValue(sectionKey(key), text);
}
