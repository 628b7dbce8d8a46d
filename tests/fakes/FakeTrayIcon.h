#pragma once

#include "TrayIcon.h"

#include <QStringList>

/// Tray icon for tests: availability is set by the test, calls are recorded.
class FakeTrayIcon : public TrayIcon
{
public:
    bool available = true;
    bool shown = false;
    QString tip;
    QStringList* journal = nullptr;

    bool isAvailable() const override { return available; }
    void showIcon(const QIcon&, const QString& t) override
    {
        shown = true;
        tip = t;
        note(QStringLiteral("tray:add"));
    }
    void hideIcon() override
    {
        shown = false;
        note(QStringLiteral("tray:remove"));
    }
    bool isShown() const override { return shown; }
    void setTip(const QString& t) override { tip = t; }

    void clickLeft() { emit leftClicked(); }

private:
    void note(const QString& e)
    {
        if (journal)
            journal->append(e);
    }
};
