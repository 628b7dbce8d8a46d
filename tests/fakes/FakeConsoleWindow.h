#pragma once

#include "ConsoleWindow.h"

#include <QList>
#include <QStringList>

#include <array>
#include <functional>

/// The main window for tests: state in plain fields, every call noted in the
/// journal ("win:tel 3 tel_v", "win:topmost on", "win:fade", ...). A fade
/// keeps its continuations until the test calls finishFade(), as the real
/// fade runs on from the event loop.
class FakeConsoleWindow : public ConsoleWindow
{
public:
    static constexpr int kStations = 16;

    QStringList* journal = nullptr;
    std::array<QImage, kStations> pictures{};
    std::array<QSize, kStations> pictureSizes{};
    std::array<bool, kStations> noImage{};
    std::array<QString, kStations> tel{};
    /// Stations in the order their pictures were set (also to null).
    QList<int> pictureCalls;
    /// Runs before a picture is set; a test may throw from it.
    std::function<void(int)> beforeSetPicture;
    bool topmost = false;
    bool zoomTopmost = false;
    bool muteVisible = false;
    bool muted = false;
    bool minimized = false;
    bool inTray = false;
    bool restored = false;
    int fadesStarted = 0;
    std::vector<std::function<void()>> pendingFade;

    FakeConsoleWindow() { tel.fill(QStringLiteral("tel_n")); }

    void setStationPicture(int station, const QImage& picture) override
    {
        if (beforeSetPicture)
            beforeSetPicture(station);
        pictures.at(station) = picture;
        pictureCalls.append(station);
    }
    QSize stationPictureSize(int station) const override { return pictureSizes.at(station); }
    QImage stationPicture(int station) const override { return pictures.at(station); }
    void setNoImageShown(int station, bool shown) override { noImage.at(station) = shown; }
    void setTelephoneImage(int station, const QString& key) override
    {
        tel.at(station) = key;
        note(QStringLiteral("tel %1 %2").arg(station).arg(key));
    }
    int callMark = -1;
    void setCallMark(int station) override { callMark = station; }
    void setTopmost(bool onTop) override { note((topmost = onTop) ? "topmost on" : "topmost off"); }
    void setZoomTopmost(bool onTop) override { note((zoomTopmost = onTop) ? "zoom topmost on" : "zoom topmost off"); }
    void setMuteButtonVisible(bool visible) override { note((muteVisible = visible) ? "mute shown" : "mute hidden"); }
    void setMuteLook(bool m) override { note((muted = m) ? "muted" : "unmuted"); }
    bool muteLook() const override { return muted; }
    bool isMinimized() const override { return minimized || inTray; }
    bool isInTray() const override { return inTray; }
    bool isRestoredForCall() const override { return restored; }
    void bringBackForCall() override
    {
        note("bring back");
        if (!inTray)
            return;
        restored = true;
        inTray = minimized = false;
    }
    void fadeBackToTray(std::function<void()> after) override
    {
        note("fade");
        if (pendingFade.empty()) {
            restored = false;
            ++fadesStarted;
        }
        pendingFade.push_back(std::move(after));
    }

    /// Ends a running fade: the window is in the tray, then the continuations run.
    void finishFade()
    {
        inTray = minimized = true;
        note("in tray");
        for (auto& after : std::exchange(pendingFade, {}))
            if (after)
                after();
    }
    /// The window hidden in the tray after the operator minimised it.
    void putInTray() { inTray = minimized = true; }

private:
    void note(const QString& text)
    {
        if (journal)
            journal->append(QStringLiteral("win:") + text);
    }
    void note(const char* text) { note(QString::fromLatin1(text)); }
};
