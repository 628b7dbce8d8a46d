// The configuration dialog: what Ok, Annulla, Enter and Escape store, relay time fields, a file that cannot be
// written, the sixteen tabs.

#include "ConfigDialog.h"
#include "ConfigFile.h"
#include "support/FileBytes.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

/// Values the dialog does not show, or that were stored by other means, must pass through.
ConfigRecord sampleRecord()
{
    ConfigRecord r = ConfigRecord::defaults();
    for (int i = 0; i < 16; ++i)
        r.param(0, i) = r.param(1, i) = 10;
    r.param(0, 2) = 123; // shown as they are, and kept
    r.param(1, 2) = -5;
    r.ipAddress[20] = u"127.0.0.201"_s;
    r.param(5, 3) = -42;
    return r;
}

/// The dialog, shown, over the sample record.
struct Rig
{
    explicit Rig(const QString& file = u"qzp.cfg"_s) : path(dir.filePath(file)) { dialog.show(); }
    QTemporaryDir dir;
    QString path;
    ConfigRecord record = sampleRecord();
    const ConfigRecord before = record;
    ConfigDialog dialog{record, path};
};

} // namespace

class TestConfigDialog : public QObject
{
    Q_OBJECT
private slots:
    void closing_data()
    {
        QTest::addColumn<int>("key"); // 0: a click on the button
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("typed"); // keys typed into two relay time fields
        QTest::addColumn<int>("stored");
        QTest::newRow("Ok, no digit") << 0 << true << u"a-x"_s << 1;
        QTest::newRow("Enter, 00") << int(Qt::Key_Return) << true << u"00"_s << 1;
        QTest::newRow("Ok, two digits at most") << 0 << true << u"a1-2x34"_s << 12;
        QTest::newRow("Annulla") << 0 << false << u"5"_s << 0;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << false << u"5"_s << 0;
    }

    void closing()
    {
        QFETCH(int, key);
        QFETCH(bool, ok);
        QFETCH(QString, typed);
        QFETCH(int, stored);
        Rig rig;
        ConfigDialog& d = rig.dialog;
        for (QLineEdit* field : {d.lockTimeEdit(3), d.lightTimeEdit(4)}) {
            field->clear();
            QTest::keyClicks(field, typed);
        }
        d.addressEdit(2)->setText(u"  127.0.0.9 "_s);
        d.extensionEdit(2)->setText(u" 109 "_s);
        d.passwordEdit()->setText(u" p w "_s);
        d.popupOnCallBox()->setChecked(false);
        d.useServerBox()->setChecked(true);
        d.activeBox(1)->setChecked(true);
        d.descriptionEdit(2)->setFocus();
        d.descriptionEdit(2)->setText(u" Cancello "_s);
        if (key)
            QTest::keyClick(d.descriptionEdit(2), Qt::Key(key));
        else
            QTest::mouseClick(ok ? d.okButton() : d.cancelButton(), Qt::LeftButton);
        QCOMPARE(d.result(), int(ok ? QDialog::Accepted : QDialog::Rejected));
        ConfigRecord expected = rig.before; // addresses and extensions trimmed, descriptions and password not
        if (ok) {
            expected.ipAddress[2] = u"127.0.0.9"_s;
            expected.extension[2] = u"109"_s;
            expected.description[2] = u" Cancello "_s;
            expected.password = u" p w "_s;
            expected.param(0, 3) = expected.param(1, 4) = qint16(stored);
            expected.popupOnCall = 0;
            expected.useSipServer = 1;
            expected.active[1] = 1;
        }
        QCOMPARE(rig.record, expected);
        QCOMPARE(FileBytes::readAll(rig.path), ok ? ConfigFile::encode(expected) : QByteArray()); // or nothing written
    }

    void unwritableFileKeepsDialogAndRecord()
    {
        Rig rig(u"missing/qzp.cfg"_s);
        QStringList reports;
        rig.dialog.setErrorReporter([&](const QString& text) { reports.append(text); });
        rig.dialog.addressEdit(1)->setText(u"127.0.0.77"_s);
        QTest::mouseClick(rig.dialog.okButton(), Qt::LeftButton);
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports.first().startsWith("The configuration could not be saved."_L1), qPrintable(reports.first()));
        QVERIFY(rig.dialog.isVisible() && rig.dialog.addressEdit(1)->text() == u"127.0.0.77"_s);
        QCOMPARE(rig.record, rig.before);
    }

    void sixteenTabsReachable()
    {
        Rig rig;
        QTabWidget* tabs = rig.dialog.stationTabs();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.dialog));
        QVERIFY(tabs->count() == 16 && tabs->tabText(15) == u"16"_s && tabs->geometry().right() < rig.dialog.width());
        tabs->setFocus();
        for (int k = 1; k < 16; ++k)
            QTest::keyClick(tabs, Qt::Key_Tab, Qt::ControlModifier);
        QVERIFY(tabs->currentIndex() == 15 && rig.dialog.addressEdit(15)->isVisible());
    }
};

QTEST_MAIN(TestConfigDialog)
#include "test_configdialog.moc"
