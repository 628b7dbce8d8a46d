#include "HistoryModel.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPixmap>

#include <algorithm>

void HistoryModel::setEvents(QList<HistoryEvent> events)
{
    // Ids ascend with time, so they order events that share a millisecond too.
    std::stable_sort(events.begin(), events.end(),
                     [](const HistoryEvent& a, const HistoryEvent& b) { return a.id > b.id; });
    beginResetModel();
    m_events = std::move(events);
    QHash<qint64, QIcon> kept;
    for (const HistoryEvent& e : std::as_const(m_events)) {
        const auto it = m_thumbnails.constFind(e.id);
        if (it != m_thumbnails.cend() && e.hasPicture[0])
            kept.insert(e.id, *it);
    }
    m_thumbnails = std::move(kept);
    endResetModel();
}

int HistoryModel::rowOf(qint64 eventId) const
{
    for (int row = 0; row < m_events.size(); ++row) {
        if (m_events[row].id == eventId)
            return row;
    }
    return -1;
}

void HistoryModel::setThumbnail(qint64 eventId, const QImage& thumbnail)
{
    const int row = rowOf(eventId);
    if (row < 0)
        return;
    // The same picture when selected: the view would tint it in the selection's colour.
    const QPixmap pixmap = QPixmap::fromImage(thumbnail);
    QIcon icon(pixmap);
    icon.addPixmap(pixmap, QIcon::Selected);
    m_thumbnails.insert(eventId, icon);
    const QModelIndex cell = index(row, ThumbnailColumn);
    emit dataChanged(cell, cell, {Qt::DecorationRole});
}

bool HistoryModel::standsOut(const HistoryEvent& event)
{
    return event.outcome == HistoryOutcome::Missed;
}

QString HistoryModel::timeText(const HistoryEvent& event)
{
    return event.localTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

QString HistoryModel::stationText(const HistoryEvent& event)
{
    if (event.station < 0)
        return event.caller;
    if (event.description.isEmpty())
        return event.stationName();
    return event.stationName() + QStringLiteral(" - ") + event.description;
}

int HistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_events.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_events.size())
        return {};
    const HistoryEvent& e = m_events[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case TimeColumn:
            return timeText(e);
        case StationColumn:
            return stationText(e);
        case KindColumn:
            return history::kindText(e.kind);
        case OutcomeColumn:
            return history::outcomeText(e);
        case DeskColumn:
            return e.desk;
        default:
            return {};
        }
    case Qt::DecorationRole:
        if (index.column() == ThumbnailColumn)
            return m_thumbnails.value(e.id);
        return {};
    case Qt::FontRole:
        if (standsOut(e)) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    // Seen across the room: the whole row tinted, its text dark red.
    case Qt::ForegroundRole:
        return standsOut(e) ? QVariant(QBrush(QColor(0xA0, 0x00, 0x00))) : QVariant();
    case Qt::BackgroundRole:
        return standsOut(e) ? QVariant(QBrush(QColor(0xFF, 0xD0, 0xD0))) : QVariant();
    default:
        return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ThumbnailColumn:
        return tr("Picture");
    case TimeColumn:
        return tr("Time");
    case StationColumn:
        return tr("Station");
    case KindColumn:
        return tr("Event");
    case OutcomeColumn:
        return tr("Outcome");
    case DeskColumn:
        return tr("Desk");
    default:
        return {};
    }
}

namespace history {

QString exportPictureName(qint64 eventId, int slot)
{
    return QStringLiteral("%1-%2.jpg").arg(eventId).arg(slot + 1);
}

QString csvField(const QString& text)
{
    static const QList<QChar> special{QLatin1Char(','), QLatin1Char('"'), QLatin1Char('\n'), QLatin1Char('\r')};
    if (std::none_of(special.cbegin(), special.cend(), [&text](QChar c) { return text.contains(c); }))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString exportCsv(const QList<HistoryEvent>& events, const QSet<std::pair<qint64, int>>& exported)
{
    const QLatin1String lineEnd("\r\n");
    QString text =
        QStringLiteral("time,station,description,kind,outcome,duration,caller,picture 1,picture 2") + lineEnd;
    for (const HistoryEvent& e : events) {
        const QDateTime local = e.localTime();
        // With its offset: the two 02:30 of the autumn night stay apart.
        QStringList fields{local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate),
                           e.station >= 0 ? QString::number(e.station + 1) : QString(),
                           e.description,
                           kindWord(e.kind),
                           outcomeWord(e.outcome),
                           e.durationSec >= 0 ? QString::number(e.durationSec) : QString(),
                           e.caller};
        for (int slot = 0; slot < 2; ++slot)
            fields.append(exported.contains({e.id, slot}) ? exportPictureName(e.id, slot) : QString());
        for (QString& field : fields)
            field = csvField(field);
        text += fields.join(QLatin1Char(',')) + lineEnd;
    }
    return text;
}

} // namespace history
