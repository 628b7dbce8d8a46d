#pragma once

#include "SettingsStore.h"

#include <QMap>

/// Settings store in memory.
class FakeSettingsStore : public SettingsStore
{
public:
    QString value(const QString& key, const QString& defaultValue) const override
    {
        return values.value(key, defaultValue);
    }
    void setValue(const QString& key, const QString& text) override { values.insert(key, text); }

    QMap<QString, QString> values;
};
