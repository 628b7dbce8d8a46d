#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

/// Outcome of one HTTP GET.
struct HttpResult
{
    /// A response with a 2xx status arrived in full and within the limits.
    bool ok = false;
    /// True when no HTTP response arrived at all (refused, unreachable, timed out).
    bool transportError = false;
    /// Error number and text of the failure (Qt's network error code).
    int errorNumber = 0;
    QString errorText;
    int httpStatus = 0;
    QByteArray body;
};

/// Asynchronous HTTP GET with a bounded time-out and a cap on the body size.
/// One request at a time per caller is the intended use; results are delivered
/// on the GUI thread.
class HttpGetter : public QObject
{
    Q_OBJECT
public:
    explicit HttpGetter(QObject* parent = nullptr);
    ~HttpGetter() override;

    using Callback = std::function<void(const HttpResult&)>;

    /// Starts a GET of url. done is called exactly once, unless this object is
    /// destroyed first. A body larger than maxBodyBytes aborts the transfer and
    /// fails.
    void get(const QString& url, int timeoutMs, qint64 maxBodyBytes, Callback done);

    /// Drops the connection pool, as after a failed request.
    void reset();

private:
    QNetworkAccessManager* m_manager = nullptr;
};
