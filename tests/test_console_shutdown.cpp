// The real console with the real engine: start-up logs, then shutdown by SIGTERM
// leaves no engine daemon behind, logs "close" and the exit output last and
// saves the placement; also when the engine shell is missing.

#include "ConsoleProcess.h"

#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

namespace {

ConfigRecord loopbackRecord()
{
    ConfigRecord r = ConfigRecord::defaults();
    r.ipAddress[0] = QStringLiteral("127.0.0.150"); // nothing listens there
    r.description[0] = QStringLiteral("Ingresso");
    return r;
}

} // namespace

class TestConsoleShutdown : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("linphonec")).isEmpty())
            QSKIP("linphonec is not installed (Debian package linphone-cli)");
        m_binary = QStringLiteral(QZ_PROGRAM_DIR "/qzconsole");
        QVERIFY2(QFile::exists(m_binary), qPrintable(m_binary));
    }

    void shutdown_data()
    {
        QTest::addColumn<bool>("withShell");
        QTest::newRow("engine shell present") << true;
        QTest::newRow("engine shell missing") << false;
    }

    void shutdown()
    {
        QFETCH(bool, withShell);
        ConsoleProcess console(m_binary, withShell);
        QVERIFY(console.lockEngine());
        QVERIFY(console.writeEngineConfig(EngineTestEnv::freeUdpPort(5070)));
        QVERIFY(console.writeConfig(loopbackRecord()));
        QVERIFY(console.start());

        // Start-up: "init", then the three codec replies.
        QVERIFY2(console.waitForLog(QStringLiteral("2: "), 45000), qPrintable(console.log()));
        const QStringList started = console.logEntries();
        const int init = started.indexOf(QStringLiteral("init"));
        QVERIFY2(init >= 0, qPrintable(console.log()));
        QCOMPARE(started.filter(QStringLiteral("disabled")).size(), 3);
        const qint64 engine = console.enginePid();
        QVERIFY2(ConsoleProcess::processAlive(engine), qPrintable(QString::number(engine) + u' ' + console.log()));

        QVERIFY(console.signal(SIGTERM));
        QVERIFY2(console.waitForExit(20000), "the console did not end after SIGTERM");

        const QStringList entries = console.logEntries();
        const int close = entries.lastIndexOf(QStringLiteral("close"));
        QVERIFY2(close >= 0, qPrintable(console.log()));
        QVERIFY2(close == entries.size() - 2, qPrintable(console.log())); // "close", then the exit output
        if (!withShell)
            QCOMPARE(entries.at(close + 1),
                     QStringLiteral("Failed to create process, check the path of the command line."));
        QTRY_VERIFY_WITH_TIMEOUT(!ConsoleProcess::processAlive(engine), 10000);

        QSettings placement(console.settingsFile(), QSettings::IniFormat);
        QCOMPARE(placement.value(QStringLiteral("settings/wstate")).toString(), QStringLiteral("0"));
        QVERIFY(placement.value(QStringLiteral("settings/wwidth")).toDouble() > 0);
    }

private:
    QString m_binary;
};

QTEST_GUILESS_MAIN(TestConsoleShutdown)
#include "test_console_shutdown.moc"
