#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class HistoryArchive;
class HistoryRecorder;
class HistoryWindow;
class Logger;
class SettingsStore;
class QWidget;
struct ConfigRecord;

/// The console's event history, built once: the archive (its database on a
/// worker thread), the recorder that turns the console's signals into events,
/// and the history window while it is open. Owns every part; they go in the
/// reverse order of their declaration (the window first, the archive last,
/// which waits for its queued writes). GUI thread only.
class HistoryWiring : public QObject
{
    Q_OBJECT
public:
    /// Per-user settings of the history: days kept, megabytes at most, and
    /// when the operator last opened it (ms since the epoch).
    static inline const QString kDaysKey = QStringLiteral("historyDays");
    static inline const QString kMegabytesKey = QStringLiteral("historyMaxMB");
    static inline const QString kSeenKey = QStringLiteral("historySeen");
    /// The history server every desk of the site shares (libpq keywords); absent: none.
    static inline const QString kServerKey = QStringLiteral("historyServer");

    /// Every reference must outlive the object.
    HistoryWiring(const ConfigRecord& record, SettingsStore& settings, Logger& log, QObject* parent = nullptr);
    ~HistoryWiring() override;

    HistoryArchive& archive() const { return *m_archive; }
    HistoryRecorder& recorder() const { return *m_recorder; }
    /// The history window while it is open.
    HistoryWindow* window() const { return m_window; }

    /// The name this desk's events are recorded with, here and on the history server.
    void setDeskName(const QString& name);
    /// Opens the database with the limits of the settings, shares it through the history server
    /// the settings name, and counts the calls missed since the last look.
    void openArchive();
    /// Opens the history window (or brings it forward); the missed calls count from zero again.
    void openWindow();
    /// The operator has seen the history now.
    void markSeen();

signals:
    /// The missed calls to show on the history button and in the tray tip (0 while the window shows them).
    void missedCallsToShow(int count);

private:
    const ConfigRecord& m_record;
    SettingsStore& m_settings;
    Logger& m_log;
    std::unique_ptr<HistoryArchive> m_archive;
    std::unique_ptr<HistoryRecorder> m_recorder;
    QPointer<HistoryWindow> m_window;
    QString m_deskName;
    bool m_serverLost = false;
};
