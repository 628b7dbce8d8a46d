// qzp.cfg: exact bytes, every cut, damaged counts, noise, and a rewrite that fails midway.

#include "ConfigFile.h"
#include "support/FileBytes.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

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
    QList<QByteArray> out;
    const std::pair<bool, int> layout[] = {{true, 3}, {false, 32}, {true, 64}, {false, 353}, {true, 32}, {false, 1}};
    for (const auto& [text, count] : layout) {
        for (int i = 0; i < count; ++i) {
            const QByteArray t = "\xe9" + QByteArray::number(out.size()); // "é" in Windows-1252
            out.append(text ? FileBytes::le(t.size(), 2) + t : FileBytes::le(out.size() * -77, 2));
        }
    }
    return out;
}

} // namespace

class TestConfigFile : public QObject
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
        QTest::newRow("empty") << ConfigRecord() << zeros(970);
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
        for (qsizetype i = 0, at = 0; i < fields.size(); at += fields[i++].size()) {
            QByteArray damaged = full;
            damaged[at] = damaged[at + 1] = '\xff'; // a text's count claims 65535 bytes
            QVERIFY2(fields[i].size() == 2 || keeps(damaged, i), qPrintable(u"field %1 damaged"_s.arg(i)));
        }
    }

    void randomNoise()
    {
        for (quint32 seed : {11u, 12u, 13u}) {
            QRandomGenerator rng(seed);
            QByteArray noise(1024 * 1024, '\0');
            for (char& c : noise)
                c = char(rng.bounded(256));
            // What was read is the noise byte for byte; from the text whose count runs past the end on, all is empty.
            const QByteArray again = ConfigFile::encode(ConfigFile::decode(noise));
            qsizetype same = 0;
            while (same < again.size() && again[same] == noise[same])
                ++same;
            QVERIFY(same > 6 && again.mid(same).count('\0') == again.size() - same);
        }
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
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        const bool written = ConfigFile::writeFile(path, ConfigFile::decode(numberedFields().join()), &error);
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, handler);
        QVERIFY(!written);
        QCOMPARE(FileBytes::readAll(path), ConfigFile::encode(ConfigRecord::defaults()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"qzp.cfg"_s});
    }
};

QTEST_GUILESS_MAIN(TestConfigFile)
#include "test_configfile.moc"
