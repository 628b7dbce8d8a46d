#pragma once

#include "CallView.h"

#include <QStringList>

#include <array>
#include <functional>

/// The windows as the call handling sees them, for tests: state in plain
/// fields, every call noted in the journal ("view:tel 3 tel_v", "view:topmost
/// main on", "view:fade", ...). A fade keeps its continuation until the test
/// calls finishFade(), as the real fade runs on from the event loop.
class FakeCallView : public CallView
{
public:
    QStringList* journal = nullptr;

    std::array<QString, 16> tel;
    QString zoomTel;
    int zoomed = -1;
    bool mainTopmost = false;
    bool zoomTopmost = false;
    bool muteVisible = false;
    bool muted = false;
    bool inTray = false;
    bool restored = false;
    int fadesStarted = 0;
    std::function<void()> pendingFade;

    FakeCallView() { tel.fill(QStringLiteral("tel_n")); }

    void setTelImage(int station, const QString& key) override
    {
        tel.at(std::size_t(station)) = key;
        note(QStringLiteral("tel %1 %2").arg(station).arg(key));
    }
    void setZoomTelImage(const QString& key) override
    {
        zoomTel = key;
        note(QStringLiteral("zoomtel ") + key);
    }
    int zoomedStation() const override { return zoomed; }
    void setTopmost(bool onTop) override
    {
        mainTopmost = onTop;
        note(onTop ? QStringLiteral("topmost main on") : QStringLiteral("topmost main off"));
    }
    void setZoomTopmost(bool onTop) override
    {
        zoomTopmost = onTop;
        note(onTop ? QStringLiteral("topmost zoom on") : QStringLiteral("topmost zoom off"));
    }
    void setMuteButtonVisible(bool visible) override
    {
        muteVisible = visible;
        note(visible ? QStringLiteral("mute shown") : QStringLiteral("mute hidden"));
    }
    void setMuteLook(bool m) override
    {
        muted = m;
        note(m ? QStringLiteral("mute look muted") : QStringLiteral("mute look unmuted"));
    }
    bool muteLook() const override { return muted; }
    bool isRestoredForCall() const override { return restored; }
    void bringBackForCall() override
    {
        note(QStringLiteral("bring back"));
        if (!inTray)
            return;
        restored = true;
        inTray = false;
    }
    bool startFadeBackToTray(std::function<void()> after) override
    {
        note(QStringLiteral("fade"));
        if (pendingFade)
            return false;
        restored = false;
        ++fadesStarted;
        pendingFade = std::move(after);
        return true;
    }

    /// Ends a running fade: the window is in the tray, then the continuation runs.
    void finishFade()
    {
        auto after = std::move(pendingFade);
        pendingFade = nullptr;
        inTray = true;
        note(QStringLiteral("fade done"));
        if (after)
            after();
    }

private:
    void note(const QString& text)
    {
        if (journal)
            journal->append(QStringLiteral("view:") + text);
    }
};
