// EngineChannel against stand-in daemons (a QLocalServer in the test's own thread, which only works because the
// channel never blocks): outcomes per daemon behaviour, one connection at a time in order, cancelling, handlers
// that re-enter or destroy the channel, destruction with work pending.

#include "EngineChannel.h"
#include "EngineSocket.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;
using Reply = EngineChannel::Reply;

namespace {

/// What is at the socket path, and how a daemon there treats one connection.
enum class Daemon { Answers, AnswersInTwoPieces, NeverAnswers, ClosesAtOnce, NoSocketFile, PlainFile, DeadSocket };

QByteArray replyTo(const QByteArray& command)
{
    return "Status of " + command + " (reply)\n";
}

/// Plays the daemon: serves each connection by the next behaviour of script (Answers once it runs out) and
/// records the commands and the most connections it held at once.
class FakeDaemon : public QObject
{
public:
    QList<Daemon> script;
    QByteArrayList commands;
    int open = 0;
    int maxOpen = 0;

    bool listen(const QString& path)
    {
        connect(&m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = m_server.nextPendingConnection())
                serve(socket);
        });
        return m_server.listen(path);
    }
    void close() { m_server.close(); }

private:
    void serve(QLocalSocket* socket)
    {
        maxOpen = qMax(maxOpen, ++open);
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            --open;
            socket->deleteLater();
        });
        const Daemon behaviour = script.isEmpty() ? Daemon::Answers : script.takeFirst();
        if (behaviour == Daemon::ClosesAtOnce)
            return socket->disconnectFromServer();
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket, behaviour] {
            commands += socket->readAll();
            const QByteArray reply = replyTo(commands.last());
            if (behaviour == Daemon::Answers) {
                socket->write(reply);
                socket->disconnectFromServer();
            } else if (behaviour == Daemon::AnswersInTwoPieces) {
                socket->write(reply.left(7));
                socket->flush();
                QTimer::singleShot(100, socket, [socket, rest = reply.mid(7)] {
                    socket->write(rest);
                    socket->disconnectFromServer();
                });
            }
        });
    }

    QLocalServer m_server;
};

} // namespace

class TestEngineChannel : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(u"engine-%1"_s.arg(++m_tests));
        m_daemon = std::make_unique<FakeDaemon>();
    }

    void outcomes_data()
    {
        QTest::addColumn<Daemon>("daemon");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("error");

        const QString refused = u"engine socket: PATH refuses connections (daemon not running)"_s;
        QTest::newRow("answers, closes") << Daemon::Answers << 5000 << true << QString();
        QTest::newRow("answers in two pieces") << Daemon::AnswersInTwoPieces << 5000 << true << QString();
        QTest::newRow("never answers") << Daemon::NeverAnswers << 300 << false
                                       << u"engine socket: no complete reply within 300 ms"_s;
        QTest::newRow("closes without writing") << Daemon::ClosesAtOnce << 5000 << true << QString();
        QTest::newRow("no socket file") << Daemon::NoSocketFile << 5000 << false
                                        << u"engine socket: no daemon socket at PATH"_s;
        QTest::newRow("plain file") << Daemon::PlainFile << 5000 << false << refused;
        QTest::newRow("dead daemon's socket") << Daemon::DeadSocket << 5000 << false << refused;
    }

    void outcomes()
    {
        QFETCH(Daemon, daemon);
        QFETCH(int, timeoutMs);
        QFETCH(bool, ok);
        QFETCH(QString, error);
        const bool listening = daemon < Daemon::NoSocketFile;
        if (listening) {
            m_daemon->script = {daemon};
            QVERIFY(m_daemon->listen(m_path));
        } else if (daemon == Daemon::PlainFile) {
            QFile file(m_path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (daemon == Daemon::DeadSocket) {
            FakeDaemon gone;
            QVERIFY(gone.listen(m_path + u"-gone"_s));
            QVERIFY(EngineSocket::createLink(m_path + u"-gone"_s, m_path));
            gone.close();
            QVERIFY(QFile::exists(m_path));
        }

        EngineChannel channel(m_path);
        QSignalSpy failed(&channel, &EngineChannel::requestFailed);
        QSignalSpy answered(&channel, &EngineChannel::requestAnswered);
        std::optional<Reply> first;
        std::optional<Reply> next;
        // The first goes by a name of its own in failures, the second by its command.
        channel.request("status hook", [&](const Reply& reply) { first = reply; }, u"hook query"_s, timeoutMs);
        channel.request("status", [&](const Reply& reply) { next = reply; });
        // Even a missing file is reported from the event loop, not from inside request().
        QVERIFY(!first && !channel.isBusy());
        QCOMPARE(channel.pending(), 2);

        QTRY_VERIFY_WITH_TIMEOUT(next.has_value(), timeoutMs + 5000);
        QCOMPARE(first->ok, ok);
        QCOMPARE(first->error, QString(error).replace(u"PATH"_s, m_path));
        const bool replied = daemon == Daemon::Answers || daemon == Daemon::AnswersInTwoPieces;
        QCOMPARE(first->text, replied ? replyTo("status hook") : QByteArray());
        if (daemon == Daemon::NeverAnswers)
            QVERIFY2(first->elapsedMs >= timeoutMs - 10 && first->elapsedMs < timeoutMs + 1500,
                     qPrintable(QString::number(first->elapsedMs)));
        else
            QVERIFY2(first->elapsedMs < 1000, qPrintable(QString::number(first->elapsedMs)));

        // The request behind it went out at once and found the daemon as it was.
        QCOMPARE(next->ok, listening);
        QCOMPARE(next->text, listening ? replyTo("status") : QByteArray());
        QCOMPARE(answered.count(), int(ok) + int(listening));
        QCOMPARE(failed.count(), int(!ok) + int(!listening));
        if (!ok)
            QCOMPARE(failed.first(), (QVariantList{u"hook query"_s, first->error}));
        if (!listening)
            QCOMPARE(failed.last(), (QVariantList{u"status"_s, next->error}));
        QCOMPARE(channel.pending(), 0);
        QTRY_COMPARE(m_daemon->open, 0);
    }

    void oneAtATimeInOrder()
    {
        QVERIFY(m_daemon->listen(m_path));
        EngineChannel channel(m_path);
        QByteArrayList done;
        QList<quint64> numbers;
        for (const QByteArray& command : {"one"_ba, "two"_ba, "three"_ba}) {
            numbers += channel.request(command, [&done, command](const Reply& reply) {
                done += reply.ok ? command : command + " failed";
            });
        }
        QVERIFY(numbers[0] < numbers[1] && numbers[1] < numbers[2]);
        QTRY_COMPARE(done, (QByteArrayList{"one", "two", "three"}));
        QCOMPARE(m_daemon->commands, done);
        QCOMPARE(m_daemon->maxOpen, 1);
    }

    void cancelAllRunsEveryHandlerOnce()
    {
        m_daemon->script = {Daemon::NeverAnswers};
        QVERIFY(m_daemon->listen(m_path));
        EngineChannel channel(m_path);
        QSignalSpy failed(&channel, &EngineChannel::requestFailed);
        QStringList outcomes;
        for (const QString& name : {u"one"_s, u"two"_s, u"three"_s}) {
            channel.request(name.toUtf8(), [&outcomes, name](const Reply& reply) {
                outcomes += name + u": "_s + (reply.ok ? u"ok"_s : reply.error);
            });
        }
        QTRY_VERIFY(channel.isBusy());
        QCOMPARE(channel.pending(), 3);

        channel.cancelAll(u"console closing"_s);
        QVERIFY(outcomes.isEmpty());
        QVERIFY(!channel.isBusy());
        QCOMPARE(channel.pending(), 0);
        const QString cancelled = u": cancelled: console closing"_s;
        QTRY_COMPARE(outcomes, (QStringList{u"one"_s + cancelled, u"two"_s + cancelled, u"three"_s + cancelled}));
        QTRY_COMPARE(m_daemon->open, 0);

        // Any second call of a handler would come before this answer.
        bool answered = false;
        channel.request("four", [&](const Reply& reply) { answered = reply.ok; });
        QTRY_VERIFY(answered);
        QCOMPARE(outcomes.size(), 3);
        QCOMPARE(failed.count(), 0);
    }

    void handlerReentersChannel_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QStringList>("outcomes");
        QTest::addColumn<QByteArrayList>("commands");
        QTest::newRow("queues another") << 0 << QStringList{u"first ok"_s, u"second ok"_s, u"third ok"_s}
                                        << QByteArrayList{"first", "second", "third"};
        QTest::newRow("cancels the rest") << 1 << QStringList{u"first ok"_s, u"second cancelled: from a handler"_s}
                                          << QByteArrayList{"first"};
        QTest::newRow("destroys the channel") << 2 << QStringList{u"first ok"_s} << QByteArrayList{"first"};
    }

    void handlerReentersChannel()
    {
        QFETCH(int, action);
        QFETCH(QStringList, outcomes);
        QFETCH(QByteArrayList, commands);
        QVERIFY(m_daemon->listen(m_path));
        QPointer<EngineChannel> channel = new EngineChannel(m_path);
        QStringList seen;
        const auto record = [&seen](const QString& name) {
            return [&seen, name](const Reply& reply) { seen += name + u' ' + (reply.ok ? u"ok"_s : reply.error); };
        };
        channel->request("first", [&](const Reply& reply) {
            record(u"first"_s)(reply);
            if (action == 0)
                channel->request("third", record(u"third"_s));
            else if (action == 1)
                channel->cancelAll(u"from a handler"_s);
            else
                delete channel.data();
        });
        channel->request("second", record(u"second"_s));
        QTRY_COMPARE(seen, outcomes);

        // A round trip on another channel: anything still to come from the first would have come by then.
        EngineChannel marker(m_path);
        bool markerDone = false;
        marker.request("marker", [&](const Reply&) { markerDone = true; });
        QTRY_VERIFY(markerDone);
        QCOMPARE(seen, outcomes);
        QCOMPARE(m_daemon->commands, commands << "marker");
        QCOMPARE(channel.isNull(), action == 2);
        delete channel.data();
    }

    void destroyedWithWorkPending_data()
    {
        QTest::addColumn<bool>("cancelFirst");
        QTest::newRow("request under way") << false;
        QTest::newRow("cancelled outcomes not yet delivered") << true;
    }

    void destroyedWithWorkPending()
    {
        QFETCH(bool, cancelFirst);
        m_daemon->script = {Daemon::NeverAnswers, Daemon::NeverAnswers};
        QVERIFY(m_daemon->listen(m_path));
        int calls = 0;
        auto channel = std::make_unique<EngineChannel>(m_path);
        QSignalSpy failed(channel.get(), &EngineChannel::requestFailed);
        for (const QByteArray& command : {"one"_ba, "two"_ba})
            channel->request(command, [&calls](const Reply&) { ++calls; }, {}, 200);
        QTRY_VERIFY(channel->isBusy());
        if (cancelFirst)
            channel->cancelAll(u"closing"_s);
        channel.reset();
        QTRY_COMPARE(m_daemon->open, 0);

        // Another channel with the same bound: once it has timed out, the destroyed one would have too.
        EngineChannel reference(m_path);
        reference.setDefaultTimeoutMs(200);
        QString timedOut;
        reference.request("three", [&](const Reply& reply) { timedOut = reply.error; });
        QTRY_COMPARE(timedOut, u"engine socket: no complete reply within 200 ms"_s);
        QCOMPARE(calls, 0);
        QCOMPARE(failed.count(), 0);
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
    int m_tests = 0;
    std::unique_ptr<FakeDaemon> m_daemon;
};

QTEST_MAIN(TestEngineChannel)
#include "test_enginechannel.moc"
