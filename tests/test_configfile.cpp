#include "AnsiText.h"
#include "ConfigFile.h"
#include "ConfigRecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <initializer_list>

namespace {

/// Builds expected file images byte by byte, independently of the encoder.
class Bytes
{
public:
    Bytes& raw(std::initializer_list<int> bytes)
    {
        for (int b : bytes) {
            m_data.append(static_cast<char>(b));
        }
        return *this;
    }
    Bytes& zeros(int count)
    {
        m_data.append(QByteArray(count, '\0'));
        return *this;
    }
    Bytes& ascii(const char* text)
    {
        m_data.append(text);
        return *this;
    }
    QByteArray data() const { return m_data; }

private:
    QByteArray m_data;
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return f.readAll();
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

/// Every element of a record in file order, as text, so records can be
/// compared element by element.
QStringList flatten(const ConfigRecord& r)
{
    QStringList out;
    const auto text = [&out](const QString& t) { out.append(QStringLiteral("T:") + t); };
    const auto number = [&out](qint16 v) { out.append(QStringLiteral("I:") + QString::number(v)); };
    text(r.serverAddress);
    text(r.userId);
    text(r.password);
    for (qint16 v : r.active) {
        number(v);
    }
    for (const QString& t : r.ipAddress) {
        text(t);
    }
    for (const QString& t : r.extension) {
        text(t);
    }
    for (int s = 0; s < ConfigRecord::kSlots; ++s) {
        for (int p = 0; p < ConfigRecord::kParams; ++p) {
            number(r.param(p, s));
        }
    }
    number(r.useSipServer);
    for (const QString& t : r.description) {
        text(t);
    }
    number(r.popupOnCall);
    return out;
}

/// The small record whose file image is spelled out in filledRecordBytes().
ConfigRecord filledRecord()
{
    ConfigRecord r;
    r.serverAddress = QStringLiteral("ab");
    r.password = QStringLiteral("relè");
    r.active[1] = -2;
    r.active[31] = 0x0102;
    r.ipAddress[0] = QStringLiteral("1.2");
    r.extension[31] = QStringLiteral("9");
    r.param(2, 1) = 0x1234;
    r.param(10, 31) = -32768;
    r.useSipServer = 1;
    r.description[0] = QStringLiteral("x");
    r.popupOnCall = 1;
    return r;
}

QByteArray filledRecordBytes()
{
    Bytes b;
    b.raw({0x02, 0x00}).ascii("ab");                // 0: server address
    b.raw({0x00, 0x00});                            // 4: user ID
    b.raw({0x04, 0x00, 0x72, 0x65, 0x6c, 0xe8});    // 6: password "relè"
    b.zeros(2).raw({0xfe, 0xff}).zeros(29 * 2);     // 12: active 0, 1 (-2), 2..30
    b.raw({0x02, 0x01});                            // 74: active 31 = 0x0102
    b.raw({0x03, 0x00}).ascii("1.2").zeros(31 * 2); // 76: IP addresses
    b.zeros(31 * 2).raw({0x01, 0x00}).ascii("9");   // 143: extensions, 31 = "9"
    // 208: parameters, value number s * 11 + p: (2, 1) is number 13, (10, 31) number 351.
    b.zeros(13 * 2).raw({0x34, 0x12}).zeros((351 - 14) * 2).raw({0x00, 0x80});
    b.raw({0x01, 0x00});                          // 912: use SIP server
    b.raw({0x01, 0x00}).ascii("x").zeros(31 * 2); // 914: descriptions
    b.raw({0x01, 0x00});                          // 979: popup on call
    return b.data();
}

/// A record with every field non-empty, slots 16..31 and parameters 2..10 included.
ConfigRecord randomRecord(quint32 seed)
{
    QRandomGenerator rng(seed);
    // Texts drawn from the whole code page except NUL, so they survive the file.
    const auto randomText = [&rng](int maxLength) {
        QByteArray bytes;
        const int length = rng.bounded(1, maxLength + 1);
        for (int i = 0; i < length; ++i) {
            bytes.append(static_cast<char>(rng.bounded(1, 256)));
        }
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
        for (int p = 0; p < ConfigRecord::kParams; ++p) {
            r.param(p, s) = randomInt();
        }
    }
    r.useSipServer = randomInt();
    r.popupOnCall = randomInt();
    return r;
}

/// Number of leading elements in which a equals b.
int matchingPrefix(const QStringList& a, const QStringList& b)
{
    int n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n]) {
        ++n;
    }
    return n;
}

} // namespace

class TestConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void configPathIsInProgramDir();
    void defaultsHoldStationZeroOnly();
    void emptyRecordIsAllZero();
    void defaultRecordBytes();
    void filledRecordBytes();
    void roundTripKeepsEveryField();
    void longTextsUseUnsignedCount();
    void tooLongTextIsCut();
    void ansiTextIsWindows1252();
    void ansiTextCoversEveryByte();
    void charactersOutsideCodePage();
    void shortDataKeepsPrefix_data();
    void shortDataKeepsPrefix();
    void everyCutKeepsAPrefix();
    void damagedCount_data();
    void damagedCount();
    void emptyInput();
    void randomNoise();
    void trailingBytesIgnored();
    void fileRoundTrip();
    void shorterRecordOverLongerFile();
    void readMissingFile();
    void readDirectoryFails();
    void writeLeavesNoTemporaryFile();
    void writeIntoMissingDirectoryFails();
    void writeOverDirectoryFails();
    void writeIntoReadOnlyDirectoryKeepsOldFile();
};

void TestConfigFile::configPathIsInProgramDir()
{
    QCOMPARE(ConfigFile::configPath(QStringLiteral("/opt/qz")), QStringLiteral("/opt/qz/qzp.cfg"));
}

void TestConfigFile::defaultsHoldStationZeroOnly()
{
    const ConfigRecord d = ConfigRecord::defaults();
    ConfigRecord expected;
    expected.active[0] = 1;
    expected.ipAddress[0] = QStringLiteral("192.168.0.10");
    expected.params[0][0] = 1;
    expected.params[1][0] = 10;
    expected.popupOnCall = 1;
    QCOMPARE(flatten(d), flatten(expected));
    QVERIFY(d == expected);
    QCOMPARE(d.useSipServer, qint16(0));
    QVERIFY(d.serverAddress.isEmpty());
    QCOMPARE(d.param(ConfigRecord::kLockRelayParam, 0), qint16(1));
    QCOMPARE(d.param(ConfigRecord::kLightRelayParam, 0), qint16(10));
    QVERIFY(!(d == ConfigRecord()));
}

void TestConfigFile::emptyRecordIsAllZero()
{
    const QByteArray bytes = ConfigFile::encode(ConfigRecord());
    QCOMPARE(bytes.size(), 970);
    QCOMPARE(bytes, QByteArray(970, '\0'));
    QCOMPARE(ConfigFile::kFixedBytes, 970);
    QVERIFY(ConfigFile::decode(bytes) == ConfigRecord());
}

void TestConfigFile::defaultRecordBytes()
{
    Bytes b;
    b.zeros(3 * 2);                                          // 0: three empty texts
    b.raw({0x01, 0x00}).zeros(31 * 2);                       // 6: active 0 = 1
    b.raw({0x0c, 0x00}).ascii("192.168.0.10").zeros(31 * 2); // 70: IP addresses
    b.zeros(32 * 2);                                         // 146: extensions
    b.raw({0x01, 0x00, 0x0a, 0x00}).zeros(704 - 4);          // 210: (0,0) = 1, (1,0) = 10
    b.zeros(2);                                              // 914: use SIP server
    b.zeros(32 * 2);                                         // 916: descriptions
    b.raw({0x01, 0x00});                                     // 980: popup on call
    const QByteArray expected = b.data();
    QCOMPARE(expected.size(), 970 + 12);
    QCOMPARE(ConfigFile::encode(ConfigRecord::defaults()), expected);
    QVERIFY(ConfigFile::decode(expected) == ConfigRecord::defaults());
}

void TestConfigFile::filledRecordBytes()
{
    const QByteArray expected = ::filledRecordBytes();
    QCOMPARE(expected.size(), 970 + 2 + 4 + 3 + 1 + 1);
    const QByteArray bytes = ConfigFile::encode(filledRecord());
    QCOMPARE(bytes.toHex(' '), expected.toHex(' '));

    // A few offsets by hand.
    QCOMPARE(bytes.mid(0, 4), QByteArray("\x02\x00"
                                         "ab",
                                         4));
    QCOMPARE(bytes.mid(6, 6), QByteArray::fromHex("04 00 72 65 6c e8"));
    QCOMPARE(bytes.mid(14, 2), QByteArray::fromHex("fe ff"));
    QCOMPARE(bytes.mid(74, 2), QByteArray::fromHex("02 01"));
    QCOMPARE(bytes.mid(208 + 13 * 2, 2), QByteArray::fromHex("34 12"));
    QCOMPARE(bytes.mid(208 + 351 * 2, 2), QByteArray::fromHex("00 80"));
    QCOMPARE(bytes.mid(912, 2), QByteArray::fromHex("01 00"));

    const ConfigRecord decoded = ConfigFile::decode(expected);
    QCOMPARE(flatten(decoded), flatten(filledRecord()));
    QCOMPARE(decoded.param(2, 1), qint16(0x1234));
    QCOMPARE(decoded.param(1, 2), qint16(0));
}

void TestConfigFile::roundTripKeepsEveryField()
{
    for (quint32 seed : {1u, 2u, 3u, 77u}) {
        const ConfigRecord r = randomRecord(seed);
        QVERIFY(!r.description[31].isEmpty());
        QVERIFY(r.param(10, 31) != 0 || r.param(9, 31) != 0);
        const QByteArray bytes = ConfigFile::encode(r);
        const ConfigRecord back = ConfigFile::decode(bytes);
        QCOMPARE(flatten(back), flatten(r));
        QVERIFY(back == r);
        QCOMPARE(ConfigFile::encode(back), bytes);
    }
}

void TestConfigFile::longTextsUseUnsignedCount()
{
    ConfigRecord r = filledRecord();
    r.description[5] = QString(40000, u'd');
    r.ipAddress[3] = QString(65535, u'i');
    const QByteArray bytes = ConfigFile::encode(r);
    QCOMPARE(bytes.size(), 981 + 40000 + 65535);
    QCOMPARE(bytes.mid(76 + 5 + 2 * 2, 2), QByteArray::fromHex("ff ff"));
    QVERIFY(ConfigFile::decode(bytes) == r);
}

void TestConfigFile::tooLongTextIsCut()
{
    ConfigRecord r = filledRecord();
    r.userId = QString(70000, u'u');
    const ConfigRecord back = ConfigFile::decode(ConfigFile::encode(r));
    QCOMPARE(back.userId, QString(65535, u'u'));
    r.userId = back.userId;
    QVERIFY(back == r);
}

void TestConfigFile::ansiTextIsWindows1252()
{
    QCOMPARE(AnsiText::encode(QStringLiteral("relè")), QByteArray::fromHex("72 65 6c e8"));
    QCOMPARE(AnsiText::encode(QStringLiteral("€")), QByteArray::fromHex("80"));
    QCOMPARE(AnsiText::decode(QByteArray::fromHex("72 65 6c e8")), QStringLiteral("relè"));
    // 0x80..0x9F are where Windows-1252 and Latin-1 part ways.
    QCOMPARE(AnsiText::decode(QByteArray::fromHex("80 93 94")), QStringLiteral("€“”"));

    ConfigRecord r;
    r.description[0] = QStringLiteral("relè");
    const QByteArray bytes = ConfigFile::encode(r);
    const int offset = 6 + 64 + 64 + 64 + 704 + 2;
    QCOMPARE(bytes.mid(offset, 6), QByteArray::fromHex("04 00 72 65 6c e8"));
    QCOMPARE(bytes.size(), 970 + 4);
    QCOMPARE(ConfigFile::decode(bytes).description[0], QStringLiteral("relè"));
}

void TestConfigFile::ansiTextCoversEveryByte()
{
    QByteArray all;
    for (int i = 0; i < 256; ++i) {
        all.append(static_cast<char>(i));
    }
    const QString text = AnsiText::decode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(AnsiText::encode(text).toHex(' '), all.toHex(' '));
}

void TestConfigFile::charactersOutsideCodePage()
{
    const QString text = QStringLiteral("a日本b😀");
    const QByteArray converted = AnsiText::encode(text);
    QVERIFY(!converted.isEmpty());
    QVERIFY(converted.startsWith('a'));

    ConfigRecord r;
    r.serverAddress = text;
    const QByteArray bytes = ConfigFile::encode(r);
    QCOMPARE(bytes.size(), 970 + converted.size());
    const auto count = static_cast<quint8>(bytes[0]) | (static_cast<quint8>(bytes[1]) << 8);
    QCOMPARE(count, converted.size());
    QCOMPARE(bytes.mid(2, count), converted);
    // What follows is still in step.
    QCOMPARE(ConfigFile::decode(bytes).userId, QString());
    QCOMPARE(ConfigFile::decode(bytes).serverAddress, AnsiText::decode(converted));
}

void TestConfigFile::shortDataKeepsPrefix_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("fieldsKept"); // elements of flatten() read in full

    // flatten() order: 3 texts, 32 active, 32 IP, 32 ext, 352 params, sip, 32 desc, popup.
    const int active = 3;
    const int ip = active + 32;
    const int ext = ip + 32;
    const int params = ext + 32;
    const int sip = params + 352;
    const int desc = sip + 1;
    const int popup = desc + 32;
    QTest::newRow("nothing") << 0 << 0;
    QTest::newRow("half a count") << 1 << 0;
    QTest::newRow("count without text") << 3 << 0;
    QTest::newRow("server address") << 4 << 1;
    QTest::newRow("user ID") << 6 << 2;
    QTest::newRow("password cut") << 11 << 2;
    QTest::newRow("password") << 12 << 3;
    QTest::newRow("active 1 cut") << 15 << active + 1;
    QTest::newRow("active 1") << 16 << active + 2;
    QTest::newRow("all active") << 76 << ip;
    QTest::newRow("IP 0 cut") << 80 << ip;
    QTest::newRow("IP 0") << 81 << ip + 1;
    QTest::newRow("extension 31 cut") << 207 << ext + 31;
    QTest::newRow("extensions") << 208 << params;
    QTest::newRow("param (2,1) cut") << 235 << params + 13;
    QTest::newRow("param (2,1)") << 236 << params + 14;
    QTest::newRow("params") << 912 << sip;
    QTest::newRow("sip flag") << 914 << desc;
    QTest::newRow("description 0 count") << 916 << desc;
    QTest::newRow("description 0") << 917 << desc + 1;
    QTest::newRow("popup cut") << 980 << popup;
    QTest::newRow("whole") << 981 << popup + 1;
}

void TestConfigFile::shortDataKeepsPrefix()
{
    QFETCH(int, length);
    QFETCH(int, fieldsKept);
    const QByteArray full = ::filledRecordBytes();
    const ConfigRecord decoded = ConfigFile::decode(full.left(length));

    const QStringList want = flatten(filledRecord());
    const QStringList empty = flatten(ConfigRecord());
    const QStringList got = flatten(decoded);
    QCOMPARE(got.mid(0, fieldsKept), want.mid(0, fieldsKept));
    QCOMPARE(got.mid(fieldsKept), empty.mid(fieldsKept));
}

void TestConfigFile::everyCutKeepsAPrefix()
{
    // At every cut of a fully populated file: the fields before the cut are
    // right, everything from the damaged one on is empty, and the number of
    // fields kept never goes down as the file gets longer.
    const ConfigRecord r = randomRecord(5);
    const QByteArray full = ConfigFile::encode(r);
    const QStringList want = flatten(r);
    const QStringList empty = flatten(ConfigRecord());
    int lastKept = 0;
    for (int length = 0; length <= full.size(); ++length) {
        const QStringList got = flatten(ConfigFile::decode(full.left(length)));
        const int kept = matchingPrefix(got, want);
        if (got.mid(kept) != empty.mid(kept) || kept < lastKept) {
            QFAIL(qPrintable(QStringLiteral("cut at %1: %2 fields kept, then not empty").arg(length).arg(kept)));
        }
        lastKept = kept;
    }
    QCOMPARE(lastKept, want.size());
}

void TestConfigFile::damagedCount_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("fieldsKept");

    QTest::newRow("server address") << 0 << 0;
    QTest::newRow("IP 0") << 76 << 3 + 32;
    QTest::newRow("description 31") << 977 << 3 + 32 + 32 + 32 + 352 + 1 + 31;
}

void TestConfigFile::damagedCount()
{
    QFETCH(int, offset);
    QFETCH(int, fieldsKept);
    QByteArray data = ::filledRecordBytes();
    data[offset] = '\xff';
    data[offset + 1] = '\xff';
    const QStringList got = flatten(ConfigFile::decode(data));
    QCOMPARE(got.mid(0, fieldsKept), flatten(filledRecord()).mid(0, fieldsKept));
    QCOMPARE(got.mid(fieldsKept), flatten(ConfigRecord()).mid(fieldsKept));
}

void TestConfigFile::emptyInput()
{
    QVERIFY(ConfigFile::decode(QByteArray()) == ConfigRecord());
    QVERIFY(ConfigFile::decode(QByteArray(1, '\x05')) == ConfigRecord());
}

void TestConfigFile::randomNoise()
{
    for (quint32 seed : {11u, 12u, 13u}) {
        QRandomGenerator rng(seed);
        QByteArray noise(1024 * 1024, '\0');
        for (char& c : noise) {
            c = static_cast<char>(rng.bounded(256));
        }
        const ConfigRecord r = ConfigFile::decode(noise);

        // The first text is whatever its count says, if the noise holds that much.
        const int count = static_cast<quint8>(noise[0]) | (static_cast<quint8>(noise[1]) << 8);
        QCOMPARE(r.serverAddress, AnsiText::decode(noise.mid(2, count)));
        const int userCount = static_cast<quint8>(noise[2 + count]) | (static_cast<quint8>(noise[3 + count]) << 8);
        QCOMPARE(r.userId, AnsiText::decode(noise.mid(4 + count, userCount)));

        // Whatever was read re-encodes to the same leading bytes.
        const QByteArray again = ConfigFile::encode(r);
        QVERIFY(again.size() <= noise.size() + ConfigFile::kFixedBytes);
        QCOMPARE(again.left(4 + count + userCount), noise.left(4 + count + userCount));
    }
}

void TestConfigFile::trailingBytesIgnored()
{
    const QByteArray exact = ::filledRecordBytes();
    QVERIFY(ConfigFile::decode(exact + QByteArray(500, '\x7f')) == filledRecord());
}

void TestConfigFile::fileRoundTrip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = ConfigFile::configPath(dir.path());
    QVERIFY(!ConfigFile::exists(path));

    const ConfigRecord r = randomRecord(42);
    QString error;
    QVERIFY2(ConfigFile::writeFile(path, r, &error), qPrintable(error));
    QVERIFY(ConfigFile::exists(path));
    QCOMPARE(readAll(path), ConfigFile::encode(r));

    ConfigRecord back;
    QVERIFY2(ConfigFile::readFile(path, &back, &error), qPrintable(error));
    QVERIFY(back == r);
}

void TestConfigFile::shorterRecordOverLongerFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = ConfigFile::configPath(dir.path());

    ConfigRecord longer = filledRecord();
    for (QString& d : longer.description) {
        d = QStringLiteral("a long description that will shrink");
    }
    ConfigRecord shorter = filledRecord();
    shorter.description[0] = QStringLiteral("s");
    shorter.popupOnCall = 7;

    // A file left by an in-place writer: the new record, then the old one's tail.
    const QByteArray oldBytes = ConfigFile::encode(longer);
    const QByteArray newBytes = ConfigFile::encode(shorter);
    QVERIFY(oldBytes.size() > newBytes.size());
    QVERIFY(writeAll(path, newBytes + oldBytes.mid(newBytes.size())));
    ConfigRecord back;
    QString error;
    QVERIFY2(ConfigFile::readFile(path, &back, &error), qPrintable(error));
    QVERIFY(back == shorter);

    // And through our own writer.
    QVERIFY2(ConfigFile::writeFile(path, longer, &error), qPrintable(error));
    QVERIFY2(ConfigFile::writeFile(path, shorter, &error), qPrintable(error));
    QVERIFY2(ConfigFile::readFile(path, &back, &error), qPrintable(error));
    QVERIFY(back == shorter);
    QCOMPARE(back.popupOnCall, qint16(7));
}

void TestConfigFile::readMissingFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = ConfigFile::configPath(dir.path());
    ConfigRecord out = filledRecord();
    QString error;
    QVERIFY(!ConfigFile::readFile(path, &out, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(error.contains(path));
    QVERIFY(out == filledRecord());
}

void TestConfigFile::readDirectoryFails()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = ConfigFile::configPath(dir.path());
    QVERIFY(QDir().mkdir(path));
    QVERIFY(!ConfigFile::exists(path));
    ConfigRecord out;
    QString error;
    QVERIFY(!ConfigFile::readFile(path, &out, &error));
    QVERIFY(!error.isEmpty());
}

void TestConfigFile::writeLeavesNoTemporaryFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = ConfigFile::configPath(dir.path());
    QString error;
    QVERIFY2(ConfigFile::writeFile(path, filledRecord(), &error), qPrintable(error));
    QVERIFY2(ConfigFile::writeFile(path, ConfigRecord::defaults(), &error), qPrintable(error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("qzp.cfg")});
    QCOMPARE(readAll(path), ConfigFile::encode(ConfigRecord::defaults()));
}

void TestConfigFile::writeIntoMissingDirectoryFails()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("no/such/dir"));
    const QString path = ConfigFile::configPath(missing);
    QString error;
    QVERIFY(!ConfigFile::writeFile(path, filledRecord(), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(error.contains(path));
    QVERIFY(!QFileInfo::exists(missing));
}

void TestConfigFile::writeOverDirectoryFails()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = ConfigFile::configPath(dir.path());
    QVERIFY(QDir().mkdir(path));
    QVERIFY(writeAll(path + QStringLiteral("/keep"), QByteArray("keep")));
    QString error;
    QVERIFY(!ConfigFile::writeFile(path, filledRecord(), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(QFileInfo::exists(path + QStringLiteral("/keep")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("qzp.cfg")});
}

void TestConfigFile::writeIntoReadOnlyDirectoryKeepsOldFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = ConfigFile::configPath(dir.path());
    QString error;
    QVERIFY2(ConfigFile::writeFile(path, filledRecord(), &error), qPrintable(error));
    const QByteArray before = readAll(path);

    const QFile::Permissions writable = QFileInfo(dir.path()).permissions();
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    struct RestorePermissions
    {
        QString path;
        QFile::Permissions permissions;
        ~RestorePermissions() { QFile::setPermissions(path, permissions); }
    } restore{dir.path(), writable};

    {
        QFile probe(dir.filePath(QStringLiteral("probe")));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QSKIP("Directory permissions do not bind this user (root); covered by the other write failures");
        }
    }

    QVERIFY(!ConfigFile::writeFile(path, ConfigRecord::defaults(), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(error.contains(path));
    QCOMPARE(readAll(path), before);
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "test_configfile.moc"
