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

using namespace Qt::StringLiterals;

namespace {

ConfigRecord sampleRecord()
{
    ConfigRecord r = ConfigRecord::defaults();
    for (int i = 0; i < 6; ++i) {
        r.active[i] = 1;
        r.ipAddress[i] = u"127.0.0.%1"_s.arg(i + 2);
        r.extension[i] = QString::number(101 + i);
        r.description[i] = u"Varco %1"_s.arg(i + 1);
        r.param(0, i) = 1;
        r.param(1, i) = 10;
    }
    for (int i = 6; i < 16; ++i) {
        r.param(0, i) = 1;
        r.param(1, i) = 1;
    }
    // Relay times from elsewhere are shown as they are and pass through OK unchanged.
    r.param(0, 2) = 123;
    r.param(1, 2) = -5;
    // Slots no dialog shows, and parameters without a meaning.
    r.ipAddress[20] = u"127.0.0.201"_s;
    r.active[31] = 7;
    r.param(5, 3) = -42;
    r.param(10, 31) = 999;
    r.serverAddress = u"127.0.0.1:5080"_s;
    r.userId = u"100"_s;
    r.password = u"pw"_s;
    return r;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// The dialog over a sample record; qzp.cfg goes to a folder of its own.
struct Rig
{
    explicit Rig(const QString& file = u"qzp.cfg"_s)
        : path(dir.filePath(file))
    {
    }
    QTemporaryDir dir;
    QString path;
    ConfigRecord record = sampleRecord();
    const ConfigRecord before = record;
    ConfigDialog dialog{record, path};

    /// Writes the record to the file and returns its bytes.
    QByteArray writeFile()
    {
        QString error;
        return ConfigFile::writeFile(path, record, &error) ? fileBytes(path) : QByteArray();
    }
};

} // namespace

class TestConfigDialog : public QObject
{
    Q_OBJECT
private slots:
    void fillsFromRecord()
    {
        Rig rig;
        const ConfigDialog& d = rig.dialog;
        QCOMPARE(d.txtPBX()->text(), u"127.0.0.1:5080"_s);
        QCOMPARE((QStringList{d.txtQZ(3)->text(), d.txtExt(3)->text(), d.txtDesc(3)->text()}),
                 (QStringList{u"127.0.0.5"_s, u"104"_s, u"Varco 4"_s}));
        QCOMPARE((QStringList{d.txtRele1(2)->text(), d.txtRele2(2)->text()}), (QStringList{u"123"_s, u"-5"_s}));
        QVERIFY(d.chkAttivo(0)->isChecked() && !d.chkAttivo(0)->isEnabled());
        QVERIFY(d.chkAttivo(5)->isChecked());
        QVERIFY(d.chkAttivo(6)->isEnabled() && !d.chkAttivo(6)->isChecked()); // the next station may be added
        QVERIFY(!d.chkAttivo(7)->isEnabled());
        QVERIFY(d.chkPopUp()->isChecked() && !d.chkServer()->isChecked() && !d.txtPBX()->isEnabled());
        QCOMPARE(d.editedRecord(), rig.before);
    }

    void cascadeFromStationThree()
    {
        Rig rig;
        ConfigDialog& d = rig.dialog;
        d.chkAttivo(3)->setChecked(false);
        for (int j = 4; j < 16; ++j)
            QVERIFY2(!d.chkAttivo(j)->isChecked() && !d.chkAttivo(j)->isEnabled(), qPrintable(QString::number(j)));
        QVERIFY(d.chkAttivo(3)->isEnabled());
        d.chkAttivo(3)->setChecked(true);
        QVERIFY(d.chkAttivo(4)->isEnabled() && !d.chkAttivo(4)->isChecked());
        for (int j = 5; j < 16; ++j)
            QVERIFY(!d.chkAttivo(j)->isEnabled());
    }

    void serverBoxEnablesFields()
    {
        Rig rig;
        ConfigDialog& d = rig.dialog;
        d.chkServer()->setChecked(true);
        QVERIFY(d.txtPBX()->isEnabled() && d.txtID()->isEnabled() && d.txtPWD()->isEnabled());
        d.chkServer()->setChecked(false);
        QVERIFY(!d.txtPBX()->isEnabled() && !d.txtID()->isEnabled() && !d.txtPWD()->isEnabled());
        QCOMPARE(d.txtPWD()->text(), u"pw"_s); // contents stay
    }

    void okStoresWithTrimmingAndRelayRules_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::newRow("0") << u"0"_s << 1;
        QTest::newRow("empty") << QString() << 1;
        QTest::newRow("00") << u"00"_s << 1;
        QTest::newRow("5") << u"5"_s << 5;
        QTest::newRow("99") << u"99"_s << 99;
    }

    void okStoresWithTrimmingAndRelayRules()
    {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        Rig rig;
        ConfigDialog& d = rig.dialog;
        d.txtQZ(2)->setText(u"  127.0.0.9 "_s);
        d.txtExt(2)->setText(u" 109 "_s);
        d.txtDesc(2)->setText(u" Cancello "_s);
        d.txtPWD()->setText(u" p w "_s);
        d.txtRele1(2)->setText(typed);
        d.txtRele2(4)->setText(typed);
        d.chkPopUp()->setChecked(false);
        d.chkServer()->setChecked(true);
        QTest::mouseClick(d.cmdOk(), Qt::LeftButton);

        QCOMPARE(d.result(), int(QDialog::Accepted));
        ConfigRecord expected = rig.before;
        expected.ipAddress[2] = u"127.0.0.9"_s;
        expected.extension[2] = u"109"_s;
        expected.description[2] = u" Cancello "_s;
        expected.password = u" p w "_s;
        expected.param(0, 2) = qint16(stored);
        expected.param(1, 4) = qint16(stored);
        expected.popupOnCall = 0;
        expected.useSipServer = 1;
        // Everything else, slots 16-31 and parameters 2-10 included, passes through.
        QCOMPARE(rig.record, expected);
        // The file holds what memory holds.
        QCOMPARE(ConfigFile::decode(fileBytes(rig.path)), expected);
    }

    void okWithoutEditsOrCancelKeepFile_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("OK without edits rewrites the same bytes") << false;
        QTest::newRow("cancel after edits") << true;
    }

    void okWithoutEditsOrCancelKeepFile()
    {
        QFETCH(bool, cancel);
        Rig rig;
        const QByteArray before = rig.writeFile();
        QVERIFY(!before.isEmpty());
        if (cancel) {
            rig.dialog.txtQZ(0)->setText(u"127.0.0.99"_s);
            rig.dialog.chkAttivo(1)->setChecked(false);
        }
        QTest::mouseClick(cancel ? rig.dialog.cmdAnnulla() : rig.dialog.cmdOk(), Qt::LeftButton);
        QCOMPARE(rig.dialog.result(), int(cancel ? QDialog::Rejected : QDialog::Accepted));
        QCOMPARE(rig.record, rig.before);
        QCOMPARE(fileBytes(rig.path), before);
    }

    void enterIsOkEscapeIsAnnulla_data()
    {
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("stored");
        QTest::newRow("Enter") << Qt::Key_Return << int(QDialog::Accepted) << u"Garage"_s;
        QTest::newRow("Escape") << Qt::Key_Escape << int(QDialog::Rejected) << u"Varco 2"_s;
    }

    void enterIsOkEscapeIsAnnulla()
    {
        QFETCH(Qt::Key, key);
        QFETCH(int, result);
        QFETCH(QString, stored);
        Rig rig;
        rig.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.dialog));
        rig.dialog.txtDesc(1)->setFocus();
        rig.dialog.txtDesc(1)->setText(u"Garage"_s);
        QTest::keyClick(rig.dialog.txtDesc(1), key);
        QCOMPARE(rig.dialog.result(), result);
        QCOMPARE(rig.record.description[1], stored);
        QCOMPARE(QFile::exists(rig.path), result == QDialog::Accepted);
    }

    void relayFieldTakesTwoDigitsOnly()
    {
        Rig rig;
        rig.dialog.show();
        QLineEdit* field = rig.dialog.txtRele1(1);
        field->clear();
        field->setFocus();
        QTest::keyClicks(field, u"a1-2x34"_s);
        QCOMPARE(field->text(), u"12"_s);
    }

    void unwritableFileKeepsDialogAndEdits()
    {
        Rig rig(u"missing/qzp.cfg"_s); // the parent directory does not exist: no file can be written there
        QStringList reports;
        rig.dialog.setErrorReporter([&](const QString& text) { reports.append(text); });
        rig.dialog.show();
        rig.dialog.txtQZ(1)->setText(u"127.0.0.77"_s);
        QTest::mouseClick(rig.dialog.cmdOk(), Qt::LeftButton);
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports.first().contains("could not be saved"_L1), qPrintable(reports.first()));
        QVERIFY(rig.dialog.isVisible());
        QCOMPARE(rig.dialog.txtQZ(1)->text(), u"127.0.0.77"_s);
        QCOMPARE(rig.record, rig.before); // memory changes only once the file is written
        QVERIFY(!QFile::exists(rig.path));
    }

    void everyTabReachable()
    {
        Rig rig;
        ConfigDialog& d = rig.dialog;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.SSTab1()->count(), 16);
        QCOMPARE(d.SSTab1()->tabText(15), u"16"_s);
        QVERIFY(d.SSTab1()->geometry().right() < d.width());
        // Ctrl+Tab walks through all sixteen.
        d.SSTab1()->setFocus();
        for (int k = 1; k < 16; ++k)
            QTest::keyClick(d.SSTab1(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(d.SSTab1()->currentIndex(), 15);
        QVERIFY(d.txtQZ(15)->isVisible());
    }
};

QTEST_MAIN(TestConfigDialog)
#include "test_configdialog.moc"
