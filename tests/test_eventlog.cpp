// The event log: the text as logged, the locale's time stamp, the bytes of the file, the working
// directory, and a log that cannot be written.

#include "EventLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QDateTime fixedTime()
{
    return QDateTime(QDate(2024, 3, 7), QTime(14, 5, 9));
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray stamp()
{
    return EventLog::formatTimeStamp(fixedTime(), QLocale::system()).toLocal8Bit();
}

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT

private slots:
    void prepareText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("prepared");

        QString stale(4096, QChar(u'\0'));
        stale.replace(0, 9, u"ok\0old re"_s);
        QTest::newRow("reply with stale tail") << stale << u"ok old re"_s;
        QTest::newRow("outer blanks") << u"  a  b  "_s << u"a  b"_s;
        QTest::newRow("tabs stay") << u"\tx\t"_s << u"\tx\t"_s;
        QTest::newRow("line ends stay") << u" \r\nx\r\n "_s << u"\r\nx\r\n"_s;
        QTest::newRow("NUL around") << u"\0 a \0"_s << u"a"_s;
        QTest::newRow("NUL inside") << u"a\0b"_s << u"a b"_s;
        QTest::newRow("blanks only") << u"    "_s << QString();
    }

    void prepareText()
    {
        QFETCH(QString, text);
        QFETCH(QString, prepared);
        const QString copy = text;
        QCOMPARE(EventLog::prepareText(text), prepared);
        QCOMPARE(text, copy);
    }

    void timeStamp_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << u"3/7/24 2:05:09 PM"_s;
        QTest::newRow("it_IT") << QLocale(QLocale::Italian, QLocale::Italy) << u"07/03/24 14:05:09"_s;
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << u"07.03.24 14:05:09"_s;
        QTest::newRow("C") << QLocale::c() << u"7 Mar 2024 14:05:09"_s;
    }

    void timeStamp()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, stamp);
        QCOMPARE(EventLog::formatTimeStamp(fixedTime(), locale), stamp);
    }

    void timeStampUsesCurrentClock()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"qz.log"_s);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        EventLog log(path);
        log.WriteLog(u"now"_s);
        const QDateTime after = QDateTime::currentDateTime().addSecs(1);

        const QByteArray content = readAll(path);
        QVERIFY(content.endsWith(" now\r\n"));
        const QByteArray written = content.chopped(6);
        bool matched = false;
        for (QDateTime t = before; t <= after && !matched; t = t.addSecs(1))
            matched = written == EventLog::formatTimeStamp(t, QLocale::system()).toLocal8Bit();
        QVERIFY2(matched, written.constData());
    }

    void entriesInTheFile_data()
    {
        QTest::addColumn<QByteArray>("before"); // the file's content before the entries
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QByteArray>("after"); // "@" stands for the time stamp

        QString reply(4096, QChar(u'\0'));
        reply.replace(0, 3, u"abc"_s);
        QTest::newRow("engine reply buffer") << QByteArray() << QStringList{reply} << "@ abc\r\n"_ba;
        QTest::newRow("appended, trimmed, tabs kept")
            << "old entry\r\n"_ba << QStringList{u"  first  entry "_s, u"\tsecond"_s}
                                                      << "old entry\r\n@ first  entry\r\n@ \tsecond\r\n"_ba;
        QTest::newRow("line break inside a message") << QByteArray() << QStringList{u"first line\r\nsecond line"_s}
                                                     << "@ first line\r\nsecond line\r\n"_ba;
        QTest::newRow("empty messages") << QByteArray() << QStringList{QString(), u"   "_s} << "@ \r\n@ \r\n"_ba;
        QTest::newRow("written as UTF-8") << QByteArray() << QStringList{u"relè 1"_s} << "@ rel\xc3\xa8 1\r\n"_ba;
    }

    void entriesInTheFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, messages);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"qz.log"_s);
        if (!before.isEmpty()) {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write(before) == before.size());
        }
        EventLog log(path, &fixedTime);
        for (const QString& message : messages)
            log.WriteLog(message);
        QCOMPARE(readAll(path), after.replace('@', stamp()));
    }

    void followsCurrentDirectory()
    {
        QTemporaryDir first;
        QTemporaryDir second;
        EventLog log(u"qz.log"_s, &fixedTime);
        const auto back = qScopeGuard([previous = QDir::currentPath()] { QDir::setCurrent(previous); });
        for (const QTemporaryDir* dir : {&first, &second}) {
            QVERIFY(QDir::setCurrent(dir->path()));
            log.WriteLog(dir->path());
        }
        QCOMPARE(readAll(first.filePath(u"qz.log"_s)), stamp() + ' ' + first.path().toUtf8() + "\r\n");
        QCOMPARE(readAll(second.filePath(u"qz.log"_s)), stamp() + ' ' + second.path().toUtf8() + "\r\n");
    }

    void unwritableLogDoesNotStopProgram()
    {
        QTemporaryDir dir;
        // A directory where the file should be, and a file under a missing directory: both fail even for root.
        const QString asDirectory = dir.filePath(u"qz.log"_s);
        QVERIFY(QDir().mkdir(asDirectory));
        const QString underMissing = dir.filePath(u"missing/qz.log"_s);
        // One warning for the first failure of each log, no more.
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        for (const QString& path : {asDirectory, underMissing}) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u".*"_s));
            EventLog log(path, &fixedTime);
            for (const char* text : {"lost", "lost again", "and again"})
                log.WriteLog(QString::fromLatin1(text));
        }
        QVERIFY(QFileInfo(asDirectory).isDir());
        QVERIFY(!QFileInfo::exists(underMissing));
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "test_eventlog.moc"
