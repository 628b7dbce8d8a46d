#pragma once

#include "TileLayout.h"

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

/// The buttons of the command column, top to bottom.
enum class CommandButton
{
    About,
    Settings,
    Microphone, ///< shown only during a call
    History,    ///< carries the missed-call badge
};

/// The console's main window: one tile per active station (camera picture,
/// description, "No image available", telephone, lock and light buttons) and
/// the command column. The snapshot timer gets its period when start-up ends;
/// the status timer is started then.
class MainWindow : public QWidget
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
    void setStationPicture(int station, const QImage& picture);
    QImage stationPicture(int station) const;
    /// Shows or hides a tile's "No image available".
    void setNoImageShown(int station, bool shown);

    /// Shows one of the telephone images "tel_n", "tel_b", "tel_r", "tel_v".
    void setTelephoneImage(int station, const QString& key);
    QString telephoneImage(int station) const { return m_telKeys.at(station); }

    /// The microphone button's look: a border and the struck-through icon when muted.
    void setMuteLook(bool muted);

    /// The history button's badge: count in a red mark at its top right corner,
    /// "99+" above 99, no mark at 0.
    void setMissedCallBadge(int count);

    PictureView* pictureView(int station) const;
    QLabel* captionLabel(int station) const;
    QLabel* noImageLabel(int station) const;
    ImageButton* telephoneButton(int station) const;
    ImageButton* lockButton(int station) const;
    ImageButton* lightButton(int station) const;
    ImageButton* commandButton(CommandButton which) const { return m_commandButtons.at(std::size_t(which)); }
    QLabel* logo() const { return m_logo; }

    QTimer* snapshotTimer() const { return m_snapshotTimer; }

    /// The layout pass: visibility, command column, grid and tile furniture.
    /// Runs on every resize; call it after the configuration changed.
    void layOut();
    const MainLayoutControls& layoutControls() const { return m_layout; }

    /// Called when the window is minimised while not in the tray; returns
    /// true when it went to the tray.
    void setMinimizeHandler(std::function<bool()> handler) { m_minimizeHandler = std::move(handler); }

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

private:
    struct Tile;
    void applyLayout();
    void describeTileControls(int station);

    const ConfigRecord& m_record;
    ConsoleState& m_state;
    std::array<Tile*, kStations> m_tiles{};
    std::array<QString, kStations> m_telKeys{};
    std::array<ImageButton*, 4> m_commandButtons{};
    QLabel* m_logo = nullptr;
    MainLayoutControls m_layout;
    QTimer* m_snapshotTimer;
    std::function<bool()> m_minimizeHandler;
    bool m_activatedOnce = false;
};
