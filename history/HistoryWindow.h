#pragma once

#include "HistoryEvent.h"

#include <QSize>
#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class HistoryArchive;
class HistoryModel;
class HistoryPictureLabel;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;
struct ConfigRecord;

/// The event history for the operator: the events newest first with their
/// thumbnails, filters by station, kind and day (and desk, with a reachable
/// history server, when the events are every desk's), the pictures of the selected
/// event and an export to a folder. One instance, not modal; closing hides it.
/// Everything it reads comes asynchronously from the archive. GUI thread only.
class HistoryWindow : public QWidget
{
    Q_OBJECT
public:
    /// Thumbnails in the table, device-independent pixels.
    static constexpr QSize kThumbnailSize{96, 72};

    /// archive and record outlive the window; the station filter shows the
    /// record's descriptions as they are when the window is opened.
    HistoryWindow(HistoryArchive& archive, const ConfigRecord& record, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    /// Shows the window, or brings it to the front when it is shown. Either
    /// way the events are read again and opened() is emitted.
    void open();

    /// The filter the controls above the table describe.
    HistoryFilter filter() const;
    HistoryModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }

    /// Writes "history.csv" and the pictures of the shown events into dir
    /// (an existing folder); the pictures are read one by one, so the window
    /// stays responsive. Ends with exportFinished(). Ignored while an export runs.
    void exportTo(const QString& dir);
    bool isExporting() const { return m_export != nullptr; }

signals:
    /// The window was shown, or open() brought it to the front.
    void opened();
    /// An export ended; message is what the window shows about it.
    void exportFinished(bool ok, const QString& message);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    struct ExportJob;

    QWidget* buildFilters();
    void opening();
    void updateStationNames();
    void scheduleRefresh();
    void refresh();
    void showDesks(const QStringList& desks);
    void showEvents(const QList<HistoryEvent>& events);
    void showSelectedEvent();
    void showPictures(const HistoryEvent& event);
    void chooseExportFolder();
    void exportPictureArrived(const std::shared_ptr<ExportJob>& job, qint64 eventId, int slot, const QByteArray& jpeg);
    void finishExport(const std::shared_ptr<ExportJob>& job);

    HistoryArchive& m_archive;
    const ConfigRecord& m_record;
    HistoryModel* m_model;
    QTableView* m_table = nullptr;
    QComboBox* m_stationFilter = nullptr;
    QComboBox* m_kindFilter = nullptr;
    QCheckBox* m_dayFilterOn = nullptr;
    QDateEdit* m_dayFilter = nullptr;
    QLabel* m_deskLabel = nullptr;
    QComboBox* m_deskFilter = nullptr; ///< shown while the events are every desk's
    QLabel* m_serverNote = nullptr;    ///< shown while the history server is out of reach
    QLabel* m_countLabel = nullptr;
    QPushButton* m_exportButton = nullptr;
    QLabel* m_statusLabel = nullptr;
    std::array<QLabel*, 2> m_captions{};
    std::array<HistoryPictureLabel*, 2> m_pictures{};
    QTimer* m_refreshTimer;

    quint64 m_queryGeneration = 0;
    bool m_resetting = false;
    std::optional<HistoryEvent> m_shownEvent; ///< whose pictures are shown
    std::shared_ptr<ExportJob> m_export;
    QString m_lastExportDir;
};
