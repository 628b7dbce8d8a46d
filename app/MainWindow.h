#pragma once

#include "TileLayout.h"
#include "TileView.h"

#include <QIcon>
#include <QImage>
#include <QWidget>

#include <array>
#include <functional>

class ImageButton;
class PictureView;
class QLabel;
class QTimer;
struct ConfigRecord;
struct ConsoleState;

/// The console's main window, frmMain: one tile per active station (camera
/// picture, description, "No image available", telephone, lock and light
/// buttons) and the command column. Timer1 (snapshots) has no period until
/// start-up gives it one; Timer2 (call status) runs once start-up is over.
class MainWindow : public QWidget, public TileView
{
    Q_OBJECT
public:
    static constexpr int kStations = 16;
    static constexpr double kDesignWidthTwips = 11655;
    static constexpr double kDesignHeightTwips = 8655;
    static constexpr int kTimerPeriodMs = 500;

    /// record and state outlive the window.
    MainWindow(const ConfigRecord& record, ConsoleState& state, QWidget* parent = nullptr);
    ~MainWindow() override;

    /// The picture of a station's tile; a null image clears it.
    void setStationPicture(int station, const QImage& picture) override;
    QImage stationPicture(int station) const override;
    /// Shows or hides a tile's "No image available".
    void setNoImageShown(int station, bool shown) override;
    QSize stationPictureSize(int station) const override;

    /// Shows one of the telephone images "tel_n", "tel_b", "tel_r", "tel_v".
    void setTelImage(int station, const QString& key);
    QString telImage(int station) const override { return m_telKeys.at(station); }

    /// The microphone button's look: a border and the struck-through icon when muted.
    void setMuteLook(bool muted);

    PictureView* imgCam(int station) const;
    QLabel* lblVarco(int station) const;
    QLabel* lblImage(int station) const;
    ImageButton* cmdTel(int station) const;
    ImageButton* cmdLock(int station) const;
    ImageButton* cmdLight(int station) const;
    ImageButton* iCmd(int index) const { return m_iCmd.at(index); }
    QLabel* image2() const { return m_image2; }

    QTimer* Timer1() const { return m_timer1; }
    QTimer* Timer2() const { return m_timer2; }

    /// The layout pass: visibility, command column, grid and tile furniture.
    /// Runs on every resize; call it after the configuration changed.
    void layOut();
    const MainLayoutControls& layoutControls() const { return m_layout; }

    /// Called when the window is minimised while not in the tray; returns
    /// true when it went to the tray.
    void setMinimizeHandler(std::function<bool()> handler) { m_minimizeHandler = std::move(handler); }

    /// Places the window's outer frame (twips) and sets its state
    /// (0 normal, 2 maximised), then shows it.
    void showWithPlacement(int windowState, double leftTwips, double topTwips, double widthTwips,
                           double heightTwips);

signals:
    /// The window was activated for the first time.
    void firstActivated();
    /// The operator closed the window.
    void closing();
    /// A click on a station's camera picture.
    void pictureClicked(int station);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct Tile;
    void Form_Resize();
    void applyLayout();

    const ConfigRecord& m_record;
    ConsoleState& m_state;
    std::array<Tile*, kStations> m_tiles{};
    std::array<QString, kStations> m_telKeys{};
    std::array<ImageButton*, 3> m_iCmd{};
    QLabel* m_image2 = nullptr;
    MainLayoutControls m_layout;
    QTimer* m_timer1;
    QTimer* m_timer2;
    std::function<bool()> m_minimizeHandler;
    bool m_activatedOnce = false;
};
