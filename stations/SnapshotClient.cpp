#include "SnapshotClient.h"

#include "HttpGetter.h"
#include "PictureDecoder.h"

namespace {

/// Why a whole answer gave no picture, with what the camera said it sent.
QString undecodable(const QString& contentType, const QByteArray& body)
{
    const QString what = QStringLiteral("(%1, %2 bytes)")
                             .arg(contentType.isEmpty() ? QStringLiteral("no content type") : contentType)
                             .arg(body.size());
    return body.startsWith("\xFF\xD8") ? QStringLiteral("JPEG picture cannot be decoded ") + what
                                       : QStringLiteral("not a JPEG picture ") + what;
}

} // namespace

SnapshotClient::SnapshotClient(QObject* parent)
    : QObject(parent)
{
    // One decoder beside the GUI thread: the machine may have no more than two cores.
    m_decoders.setMaxThreadCount(1);
    m_delivery.setSingleShot(true);
    m_delivery.setInterval(kDeliveryBatchMs);
    connect(&m_delivery, &QTimer::timeout, this, [this]() {
        for (auto& [picture, jpeg, fault, done] : std::exchange(m_decoded, {}))
            done(picture, jpeg, fault);
    });
}

SnapshotClient::~SnapshotClient()
{
    // A decode still running posts its picture to this object: it must end first.
    m_decoders.clear();
    m_decoders.waitForDone();
}

QString SnapshotClient::snapshotUrl(const QString& ipAddress)
{
    return snapshotUrl(ipAddress, kPort);
}

QString SnapshotClient::snapshotUrl(const QString& ipAddress, quint16 port)
{
    return QStringLiteral("http://") + ipAddress + QLatin1Char(':') + QString::number(port)
           + QStringLiteral("/snap.jpg");
}

void SnapshotClient::createHttpClient()
{
    for (HttpGetter* http : std::as_const(m_http))
        http->deleteLater();
    m_http.clear();
}

HttpGetter* SnapshotClient::clientFor(const QString& url)
{
    HttpGetter*& http = m_http[url];
    if (!http)
        http = new HttpGetter(this);
    return http;
}

void SnapshotClient::cancel(const QString& url)
{
    // Gone with its client: the request, its connection and its answer. Later,
    // since this may run inside that client's own answer.
    if (HttpGetter* http = m_http.take(url))
        http->deleteLater();
}

void SnapshotClient::fetchPicture(const QString& url, const QSize& displaySize, PictureCallback done)
{
    fetchFrame(url, displaySize,
               [done = std::move(done)](const QImage& picture, const QByteArray&, const QString&) { done(picture); });
}

void SnapshotClient::fetchFrame(const QString& url, const QSize& displaySize, FrameCallback done)
{
    clientFor(url)->get(url, kTimeoutMs, kMaxBodyBytes, [this, url, displaySize, done = std::move(done)](
                                                             const HttpResult& result) {
        if (!result.ok) {
            // Only this camera's connections are dropped: the others' fetches go on.
            if (result.transportError)
                cancel(url);
            done(QImage(), QByteArray(), QString::number(result.errorNumber) + QLatin1Char(' ') + result.errorText);
            return;
        }
        m_decoders.start([this, body = result.body, type = result.contentType, displaySize, done]() {
            const QImage picture = PictureDecoder::decode(body, displaySize);
            QMetaObject::invokeMethod(
                this,
                [this, body, type, picture, done]() {
                    if (picture.isNull())
                        m_decoded.push_back({picture, QByteArray(), undecodable(type, body), done});
                    else
                        m_decoded.push_back({picture, body, QString(), done});
                    if (!m_delivery.isActive())
                        m_delivery.start();
                },
                Qt::QueuedConnection);
        });
    });
}
