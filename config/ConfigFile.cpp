#include "ConfigFile.h"

#include "AnsiText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <limits>

namespace {

constexpr qsizetype kMaxTextBytes = std::numeric_limits<quint16>::max();

void putInt(QByteArray& out, qint16 value)
{
    const auto bits = static_cast<quint16>(value);
    out.append(static_cast<char>(bits & 0xFF));
    out.append(static_cast<char>(bits >> 8));
}

void putText(QByteArray& out, const QString& text)
{
    QByteArray bytes = AnsiText::encode(text);
    if (bytes.size() > kMaxTextBytes) {
        bytes.truncate(kMaxTextBytes);
    }
    putInt(out, static_cast<qint16>(static_cast<quint16>(bytes.size())));
    out.append(bytes);
}

/// Sequential reader over the file image. Once a read runs past the end it
/// fails for good, so every field from the damage on keeps its empty value.
class RecordReader
{
public:
    explicit RecordReader(const QByteArray& data)
        : m_data(data)
    {}

    bool readInt(qint16* value)
    {
        if (m_failed || m_data.size() - m_pos < 2) {
            m_failed = true;
            return false;
        }
        const auto lo = static_cast<quint8>(m_data[m_pos]);
        const auto hi = static_cast<quint8>(m_data[m_pos + 1]);
        m_pos += 2;
        *value = static_cast<qint16>(static_cast<quint16>(lo | (hi << 8)));
        return true;
    }

    bool readText(QString* text)
    {
        qint16 rawCount = 0;
        if (!readInt(&rawCount)) {
            return false;
        }
        const qsizetype count = static_cast<quint16>(rawCount);
        if (m_data.size() - m_pos < count) {
            m_failed = true;
            return false;
        }
        *text = AnsiText::decode(QByteArrayView(m_data).sliced(m_pos, count));
        m_pos += count;
        return true;
    }

    template <std::size_t N>
    void readInts(std::array<qint16, N>& values)
    {
        for (qint16& v : values) {
            readInt(&v);
        }
    }

    template <std::size_t N>
    void readTexts(std::array<QString, N>& texts)
    {
        for (QString& t : texts) {
            readText(&t);
        }
    }

private:
    const QByteArray& m_data;
    qsizetype m_pos = 0;
    bool m_failed = false;
};

} // namespace

namespace ConfigFile {

QString configPath(const QString& programDir)
{
    return programDir + QStringLiteral("/qzp.cfg");
}

QByteArray encode(const ConfigRecord& record)
{
    QByteArray out;
    out.reserve(kFixedBytes + 64);
    putText(out, record.serverAddress);
    putText(out, record.userId);
    putText(out, record.password);
    for (qint16 v : record.active) {
        putInt(out, v);
    }
    for (const QString& t : record.ipAddress) {
        putText(out, t);
    }
    for (const QString& t : record.extension) {
        putText(out, t);
    }
    for (int s = 0; s < ConfigRecord::kSlots; ++s) {
        for (int p = 0; p < ConfigRecord::kParams; ++p) {
            putInt(out, record.param(p, s));
        }
    }
    putInt(out, record.useSipServer);
    for (const QString& t : record.description) {
        putText(out, t);
    }
    putInt(out, record.popupOnCall);
    return out;
}

ConfigRecord decode(const QByteArray& data)
{
    ConfigRecord record;
    RecordReader reader(data);
    reader.readText(&record.serverAddress);
    reader.readText(&record.userId);
    reader.readText(&record.password);
    reader.readInts(record.active);
    reader.readTexts(record.ipAddress);
    reader.readTexts(record.extension);
    for (int s = 0; s < ConfigRecord::kSlots; ++s) {
        for (int p = 0; p < ConfigRecord::kParams; ++p) {
            reader.readInt(&record.param(p, s));
        }
    }
    reader.readInt(&record.useSipServer);
    reader.readTexts(record.description);
    reader.readInt(&record.popupOnCall);
    return record;
}

bool exists(const QString& path)
{
    return QFileInfo(path).isFile();
}

bool readFile(const QString& path, ConfigRecord* out, QString* error)
{
    QFile file(path);
    if (!file.exists()) {
        if (error) {
            *error = QStringLiteral("Configuration file %1 does not exist").arg(path);
        }
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = QStringLiteral("Cannot open configuration file %1: %2").arg(path, file.errorString());
        }
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error) {
            *error = QStringLiteral("Cannot read configuration file %1: %2").arg(path, file.errorString());
        }
        return false;
    }
    *out = decode(data);
    return true;
}

bool readDenied(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isReadable();
}

bool writeFile(const QString& path, const ConfigRecord& record, QString* error)
{
    // QSaveFile writes a temporary file beside the target and renames it over
    // the old one on commit: a crash mid-write never leaves half a record.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) {
            *error = QStringLiteral("Cannot write configuration file %1: %2").arg(path, file.errorString());
        }
        return false;
    }
    // It holds the SIP password: the operators' group may read and write it, other accounts nothing, whatever
    // mode the file it replaces had.
    constexpr QFileDevice::Permissions kShared = QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                 | QFileDevice::ReadGroup | QFileDevice::WriteGroup;
    const QFileInfo existing(path);
    file.setPermissions(existing.exists() ? (existing.permissions() & kShared) | QFileDevice::ReadOwner
                                                | QFileDevice::WriteOwner
                                          : kShared);
    const QByteArray data = encode(record);
    // The write lands in a buffer; a full disk shows only when it is flushed, and
    // commit() would rename the short file over the good one all the same.
    if (file.write(data) != data.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        if (error) {
            *error = QStringLiteral("Cannot write configuration file %1: %2").arg(path, reason);
        }
        return false;
    }
    if (!file.commit()) {
        if (error) {
            *error = QStringLiteral("Cannot write configuration file %1: %2").arg(path, file.errorString());
        }
        return false;
    }
    return true;
}

} // namespace ConfigFile
