#pragma once

#include <QString>

/// Per-user store of text values (window placement). Keys live in one section.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    /// The stored text, or defaultValue when the key is absent.
    virtual QString value(const QString& key, const QString& defaultValue) const = 0;
    virtual void setValue(const QString& key, const QString& text) = 0;
};

/// QSettings under application "qzr", section "settings"
/// (~/.config/qzr/qzr.conf; honours XDG_CONFIG_HOME).
class QtSettingsStore : public SettingsStore
{
public:
    QString value(const QString& key, const QString& defaultValue) const override;
    void setValue(const QString& key, const QString& text) override;
};
