// The event log: the locale's time stamp, the entries' bytes, and a log that cannot be written.

#include "EventLog.h"
#include "support/FileBytes.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QDateTime fixedTime() { return QDateTime(QDate(2024, 3, 7), QTime(14, 5, 9)); }
QByteArray stamp() { return EventLog::formatTimeStamp(fixedTime(), QLocale::system()).toLocal8Bit(); }

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT
private slots:
    void timeStamp()
    {
        // The locale's short date and long time, without the zone.
        const auto in = [](const QLocale& locale) { return EventLog::formatTimeStamp(fixedTime(), locale); };
        QCOMPARE(in({QLocale::English, QLocale::UnitedStates}), u"3/7/24 2:05:09 PM"_s);
        QCOMPARE(in({QLocale::Italian, QLocale::Italy}), u"07/03/24 14:05:09"_s);
        QCOMPARE(in(QLocale::c()), u"7 Mar 2024 14:05:09"_s);
    }

    void entries_data()
    {
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QByteArray>("entries"); // "@" stands for the time stamp
        QString reply(4096, QChar(u'\0')); // an engine reply in its buffer
        reply.replace(0, 9, u"ok\0old re"_s);
        QTest::newRow("NULs become blanks") << QStringList{reply, u"\0 a \0"_s} << "@ ok old re\r\n@ a\r\n"_ba;
        QTest::newRow("outer blanks go, tabs and line ends stay")
            << QStringList{u"  a  b "_s, u" \t\r\nx "_s} << "@ a  b\r\n@ \t\r\nx\r\n"_ba;
        QTest::newRow("empty and blank") << QStringList{QString(), u"   "_s} << "@ \r\n@ \r\n"_ba;
        QTest::newRow("UTF-8") << QStringList{u"relè 1"_s} << "@ rel\xc3\xa8 1\r\n"_ba;
    }

    void entries()
    {
        QFETCH(QStringList, messages);
        QFETCH(QByteArray, entries);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"qz.log"_s);
        QVERIFY(FileBytes::writeAll(path, "old\r\n"));
        EventLog log(path, &fixedTime);
        for (const QString& message : messages)
            log.write(message);
        QCOMPARE(FileBytes::readAll(path), "old\r\n" + entries.replace('@', stamp()));
    }

    void rotatesAtTheLimit()
    {
        // Entries of varying length past a small limit: the rotations fall between them, wherever they end.
        QTemporaryDir dir;
        constexpr qint64 kLimit = 300;
        EventLog log(dir.filePath(u"qz.log"_s), &fixedTime, kLimit);
        QByteArray written;
        for (int i = 0; i < 60; ++i) {
            const QString text = u"line %1 "_s.arg(i) + QString(i % 7 * 5, u'x');
            log.write(text);
            written += EventLog::formatEntry(fixedTime(), QLocale::system(), text);
        }
        QByteArray kept, previous;
        for (const char* name : {"qz.log.3", "qz.log.2", "qz.log.1", "qz.log"}) {
            const QByteArray bytes = FileBytes::readAll(dir.filePath(QString::fromLatin1(name)));
            QVERIFY2(bytes.startsWith(stamp()) && bytes.endsWith("\r\n") && bytes.size() <= kLimit, name);
            // A full file went aside only when the next entry would not fit.
            QVERIFY2(previous.isEmpty() || previous.size() + bytes.indexOf("\r\n") + 2 > kLimit, name);
            kept += previous = bytes;
        }
        QVERIFY(written.endsWith(kept)); // the newest entries, none lost at a switch
        QVERIFY(!QFileInfo::exists(dir.filePath(u"qz.log.4"_s)));
    }

    void unwritableLogWarnsOnce()
    {
        QTemporaryDir dir;
        // A directory where the file should be, and a file under a missing directory: both fail even for root.
        QVERIFY(QDir().mkdir(dir.filePath(u"qz.log"_s)));
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        for (const QString& path : {dir.filePath(u"qz.log"_s), dir.filePath(u"missing/qz.log"_s)}) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot be written"_s));
            EventLog log(path, &fixedTime);
            for (const char* text : {"lost", "lost again", "and again"})
                log.write(QString::fromLatin1(text));
        }
        QVERIFY(QFileInfo(dir.filePath(u"qz.log"_s)).isDir() && !QFileInfo::exists(dir.filePath(u"missing"_s)));
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "test_eventlog.moc"
