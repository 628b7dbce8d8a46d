#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

/// Outcome of one HTTP GET.
struct HttpResult
{
    /// A response with a 2xx status arrived in full and within the limits.
    bool ok = false;
    /// True when no HTTP response arrived at all (refused, unreachable, timed out).
    bool transportError = false;
    /// Error number and text of the failure, numbered as QNetworkReply::NetworkError
    /// (1 connection refused, 2 connection closed, 3 host not found, 5 timed out, 399 an answer that is not
    /// HTTP, ...).
    int errorNumber = 0;
    QString errorText;
    int httpStatus = 0;
    /// The response's Content-Type as sent ("image/jpeg"), empty without one.
    QString contentType;
    QByteArray body;
};

/// Asynchronous HTTP GET with a bounded time-out and a cap on the body size, on
/// libcurl's multi interface driven by this object's thread's event loop (the
/// GUI thread). Any number of requests may run at once without holding each
/// other up; connections are kept alive per host and reused.
class HttpGetter : public QObject
{
    Q_OBJECT
public:
    explicit HttpGetter(QObject* parent = nullptr);
    ~HttpGetter() override;

    using Callback = std::function<void(const HttpResult&)>;

    /// Starts a GET of url and returns at once. done is called exactly once, later,
    /// on this object's thread, unless this object is destroyed first. Exactly one
    /// request goes out: no retry on a connection that the server closed. timeoutMs
    /// bounds the whole request, connect included (0: no bound). A body larger than
    /// maxBodyBytes aborts the transfer and fails.
    void get(const QString& url, int timeoutMs, qint64 maxBodyBytes, Callback done);

    /// Closes the kept-alive connections once they are idle: later requests connect
    /// anew. Requests in flight go on and still report.
    void reset();

private:
    class Pool;

    Pool* m_pool = nullptr;
};
