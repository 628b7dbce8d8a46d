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
    clientFor(url)->get(url, kTimeoutMs, kMaxBodyBytes, [this, url, displaySize, done = std::move(done)](
                                                             const HttpResult& result) {
        if (result.transportError) {
            m_log.write(QStringLiteral("GetPicFromHTTP ") + QString::number(result.errorNumber) + QLatin1Char(' ')
                        + result.errorText);
            // Only this camera's connections are dropped: the others' fetches go on.
            cancel(url);
            done(QImage());
            return;
        }
        // An error page or a body that is no picture only counts as a failed fetch.
        done(result.ok ? PictureDecoder::decode(result.body, displaySize) : QImage());
    });
}
