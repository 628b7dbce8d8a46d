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
    void setTopmost(bool onTop) override { note((mainTopmost = onTop) ? "topmost main on" : "topmost main off"); }
    void setZoomTopmost(bool onTop) override { note((zoomTopmost = onTop) ? "topmost zoom on" : "topmost zoom off"); }
    void setMuteButtonVisible(bool visible) override { note((muteVisible = visible) ? "mute shown" : "mute hidden"); }
    void setMuteLook(bool m) override { note((muted = m) ? "mute look muted" : "mute look unmuted"); }
    bool muteLook() const override { return muted; }
    bool isRestoredForCall() const override { return restored; }
    void bringBackForCall() override
    {
        note("bring back");
        if (inTray) {
            restored = true;
            inTray = false;
        }
    }
    bool startFadeBackToTray(std::function<void()> after) override
    {
        note("fade");
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
        auto after = std::exchange(pendingFade, nullptr);
        inTray = true;
        note("fade done");
        if (after)
            after();
    }

private:
    void note(const QString& text)
    {
        if (journal)
            journal->append(QStringLiteral("view:") + text);
    }
    void note(const char* text) { note(QString::fromLatin1(text)); }
};
