#include "EventLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

QDateTime fixedTime()
{
    return QDateTime(QDate(2024, 3, 7), QTime(14, 5, 9));
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return f.readAll();
}

/// Moves into a directory for the life of the guard.
class CurrentDirGuard
{
public:
    explicit CurrentDirGuard(const QString& dir)
        : m_previous(QDir::currentPath())
    {
        m_ok = QDir::setCurrent(dir);
    }
    ~CurrentDirGuard() { QDir::setCurrent(m_previous); }
    bool ok() const { return m_ok; }

private:
    QString m_previous;
    bool m_ok = false;
};

/// Counts warnings while alive.
class WarningCounter
{
public:
    WarningCounter()
    {
        s_count = 0;
        m_previous = qInstallMessageHandler(&WarningCounter::handle);
    }
    ~WarningCounter() { qInstallMessageHandler(m_previous); }
    int count() const { return s_count; }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString&)
    {
        if (type == QtWarningMsg) {
            ++s_count;
        }
    }
    static inline int s_count = 0;
    QtMessageHandler m_previous = nullptr;
};

QByteArray stamp()
{
    return EventLog::formatTimeStamp(fixedTime(), QLocale::system()).toLocal8Bit();
}

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT

private slots:
    void prepareText_data();
    void prepareText();
    void timeStamp_data();
    void timeStamp();
    void timeStampUsesCurrentClock();
    void engineReplyIsLoggedAsWord();
    void entriesAppend();
    void lineBreakInsideMessage();
    void emptyMessage();
    void writtenAsUtf8();
    void followsCurrentDirectory();
    void unwritableLogDoesNotStopProgram();
};

void TestEventLog::prepareText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("prepared");

    QString reply(4096, QChar(u'\0'));
    reply.replace(0, 3, QStringLiteral("abc"));
    QString stale(4096, QChar(u'\0'));
    stale.replace(0, 9, QStringLiteral("ok\0old re"));

    QTest::newRow("engine reply") << reply << QStringLiteral("abc");
    QTest::newRow("reply with stale tail") << stale << QStringLiteral("ok old re");
    QTest::newRow("outer blanks") << QStringLiteral("  a  b  ") << QStringLiteral("a  b");
    QTest::newRow("tabs stay") << QStringLiteral("\tx\t") << QStringLiteral("\tx\t");
    QTest::newRow("line ends stay") << QStringLiteral(" \r\nx\r\n ") << QStringLiteral("\r\nx\r\n");
    QTest::newRow("NUL around") << QString(QStringLiteral("\0 a \0")) << QStringLiteral("a");
    QTest::newRow("NUL inside") << QStringLiteral("a\0b") << QStringLiteral("a b");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("blanks only") << QStringLiteral("    ") << QString();
    QTest::newRow("word") << QStringLiteral("relè 1") << QStringLiteral("relè 1");
}

void TestEventLog::prepareText()
{
    QFETCH(QString, text);
    QFETCH(QString, prepared);
    const QString copy = text;
    QCOMPARE(EventLog::prepareText(text), prepared);
    QCOMPARE(text, copy);
}

void TestEventLog::timeStamp_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("stamp");

    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << QStringLiteral("3/7/24 2:05:09 PM");
    QTest::newRow("it_IT") << QLocale(QLocale::Italian, QLocale::Italy) << QStringLiteral("07/03/24 14:05:09");
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << QStringLiteral("07.03.24 14:05:09");
    QTest::newRow("C") << QLocale::c() << QStringLiteral("7 Mar 2024 14:05:09");
}

void TestEventLog::timeStamp()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, stamp);
    QCOMPARE(EventLog::formatTimeStamp(fixedTime(), locale), stamp);
}

void TestEventLog::timeStampUsesCurrentClock()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("qz.log"));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    EventLog log(path);
    log.WriteLog(QStringLiteral("now"));
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    const QByteArray content = readAll(path);
    QVERIFY(content.endsWith(" now\r\n"));
    const QByteArray written = content.chopped(6);
    bool matched = false;
    for (QDateTime t = before; t <= after && !matched; t = t.addSecs(1)) {
        matched = written == EventLog::formatTimeStamp(t, QLocale::system()).toLocal8Bit();
    }
    QVERIFY2(matched, written.constData());
}

void TestEventLog::engineReplyIsLoggedAsWord()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("qz.log"));
    EventLog log(path, &fixedTime);

    QString reply(4096, QChar(u'\0'));
    reply.replace(0, 3, QStringLiteral("abc"));
    log.WriteLog(reply);
    QCOMPARE(readAll(path), stamp() + " abc\r\n");
}

void TestEventLog::entriesAppend()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("qz.log"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old entry\r\n");
    }
    EventLog log(path, &fixedTime);
    log.WriteLog(QStringLiteral("  first  entry "));
    log.WriteLog(QStringLiteral("\tsecond"));
    QCOMPARE(readAll(path), "old entry\r\n" + stamp() + " first  entry\r\n" + stamp() + " \tsecond\r\n");
}

void TestEventLog::lineBreakInsideMessage()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("qz.log"));
    EventLog log(path, &fixedTime);
    log.WriteLog(QStringLiteral("first line\r\nsecond line"));

    const QList<QByteArray> lines = readAll(path).split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], stamp() + " first line\r");
    QCOMPARE(lines[1], QByteArray("second line\r"));
    QCOMPARE(lines[2], QByteArray());
}

void TestEventLog::emptyMessage()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("qz.log"));
    EventLog log(path, &fixedTime);
    log.WriteLog(QString());
    log.WriteLog(QStringLiteral("   "));
    QCOMPARE(readAll(path), stamp() + " \r\n" + stamp() + " \r\n");
}

void TestEventLog::writtenAsUtf8()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("qz.log"));
    EventLog log(path, &fixedTime);
    log.WriteLog(QStringLiteral("relè 1"));
    QCOMPARE(readAll(path), stamp() + " rel\xc3\xa8 1\r\n");
}

void TestEventLog::followsCurrentDirectory()
{
    QTemporaryDir first;
    QTemporaryDir second;
    QVERIFY(first.isValid() && second.isValid());
    EventLog log(QStringLiteral("qz.log"), &fixedTime);
    {
        CurrentDirGuard cd(first.path());
        QVERIFY(cd.ok());
        log.WriteLog(QStringLiteral("in first"));
    }
    {
        CurrentDirGuard cd(second.path());
        QVERIFY(cd.ok());
        log.WriteLog(QStringLiteral("in second"));
    }
    QCOMPARE(readAll(first.filePath(QStringLiteral("qz.log"))), stamp() + " in first\r\n");
    QCOMPARE(readAll(second.filePath(QStringLiteral("qz.log"))), stamp() + " in second\r\n");
}

void TestEventLog::unwritableLogDoesNotStopProgram()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A directory where the file should be, and a file under a missing directory:
    // both fail even for root.
    const QString asDirectory = dir.filePath(QStringLiteral("qz.log"));
    QVERIFY(QDir().mkdir(asDirectory));
    const QString underMissing = dir.filePath(QStringLiteral("missing/qz.log"));

    for (const QString& path : {asDirectory, underMissing}) {
        WarningCounter warnings;
        EventLog log(path, &fixedTime);
        log.WriteLog(QStringLiteral("lost"));
        log.WriteLog(QStringLiteral("lost again"));
        log.WriteLog(QStringLiteral("and again"));
        QCOMPARE(warnings.count(), 1);
    }
    QVERIFY(QFileInfo(asDirectory).isDir());
    QVERIFY(!QFileInfo::exists(underMissing));
}

QTEST_GUILESS_MAIN(TestEventLog)
#include "test_eventlog.moc"
