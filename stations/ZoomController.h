#pragma once

#include "StationPictureFeed.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

class SettingsStore;
class ZoomWindow;
struct ConfigRecord;

/// Opens, retargets and closes the one zoom window, and feeds it. The zoomed
/// station index lives with the caller (the console's shared state) and is
/// kept here through a reference: -1 while no zoom window is open.
///
/// The window is created on the first open (restoring its placement) and
/// deleted when it closes (writing its placement), so every opening after a
/// close reads the placement afresh.
class ZoomController : public QObject, public StationPictureFeed
{
    Q_OBJECT
public:
    /// record, settings and zoomedStation must outlive the controller.
    ZoomController(const ConfigRecord& record, SettingsStore& settings, int& zoomedStation,
                   QObject* parent = nullptr);
    ~ZoomController() override;

    /// A click on a station's tile: creates the window if needed, gives it the
    /// station's description, the tile's picture and telephone image, makes
    /// station the zoomed one and shows it (not modal). inCall also puts it
    /// into the always-on-top band; otherwise its band stays.
    void open(int station, const QImage& picture, const QString& telephoneImage, bool inCall = false);
    /// Closes the window if one is open; the zoomed station becomes -1.
    void close();
    /// The open window, nullptr when closed.
    ZoomWindow* window() const { return m_window; }

    /// When station is the zoomed one, its telephone button shows key too.
    void setTelephoneImage(int station, const QString& key);
    /// Into or out of the always-on-top band, when open.
    void setTopmost(bool onTop);

    // StationPictureFeed
    int shownStation() const override { return m_zoomedStation; }
    QSize shownPictureSize() const override;
    void showPicture(const QImage& picture) override;

signals:
    /// The window's buttons, with the zoomed station's index at the moment of
    /// the event: they act as that station's tile buttons.
    void telephonePressed(int station);
    void telephoneReleased(int station);
    void lockPressed(int station);
    void lockReleased(int station);
    void lightPressed(int station);
    void lightReleased(int station);
    /// The window closed by any path; the zoomed station is -1 now.
    void closed();

private:
    void createWindow();
    void windowClosed();

    const ConfigRecord& m_record;
    SettingsStore& m_settings;
    int& m_zoomedStation;
    QPointer<ZoomWindow> m_window;
};
