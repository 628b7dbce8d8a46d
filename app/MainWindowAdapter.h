#pragma once

#include "ConfigRecord.h"
#include "ConsoleWindow.h"

#include <QIcon>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <vector>

class MainWindow;
class Scheduler;
class TrayIcon;
class ZoomController;
struct ConsoleState;

/// The main window as the subsystems see it (ConsoleWindow), over the real
/// window, the zoom window and the tray icon, and the window's life in the
/// notification area: minimised it hides behind its tray icon, a click on the
/// icon restores it, a call brings it back and its end fades it back.
class MainWindowAdapter : public QObject, public ConsoleWindow
{
    Q_OBJECT
public:
    static constexpr int kFadeStepMs = 4; ///< 128 steps: about half a second
    static inline const QString kTrayTip = QStringLiteral(" QZ Video Console ");

    /// Every reference must outlive the adapter. Takes over the window's
    /// minimise handling and the tray icon's clicks.
    MainWindowAdapter(MainWindow& window, ZoomController& zoom, TrayIcon& tray, Scheduler& scheduler,
                      ConsoleState& state, QIcon trayIcon, QObject* parent = nullptr);

    void setStationPicture(int station, const QImage& picture) override;
    QSize stationPictureSize(int station) const override;
    QImage stationPicture(int station) const override;
    void setNoImageShown(int station, bool shown) override;
    void setTelephoneImage(int station, const QString& key) override;
    void setCallMark(int station) override;
    /// A door call announced on the station's notification connection marks its tile too, until its end.
    void setDoorCallMark(int station, bool calling);
    void setTopmost(bool onTop) override;
    void setZoomTopmost(bool onTop) override;
    void setMuteButtonVisible(bool visible) override;
    void setMuteLook(bool muted) override;
    bool muteLook() const override { return m_muted; }
    bool isMinimized() const override;
    bool isInTray() const override;
    bool isRestoredForCall() const override;
    void bringBackForCall() override;
    void fadeBackToTray(std::function<void()> after) override;

    /// The minimise handling: hides the window behind its tray icon and
    /// closes the zoom window. Where the desktop has no tray the window stays
    /// minimised in the task bar (hiding it would lose it) and false is returned.
    bool minimizeToTray();
    /// Back from the tray: normal state (laid out), shown, icon removed.
    void restoreFromTray();
    /// Shown in front of the other windows, out of the tray or the task bar.
    void bringToFront();
    bool isFading() const { return m_fadeAlpha >= 0; }
    /// The tray icon's tip tells whether calls work.
    void setTelephonyUp(bool up);
    /// ... and how many calls were missed since the history was last opened.
    void setMissedCalls(int count);
    QString trayTip() const;

private:
    void updateMark(int station);
    void fadeStep();

    MainWindow& m_window;
    ZoomController& m_zoom;
    TrayIcon& m_tray;
    Scheduler& m_scheduler;
    ConsoleState& m_state;
    QIcon m_trayIcon;
    bool m_muted = false;
    bool m_telephonyUp = true;
    int m_missedCalls = 0;
    int m_fadeAlpha = -1;
    int m_callMark = -1;
    std::array<bool, ConfigRecord::kStations> m_doorCalls{};
    std::vector<std::function<void()>> m_afterFade;
};
