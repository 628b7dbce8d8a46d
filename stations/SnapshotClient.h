#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>

class HttpGetter;
class Logger;

/// Fetches one camera snapshot and decodes it. Never fails to its caller: a
/// failure yields a null picture, and a station that cannot be reached is
/// logged as "GetPicFromHTTP <number> <description>".
class SnapshotClient : public QObject
{
    Q_OBJECT
public:
    /// A station that accepts and never answers costs at most this per fetch.
    static constexpr int kTimeoutMs = 1000;
    /// A camera picture is far below this; a larger body is a failed fetch.
    static constexpr qint64 kMaxBodyBytes = 8LL * 1024 * 1024;
    /// The stations' camera port.
    static constexpr quint16 kPort = 8081;

    explicit SnapshotClient(Logger& log, QObject* parent = nullptr);
    ~SnapshotClient() override;

    /// "http://" + IP address as stored + ":8081/snap.jpg".
    static QString snapshotUrl(const QString& ipAddress);
    /// The same with another port (simulated stations in tests).
    static QString snapshotUrl(const QString& ipAddress, quint16 port);

    /// Creates the HTTP client used by every fetch (again, after a failure).
    void createHttpClient();

    using PictureCallback = std::function<void(const QImage&)>;

    /// Fetches url and calls done with the picture (null on any failure),
    /// decoded no larger than needed for displaySize (invalid: full size).
    void fetchPicture(const QString& url, const QSize& displaySize, PictureCallback done);

private:
    Logger& m_log;
    HttpGetter* m_http = nullptr;
};
