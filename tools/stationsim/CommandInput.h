#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

/// The simulator's command lines: from stdin and from TCP clients of a control port on 127.0.0.1.
class CommandInput : public QObject
{
    Q_OBJECT

public:
    explicit CommandInput(QObject* parent = nullptr);

    /// Starts reading stdin; stdinClosed() follows its end.
    void readStdin();

    /// Listens for control clients on 127.0.0.1:port. False with error if the port cannot be bound.
    bool listen(quint16 port, QString* error);

    /// Sends one line to every control client.
    void broadcast(const QString& line);

signals:
    /// One command line, without its line end.
    void commandReceived(const QString& line);
    void stdinClosed();

private:
    void readStdinChunk();
    void acceptClients();
    void takeLines(QByteArray* buffer);

    QSocketNotifier* m_stdinNotifier = nullptr;
    QByteArray m_stdinBuffer;
    QTcpServer* m_server = nullptr;
    QList<QTcpSocket*> m_clients;
};
