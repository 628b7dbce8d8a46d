#include "HistoryWiring.h"

#include "HistoryArchive.h"
#include "HistoryRecorder.h"
#include "HistoryWindow.h"
#include "Logger.h"
#include "SettingsStore.h"

#include <QDateTime>

HistoryWiring::HistoryWiring(const ConfigRecord& record, SettingsStore& settings, Logger& log, QObject* parent)
    : QObject(parent)
    , m_record(record)
    , m_settings(settings)
    , m_log(log)
    , m_archive(std::make_unique<HistoryArchive>())
    , m_recorder(std::make_unique<HistoryRecorder>(*m_archive, record))
{
    connect(m_archive.get(), &HistoryArchive::opened, this, [this](bool ok, const QString& error) {
        if (!ok || !error.isEmpty())
            m_log.write(QStringLiteral("history: ") + error);
    });
    // One line when the server goes and one when it is back, whatever happens between.
    connect(m_archive.get(), &HistoryArchive::serverStateChanged, this,
            [this](HistoryServerState state, const QString& reason) {
                if (state == HistoryServerState::OutOfReach) {
                    m_serverLost = true;
                    m_log.write(QStringLiteral("History server out of reach (%1): this desk keeps its events and "
                                               "delivers them when the server is back")
                                    .arg(reason));
                } else if (state == HistoryServerState::Reachable && m_serverLost) {
                    m_serverLost = false;
                    m_log.write(QStringLiteral("History server back: delivering the events this desk kept"));
                }
            });
    connect(m_recorder.get(), &HistoryRecorder::missedCountChanged, this, [this](int count) {
        // A call missed while the operator has the history in view is seen already.
        if (count > 0 && m_window && m_window->isVisible()) {
            markSeen();
            return;
        }
        emit missedCallsToShow(count);
    });
}

HistoryWiring::~HistoryWiring()
{
    delete m_window.data();
}

void HistoryWiring::setDeskName(const QString& name)
{
    m_deskName = name;
    m_recorder->setDeskName(name);
}

void HistoryWiring::openArchive()
{
    bool ok = false;
    HistoryLimits limits;
    const int days = m_settings.value(kDaysKey, QString()).toInt(&ok);
    if (ok && days > 0)
        limits.keepDays = days;
    const qint64 megabytes = m_settings.value(kMegabytesKey, QString()).toLongLong(&ok);
    if (ok && megabytes > 0)
        limits.maxBytes = megabytes * 1024 * 1024;
    m_archive->open(HistoryArchive::defaultDirectory(), limits);
    m_archive->setServer(m_settings.value(kServerKey, QString()), m_deskName);
    m_recorder->loadMissedCount(m_settings.value(kSeenKey, QStringLiteral("0")).toLongLong());
}

void HistoryWiring::openWindow()
{
    if (!m_window)
        m_window = new HistoryWindow(*m_archive, m_record);
    m_window->open();
    markSeen();
}

void HistoryWiring::markSeen()
{
    m_settings.setValue(kSeenKey, QString::number(QDateTime::currentMSecsSinceEpoch()));
    m_recorder->historyOpened();
}
