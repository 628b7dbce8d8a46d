#include "Simulator.h"

#include "CallServer.h"
#include "CommandInput.h"
#include "SimStation.h"
#include "StationMode.h"
#include "TextEscape.h"

#include <QRegularExpression>

#include <cmath>
#include <cstdio>

Simulator::Simulator(const SimulatorOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_input(new CommandInput(this))
{
    const LogSink log = [this](const QString& line) { printLine(line); };
    for (int i = 0; i < m_options.count; ++i)
        m_stations.append(new SimStation(i, m_options, log, this));
    connect(m_input, &CommandInput::commandReceived, this, &Simulator::execute);
    connect(m_input, &CommandInput::stdinClosed, this, &Simulator::quitRequested);
}

bool Simulator::start(QString* error)
{
    for (const auto& [index, word] : std::as_const(m_options.modes)) {
        for (SimStation* station : std::as_const(m_stations)) {
            if ((index < 0 || station->index() == index) && !station->presetMode(word, error))
                return false;
        }
    }
    for (SimStation* station : std::as_const(m_stations)) {
        if (!station->start(error))
            return false;
    }
    if (m_options.controlPort != 0 && !m_input->listen(m_options.controlPort, error))
        return false;
    if (m_options.readStdin)
        m_input->readStdin();
    printLine(QStringLiteral("ready"));
    return true;
}

void Simulator::printLine(const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
    m_input->broadcast(line);
}

void Simulator::printError(const QString& message)
{
    const QString line = QStringLiteral("error: ") + message;
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stderr);
    std::fflush(stderr);
    m_input->broadcast(line);
}

QList<SimStation*> Simulator::stationsFor(const QString& text)
{
    if (text == QStringLiteral("all"))
        return m_stations;
    bool ok = false;
    const int index = text.toInt(&ok);
    if (ok && index >= 0 && index < m_stations.size())
        return {m_stations.at(index)};
    printError(QStringLiteral("no station \"%1\" (0 to %2 or \"all\")").arg(text).arg(m_stations.size() - 1));
    return {};
}

void Simulator::execute(const QString& line)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty())
        return;
    const QStringList words = trimmed.split(blanks);
    const QString command = words.first().toLower();

    if (command == QStringLiteral("quit") || command == QStringLiteral("exit")) {
        emit quitRequested();
        return;
    }
    if (command == QStringLiteral("status")) {
        for (SimStation* station : std::as_const(m_stations))
            printLine(station->statusLine());
        printLine(QStringLiteral("status end"));
        return;
    }
    if (command == QStringLiteral("help")) {
        printLine(QStringLiteral("commands: call N | end N | send N TEXT | flood N MB | mode N MODE | status | "
                                 "help | quit (N: station index or \"all\"; see --help)"));
        return;
    }

    const bool known = command == QStringLiteral("call") || command == QStringLiteral("end") ||
                       command == QStringLiteral("send") || command == QStringLiteral("flood") ||
                       command == QStringLiteral("mode");
    if (!known) {
        printError(QStringLiteral("unknown command \"%1\"").arg(trimmed));
        return;
    }
    const int minimumWords = (command == QStringLiteral("call") || command == QStringLiteral("end")) ? 2 : 3;
    if (words.size() < minimumWords) {
        printError(QStringLiteral("\"%1\" needs more arguments").arg(trimmed));
        return;
    }
    const QList<SimStation*> stations = stationsFor(words.at(1));

    if (command == QStringLiteral("call") || command == QStringLiteral("end") || command == QStringLiteral("send")) {
        QByteArray bytes;
        if (command == QStringLiteral("call")) {
            bytes = "CALL";
        } else if (command == QStringLiteral("end")) {
            bytes = "END";
        } else {
            // The text is the rest of the line after the index, blanks included.
            static const QRegularExpression prefix(QStringLiteral("^\\s*\\S+\\s+\\S+\\s"));
            bytes = TextEscape::unescape(line.mid(prefix.match(line).capturedEnd()));
        }
        for (SimStation* station : stations) {
            const int connections = station->calls().send(bytes);
            printLine(QStringLiteral("sent %1 %2").arg(station->index()).arg(connections));
        }
        return;
    }
    if (command == QStringLiteral("flood")) {
        bool ok = false;
        const double mebibytes = words.at(2).toDouble(&ok);
        if (!ok || !(mebibytes > 0) || mebibytes > 4096) {
            printError(QStringLiteral("flood needs a size in MiB above 0 and up to 4096"));
            return;
        }
        const auto bytes = static_cast<qint64>(std::llround(mebibytes * 1024 * 1024));
        for (SimStation* station : stations)
            station->calls().flood(bytes);
        return;
    }
    // mode
    for (SimStation* station : stations) {
        QString error;
        if (!station->setMode(words.at(2), &error))
            printError(QStringLiteral("station %1: %2").arg(station->index()).arg(error));
        printLine(station->modeLine());
    }
}
