// The history window over a real archive in a temporary folder: its rows, filters, pictures, keys and export;
// the export's CSV text; the main window's history button and its missed-call badge.

#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "HistoryArchive.h"
#include "HistoryModel.h"
#include "HistoryWindow.h"
#include "ImageButton.h"
#include "MainWindow.h"

#include "support/FileBytes.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QFileDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Times below are local times in Rome (UTC+1 in November).
[[maybe_unused]] const bool kRomeTime = qputenv("TZ", "Europe/Rome");
const qint64 kT0 = QDateTime(QDate(2023, 11, 14), QTime(10, 0)).toMSecsSinceEpoch();
constexpr qint64 kDayMs = 24 * 3600 * 1000;

HistoryEvent makeEvent(qint64 timeMs, int station, const QString& description, HistoryKind kind, HistoryOutcome outcome)
{
    HistoryEvent e;
    e.id = timeMs * 1000;
    e.timeMs = timeMs;
    e.station = station;
    e.description = description;
    e.kind = kind;
    e.outcome = outcome;
    return e;
}

QList<qint64> ids(const HistoryModel& model)
{
    QList<qint64> list;
    for (const HistoryEvent& e : model.events())
        list.append(e.id);
    return list;
}

bool reddish(const QColor& c)
{
    return c.red() > 180 && c.green() < 90 && c.blue() < 90;
}

} // namespace

class TestHistoryWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    ConfigRecord m_record;
    HistoryArchive m_archive;
    // Newest last: an answered call with both pictures, a door opened, the engine lost, a missed unknown caller.
    HistoryEvent m_call =
        makeEvent(kT0, 2, u"Front, \"main\" door"_s, HistoryKind::IncomingCall, HistoryOutcome::Answered);
    HistoryEvent m_door = makeEvent(kT0 + 60'000, 1, u"Garage"_s, HistoryKind::DoorOpen, HistoryOutcome::Sent);
    HistoryEvent m_engine = makeEvent(kT0 + kDayMs, -1, {}, HistoryKind::Engine, HistoryOutcome::Lost);
    HistoryEvent m_missed = makeEvent(kT0 + kDayMs + 60'000, -1, {}, HistoryKind::IncomingCall, HistoryOutcome::Missed);
    QMap<std::pair<qint64, int>, QByteArray> m_pictures;
    std::unique_ptr<HistoryWindow> m_window;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_call.durationSec = 65;
        m_call.hasPicture[0] = m_call.hasPicture[1] = m_door.hasPicture[0] = true;
        m_missed.caller = u"sip:guest@127.0.0.9"_s;
        m_pictures = {
            {{m_call.id, 0}, FileBytes::jpeg(Qt::red)}, {{m_call.id, 1}, FileBytes::jpeg(Qt::blue)}, {{m_door.id, 0}, FileBytes::jpeg(Qt::green)}};
        QSignalSpy opened(&m_archive, &HistoryArchive::opened);
        // Far limits: retention must not take the 2023 events away.
        m_archive.open(m_dir.filePath(u"db"_s), HistoryLimits{100000, 1LL << 40});
        QTRY_COMPARE(opened.count(), 1);
        QVERIFY(opened.first().first().toBool());
        for (const HistoryEvent& e : {m_call, m_door, m_engine, m_missed})
            m_archive.add(e);
        for (auto it = m_pictures.cbegin(); it != m_pictures.cend(); ++it)
            m_archive.addPicture(HistoryPicture{it.key().first, it.key().second, it.value(), m_call.timeMs});
        m_archive.flush();
        m_record.description[1] = u"Garage"_s;
        m_window = std::make_unique<HistoryWindow>(m_archive, m_record);
    }

    void csvLines_data()
    {
        QTest::addColumn<HistoryEvent>("event");
        QTest::addColumn<QString>("line");
        HistoryEvent quoted =
            makeEvent(kT0 - 60'000, 0, u"Gate, \"north\"\nside"_s, HistoryKind::DoorCall, HistoryOutcome::Ended);
        QTest::newRow("quotes doubled, comma and line break quoted")
            << quoted << u"2023-11-14T09:59:00+01:00,1,\"Gate, \"\"north\"\"\nside\",door call,ended,,,,"_s;
        QTest::newRow("answered call, pictures exported")
            << m_call
            << u"2023-11-14T10:00:00+01:00,3,\"Front, \"\"main\"\" door\",incoming call,answered,65,,"_s +
                   QString::number(m_call.id) + u"-1.jpg,"_s + QString::number(m_call.id) + u"-2.jpg"_s;
        QTest::newRow("picture not exported") << m_door << u"2023-11-14T10:01:00+01:00,2,Garage,door open,sent,,,,"_s;
        QTest::newRow("unknown caller") << m_missed
                                        << u"2023-11-15T10:01:00+01:00,,,incoming call,missed,,sip:guest@127.0.0.9,,"_s;
        QTest::newRow("engine, no station") << m_engine << u"2023-11-15T10:00:00+01:00,,,sip engine,lost,,,,"_s;
        HistoryEvent summer = makeEvent(QDateTime(QDate(2024, 7, 1), QTime(8, 0)).toMSecsSinceEpoch(), 15, u"Back"_s,
                                        HistoryKind::OutgoingCall, HistoryOutcome::Answered);
        summer.durationSec = 0;
        QTest::newRow("summer time, zero seconds")
            << summer << u"2024-07-01T08:00:00+02:00,16,Back,outgoing call,answered,0,,,"_s;
    }

    void csvLines()
    {
        QFETCH(HistoryEvent, event);
        QFETCH(QString, line);
        const QString csv = history::exportCsv({event}, {{m_call.id, 0}, {m_call.id, 1}});
        QCOMPARE(csv,
                 u"time,station,description,kind,outcome,duration,caller,picture 1,picture 2\r\n"_s + line + u"\r\n"_s);
    }

    void modelRows()
    {
        HistoryModel model;
        model.setEvents({m_door, m_missed, m_call, m_engine});
        QCOMPARE(ids(model), (QList<qint64>{m_missed.id, m_engine.id, m_door.id, m_call.id}));
        const auto text = [&model](int row, int column) { return model.index(row, column).data().toString(); };
        QCOMPARE(text(3, HistoryModel::TimeColumn), u"14/11/2023 10:00:00"_s);
        QCOMPARE(text(3, HistoryModel::StationColumn), u"Station 3 - Front, \"main\" door"_s);
        QCOMPARE(text(3, HistoryModel::OutcomeColumn), u"Answered (1:05)"_s);
        QCOMPARE(text(0, HistoryModel::StationColumn), u"sip:guest@127.0.0.9"_s);
        QCOMPARE(text(0, HistoryModel::KindColumn), u"Incoming call"_s);
        QCOMPARE(text(1, HistoryModel::StationColumn), QString());
        QCOMPARE(text(1, HistoryModel::KindColumn), u"SIP engine"_s);
        for (int row = 0; row < 4; ++row) {
            for (int column = 0; column < HistoryModel::ColumnCount; ++column) {
                const QModelIndex cell = model.index(row, column);
                QCOMPARE(cell.data(Qt::FontRole).value<QFont>().bold(), row == 0);
                QCOMPARE(cell.data(Qt::BackgroundRole).isValid(), row == 0);
            }
        }
    }

    void windowShowsNewestFirstWithThumbnails()
    {
        QSignalSpy opened(m_window.get(), &HistoryWindow::opened);
        m_window->open();
        QCOMPARE(opened.count(), 1);
        QTRY_COMPARE(ids(*m_window->model()), (QList<qint64>{m_missed.id, m_engine.id, m_door.id, m_call.id}));
        QTRY_VERIFY(m_window->model()->hasThumbnail(m_call.id) && m_window->model()->hasThumbnail(m_door.id));
        const QIcon icon =
            m_window->model()->index(3, HistoryModel::ThumbnailColumn).data(Qt::DecorationRole).value<QIcon>();
        const QImage thumbnail = icon.pixmap(HistoryWindow::kThumbnailSize).toImage();
        QVERIFY(thumbnail.width() <= HistoryWindow::kThumbnailSize.width() && reddish(thumbnail.pixelColor(10, 10)));
        QVERIFY(!m_window->model()->hasThumbnail(m_engine.id));
    }

    void filtersNarrowTheRows_data()
    {
        QTest::addColumn<int>("station"); // combo data; -2 for "All"
        QTest::addColumn<int>("kind");    // -1 for "All"
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QList<qint64>>("shown");
        QTest::newRow("station 2") << 1 << -1 << QDate() << QList<qint64>{m_door.id};
        QTest::newRow("no station") << -1 << -1 << QDate() << QList<qint64>{m_missed.id, m_engine.id};
        QTest::newRow("incoming calls") << -2 << int(HistoryKind::IncomingCall) << QDate()
                                        << QList<qint64>{m_missed.id, m_call.id};
        QTest::newRow("first day") << -2 << -1 << QDate(2023, 11, 14) << QList<qint64>{m_door.id, m_call.id};
        QTest::newRow("second day, calls")
            << -2 << int(HistoryKind::IncomingCall) << QDate(2023, 11, 15) << QList<qint64>{m_missed.id};
        QTest::newRow("a day without events") << -2 << -1 << QDate(2023, 11, 16) << QList<qint64>{};
    }

    void filtersNarrowTheRows()
    {
        QFETCH(int, station);
        QFETCH(int, kind);
        QFETCH(QDate, day);
        QFETCH(QList<qint64>, shown);
        auto* stations = m_window->findChild<QComboBox*>(u"stationFilter"_s);
        auto* kinds = m_window->findChild<QComboBox*>(u"kindFilter"_s);
        QCOMPARE(stations->itemText(2), u"Station 2 - Garage"_s);
        stations->setCurrentIndex(station == -2 ? 0 : stations->findData(station));
        kinds->setCurrentIndex(kind == -1 ? 0 : kinds->findData(kind));
        m_window->findChild<QCheckBox*>(u"dayFilterOn"_s)->setChecked(day.isValid());
        if (day.isValid())
            m_window->findChild<QDateEdit*>(u"dayFilter"_s)->setDate(day);
        QTRY_COMPARE(ids(*m_window->model()), shown);
    }

    void arrowsShowTheSelectedPictures()
    {
        m_window->findChild<QComboBox*>(u"stationFilter"_s)->setCurrentIndex(0);
        m_window->findChild<QComboBox*>(u"kindFilter"_s)->setCurrentIndex(0);
        m_window->findChild<QCheckBox*>(u"dayFilterOn"_s)->setChecked(false);
        QTRY_COMPARE(m_window->model()->rowCount(), 4);
        const auto label = [this](const char* name) { return m_window->findChild<QLabel*>(QLatin1String(name)); };
        const auto colour = [&label](const char* name) {
            const QImage image = label(name)->pixmap().toImage();
            return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
        };
        m_window->table()->setFocus();
        m_window->table()->selectRow(0);
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(m_window->table(), Qt::Key_Down);
        QTRY_VERIFY(colour("picture0").red() > 180 && colour("picture1").blue() > 180);
        QCOMPARE(label("pictureCaption0")->text(), u"At ring"_s);
        QCOMPARE(label("pictureCaption1")->text(), u"At answer"_s);
        QVERIFY(label("picture1")->isVisible());
        QTest::keyClick(m_window->table(), Qt::Key_Up); // the door opened: one picture
        QTRY_VERIFY(colour("picture0").green() > 180 && colour("picture0").red() < 90);
        QCOMPARE(label("pictureCaption0")->text(), u"Picture"_s);
        QVERIFY(!label("picture1")->isVisible());
        QTest::keyClick(m_window->table(), Qt::Key_Up); // the engine: none
        QTRY_COMPARE(label("picture0")->text(), u"No image available"_s);
        QVERIFY(label("picture0")->pixmap().isNull());
    }

    void exportWritesCsvAndPictures()
    {
        QTemporaryDir out;
        QSignalSpy finished(m_window.get(), &HistoryWindow::exportFinished);
        // The button opens the folder chooser without a loop of its own; the chosen folder gets the export.
        QTest::mouseClick(m_window->findChild<QPushButton*>(u"exportButton"_s), Qt::LeftButton);
        auto* chooser = m_window->findChild<QFileDialog*>(u"exportFolderChooser"_s);
        QVERIFY(chooser && chooser->isVisible() && finished.isEmpty());
        chooser->selectFile(out.path());
        static_cast<QDialog*>(chooser)->accept();
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY2(finished.first().first().toBool(), qPrintable(finished.first().last().toString()));
        QFile csv(out.filePath(u"history.csv"_s));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QCOMPARE(lines.size(), 6); // header, four events, nothing after the last line end
        QVERIFY(lines[4].startsWith("2023-11-14T10:00:00+01:00,3,\"Front, \"\"main\"\" door\""));
        for (auto it = m_pictures.cbegin(); it != m_pictures.cend(); ++it) {
            const QString name = history::exportPictureName(it.key().first, it.key().second);
            QFile picture(out.filePath(name));
            QVERIFY2(picture.open(QIODevice::ReadOnly) && picture.readAll() == it.value(), qPrintable(name));
            QVERIFY(lines[it.key().first == m_call.id ? 4 : 3].contains(name.toUtf8()));
        }
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 4);

        m_window->exportTo(out.filePath(u"history.csv/sub"_s)); // not a folder
        QTRY_COMPARE(finished.count(), 2);
        QVERIFY(!finished.last().first().toBool());
        QVERIFY(finished.last().last().toString().startsWith(u"Export failed: "_s));
    }

    void escapeCloses()
    {
        m_window->open();
        QVERIFY(m_window->isVisible());
        QTest::keyClick(m_window->table(), Qt::Key_Escape);
        QVERIFY(!m_window->isVisible());
    }

    void historyButtonAndBadge_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("badge");
        QTest::newRow("none") << 0 << QString();
        QTest::newRow("five") << 5 << u"5"_s;
        QTest::newRow("99") << 99 << u"99"_s;
        QTest::newRow("150") << 150 << u"99+"_s;
    }

    void historyButtonAndBadge()
    {
        QFETCH(int, count);
        QFETCH(QString, badge);
        ConfigRecord record;
        ConsoleState state;
        MainWindow window(record, state);
        window.show();
        window.layOut();
        ImageButton* history = window.commandButton(CommandButton::History);
        QCOMPARE(history->objectName(), u"historyButton"_s);
        QCOMPARE(history->x(), window.commandButton(CommandButton::About)->x());
        for (CommandButton above : {CommandButton::About, CommandButton::Settings, CommandButton::Microphone})
            QVERIFY(history->y() >= window.commandButton(above)->geometry().bottom());
        window.setMissedCallBadge(count);
        QCOMPARE(history->badge(), badge);
        const QImage look = history->grab().toImage();
        QCOMPARE(reddish(look.pixelColor(look.width() - 3, look.height() / 2 - 10)), count > 0);
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "test_historywindow.moc"
