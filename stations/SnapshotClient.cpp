#include "SnapshotClient.h"

#include "HttpGetter.h"
#include "Logger.h"
#include "PictureDecoder.h"

SnapshotClient::SnapshotClient(Logger& log, QObject* parent)
    : QObject(parent)
    , m_log(log)
{
}

SnapshotClient::~SnapshotClient() = default;

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
    if (m_http)
        m_http->reset();
    else
        m_http = new HttpGetter(this);
}

void SnapshotClient::fetchPicture(const QString& url, const QSize& displaySize, PictureCallback done)
{
    if (!m_http)
        createHttpClient();
    m_http->get(url, kTimeoutMs, kMaxBodyBytes, [this, displaySize, done = std::move(done)](const HttpResult& result) {
        if (result.transportError) {
            m_log.write(QStringLiteral("GetPicFromHTTP ") + QString::number(result.errorNumber) + QLatin1Char(' ')
                           + result.errorText);
            createHttpClient();
            done(QImage());
            return;
        }
        // An error page or a body that is no picture only counts as a failed fetch.
        done(result.ok ? PictureDecoder::decode(result.body, displaySize) : QImage());
    });
}
