#include "HttpConnection.h"

#include "CameraServer.h"
#include "FrameSource.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace
{

constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
constexpr qint64 kMaxRequestBody = 1024 * 1024;
constexpr qint64 kHugeBodyBytes = 50LL * 1024 * 1024;
constexpr qsizetype kHugeChunkBytes = 64 * 1024;
constexpr qint64 kHugeHighWater = 256 * 1024;
constexpr qsizetype kGarbageBytes = 16 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    default:
        return "Unknown";
    }
}

QByteArray htmlPage(const QByteArray& title, const QByteArray& text)
{
    return "<!DOCTYPE html>\n<html><head><title>" + title + "</title></head><body><h1>" + title + "</h1><p>" + text +
           "</p></body></html>\n";
}

QByteArray garbage()
{
    QByteArray bytes(kGarbageBytes, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    // No image format's signature starts like this, so no loader takes the bytes by accident.
    bytes[0] = static_cast<char>(0xA5);
    bytes[1] = static_cast<char>(0xFF);
    bytes[2] = static_cast<char>(0xFF);
    return bytes;
}

} // namespace

HttpConnection::HttpConnection(QTcpSocket* socket, CameraServer* server)
    : QObject(server)
    , m_socket(socket)
    , m_server(server)
{
    m_socket->setParent(this);
    // Without it, Nagle and the client's delayed ACK add ~40 ms to every keep-alive answer.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::readSocket);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &HttpConnection::feedHugeBody);
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpConnection::markClosed);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            m_socket->abort();
        markClosed();
    });
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        QTimer::singleShot(0, this, &HttpConnection::markClosed);
    else if (m_socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &HttpConnection::readSocket);
}

void HttpConnection::abort()
{
    m_socket->abort();
    markClosed();
}

void HttpConnection::markClosed()
{
    if (m_closed)
        return;
    m_closed = true;
    m_streaming = false;
    emit closed();
}

void HttpConnection::readSocket()
{
    const QByteArray data = m_socket->readAll();
    if (m_hung || m_closed)
        return;
    m_buffer += data;
    processBuffered();
}

void HttpConnection::processBuffered()
{
    while (!m_busy && !m_closed) {
        qsizetype headerEnd = m_buffer.indexOf("\r\n\r\n");
        qsizetype separator = 4;
        if (headerEnd < 0) {
            headerEnd = m_buffer.indexOf("\n\n");
            separator = 2;
        }
        if (headerEnd < 0) {
            if (m_buffer.size() > kMaxHeaderBytes)
                abort();
            return;
        }

        const QList<QByteArray> lines = m_buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        QByteArray connectionHeader;
        qint64 contentLength = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines.at(i).indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = lines.at(i).left(colon).trimmed().toLower();
            const QByteArray value = lines.at(i).mid(colon + 1).trimmed();
            if (name == "connection")
                connectionHeader = value.toLower();
            else if (name == "content-length")
                contentLength = value.toLongLong();
        }
        if (contentLength < 0 || contentLength > kMaxRequestBody) {
            abort();
            return;
        }
        const qint64 requestSize = headerEnd + separator + contentLength;
        if (m_buffer.size() < requestSize)
            return; // the request body is still on its way
        m_buffer.remove(0, requestSize);

        if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1.")) {
            m_keepAlive = false;
            reply(400, "text/html", htmlPage("400 Bad Request", "Malformed request line."));
            continue;
        }
        m_keepAlive = requestLine.at(2) == "HTTP/1.0" ? connectionHeader.contains("keep-alive")
                                                      : !connectionHeader.contains("close");
        handle(requestLine.at(0), requestLine.at(1));
    }
}

void HttpConnection::handle(const QByteArray& method, const QByteArray& target)
{
    m_server->countRequest();
    const StationMode& mode = m_server->mode();

    // These act on the connection, whatever was asked. A connection opened before the camera went
    // dark gets no answer either.
    if (mode.camera == CameraMode::Hang || mode.camera == CameraMode::Blackhole) {
        m_hung = true;
        m_busy = true;
        m_buffer.clear();
        return;
    }
    if (mode.camera == CameraMode::Close) {
        m_busy = true;
        m_socket->disconnectFromHost();
        return;
    }

    const qsizetype query = target.indexOf('?');
    const QByteArray path = query < 0 ? target : target.left(query);
    if (method != "GET") {
        reply(405, "text/html", htmlPage("405 Method Not Allowed", "Only GET is served."));
        return;
    }
    if (path != "/snap.jpg") {
        reply(404, "text/html", htmlPage("404 Not Found", "Only /snap.jpg is served."));
        return;
    }

    switch (mode.camera) {
    case CameraMode::Ok:
    case CameraMode::Refuse: // a request that was on its way when the mode changed
    case CameraMode::Hang:
    case CameraMode::Close:
    case CameraMode::Blackhole:
        reply(200, "image/jpeg", m_server->frames().nextFrame());
        return;
    case CameraMode::Html:
        reply(200, "text/html", htmlPage("Camera", "This is not a picture."));
        return;
    case CameraMode::NotFound:
        reply(404, "text/html", htmlPage("404 Not Found", "No camera here."));
        return;
    case CameraMode::Slow:
        m_busy = true;
        QTimer::singleShot(mode.slowMs, this, [this] {
            if (m_closed)
                return;
            m_busy = false;
            reply(200, "image/jpeg", m_server->frames().nextFrame());
            processBuffered();
        });
        return;
    case CameraMode::Garbage:
        reply(200, "image/jpeg", garbage());
        return;
    case CameraMode::Truncated: {
        const QByteArray frame = m_server->frames().nextFrame();
        reply(200, "image/jpeg", frame.left(frame.size() / 2));
        return;
    }
    case CameraMode::Bomb:
        reply(200, "image/jpeg", FrameSource::bombJpeg());
        return;
    case CameraMode::Huge: {
        // A real frame first, then filler: whoever reads it all gets a decodable picture.
        const QByteArray frame = m_server->frames().nextFrame();
        writeHeader(200, "image/jpeg", kHugeBodyBytes);
        m_socket->write(frame);
        m_bodyRemaining = kHugeBodyBytes - frame.size();
        m_busy = true;
        m_streaming = true;
        feedHugeBody();
        return;
    }
    }
}

void HttpConnection::writeHeader(int status, const QByteArray& contentType, qint64 contentLength)
{
    QByteArray header = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    header += "Content-Type: " + contentType + "\r\n";
    header += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
    header += "Cache-Control: no-cache\r\n";
    header += m_keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    header += "\r\n";
    m_socket->write(header);
}

void HttpConnection::reply(int status, const QByteArray& contentType, const QByteArray& body)
{
    writeHeader(status, contentType, body.size());
    m_socket->write(body);
    finishResponse();
}

void HttpConnection::finishResponse()
{
    if (m_keepAlive)
        return;
    m_busy = true; // nothing more on this connection
    m_socket->disconnectFromHost();
}

void HttpConnection::feedHugeBody()
{
    if (!m_streaming || m_closed)
        return;
    // One chunk reused for the whole body: 50 MiB are never held at once.
    static const QByteArray filler(kHugeChunkBytes, '\0');
    while (m_bodyRemaining > 0 && m_socket->bytesToWrite() < kHugeHighWater) {
        const qint64 size = std::min<qint64>(m_bodyRemaining, filler.size());
        m_socket->write(filler.constData(), size);
        m_bodyRemaining -= size;
    }
    if (m_bodyRemaining > 0)
        return;
    m_streaming = false;
    m_busy = false;
    finishResponse();
    processBuffered();
}
