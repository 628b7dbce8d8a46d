#pragma once

#include "ZoomFeed.h"

#include <QObject>
#include <QPointer>
#include <QString>

class SettingsStore;
class TileView;
class ZoomWindow;
struct ConfigRecord;

/// Opens, retargets and closes the one zoom window, and feeds it. The zoomed
/// station index lives with the caller (the main window's shared state) and is
/// kept here through a reference: -1 while no zoom window is open.
///
/// The window is created on the first open (restoring its placement) and
/// deleted when it closes (writing its placement), so every opening after a
/// close reads the placement afresh.
class ZoomController : public QObject, public ZoomFeed
{
    Q_OBJECT
public:
    /// record, tiles, settings and zoomedStation must outlive the controller.
    ZoomController(const ConfigRecord& record, TileView& tiles, SettingsStore& settings, int& zoomedStation,
                   QObject* parent = nullptr);
    ~ZoomController() override;

    /// The click on tile station's picture: creates the window if needed, gives
    /// it the station's caption, the tile's picture and telephone image, makes
    /// station the zoomed one and shows it (not modal). inCall (CallState 3)
    /// also puts it into the always-on-top band; otherwise its band stays.
    void open(int station, bool inCall = false);

    /// Closes the window if one is open (the main window went to the tray);
    /// the zoomed station becomes -1.
    void close();

    /// The open window, nullptr when closed.
    ZoomWindow* window() const { return m_window; }

    /// The call-state feed: when station is the zoomed one, its cmdTel shows key too.
    void setTelImage(int station, const QString& key);
    /// The call-state feed: into or out of the always-on-top band, when open.
    void setTopmost(bool onTop);

    // ZoomFeed
    int zoomedStation() const override { return m_zoomedStation; }
    QSize zoomPictureSize() const override;
    void showZoomPicture(const QImage& picture) override;

signals:
    /// The window's buttons, with the zoomed station's index at the moment
    /// of the event: the main window's cmdTel/cmdLock/cmdLight handlers.
    void cmdTelPressed(int station);
    void cmdTelReleased(int station);
    void cmdLockPressed(int station);
    void cmdLockReleased(int station);
    void cmdLightPressed(int station);
    void cmdLightReleased(int station);
    /// The window closed by any path; the zoomed station is -1 now.
    void closed();

private:
    void createWindow();
    void windowClosed();

    const ConfigRecord& m_record;
    TileView& m_tiles;
    SettingsStore& m_settings;
    int& m_zoomedStation;
    QPointer<ZoomWindow> m_window;
};
