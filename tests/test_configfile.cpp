// The configuration record and qzp.cfg: exact bytes, round trips, Windows-1252 text, short, damaged and
// noisy input, and files that cannot be read or written.

#include "AnsiText.h"
#include "ConfigFile.h"
#include "ConfigRecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Expected file images, spelled out byte by byte independently of the encoder.
QByteArray hex(const char* bytes)
{
    return QByteArray::fromHex(bytes);
}

QByteArray zeros(int count)
{
    return QByteArray(count, '\0');
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// Every element of a record in file order, as text, so records can be compared element by element.
QStringList flatten(const ConfigRecord& r)
{
    QStringList out;
    const auto text = [&out](const QString& t) { out.append(u"T:"_s + t); };
    const auto number = [&out](qint16 v) { out.append(u"I:"_s + QString::number(v)); };
    text(r.serverAddress);
    text(r.userId);
    text(r.password);
    std::for_each(r.active.begin(), r.active.end(), number);
    std::for_each(r.ipAddress.begin(), r.ipAddress.end(), text);
    std::for_each(r.extension.begin(), r.extension.end(), text);
    for (int s = 0; s < ConfigRecord::kSlots; ++s) {
        for (int p = 0; p < ConfigRecord::kParams; ++p)
            number(r.param(p, s));
    }
    number(r.useSipServer);
    std::for_each(r.description.begin(), r.description.end(), text);
    number(r.popupOnCall);
    return out;
}

/// The small record whose file image is filledRecordBytes().
ConfigRecord filledRecord()
{
    ConfigRecord r;
    r.serverAddress = u"ab"_s;
    r.password = u"relè"_s;
    r.active[1] = -2;
    r.active[31] = 0x0102;
    r.ipAddress[0] = u"1.2"_s;
    r.extension[31] = u"9"_s;
    r.param(2, 1) = 0x1234;
    r.param(10, 31) = -32768;
    r.useSipServer = 1;
    r.description[0] = u"x"_s;
    r.popupOnCall = 1;
    return r;
}

QByteArray filledRecordBytes()
{
    return hex("0200") + "ab" + hex("0000") + hex("0400 72656ce8") // 0: server, user ID, password "relè"
           + zeros(2) + hex("feff") + zeros(29 * 2) + hex("0201")   // 12: active 0, 1 (-2), 2..30, 31
           + hex("0300") + "1.2" + zeros(31 * 2)                    // 76: IP addresses
           + zeros(31 * 2) + hex("0100") + "9"                      // 143: extensions, 31 = "9"
           // 208: parameters, value number s * 11 + p: (2, 1) is number 13, (10, 31) number 351.
           + zeros(13 * 2) + hex("3412") + zeros((351 - 14) * 2) + hex("0080")
           + hex("0100")                              // 912: use SIP server
           + hex("0100") + "x" + zeros(31 * 2)        // 914: descriptions
           + hex("0100");                             // 979: popup on call
}

/// A record with every field non-empty, slots 16..31 and parameters 2..10 included.
ConfigRecord randomRecord(quint32 seed)
{
    QRandomGenerator rng(seed);
    // Texts drawn from the whole code page except NUL, so they survive the file.
    const auto randomText = [&rng](int maxLength) {
        QByteArray bytes;
        for (int i = rng.bounded(1, maxLength + 1); i > 0; --i)
            bytes.append(static_cast<char>(rng.bounded(1, 256)));
        return AnsiText::decode(bytes);
    };
    const auto randomInt = [&rng] { return static_cast<qint16>(rng.bounded(-32768, 32768)); };
    ConfigRecord r;
    r.serverAddress = randomText(40);
    r.userId = randomText(20);
    r.password = randomText(20);
    for (int s = 0; s < ConfigRecord::kSlots; ++s) {
        r.active[s] = randomInt();
        r.ipAddress[s] = randomText(15);
        r.extension[s] = randomText(6);
        r.description[s] = randomText(30);
        for (int p = 0; p < ConfigRecord::kParams; ++p)
            r.param(p, s) = randomInt();
    }
    r.useSipServer = randomInt();
    r.popupOnCall = randomInt();
    return r;
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
        QTest::newRow("empty: 970 zero bytes") << ConfigRecord() << zeros(970);
        QTest::newRow("defaults") << ConfigRecord::defaults()
                                  << zeros(3 * 2) + hex("0100") + zeros(31 * 2)      // texts; active 0 = 1
                                         + hex("0c00") + "192.168.0.10" + zeros(31 * 2) // IP addresses
                                         + zeros(32 * 2)                                // extensions
                                         + hex("0100 0a00") + zeros(704 - 4)           // (0,0) = 1, (1,0) = 10
                                         + zeros(2 + 32 * 2) + hex("0100");            // SIP flag, descriptions, popup
        QTest::newRow("filled") << filledRecord() << filledRecordBytes();
    }

    void exactBytes()
    {
        QFETCH(ConfigRecord, record);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ConfigFile::encode(record).toHex(' '), bytes.toHex(' '));
        QCOMPARE(flatten(ConfigFile::decode(bytes)), flatten(record));
        // Readers ignore what follows the last field: a file rewritten in place by a shorter record still reads.
        QVERIFY(ConfigFile::decode(bytes + QByteArray(500, '\x7f')) == record);
    }

    void roundTripKeepsEveryField()
    {
        for (quint32 seed : {1u, 2u, 3u, 77u}) {
            const ConfigRecord r = randomRecord(seed);
            const QByteArray bytes = ConfigFile::encode(r);
            QCOMPARE(flatten(ConfigFile::decode(bytes)), flatten(r));
            QCOMPARE(ConfigFile::encode(ConfigFile::decode(bytes)), bytes);
        }
    }

    void longTexts()
    {
        // Counts are unsigned: up to 65535 bytes.
        ConfigRecord r = filledRecord();
        r.description[5] = QString(40000, u'd');
        r.ipAddress[3] = QString(65535, u'i');
        const QByteArray bytes = ConfigFile::encode(r);
        QCOMPARE(bytes.size(), 981 + 40000 + 65535);
        QCOMPARE(bytes.mid(76 + 5 + 2 * 2, 2), hex("ffff"));
        QVERIFY(ConfigFile::decode(bytes) == r);

        // A longer text is cut to what the count can say, and the fields after it stay in step.
        r.userId = QString(70000, u'u');
        const ConfigRecord back = ConfigFile::decode(ConfigFile::encode(r));
        QCOMPARE(back.userId, QString(65535, u'u'));
        r.userId = back.userId;
        QVERIFY(back == r);
    }

    void windows1252Text()
    {
        QCOMPARE(AnsiText::encode(u"€"_s), hex("80"));
        // 0x80..0x9F are where Windows-1252 and Latin-1 part ways.
        QCOMPARE(AnsiText::decode(hex("80 93 94")), u"€“”"_s);
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(static_cast<char>(i));
        QCOMPARE(AnsiText::decode(all).size(), 256);
        QCOMPARE(AnsiText::encode(AnsiText::decode(all)).toHex(' '), all.toHex(' '));

        // A character outside the code page counts what it converts to: the next field stays in step.
        const QByteArray converted = AnsiText::encode(u"a日本b😀"_s);
        QVERIFY(converted.startsWith('a'));
        ConfigRecord r;
        r.serverAddress = u"a日本b😀"_s;
        r.userId = u"u"_s;
        const QByteArray bytes = ConfigFile::encode(r);
        QCOMPARE(bytes.left(2 + converted.size()), char(converted.size()) + zeros(1) + converted);
        QCOMPARE(ConfigFile::decode(bytes).serverAddress, AnsiText::decode(converted));
        QCOMPARE(ConfigFile::decode(bytes).userId, u"u"_s);
    }

    void shortOrDamagedDataKeepsPrefix_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("fieldsKept"); // elements of flatten() read in full; all after them empty / 0

        // flatten() order: 3 texts, 32 active, 32 IP, 32 ext, 352 params, sip, 32 desc, popup.
        const int ip = 3 + 32;
        const int params = ip + 32 + 32;
        const int desc = params + 352 + 1;
        const QByteArray full = filledRecordBytes();
        QTest::newRow("nothing") << QByteArray() << 0;
        QTest::newRow("half a count") << full.left(1) << 0;
        QTest::newRow("count without text") << full.left(3) << 0;
        QTest::newRow("server address") << full.left(4) << 1;
        QTest::newRow("password cut") << full.left(11) << 2;
        QTest::newRow("active 1 cut") << full.left(15) << 3 + 1;
        QTest::newRow("IP 0 cut") << full.left(80) << ip;
        QTest::newRow("IP 0") << full.left(81) << ip + 1;
        QTest::newRow("param (2,1) cut") << full.left(235) << params + 13;
        QTest::newRow("param (2,1)") << full.left(236) << params + 14;
        QTest::newRow("popup cut") << full.left(980) << desc + 32;
        // A count that runs past the end: that field and all after it stay empty.
        for (const auto& [name, offset, kept] : {std::tuple{"server address damaged", 0, 0},
                                                 std::tuple{"IP 0 damaged", 76, ip},
                                                 std::tuple{"description 31 damaged", 977, desc + 31}}) {
            QByteArray damaged = full;
            damaged[offset] = damaged[offset + 1] = '\xff';
            QTest::newRow(name) << damaged << kept;
        }
    }

    void shortOrDamagedDataKeepsPrefix()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, fieldsKept);
        const QStringList got = flatten(ConfigFile::decode(bytes));
        QCOMPARE(got.mid(0, fieldsKept), flatten(filledRecord()).mid(0, fieldsKept));
        QCOMPARE(got.mid(fieldsKept), flatten(ConfigRecord()).mid(fieldsKept));
    }

    void everyCutKeepsAPrefix()
    {
        // At every cut of a fully populated file: the fields before the cut are right, everything from the
        // damaged one on is empty, and the number of fields kept never goes down as the file gets longer.
        const ConfigRecord r = randomRecord(5);
        const QByteArray full = ConfigFile::encode(r);
        const QStringList want = flatten(r);
        const QStringList empty = flatten(ConfigRecord());
        int lastKept = 0;
        for (int length = 0; length <= full.size(); ++length) {
            const QStringList got = flatten(ConfigFile::decode(full.left(length)));
            int kept = 0;
            while (kept < want.size() && got[kept] == want[kept])
                ++kept;
            if (got.mid(kept) != empty.mid(kept) || kept < lastKept)
                QFAIL(qPrintable(u"cut at %1: %2 fields kept, then not empty"_s.arg(length).arg(kept)));
            lastKept = kept;
        }
        QCOMPARE(lastKept, want.size());
    }

    void randomNoise()
    {
        for (quint32 seed : {11u, 12u, 13u}) {
            QRandomGenerator rng(seed);
            QByteArray noise(1024 * 1024, '\0');
            for (char& c : noise)
                c = static_cast<char>(rng.bounded(256));
            const ConfigRecord r = ConfigFile::decode(noise);
            // The first texts are whatever their counts say, if the noise holds that much.
            const auto count = [&noise](int at) { return quint8(noise[at]) | (quint8(noise[at + 1]) << 8); };
            const int server = count(0);
            const int user = count(2 + server);
            QCOMPARE(r.serverAddress, AnsiText::decode(noise.mid(2, server)));
            QCOMPARE(r.userId, AnsiText::decode(noise.mid(4 + server, user)));
            // Whatever was read re-encodes to the same leading bytes.
            const QByteArray again = ConfigFile::encode(r);
            QVERIFY(again.size() <= noise.size() + ConfigFile::kFixedBytes);
            QCOMPARE(again.left(4 + server + user), noise.left(4 + server + user));
        }
    }

    void fileRoundTrip()
    {
        QTemporaryDir dir;
        const QString path = ConfigFile::configPath(dir.path());
        QCOMPARE(path, dir.path() + u"/qzp.cfg"_s);
        QVERIFY(!ConfigFile::exists(path));
        const ConfigRecord r = randomRecord(42);
        QString error;
        for (const ConfigRecord& written : {r, filledRecord()}) { // a longer record, then a shorter one
            QVERIFY2(ConfigFile::writeFile(path, written, &error), qPrintable(error));
            QVERIFY(ConfigFile::exists(path));
            QCOMPARE(readAll(path), ConfigFile::encode(written));
            ConfigRecord back;
            QVERIFY2(ConfigFile::readFile(path, &back, &error), qPrintable(error));
            QVERIFY(back == written);
        }
        // The replacement leaves no temporary file behind.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{u"qzp.cfg"_s});
    }

    void fileFailuresKeepWhatWasThere()
    {
        QTemporaryDir dir;
        const QString path = ConfigFile::configPath(dir.path());
        ConfigRecord out = filledRecord();
        QString error;
        QVERIFY(!ConfigFile::readFile(path, &out, &error)); // missing
        QVERIFY2(error.contains(path), qPrintable(error));
        QVERIFY(out == filledRecord()); // left untouched

        const QString missing = ConfigFile::configPath(dir.filePath(u"no/such/dir"_s));
        QVERIFY(!ConfigFile::writeFile(missing, filledRecord(), &error));
        QVERIFY2(error.contains(missing), qPrintable(error));
        QVERIFY(!QFileInfo::exists(dir.filePath(u"no"_s)));

        // A directory where the file belongs stays as it is, contents and all.
        QVERIFY(QDir().mkpath(path + u"/keep"_s));
        QVERIFY(!ConfigFile::exists(path));
        error.clear();
        QVERIFY(!ConfigFile::readFile(path, &out, &error));
        QVERIFY(!error.isEmpty());
        error.clear();
        QVERIFY(!ConfigFile::writeFile(path, filledRecord(), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(path + u"/keep"_s).isDir());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{u"qzp.cfg"_s});
    }

    void writeIntoReadOnlyDirectoryKeepsOldFile()
    {
        QTemporaryDir dir;
        const QString path = ConfigFile::configPath(dir.path());
        QString error;
        QVERIFY2(ConfigFile::writeFile(path, filledRecord(), &error), qPrintable(error));
        const QByteArray before = readAll(path);
        const QFile::Permissions writable = QFileInfo(dir.path()).permissions();
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        const auto restore = qScopeGuard([&] { QFile::setPermissions(dir.path(), writable); });
        if (QFile probe(dir.filePath(u"probe"_s)); probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QSKIP("Directory permissions do not bind this user (root); covered by the other write failures");
        }
        QVERIFY(!ConfigFile::writeFile(path, ConfigRecord::defaults(), &error));
        QVERIFY2(error.contains(path), qPrintable(error));
        QCOMPARE(readAll(path), before);
    }
};

QTEST_GUILESS_MAIN(TestConfigFile)
#include "test_configfile.moc"
