#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

/// One call event the engine daemon prints on its standard output.
struct EngineEvent
{
    enum class Kind
    {
        IncomingCall,    ///< "Receiving new incoming call from PEER, assigned id N"
        OutgoingStarted, ///< "Establishing call id to PEER, assigned id N", "Call N to PEER in progress.",
                         ///< "Call N to PEER ringing.", "Call N with PEER early media."
        Connected,       ///< "Call N with PEER connected."
        Ended,           ///< "Call N with PEER ended (REASON)."
        Error,           ///< "Call N with PEER error."
    };
    Kind kind = Kind::IncomingCall;
    int callId = 0;
    QString peer;   ///< as printed, e.g. "\"Door 5\" <sip:105@127.0.0.6:5070>" or "sip:127.0.0.3"
    QString reason; ///< Ended only: the text in the parentheses, e.g. "Not answered", "No error", "Call declined"
    friend bool operator==(const EngineEvent&, const EngineEvent&) = default;
};

/// Turns the engine daemon's standard output into lines and call events. Pure: no process, no
/// socket; the owner feeds it what it read from the pipe. One thread at a time: parse() shares
/// its compiled patterns between calls.
class EngineOutputReader
{
public:
    /// A line longer than this is cut there (a daemon printing without line ends must not grow the buffer without
    /// end); the cut moves back to the start of a UTF-8 sequence it would split, and the rest begins the next line.
    static constexpr qsizetype kMaxLineBytes = 16 * 1024;

    /// Takes the next bytes read from the pipe, split anywhere (mid-line, mid-UTF-8 sequence, "\r\n" split);
    /// returns the lines they complete, in order, without "\n" / "\r\n".
    QList<QByteArray> takeLines(QByteArrayView bytes);
    /// The unfinished rest (at the daemon's exit), as it came, emptied; empty when the output ended with a line end.
    QByteArray takeRest();

    /// The event a line announces (UTF-8 bytes, a trailing "\r\n" tolerated), after any number of leading prompts
    /// "linphonec> "; nothing for every other line ("Media streams established ...", "Receiving tone 5 from ...",
    /// "Receiving command '...'", replies, warnings, unknown text). The whole line must match one of the daemon's
    /// patterns, with a decimal call id that fits an int; for Ended the reason is the last parenthesised group.
    static std::optional<EngineEvent> parse(QByteArrayView line);

    /// The line as it may be copied into a log file: a "register" command the daemon echoes
    /// ("Receiving command 'register IDENTITY PROXY PASSWORD'", possibly after prompts) keeps IDENTITY and PROXY but
    /// shows "******" for the password (and anything after it); and every occurrence of secret (when not empty)
    /// anywhere in the line becomes "******".
    static QByteArray masked(QByteArrayView line, QByteArrayView secret);

private:
    QByteArray m_pending;
};
