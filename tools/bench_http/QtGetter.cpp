#include "QtGetter.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <memory>

QtGetter::QtGetter(bool lean, QObject* parent)
    : QObject(parent)
    , m_lean(lean)
    , m_manager(new QNetworkAccessManager(this))
{
    m_manager->setProxy(QNetworkProxy::NoProxy);
    if (lean)
        m_manager->setAutoDeleteReplies(true);
}

void QtGetter::get(const QString& url, int timeoutMs, qint64 maxBodyBytes, HttpGetter::Callback done)
{
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (m_lean) {
        request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    }
    QNetworkReply* reply = m_manager->get(request);

    auto oversized = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [reply, maxBodyBytes, oversized](qint64 received, qint64 total) {
                if (received > maxBodyBytes || total > maxBodyBytes) {
                    *oversized = true;
                    reply->abort();
                }
            });
    connect(reply, &QNetworkReply::finished, this, [this, reply, oversized, done = std::move(done)]() {
        if (!m_lean)
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
