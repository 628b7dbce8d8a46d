#include "EngineOutputReader.h"

#include <QRegularExpression>

#include <array>
#include <utility>

namespace {

constexpr QByteArrayView kPrompt("linphonec> ");
constexpr QByteArrayView kMask("******");

QByteArrayView withoutPrompts(QByteArrayView line)
{
    // The daemon prints its prompt without a line end, so the next output line starts with it, or with several.
    while (line.startsWith(kPrompt))
        line = line.sliced(kPrompt.size());
    return line;
}

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

/// Where a line of more than kMaxLineBytes is cut: before the UTF-8 sequence that would straddle the limit, so
/// neither piece shows a broken character; at the limit itself when the bytes there are no UTF-8.
qsizetype cutPosition(QByteArrayView line)
{
    const qsizetype limit = EngineOutputReader::kMaxLineBytes;
    qsizetype cut = limit;
    while (cut > limit - 3 && isContinuationByte(line[cut]))
        --cut;
    return isContinuationByte(line[cut]) ? limit : cut;
}

/// The whitespace the daemon's sscanf("%s") splits on.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct EventPattern
{
    EngineEvent::Kind kind;
    QRegularExpression expression;
};

EventPattern pattern(EngineEvent::Kind kind, const QString& text)
{
    return {kind, QRegularExpression(QRegularExpression::anchoredPattern(text))};
}

} // namespace

QList<QByteArray> EngineOutputReader::takeLines(QByteArrayView bytes)
{
    m_pending.append(bytes);
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (;;) {
        const QByteArrayView rest = QByteArrayView(m_pending).sliced(start);
        const qsizetype end = rest.indexOf('\n');
        qsizetype length = end >= 0 ? end : rest.size();
        // A '\r' still waiting for its '\n' must not make a line of exactly the limit look over-long.
        if (length > 0 && rest[length - 1] == '\r')
            --length;
        if (length > kMaxLineBytes) {
            const qsizetype cut = cutPosition(rest);
            lines.append(rest.first(cut).toByteArray());
            start += cut;
        } else if (end >= 0) {
            lines.append(rest.first(length).toByteArray());
            start += end + 1;
        } else {
            break;
        }
    }
    m_pending.remove(0, start);
    return lines;
}

QByteArray EngineOutputReader::takeRest()
{
    return std::exchange(m_pending, {});
}

std::optional<EngineEvent> EngineOutputReader::parse(QByteArrayView line)
{
    line = withoutPrompts(line);
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    // Most of the output is engine log text: skip it before decoding and matching.
    if (!line.startsWith("Call ") && !line.startsWith("Receiving new incoming call from ")
        && !line.startsWith("Establishing call id to "))
        return std::nullopt;

    using Kind = EngineEvent::Kind;
    // The peer is greedy and every pattern is anchored at both ends, so a display name holding "connected." or
    // parentheses stays in the peer; [0-9] rather than \d, which would take other scripts' digits.
    static const std::array<EventPattern, 7> patterns = {
        pattern(Kind::IncomingCall,
                QStringLiteral("Receiving new incoming call from (?<peer>.+), assigned id (?<id>[0-9]+)")),
        pattern(Kind::OutgoingStarted,
                QStringLiteral("Establishing call id to (?<peer>.+), assigned id (?<id>[0-9]+)")),
        pattern(Kind::OutgoingStarted, QStringLiteral("Call (?<id>[0-9]+) to (?<peer>.+) (?:in progress|ringing)\\.")),
        pattern(Kind::OutgoingStarted, QStringLiteral("Call (?<id>[0-9]+) with (?<peer>.+) early media\\.")),
        pattern(Kind::Connected, QStringLiteral("Call (?<id>[0-9]+) with (?<peer>.+) connected\\.")),
        pattern(Kind::Ended, QStringLiteral("Call (?<id>[0-9]+) with (?<peer>.+) ended \\((?<reason>[^()]*)\\)\\.")),
        pattern(Kind::Error, QStringLiteral("Call (?<id>[0-9]+) with (?<peer>.+) error\\.")),
    };
    const QString text = QString::fromUtf8(line);
    for (const EventPattern& p : patterns) {
        const QRegularExpressionMatch match = p.expression.match(text);
        if (!match.hasMatch())
            continue;
        bool ok = false;
        const int id = match.capturedView(u"id").toInt(&ok);
        if (!ok)
            return std::nullopt;
        EngineEvent event{p.kind, id, match.captured(u"peer"), {}};
        if (p.kind == Kind::Ended)
            event.reason = match.captured(u"reason");
        return event;
    }
    return std::nullopt;
}

QByteArray EngineOutputReader::masked(QByteArrayView line, QByteArrayView secret)
{
    QByteArray out = line.toByteArray();
    constexpr QByteArrayView kRegister("Receiving command 'register");
    const QByteArrayView command = withoutPrompts(line);
    if (command.startsWith(kRegister)) {
        qsizetype pos = line.size() - command.size() + kRegister.size();
        const auto skip = [&](bool blanks) {
            const qsizetype from = pos;
            while (pos < line.size() && isBlank(line[pos]) == blanks)
                ++pos;
            return pos > from;
        };
        // The daemon takes the password as the third word; what follows it is no business of the log either.
        if (skip(true) && skip(false) && skip(true) && skip(false) && skip(true)) {
            const qsizetype end = line.endsWith('\'') ? line.size() - 1 : line.size();
            if (end > pos)
                out = line.first(pos).toByteArray() + kMask.toByteArray() + line.sliced(end).toByteArray();
        }
    }
    if (!secret.isEmpty())
        out.replace(secret, kMask);
    return out;
}
