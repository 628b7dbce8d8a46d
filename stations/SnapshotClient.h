#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <vector>

#include <functional>

class HttpGetter;

/// Fetches one camera snapshot and decodes it. Never fails to its caller: a
/// failure yields a null picture and, for a caller that wants it, the fault as
/// it happened. Logs nothing itself.
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
    /// How long a decoded picture waits for others to be shown with it.
    static constexpr int kDeliveryBatchMs = 15;

    explicit SnapshotClient(QObject* parent = nullptr);
    ~SnapshotClient() override;

    /// "http://" + IP address as stored + ":8081/snap.jpg".
    static QString snapshotUrl(const QString& ipAddress);
    /// The same with another port (simulated stations in tests).
    static QString snapshotUrl(const QString& ipAddress, quint16 port);

    /// A fresh start: every camera's client, with its connections and any fetch
    /// under way, is dropped; the next fetch of each creates its own.
    void createHttpClient();
    /// Ends the fetch under way from url, if any: its client goes with its
    /// connection, and its callback is not called.
    void cancel(const QString& url);

    using PictureCallback = std::function<void(const QImage&)>;
    /// The picture as for PictureCallback, the body it was decoded from as the
    /// camera sent it (empty when the picture is null), and without a picture
    /// the fault: the error number and text of the HTTP client
    /// ("1 Connection refused", "203 Error transferring ... Not Found"), or for
    /// a whole answer that gives no picture "not a JPEG picture (text/html,
    /// 121 bytes)" or "JPEG picture cannot be decoded (image/jpeg, 8192 bytes)".
    using FrameCallback =
        std::function<void(const QImage& picture, const QByteArray& jpeg, const QString& fault)>;

    /// Fetches url and calls done with the picture (null on any failure),
    /// decoded no larger than needed for displaySize (invalid: full size).
    void fetchPicture(const QString& url, const QSize& displaySize, PictureCallback done);
    /// The same for a caller that also keeps the camera's bytes: the caller
    /// knows which station it asked, so the bytes need no lookup by URL.
    void fetchFrame(const QString& url, const QSize& displaySize, FrameCallback done);

private:
    /// One HTTP client per camera, so one camera's failure or cancel touches no other's fetch.
    HttpGetter* clientFor(const QString& url);

    QHash<QString, HttpGetter*> m_http;
    /// Decodes off the GUI thread: sixteen answers of one tick would otherwise
    /// hold up the window for the sum of their decodes.
    QThreadPool m_decoders;
    /// Decoded pictures wait a moment for the others of their tick, so the
    /// window paints them in one go rather than one paint each.
    struct Decoded
    {
        QImage picture;
        QByteArray jpeg;
        QString fault;
        FrameCallback done;
    };
    std::vector<Decoded> m_decoded;
    QTimer m_delivery;
};
