#include "HttpGetter.h"

#include <QNetworkReply>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

namespace {

/// One GET in flight: its easy handle and what libcurl's callbacks collect.
struct Transfer
{
    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer() { curl_easy_cleanup(easy); }

    CURL* easy = nullptr;
    HttpGetter::Callback done;
    QString url;
    qint64 maxBodyBytes = 0;
    QByteArray body;
    QByteArray reason;
    int requestsSent = 0;
    bool oversized = false;
    char error[CURL_ERROR_SIZE] = {};
};

size_t receiveBody(char* data, size_t size, size_t count, void* userp)
{
    auto* transfer = static_cast<Transfer*>(userp);
    const auto bytes = qsizetype(size * count);
    if (transfer->body.size() + bytes > transfer->maxBodyBytes) {
        transfer->oversized = true;
        return 0; // ends the transfer
    }
    if (transfer->body.isEmpty()) {
        curl_off_t length = -1;
        curl_easy_getinfo(transfer->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (length > 0 && length <= transfer->maxBodyBytes)
            transfer->body.reserve(qsizetype(length));
    }
    transfer->body.append(data, bytes);
    return size_t(bytes);
}

size_t receiveHeader(char* data, size_t size, size_t count, void* userp)
{
    // Only the status line's reason phrase is kept, for the error text ("HTTP/1.1 404 Not Found").
    const size_t bytes = size * count;
    const QByteArrayView line(data, qsizetype(bytes));
    if (line.startsWith("HTTP/")) {
        const qsizetype code = line.indexOf(' ');
        const qsizetype reason = code < 0 ? -1 : line.indexOf(' ', code + 1);
        static_cast<Transfer*>(userp)->reason
            = reason < 0 ? QByteArray() : line.sliced(reason + 1).trimmed().toByteArray();
    }
    return bytes;
}

int beforeRequest(void* userp, char*, char*, int, int)
{
    // libcurl sends a request again on a new connection when a kept-alive one closed without
    // an answer; the camera may well have had the first one, and one get() is one request.
    return ++static_cast<Transfer*>(userp)->requestsSent > 1 ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

/// The error number QNetworkAccessManager gives an HTTP error status.
int statusErrorNumber(long status)
{
    switch (status) {
    case 400:
    case 418:
        return QNetworkReply::ProtocolInvalidOperationError;
    case 401:
        return QNetworkReply::AuthenticationRequiredError;
    case 403:
        return QNetworkReply::ContentAccessDenied;
    case 404:
        return QNetworkReply::ContentNotFoundError;
    case 405:
        return QNetworkReply::ContentOperationNotPermittedError;
    case 409:
        return QNetworkReply::ContentConflictError;
    case 410:
        return QNetworkReply::ContentGoneError;
    case 500:
        return QNetworkReply::InternalServerError;
    case 501:
        return QNetworkReply::OperationNotImplementedError;
    case 503:
        return QNetworkReply::ServiceUnavailableError;
    default:
        return status >= 500   ? QNetworkReply::UnknownServerError
               : status >= 400 ? QNetworkReply::UnknownContentError
                               : QNetworkReply::NoError;
    }
}

/// Numbers and texts as QNetworkAccessManager gave them, so the event log reads as it always did.
void describeFailure(const Transfer& transfer, CURLcode code, HttpResult* result)
{
    auto set = [result](int number, const QString& text) {
        result->errorNumber = number;
        result->errorText = text;
    };
    switch (code) {
    case CURLE_COULDNT_CONNECT: {
        long osError = 0;
        curl_easy_getinfo(transfer.easy, CURLINFO_OS_ERRNO, &osError);
        if (osError == ECONNREFUSED)
            return set(QNetworkReply::ConnectionRefusedError, QStringLiteral("Connection refused"));
        if (osError == ENETUNREACH)
            return set(QNetworkReply::UnknownNetworkError, QStringLiteral("Network unreachable"));
        if (osError == EHOSTUNREACH)
            return set(QNetworkReply::UnknownNetworkError, QStringLiteral("Host unreachable"));
        break;
    }
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_URL_MALFORMAT: // a station without an address: "http://:8081/snap.jpg"
        return set(QNetworkReply::HostNotFoundError,
                   QStringLiteral("Host %1 not found").arg(QUrl(transfer.url).host()));
    case CURLE_UNSUPPORTED_PROTOCOL:
        // libcurl's word for an answer without a status line: bytes from something that does not speak HTTP.
        if (QByteArrayView(transfer.error).contains("HTTP/0.9"))
            return set(QNetworkReply::ProtocolFailure, QStringLiteral("not an HTTP answer (no status line)"));
        return set(QNetworkReply::ProtocolUnknownError,
                   QStringLiteral("Protocol \"%1\" is unknown").arg(QUrl(transfer.url).scheme()));
    case CURLE_OPERATION_TIMEDOUT:
        return set(QNetworkReply::OperationCanceledError, QStringLiteral("Operation canceled"));
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_ABORTED_BY_CALLBACK: // the second request beforeRequest() stopped
        return set(QNetworkReply::RemoteHostClosedError, QStringLiteral("Connection closed"));
    case CURLE_WEIRD_SERVER_REPLY:
        return set(QNetworkReply::ProtocolFailure, QString::fromLocal8Bit(transfer.error));
    default:
        break;
    }
    set(QNetworkReply::UnknownNetworkError,
        transfer.error[0] ? QString::fromLocal8Bit(transfer.error) : QString::fromLatin1(curl_easy_strerror(code)));
}

HttpResult resultOf(Transfer& transfer, CURLcode code)
{
    HttpResult result;
    long status = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
    result.httpStatus = int(status);
    const char* contentType = nullptr;
    if (curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType)
        result.contentType = QString::fromLatin1(contentType);
    if (transfer.oversized || code == CURLE_FILESIZE_EXCEEDED) {
        result.errorNumber = QNetworkReply::UnknownContentError;
        result.errorText = QStringLiteral("Response body too large");
    } else if (code != CURLE_OK) {
        result.transportError = status == 0;
        describeFailure(transfer, code, &result);
    } else if (status < 200 || status > 299) {
        result.errorNumber = statusErrorNumber(status);
        result.errorText = QStringLiteral("Error transferring %1 - server replied: %2")
                               .arg(transfer.url, QString::fromLatin1(transfer.reason));
    } else {
        result.ok = true;
        result.body = std::move(transfer.body);
    }
    return result;
}

/// The notifiers of one socket libcurl wants watched.
class SocketWatch : public QObject
{
public:
    SocketWatch(curl_socket_t socket, QObject* parent, std::function<void(int)> activated)
        : QObject(parent)
        , m_read(socket, QSocketNotifier::Read)
        , m_write(socket, QSocketNotifier::Write)
        , m_activated(std::move(activated))
    {
        connect(&m_read, &QSocketNotifier::activated, this, [this] { m_activated(CURL_CSELECT_IN); });
        connect(&m_write, &QSocketNotifier::activated, this, [this] { m_activated(CURL_CSELECT_OUT); });
    }

    void watch(bool read, bool write)
    {
        m_read.setEnabled(read);
        m_write.setEnabled(write);
    }

private:
    QSocketNotifier m_read;
    QSocketNotifier m_write;
    std::function<void(int)> m_activated;
};

} // namespace

/// One libcurl multi handle, with its connection cache, driven by the event loop.
class HttpGetter::Pool : public QObject
{
public:
    explicit Pool(QObject* parent)
        : QObject(parent)
        , m_multi(curl_multi_init())
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
        curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &Pool::watchSocket);
        curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &Pool::startTimer);
        curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    }

    ~Pool() override
    {
        // The watches go with this object; libcurl must not call back while it closes everything.
        curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, static_cast<curl_socket_callback>(nullptr));
        curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, static_cast<curl_multi_timer_callback>(nullptr));
        for (const auto& transfer : m_transfers)
            curl_multi_remove_handle(m_multi, transfer->easy);
        m_transfers.clear();
        curl_multi_cleanup(m_multi);
    }

    void start(const QString& url, int timeoutMs, qint64 maxBodyBytes, Callback done)
    {
        auto transfer = std::make_unique<Transfer>();
        Transfer* t = transfer.get();
        t->done = std::move(done);
        t->url = url;
        t->maxBodyBytes = maxBodyBytes;
        t->easy = curl_easy_init();
        CURL* easy = t->easy;
        if (easy) {
            curl_easy_setopt(easy, CURLOPT_URL, url.toUtf8().constData());
            curl_easy_setopt(easy, CURLOPT_PRIVATE, t);
            curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t->error);
            curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, receiveBody);
            curl_easy_setopt(easy, CURLOPT_WRITEDATA, t);
            curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, receiveHeader);
            curl_easy_setopt(easy, CURLOPT_HEADERDATA, t);
            curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, beforeRequest);
            curl_easy_setopt(easy, CURLOPT_PREREQDATA, t);
            curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(std::max(timeoutMs, 0)));
            if (maxBodyBytes > 0) // a Content-Length above it ends the transfer before the body
                curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maxBodyBytes));
            curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
            // Stations are on the local network; a proxy from the environment would only get in the way.
            curl_easy_setopt(easy, CURLOPT_PROXY, "");
            curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
            curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        }
        if (!easy || curl_multi_add_handle(m_multi, easy) != CURLM_OK) {
            HttpResult result;
            result.transportError = true;
            result.errorNumber = QNetworkReply::UnknownNetworkError;
            result.errorText = QStringLiteral("Out of resources for a request");
            QTimer::singleShot(0, this, [done = std::move(t->done), result] { done(result); });
            return;
        }
        m_transfers.push_back(std::move(transfer));
    }

    /// Deletes this pool, with its connections, once its last transfer has ended.
    void retire()
    {
        m_retired = true;
        if (m_transfers.empty())
            deleteLater();
    }

private:
    static int watchSocket(CURL*, curl_socket_t socket, int what, void* userp, void* socketp)
    {
        auto* pool = static_cast<Pool*>(userp);
        auto* watch = static_cast<SocketWatch*>(socketp);
        if (what == CURL_POLL_REMOVE) {
            if (watch) {
                // This may run inside the notifier's own signal.
                watch->watch(false, false);
                watch->deleteLater();
            }
            return 0;
        }
        if (!watch) {
            watch = new SocketWatch(socket, pool, [pool, socket](int events) { pool->act(socket, events); });
            curl_multi_assign(pool->m_multi, socket, watch);
        }
        watch->watch(what & CURL_POLL_IN, what & CURL_POLL_OUT);
        return 0;
    }

    static int startTimer(CURLM*, long timeoutMs, void* userp)
    {
        auto* pool = static_cast<Pool*>(userp);
        if (timeoutMs < 0)
            pool->m_timer.stop();
        else
            pool->m_timer.start(int(timeoutMs));
        return 0;
    }

    void act(curl_socket_t socket, int events)
    {
        int running = 0;
        curl_multi_socket_action(m_multi, socket, events, &running);

        std::vector<std::pair<Callback, HttpResult>> finished;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(m_multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            CURL* easy = message->easy_handle;
            const CURLcode code = message->data.result;
            curl_multi_remove_handle(m_multi, easy);
            for (auto it = m_transfers.begin(); it != m_transfers.end(); ++it) {
                if ((*it)->easy != easy)
                    continue;
                finished.emplace_back(std::move((*it)->done), resultOf(**it, code));
                m_transfers.erase(it);
                break;
            }
        }
        if (m_retired && m_transfers.empty())
            deleteLater();
        // A callback may start requests, reset or even delete the getter.
        const QPointer<Pool> alive(this);
        for (auto& [done, result] : finished) {
            if (!alive)
                return;
            done(result);
        }
    }

    CURLM* m_multi;
    QTimer m_timer;
    std::vector<std::unique_ptr<Transfer>> m_transfers;
    bool m_retired = false;
};

HttpGetter::HttpGetter(QObject* parent)
    : QObject(parent)
{
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    Q_UNUSED(initialised)
    m_pool = new Pool(this);
}

HttpGetter::~HttpGetter() = default;

void HttpGetter::get(const QString& url, int timeoutMs, qint64 maxBodyBytes, Callback done)
{
    m_pool->start(url, timeoutMs, maxBodyBytes, std::move(done));
}

void HttpGetter::reset()
{
    m_pool->retire();
    m_pool = new Pool(this);
}
