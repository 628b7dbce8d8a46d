#include "HistoryWindow.h"

#include "ConfigRecord.h"
#include "HistoryArchive.h"
#include "HistoryModel.h"
#include "PictureDecoder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Writes come in bursts (a call is added, its picture, its answer): one query for the burst.
constexpr int kRefreshDelayMs = 300;

bool isCall(HistoryKind kind)
{
    return kind == HistoryKind::IncomingCall || kind == HistoryKind::OutgoingCall;
}

} // namespace

/// A stored picture shown as large as its label allows, keeping its aspect.
/// Keeps the JPEG and decodes it again when the label grows.
class HistoryPictureLabel : public QLabel
{
public:
    static QString noImageText() { return HistoryWindow::tr("No image available"); }

    explicit HistoryPictureLabel(QWidget* parent)
        : QLabel(noImageText(), parent)
    {
        setAlignment(Qt::AlignCenter);
        setMinimumSize(160, 120);
        // The pixmap must not push the layout: the label's size decides the pixmap's.
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        setFrameShape(QFrame::StyledPanel);
    }

    void setJpeg(const QByteArray& jpeg)
    {
        m_jpeg = jpeg;
        render();
    }

    void clearPicture()
    {
        m_jpeg.clear();
        render();
    }

protected:
    void resizeEvent(QResizeEvent* e) override
    {
        QLabel::resizeEvent(e);
        render();
    }

private:
    void render()
    {
        const QImage image = m_jpeg.isEmpty() ? QImage() : PictureDecoder::decode(m_jpeg, deviceSize());
        if (image.isNull()) {
            setText(noImageText());
            return;
        }
        QPixmap pixmap = QPixmap::fromImage(image.scaled(deviceSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(devicePixelRatioF());
        setPixmap(pixmap);
    }

    QSize deviceSize() const
    {
        const QSize inside = contentsRect().size();
        const qreal ratio = devicePixelRatioF();
        return {int(std::lround(inside.width() * ratio)), int(std::lround(inside.height() * ratio))};
    }

    QByteArray m_jpeg;
};

struct HistoryWindow::ExportJob
{
    QString dir;
    QList<HistoryEvent> events;
    QSet<std::pair<qint64, int>> exported;
    int pending = 0;
    QString error; ///< the first failure
};

HistoryWindow::HistoryWindow(HistoryArchive& archive, const ConfigRecord& record, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_archive(archive)
    , m_record(record)
    , m_model(new HistoryModel(this))
    , m_refreshTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(tr("History"));
    resize(1060, 640);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("historyTable"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setIconSize(kThumbnailSize);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(kThumbnailSize.height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(HistoryModel::ThumbnailColumn, kThumbnailSize.width() + 8);
    m_table->setColumnWidth(HistoryModel::TimeColumn, 150);
    m_table->setColumnWidth(HistoryModel::StationColumn, 200);
    m_table->setColumnWidth(HistoryModel::KindColumn, 110);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this]() {
        if (!m_resetting)
            showSelectedEvent();
    });

    auto* pictures = new QWidget(this);
    auto* pictureLayout = new QVBoxLayout(pictures);
    pictureLayout->setContentsMargins(0, 0, 0, 0);
    for (int slot = 0; slot < 2; ++slot) {
        m_captions[slot] = new QLabel(pictures);
        m_captions[slot]->setObjectName(QStringLiteral("pictureCaption%1").arg(slot));
        m_pictures[slot] = new HistoryPictureLabel(pictures);
        m_pictures[slot]->setObjectName(QStringLiteral("picture%1").arg(slot));
        pictureLayout->addWidget(m_captions[slot]);
        pictureLayout->addWidget(m_pictures[slot], 1);
    }

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_table);
    splitter->addWidget(pictures);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setChildrenCollapsible(false);

    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_serverNote = new QLabel(tr("History server out of reach: showing this desk's events only."), this);
    m_serverNote->setObjectName(QStringLiteral("serverNote"));
    m_serverNote->setStyleSheet(QStringLiteral("QLabel { color: #a00000; font-weight: bold; }"));
    m_serverNote->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildFilters());
    layout->addWidget(m_serverNote);
    layout->addWidget(splitter, 1);
    layout->addWidget(m_statusLabel);

    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(kRefreshDelayMs);
    connect(m_refreshTimer, &QTimer::timeout, this, &HistoryWindow::refresh);
    connect(&m_archive, &HistoryArchive::changed, this, &HistoryWindow::scheduleRefresh);
    // Gone: this desk's events at once; back: every desk's.
    connect(&m_archive, &HistoryArchive::serverStateChanged, this, [this] {
        if (isVisible()) {
            m_refreshTimer->stop();
            refresh();
        }
    });
    m_table->setColumnHidden(HistoryModel::DeskColumn, true);

    updateStationNames();
    showPictures(HistoryEvent{});
}

HistoryWindow::~HistoryWindow() = default;

QWidget* HistoryWindow::buildFilters()
{
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);

    m_stationFilter = new QComboBox(bar);
    m_stationFilter->setObjectName(QStringLiteral("stationFilter"));
    m_stationFilter->addItem(tr("All"));
    for (int i = 0; i < ConfigRecord::kStations; ++i)
        m_stationFilter->addItem(QString(), i);
    m_stationFilter->addItem(tr("No station"), -1);

    m_kindFilter = new QComboBox(bar);
    m_kindFilter->setObjectName(QStringLiteral("kindFilter"));
    m_kindFilter->addItem(tr("All"));
    for (HistoryKind kind : history::allKinds())
        m_kindFilter->addItem(history::kindText(kind), int(kind));

    m_dayFilterOn = new QCheckBox(tr("Day:"), bar);
    m_dayFilterOn->setObjectName(QStringLiteral("dayFilterOn"));
    m_dayFilter = new QDateEdit(QDate::currentDate(), bar);
    m_dayFilter->setObjectName(QStringLiteral("dayFilter"));
    m_dayFilter->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    m_dayFilter->setCalendarPopup(true);
    m_dayFilter->setEnabled(false);

    m_countLabel = new QLabel(bar);
    m_countLabel->setObjectName(QStringLiteral("countLabel"));
    m_exportButton = new QPushButton(tr("Export..."), bar);
    m_exportButton->setObjectName(QStringLiteral("exportButton"));
    m_exportButton->setAutoDefault(false);

    row->addWidget(new QLabel(tr("Station:"), bar));
    row->addWidget(m_stationFilter);
    row->addSpacing(12);
    row->addWidget(new QLabel(tr("Event:"), bar));
    row->addWidget(m_kindFilter);
    row->addSpacing(12);
    row->addWidget(m_dayFilterOn);
    row->addWidget(m_dayFilter);
    m_deskFilter = new QComboBox(bar);
    m_deskFilter->setObjectName(QStringLiteral("deskFilter"));
    m_deskFilter->addItem(tr("All"));
    m_deskLabel = new QLabel(tr("Desk:"), bar);
    m_deskLabel->hide();
    m_deskFilter->hide();
    row->addSpacing(12);
    row->addWidget(m_deskLabel);
    row->addWidget(m_deskFilter);
    row->addStretch(1);
    row->addWidget(m_countLabel);
    row->addSpacing(12);
    row->addWidget(m_exportButton);

    const auto requery = [this]() {
        m_refreshTimer->stop();
        refresh();
    };
    connect(m_stationFilter, &QComboBox::currentIndexChanged, this, requery);
    connect(m_kindFilter, &QComboBox::currentIndexChanged, this, requery);
    connect(m_deskFilter, &QComboBox::currentIndexChanged, this, requery);
    connect(m_dayFilter, &QDateEdit::dateChanged, this, requery);
    connect(m_dayFilterOn, &QCheckBox::toggled, this, [this, requery](bool on) {
        m_dayFilter->setEnabled(on);
        requery();
    });
    connect(m_exportButton, &QPushButton::clicked, this, &HistoryWindow::chooseExportFolder);
    return bar;
}

void HistoryWindow::updateStationNames()
{
    for (int i = 0; i < ConfigRecord::kStations; ++i) {
        const QString& description = m_record.description[i];
        QString name = tr("Station %1").arg(i + 1);
        if (!description.isEmpty())
            name += QStringLiteral(" - ") + description;
        m_stationFilter->setItemText(i + 1, name);
    }
}

HistoryFilter HistoryWindow::filter() const
{
    HistoryFilter f;
    if (const QVariant station = m_stationFilter->currentData(); station.isValid())
        f.station = station.toInt();
    if (const QVariant kind = m_kindFilter->currentData(); kind.isValid())
        f.kind = HistoryKind(kind.toInt());
    if (m_dayFilterOn->isChecked())
        f.day = m_dayFilter->date();
    if (const QVariant desk = m_deskFilter->currentData(); desk.isValid() && m_deskFilter->isVisibleTo(this))
        f.desk = desk.toString();
    return f;
}

void HistoryWindow::open()
{
    if (!isVisible()) {
        show(); // showEvent() reads the events
    } else {
        if (isMinimized())
            showNormal();
        opening();
    }
    raise();
    activateWindow();
}

void HistoryWindow::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    // Spontaneous: the window system restored it, not the operator opening it.
    if (!e->spontaneous())
        opening();
}

void HistoryWindow::opening()
{
    updateStationNames();
    // The console runs for days: an unused day filter starts from today when it is ticked.
    if (!m_dayFilterOn->isChecked()) {
        const QSignalBlocker quiet(m_dayFilter);
        m_dayFilter->setDate(QDate::currentDate());
    }
    m_table->setFocus();
    m_refreshTimer->stop();
    refresh();
    emit opened();
}

void HistoryWindow::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

void HistoryWindow::scheduleRefresh()
{
    // A hidden window reads the events when it is shown again.
    if (isVisible() && !m_refreshTimer->isActive())
        m_refreshTimer->start();
}

void HistoryWindow::refresh()
{
    const quint64 generation = ++m_queryGeneration;
    QPointer<HistoryWindow> self(this);
    m_archive.queryDesks([self](const QStringList& desks) {
        if (self)
            self->showDesks(desks);
    });
    m_archive.queryEvents(filter(), [self, generation](const QList<HistoryEvent>& events) {
        // An answer to an older filter is dropped: a newer query is on its way.
        if (self && generation == self->m_queryGeneration)
            self->showEvents(events);
    });
}

void HistoryWindow::showDesks(const QStringList& desks)
{
    // Kept as chosen while the server is away; a desk that has gone from the server stays listed.
    const QSignalBlocker quiet(m_deskFilter);
    for (const QString& desk : desks) {
        if (m_deskFilter->findData(desk) < 0)
            m_deskFilter->addItem(desk.isEmpty() ? tr("(no name)") : desk, desk);
    }
}

void HistoryWindow::showEvents(const QList<HistoryEvent>& events)
{
    // The archive's state is that of this answer: every desk's events, or this desk's alone.
    const bool shared = m_archive.serverState() == HistoryServerState::Reachable;
    m_table->setColumnHidden(HistoryModel::DeskColumn, !shared);
    m_deskLabel->setVisible(shared);
    m_deskFilter->setVisible(shared);
    m_serverNote->setVisible(m_archive.serverState() == HistoryServerState::OutOfReach);

    const int scroll = m_table->verticalScrollBar()->value();
    const std::optional<qint64> selected = m_shownEvent ? std::optional<qint64>(m_shownEvent->id) : std::nullopt;

    m_resetting = true;
    m_model->setEvents(events);
    const int row = selected ? m_model->rowOf(*selected) : -1;
    if (m_model->rowCount() > 0)
        m_table->selectRow(row >= 0 ? row : 0);
    m_resetting = false;
    if (row >= 0)
        m_table->verticalScrollBar()->setValue(scroll);
    showSelectedEvent();

    const int count = m_model->rowCount();
    m_countLabel->setText(count == 1 ? tr("1 event") : tr("%1 events").arg(count));

    QList<HistoryEvent> wanted;
    for (const HistoryEvent& e : m_model->events()) {
        if (e.hasPicture[0] && !m_model->hasThumbnail(e.id))
            wanted.append(e);
    }
    if (wanted.isEmpty())
        return;
    QPointer<HistoryWindow> self(this);
    m_archive.queryThumbnails(wanted, kThumbnailSize, [self](qint64 eventId, const QImage& thumbnail) {
        if (self)
            self->m_model->setThumbnail(eventId, thumbnail);
    });
}

void HistoryWindow::showSelectedEvent()
{
    const QModelIndex current = m_table->selectionModel()->currentIndex();
    if (!current.isValid()) {
        m_shownEvent.reset();
        showPictures(HistoryEvent{});
        return;
    }
    const HistoryEvent& event = m_model->event(current.row());
    // A refresh that kept the selection reloads only what changed (the answer's picture).
    if (m_shownEvent && m_shownEvent->id == event.id && m_shownEvent->hasPicture[0] == event.hasPicture[0] &&
        m_shownEvent->hasPicture[1] == event.hasPicture[1]) {
        m_shownEvent = event;
        return;
    }
    m_shownEvent = event;
    showPictures(event);
}

void HistoryWindow::showPictures(const HistoryEvent& event)
{
    const bool call = isCall(event.kind) && event.id != 0;
    m_captions[0]->setText(call ? tr("At ring") : tr("Picture"));
    m_captions[1]->setText(tr("At answer"));
    const bool second = call && event.hasPicture[1];
    m_captions[1]->setVisible(second);
    m_pictures[1]->setVisible(second);

    QPointer<HistoryWindow> self(this);
    for (int slot = 0; slot < 2; ++slot) {
        m_pictures[slot]->clearPicture();
        if (!event.hasPicture[slot])
            continue;
        const qint64 id = event.id;
        m_archive.queryPicture(event, slot, [self, id, slot](const QByteArray& jpeg) {
            // The operator may have moved on while the picture was read.
            if (self && self->m_shownEvent && self->m_shownEvent->id == id)
                self->m_pictures[slot]->setJpeg(jpeg);
        });
    }
}

void HistoryWindow::chooseExportFolder()
{
    if (isExporting())
        return;
    // Window-modal without a loop of its own: cameras and calls go on while the operator picks a folder.
    auto* chooser = new QFileDialog(this, tr("Export"), m_lastExportDir);
    chooser->setObjectName(QStringLiteral("exportFolderChooser"));
    chooser->setFileMode(QFileDialog::Directory);
    chooser->setOption(QFileDialog::ShowDirsOnly);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &QFileDialog::fileSelected, this, [this](const QString& dir) {
        if (dir.isEmpty())
            return;
        m_lastExportDir = dir;
        exportTo(dir);
    });
    chooser->open();
}

void HistoryWindow::exportTo(const QString& dir)
{
    if (isExporting())
        return;
    auto job = std::make_shared<ExportJob>();
    job->dir = dir;
    job->events = m_model->events();
    m_export = job;
    m_exportButton->setEnabled(false);
    m_statusLabel->setText(tr("Exporting %1 events...").arg(job->events.size()));

    if (!QFileInfo(dir).isDir()) {
        job->error = tr("%1 is not a folder").arg(QDir::toNativeSeparators(dir));
        finishExport(job);
        return;
    }
    // One picture per answer, each written as it arrives: the window keeps serving the operator.
    QPointer<HistoryWindow> self(this);
    for (const HistoryEvent& e : std::as_const(job->events)) {
        for (int slot = 0; slot < 2; ++slot) {
            if (!e.hasPicture[slot])
                continue;
            ++job->pending;
            const qint64 id = e.id;
            m_archive.queryPicture(e, slot, [self, job, id, slot](const QByteArray& jpeg) {
                if (self)
                    self->exportPictureArrived(job, id, slot, jpeg);
            });
        }
    }
    if (job->pending == 0)
        finishExport(job);
}

void HistoryWindow::exportPictureArrived(const std::shared_ptr<ExportJob>& job, qint64 eventId, int slot,
                                         const QByteArray& jpeg)
{
    --job->pending;
    // Empty: retention removed the event since it was shown; the CSV names no file for it.
    if (!jpeg.isEmpty()) {
        const QString path = QDir(job->dir).filePath(history::exportPictureName(eventId, slot));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(jpeg) == jpeg.size() && file.flush())
            job->exported.insert({eventId, slot});
        else if (job->error.isEmpty())
            job->error =
                tr("could not write %1 (%2)").arg(QDir::toNativeSeparators(path), file.errorString());
    }
    if (job->pending == 0)
        finishExport(job);
}

void HistoryWindow::finishExport(const std::shared_ptr<ExportJob>& job)
{
    const QString csvPath = QDir(job->dir).filePath(QStringLiteral("history.csv"));
    if (job->error.isEmpty()) {
        QSaveFile csv(csvPath);
        if (!csv.open(QIODevice::WriteOnly) || csv.write(history::exportCsv(job->events, job->exported).toUtf8()) < 0 ||
            !csv.commit())
            job->error =
                tr("could not write %1 (%2)").arg(QDir::toNativeSeparators(csvPath), csv.errorString());
    }
    const bool ok = job->error.isEmpty();
    const QString message = ok ? tr("Exported %1 events and %2 pictures to %3")
                                     .arg(job->events.size())
                                     .arg(job->exported.size())
                                     .arg(QDir::toNativeSeparators(job->dir))
                               : tr("Export failed: %1").arg(job->error);
    m_export.reset();
    m_exportButton->setEnabled(true);
    m_statusLabel->setText(message);
    emit exportFinished(ok, message);
}
