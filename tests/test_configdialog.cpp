// The configuration dialog: filling, the Active cascade, storing, cancel, keys, write failures.

#include "ConfigDialog.h"
#include "ConfigFile.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

ConfigRecord sampleRecord()
{
    ConfigRecord r = ConfigRecord::defaults();
    for (int i = 0; i < 6; ++i) {
        r.active[i] = 1;
        r.ipAddress[i] = QStringLiteral("127.0.0.%1").arg(i + 2);
        r.extension[i] = QString::number(101 + i);
        r.description[i] = QStringLiteral("Varco %1").arg(i + 1);
        r.param(0, i) = 1;
        r.param(1, i) = 10;
    }
    for (int i = 6; i < 16; ++i) {
        r.param(0, i) = 1;
        r.param(1, i) = 1;
    }
    // Slots no dialog shows, and parameters without a meaning.
    r.ipAddress[20] = QStringLiteral("10.0.0.1");
    r.active[31] = 7;
    r.param(5, 3) = -42;
    r.param(10, 31) = 999;
    r.serverAddress = QStringLiteral("127.0.0.1:5080");
    r.userId = QStringLiteral("100");
    r.password = QStringLiteral("pw");
    return r;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestConfigDialog : public QObject
{
    Q_OBJECT
private slots:
    void fillsFromRecord();
    void cascadeFromStationThree();
    void serverBoxEnablesFields();
    void okStoresWithTrimmingAndRelayRules_data();
    void okStoresWithTrimmingAndRelayRules();
    void okWithoutEditsRewritesSameBytes();
    void cancelLeavesRecordAndFile();
    void enterIsOkEscapeIsAnnulla();
    void relayFieldTakesTwoDigitsOnly();
    void unwritableFileKeepsDialogAndEdits();
    void everyTabReachable();
};

void TestConfigDialog::fillsFromRecord()
{
    QTemporaryDir dir;
    ConfigRecord r = sampleRecord();
    r.param(0, 2) = 123; // values from elsewhere are shown as they are
    r.param(1, 2) = -5;
    ConfigDialog d(r, dir.filePath(QStringLiteral("qzp.cfg")));
    QCOMPARE(d.txtPBX()->text(), QStringLiteral("127.0.0.1:5080"));
    QCOMPARE(d.txtQZ(3)->text(), QStringLiteral("127.0.0.5"));
    QCOMPARE(d.txtExt(3)->text(), QStringLiteral("104"));
    QCOMPARE(d.txtDesc(3)->text(), QStringLiteral("Varco 4"));
    QCOMPARE(d.txtRele1(2)->text(), QStringLiteral("123"));
    QCOMPARE(d.txtRele2(2)->text(), QStringLiteral("-5"));
    QVERIFY(d.chkAttivo(0)->isChecked());
    QVERIFY(!d.chkAttivo(0)->isEnabled());
    QVERIFY(d.chkAttivo(5)->isChecked());
    QVERIFY(d.chkAttivo(6)->isEnabled()); // the next station may be added
    QVERIFY(!d.chkAttivo(6)->isChecked());
    QVERIFY(!d.chkAttivo(7)->isEnabled());
    QVERIFY(d.chkPopUp()->isChecked());
    QVERIFY(!d.chkServer()->isChecked());
    QVERIFY(!d.txtPBX()->isEnabled());
    // The kept values pass through OK unchanged.
    QCOMPARE(d.editedRecord().param(0, 2), qint16(123));
    QCOMPARE(d.editedRecord().param(1, 2), qint16(-5));
}

void TestConfigDialog::cascadeFromStationThree()
{
    QTemporaryDir dir;
    ConfigRecord r = sampleRecord();
    ConfigDialog d(r, dir.filePath(QStringLiteral("qzp.cfg")));
    d.chkAttivo(3)->setChecked(false);
    for (int j = 4; j < 16; ++j) {
        QVERIFY2(!d.chkAttivo(j)->isChecked(), qPrintable(QString::number(j)));
        QVERIFY2(!d.chkAttivo(j)->isEnabled(), qPrintable(QString::number(j)));
    }
    QVERIFY(d.chkAttivo(3)->isEnabled());
    d.chkAttivo(3)->setChecked(true);
    QVERIFY(d.chkAttivo(4)->isEnabled());
    QVERIFY(!d.chkAttivo(4)->isChecked());
    for (int j = 5; j < 16; ++j)
        QVERIFY(!d.chkAttivo(j)->isEnabled());
}

void TestConfigDialog::serverBoxEnablesFields()
{
    QTemporaryDir dir;
    ConfigRecord r = sampleRecord();
    ConfigDialog d(r, dir.filePath(QStringLiteral("qzp.cfg")));
    d.chkServer()->setChecked(true);
    QVERIFY(d.txtPBX()->isEnabled() && d.txtID()->isEnabled() && d.txtPWD()->isEnabled());
    d.chkServer()->setChecked(false);
    QVERIFY(!d.txtPBX()->isEnabled() && !d.txtID()->isEnabled() && !d.txtPWD()->isEnabled());
    QCOMPARE(d.txtPWD()->text(), QStringLiteral("pw")); // contents stay
}

void TestConfigDialog::okStoresWithTrimmingAndRelayRules_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("stored");
    QTest::newRow("0") << QStringLiteral("0") << 1;
    QTest::newRow("empty") << QString() << 1;
    QTest::newRow("00") << QStringLiteral("00") << 1;
    QTest::newRow("5") << QStringLiteral("5") << 5;
    QTest::newRow("99") << QStringLiteral("99") << 99;
}

void TestConfigDialog::okStoresWithTrimmingAndRelayRules()
{
    QFETCH(QString, typed);
    QFETCH(int, stored);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qzp.cfg"));
    ConfigRecord r = sampleRecord();
    ConfigDialog d(r, path);
    d.txtQZ(2)->setText(QStringLiteral("  127.0.0.9 "));
    d.txtExt(2)->setText(QStringLiteral(" 109 "));
    d.txtDesc(2)->setText(QStringLiteral(" Cancello "));
    d.txtPWD()->setText(QStringLiteral(" p w "));
    d.txtRele1(2)->setText(typed);
    d.txtRele2(4)->setText(typed);
    d.chkPopUp()->setChecked(false);
    d.chkServer()->setChecked(true);
    QTest::mouseClick(d.cmdOk(), Qt::LeftButton);

    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(r.ipAddress[2], QStringLiteral("127.0.0.9"));
    QCOMPARE(r.extension[2], QStringLiteral("109"));
    QCOMPARE(r.description[2], QStringLiteral(" Cancello "));
    QCOMPARE(r.password, QStringLiteral(" p w "));
    QCOMPARE(r.param(0, 2), qint16(stored));
    QCOMPARE(r.param(1, 4), qint16(stored));
    QCOMPARE(r.popupOnCall, qint16(0));
    QCOMPARE(r.useSipServer, qint16(1));
    QCOMPARE(r.active[5], qint16(1));
    QCOMPARE(r.active[6], qint16(0));
    // Slots 16-31 and parameters 2-10 pass through.
    QCOMPARE(r.ipAddress[20], QStringLiteral("10.0.0.1"));
    QCOMPARE(r.active[31], qint16(7));
    QCOMPARE(r.param(5, 3), qint16(-42));
    QCOMPARE(r.param(10, 31), qint16(999));
    // The file holds what memory holds.
    QCOMPARE(ConfigFile::decode(fileBytes(path)), r);
}

void TestConfigDialog::okWithoutEditsRewritesSameBytes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qzp.cfg"));
    ConfigRecord r = sampleRecord();
    QString error;
    QVERIFY(ConfigFile::writeFile(path, r, &error));
    const QByteArray before = fileBytes(path);
    const ConfigRecord copy = r;
    ConfigDialog d(r, path);
    QTest::mouseClick(d.cmdOk(), Qt::LeftButton);
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(r, copy);
}

void TestConfigDialog::cancelLeavesRecordAndFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qzp.cfg"));
    ConfigRecord r = sampleRecord();
    QString error;
    QVERIFY(ConfigFile::writeFile(path, r, &error));
    const QByteArray before = fileBytes(path);
    const ConfigRecord copy = r;
    ConfigDialog d(r, path);
    d.txtQZ(0)->setText(QStringLiteral("127.0.0.99"));
    d.chkAttivo(1)->setChecked(false);
    QTest::mouseClick(d.cmdAnnulla(), Qt::LeftButton);
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QCOMPARE(r, copy);
    QCOMPARE(fileBytes(path), before);
}

void TestConfigDialog::enterIsOkEscapeIsAnnulla()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qzp.cfg"));
    {
        ConfigRecord r = sampleRecord();
        ConfigDialog d(r, path);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.txtDesc(1)->setFocus();
        d.txtDesc(1)->setText(QStringLiteral("Garage"));
        QTest::keyClick(d.txtDesc(1), Qt::Key_Return);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(r.description[1], QStringLiteral("Garage"));
        QVERIFY(QFile::exists(path));
    }
    {
        ConfigRecord r = sampleRecord();
        ConfigDialog d(r, path);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.txtDesc(1)->setFocus();
        d.txtDesc(1)->setText(QStringLiteral("Cantina"));
        QTest::keyClick(d.txtDesc(1), Qt::Key_Escape);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(r.description[1], QStringLiteral("Varco 2"));
    }
}

void TestConfigDialog::relayFieldTakesTwoDigitsOnly()
{
    QTemporaryDir dir;
    ConfigRecord r = sampleRecord();
    ConfigDialog d(r, dir.filePath(QStringLiteral("qzp.cfg")));
    d.show();
    QLineEdit* field = d.txtRele1(1);
    field->clear();
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("a1-2x34"));
    QCOMPARE(field->text(), QStringLiteral("12"));
}

void TestConfigDialog::unwritableFileKeepsDialogAndEdits()
{
    QTemporaryDir dir;
    // The parent directory does not exist: no file can be written there.
    const QString path = dir.filePath(QStringLiteral("missing/qzp.cfg"));
    ConfigRecord r = sampleRecord();
    const ConfigRecord copy = r;
    ConfigDialog d(r, path);
    QStringList reports;
    d.setErrorReporter([&](const QString& text) { reports.append(text); });
    d.show();
    d.txtQZ(1)->setText(QStringLiteral("127.0.0.77"));
    QTest::mouseClick(d.cmdOk(), Qt::LeftButton);
    QCOMPARE(reports.size(), 1);
    QVERIFY(reports.first().contains(QLatin1String("could not be saved")));
    QVERIFY(d.isVisible());
    QCOMPARE(d.txtQZ(1)->text(), QStringLiteral("127.0.0.77"));
    QCOMPARE(r, copy); // memory changes only once the file is written
    QVERIFY(!QFile::exists(path));
}

void TestConfigDialog::everyTabReachable()
{
    QTemporaryDir dir;
    ConfigRecord r = sampleRecord();
    ConfigDialog d(r, dir.filePath(QStringLiteral("qzp.cfg")));
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QCOMPARE(d.SSTab1()->count(), 16);
    QCOMPARE(d.SSTab1()->tabText(15), QStringLiteral("16"));
    QVERIFY(d.SSTab1()->geometry().right() < d.width());
    // Ctrl+Tab walks through all sixteen.
    d.SSTab1()->setFocus();
    for (int k = 1; k < 16; ++k)
        QTest::keyClick(d.SSTab1(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(d.SSTab1()->currentIndex(), 15);
    QVERIFY(d.txtQZ(15)->isVisible());
}

QTEST_MAIN(TestConfigDialog)
#include "test_configdialog.moc"
