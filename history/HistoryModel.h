#pragma once

#include "HistoryEvent.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QSet>
#include <QString>

#include <utility>

/// The history window's rows: one event per row, newest first. Thumbnails
/// arrive later than the events and are set one by one.
class HistoryModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        ThumbnailColumn,
        TimeColumn,
        StationColumn,
        KindColumn,
        OutcomeColumn,
        DeskColumn, ///< shown while the events are every desk's
        ColumnCount
    };

    using QAbstractTableModel::QAbstractTableModel;

    /// Replaces the rows; sorted newest first whatever the order given.
    /// Thumbnails of events still present are kept.
    void setEvents(QList<HistoryEvent> events);
    const QList<HistoryEvent>& events() const { return m_events; }
    const HistoryEvent& event(int row) const { return m_events.at(row); }
    /// The row of an event; -1 when it is not shown.
    int rowOf(qint64 eventId) const;

    /// The slot 0 picture of a shown event, scaled for the table.
    void setThumbnail(qint64 eventId, const QImage& thumbnail);
    bool hasThumbnail(qint64 eventId) const { return m_thumbnails.contains(eventId); }

    /// A missed call: the row is drawn bold, dark red on a red tint.
    static bool standsOut(const HistoryEvent& event);
    /// The time column: local time, "dd/MM/yyyy HH:mm:ss".
    static QString timeText(const HistoryEvent& event);
    /// The station column: "Station N - description", the caller's address
    /// for an unknown caller, empty for the engine.
    static QString stationText(const HistoryEvent& event);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<HistoryEvent> m_events;
    QHash<qint64, QIcon> m_thumbnails;
};

namespace history {

/// The file an exported picture is written to: "<id>-1.jpg" for slot 0,
/// "<id>-2.jpg" for slot 1.
QString exportPictureName(qint64 eventId, int slot);

/// One CSV field (RFC 4180): quoted, with its quotes doubled, when it holds a
/// comma, a quote or a line break.
QString csvField(const QString& text);

/// The text of an export's "history.csv": a header line, then one line per
/// event in the order given: local time (ISO 8601 with its UTC offset),
/// station number (1..16, empty for none), description, kind and outcome
/// words, duration in seconds (empty when not answered), caller, and the file
/// names of the pictures in exported (event id, slot). Lines end in CRLF.
QString exportCsv(const QList<HistoryEvent>& events, const QSet<std::pair<qint64, int>>& exported);

} // namespace history
