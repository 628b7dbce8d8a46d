// qzp.cfg: exact bytes, every cut, damaged counts, noise, a rewrite that fails midway. The configuration
// dialog: what Ok, Annulla, Enter and Escape store, relay time fields, a file that cannot be written, 16 tabs.

#include "ConfigDialog.h"
#include "ConfigFile.h"
#include "support/FileBytes.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray hex(const char* bytes) { return QByteArray::fromHex(bytes); }
QByteArray zeros(int count) { return QByteArray(count, '\0'); }

/// The file bytes of each field of a record with every text and number set, none to its empty value, in
/// the order of ConfigFile.h: 3 texts, 32 numbers, 64 texts, 352 + 1 numbers, 32 texts, 1 number.
QList<QByteArray> numberedFields()
{
    const auto textField = [](const QByteArray& t) { return FileBytes::le(t.size(), 2) + t; };
    QList<QByteArray> out;
    const std::pair<bool, int> layout[] = {{true, 3}, {false, 32}, {true, 64}, {false, 353}, {true, 32}, {false, 1}};
    for (const auto& [text, count] : layout) {
        for (int i = 0; i < count; ++i) // 0xe9: "é" in Windows-1252
            out.append(text ? textField("\xe9" + QByteArray::number(out.size())) : FileBytes::le(out.size() * -77, 2));
    }
    return out;
}

/// The dialog, shown, over a record whose values it does not show, or shows and nobody edits: they pass through.
struct DialogRig
{
    explicit DialogRig(const QString& file = u"qzp.cfg"_s) : path(dir.filePath(file)) { dialog.show(); }
    QTemporaryDir dir;
    QString path;
    ConfigRecord record = [] {
        ConfigRecord r = ConfigRecord::defaults();
        for (int i = 0; i < 16; ++i)
            r.param(0, i) = r.param(1, i) = 10; // an empty or zero time field stores 1
        r.param(0, 2) = 123; // shown as they are, and kept
        r.param(1, 2) = -5;
        r.param(5, 3) = -42;
        r.ipAddress[20] = u"127.0.0.201"_s;
        return r;
    }();
    const ConfigRecord before = record;
    ConfigDialog dialog{record, path};
};

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT
private slots:
    void exactBytes_data()
    {
        QTest::addColumn<ConfigRecord>("record");
        QTest::addColumn<QByteArray>("bytes");
        ConfigRecord filled;
        filled.serverAddress = u"ab"_s;
        filled.password = u"€è"_s; // 0x80 is where Windows-1252 and Latin-1 part ways
        filled.active[1] = -2;
        filled.active[31] = 0x0102;
        filled.extension[31] = u"9"_s;
        filled.param(2, 1) = 0x1234; // value number s * 11 + p: 13
        filled.param(10, 31) = -32768; // number 351
        filled.description[0] = u"x"_s;
        QTest::newRow("defaults") << ConfigRecord::defaults()
                                  << zeros(6) + hex("0100") + zeros(62) + hex("0c00") + "192.168.0.10" + zeros(62)
                                         + zeros(64) + hex("0100 0a00") + zeros(700) + zeros(66) + hex("0100");
        QTest::newRow("filled") << filled
                                << hex("0200") + "ab" + hex("0000 0200 80e8") + zeros(2) + hex("feff") + zeros(58)
                                       + hex("0201") + zeros(126) + hex("0100") + "9" + zeros(26) + hex("3412")
                                       + zeros(674) + hex("0080 0000 0100") + "x" + zeros(62) + hex("0000");
    }

    void exactBytes()
    {
        QFETCH(ConfigRecord, record);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ConfigFile::encode(record).toHex(' '), bytes.toHex(' '));
        // What follows the last field is ignored: a file rewritten in place by a shorter record still reads.
        QCOMPARE(ConfigFile::decode(bytes + QByteArray(500, '\x7f')), record);
    }

    void everyCutAndDamagedCountKeepsAPrefix()
    {
        // Where the data ends or a count runs past the end, the fields before are read and all after stay empty.
        const QList<QByteArray> fields = numberedFields();
        const QByteArray full = fields.join();
        const auto keeps = [&](const QByteArray& bytes, qsizetype kept) {
            const QByteArray read = ConfigFile::encode(ConfigFile::decode(bytes));
            return read == fields.mid(0, kept).join() + zeros(2 * int(fields.size() - kept));
        };
        for (qsizetype length = 0, kept = 0, end = 0; length <= full.size(); ++length) {
            for (; kept < fields.size() && end + fields[kept].size() <= length; ++kept)
                end += fields[kept].size();
            QVERIFY2(keeps(full.left(length), kept), qPrintable(u"cut at %1"_s.arg(length)));
        }
        // A text's count that claims 65535 bytes.
        for (qsizetype i = 0, at = 0; i < fields.size(); at += fields[i++].size())
            QVERIFY2(fields[i].size() == 2 || keeps(QByteArray(full).replace(at, 2, "\xff\xff"), i),
                     qPrintable(u"field %1 damaged"_s.arg(i)));
    }

    void randomNoise()
    {
        QByteArray noise(1024 * 1024, '\0');
        QRandomGenerator(11).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        // What was read is the noise byte for byte; from the text whose count runs past the end on, all is empty.
        const QByteArray again = ConfigFile::encode(ConfigFile::decode(noise));
        const qsizetype same = std::mismatch(again.cbegin(), again.cend(), noise.cbegin()).first - again.cbegin();
        QVERIFY(same > 6 && again.mid(same).count('\0') == again.size() - same);
    }

    void rewritesTheFile()
    {
        QTemporaryDir dir;
        const QString path = ConfigFile::configPath(dir.path());
        QString error;
        QVERIFY2(ConfigFile::writeFile(path, ConfigRecord::defaults(), &error), qPrintable(error));
        // A write that fails midway (a file size limit stands in for a full disk, and binds root too).
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{100, limit.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN); // a failed write, not the end of this test
        setrlimit(RLIMIT_FSIZE, &small);
        const bool written = ConfigFile::writeFile(path, ConfigFile::decode(numberedFields().join()), &error);
        setrlimit(RLIMIT_FSIZE, &limit);
        QVERIFY(!written);
        QCOMPARE(FileBytes::readAll(path), ConfigFile::encode(ConfigRecord::defaults()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"qzp.cfg"_s});
    }

    void writtenFileIsTheOperatorsGroupsAlone_data()
    {
        QTest::addColumn<int>("before"); // the mode of the file replaced, -1: none
        QTest::addColumn<int>("after");
        QTest::newRow("new") << -1 << 0660;
        QTest::newRow("readable by everybody") << 0664 << 0660;
        QTest::newRow("the group may only read") << 0640 << 0640;
        QTest::newRow("the owner's alone") << 0600 << 0600;
    }

    void writtenFileIsTheOperatorsGroupsAlone()
    {
        QFETCH(int, before);
        QTemporaryDir dir;
        const QString path = ConfigFile::configPath(dir.path());
        const QByteArray file = QFile::encodeName(path);
        if (before >= 0)
            QVERIFY(QFile(path).open(QIODevice::WriteOnly) && ::chmod(file.constData(), mode_t(before)) == 0);
        QString error;
        QVERIFY2(ConfigFile::writeFile(path, ConfigRecord::defaults(), &error), qPrintable(error));
        struct stat st{};
        QVERIFY(::stat(file.constData(), &st) == 0);
        QTEST(int(st.st_mode & 0777), "after");
    }

    void dialogClosing_data()
    {
        QTest::addColumn<int>("key"); // 0: a click on the button
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("typed"); // keys typed into two relay time fields
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("writable");
        QTest::newRow("Ok, no digit") << 0 << true << u"a-x"_s << 1 << true;
        QTest::newRow("Enter, 00") << int(Qt::Key_Return) << true << u"00"_s << 1 << true;
        QTest::newRow("Ok, two digits at most") << 0 << true << u"a1-2x34"_s << 12 << true;
        QTest::newRow("Ok, cannot write") << 0 << true << u"5"_s << 0 << false;
        QTest::newRow("Annulla") << 0 << false << u"5"_s << 0 << true;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << false << u"5"_s << 0 << true;
    }

    void dialogClosing()
    {
        QFETCH(int, key);
        QFETCH(bool, ok);
        QFETCH(QString, typed);
        QFETCH(int, stored);
        QFETCH(bool, writable);
        DialogRig rig(writable ? u"qzp.cfg"_s : u"missing/qzp.cfg"_s); // a directory that does not exist
        ConfigDialog& d = rig.dialog;
        QStringList reports;
        d.setErrorReporter([&](const QString& text) { reports.append(text); });
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
        // Not written: the dialog stays with its edits, the record keeps what it had.
        const bool saved = ok && writable, kept = ok && !writable;
        QCOMPARE(d.result(), int(saved ? QDialog::Accepted : QDialog::Rejected));
        QVERIFY(d.isVisible() == kept && d.addressEdit(2)->text() == u"  127.0.0.9 "_s);
        QCOMPARE(reports.size(), kept ? 1 : 0);
        QCOMPARE(reports.value(0).section(u'\n', 0, 0), kept ? u"The configuration could not be saved."_s : QString());
        ConfigRecord expected = rig.before; // addresses and extensions trimmed, descriptions and password not
        if (saved) {
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
        QCOMPARE(FileBytes::readAll(rig.path), saved ? ConfigFile::encode(expected) : QByteArray());
    }

    void dialogReachesSixteenTabs()
    {
        DialogRig rig;
        QTabWidget* tabs = rig.dialog.stationTabs();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.dialog));
        QVERIFY(tabs->count() == 16 && tabs->tabText(15) == u"16"_s && tabs->geometry().right() < rig.dialog.width());
        tabs->setFocus();
        for (int k = 1; k < 16; ++k)
            QTest::keyClick(tabs, Qt::Key_Tab, Qt::ControlModifier);
        QVERIFY(tabs->currentIndex() == 15 && rig.dialog.addressEdit(15)->isVisible());
    }
};

QTEST_MAIN(TestConfig)
#include "test_config.moc"
