#include "HttpGetter.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

#include <memory>

HttpGetter::HttpGetter(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
    // Stations are on the local network; a system proxy would only get in the way.
    m_manager->setProxy(QNetworkProxy::NoProxy);
}

HttpGetter::~HttpGetter() = default;

void HttpGetter::reset()
{
    m_manager->deleteLater();
    m_manager = new QNetworkAccessManager(this);
    m_manager->setProxy(QNetworkProxy::NoProxy);
}

void HttpGetter::get(const QString& url, int timeoutMs, qint64 maxBodyBytes, Callback done)
{
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = m_manager->get(request);

    auto oversized = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply, maxBodyBytes, oversized](qint64 received, qint64 total) {
        if (received > maxBodyBytes || total > maxBodyBytes) {
            *oversized = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [reply, oversized, done = std::move(done)]() {
        reply->deleteLater();
        HttpResult result;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        result.httpStatus = status.isValid() ? status.toInt() : 0;
        if (*oversized) {
            result.errorNumber = QNetworkReply::UnknownContentError;
            result.errorText = QStringLiteral("Response body too large");
        } else if (reply->error() != QNetworkReply::NoError && !status.isValid()) {
            result.transportError = true;
            result.errorNumber = reply->error();
            result.errorText = reply->errorString();
        } else if (result.httpStatus < 200 || result.httpStatus > 299) {
            result.errorNumber = reply->error();
            result.errorText = reply->errorString();
        } else {
            result.body = reply->readAll();
            result.ok = reply->error() == QNetworkReply::NoError;
            if (!result.ok) {
                result.errorNumber = reply->error();
                result.errorText = reply->errorString();
            }
        }
        done(result);
    });
}
