#pragma once

#include "SipEngine.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

/// Scripted engine: records every request as text and answers from the script,
/// from the event loop as the real one does (each reply after a zero timer).
class FakeSipEngine : public SipEngine
{
public:
    /// Codec reply for (index, attempt number of that index, counting from 1); "" answers nothing (not ok).
    std::function<QString(int index, int attempt)> codecReply = [](int index, int) {
        return QStringLiteral(" %1: codec%1 (8000) disabled").arg(index);
    };
    QString statusReply = QStringLiteral("hook=offhook");
    /// False: every status request goes unanswered.
    bool statusAnswers = true;
    /// Reply to a dial; empty: "Establishing call id to <ADDRESS>, assigned id 1".
    QString dialReply;
    QString registerReply;
    /// Requests in order: "init", "codec 0", "status", "dial ADDR", "answer", "register SERVER USER PASSWORD", ...
    QStringList calls;
    /// Optional shared journal to order requests against other fakes.
    QStringList* journal = nullptr;
    bool available = true;
    /// What stop() does with its done: run it (from the event loop) or keep it for the test.
    bool stopsAtOnce = true;
    std::function<void()> pendingStop;

    QString programName() const override { return QStringLiteral("linphonec"); }
    bool programAvailable() const override { return available; }
    void start() override { record(QStringLiteral("init")); }
    void disableCodec(int index, EngineReplyHandler done) override
    {
        record(QStringLiteral("codec %1").arg(index));
        const QString text = codecReply(index, ++m_codecAttempts[index]);
        reply(std::move(done), !text.isEmpty(), text);
    }
    void requestStatus(EngineReplyHandler done) override
    {
        record(QStringLiteral("status"));
        reply(std::move(done), statusAnswers, statusReply);
    }
    void dial(const QString& address, EngineReplyHandler done) override
    {
        record(QStringLiteral("dial ") + address);
        reply(std::move(done), true,
              dialReply.isEmpty() ? QStringLiteral("Establishing call id to <%1>, assigned id 1").arg(address)
                                  : dialReply);
    }
    void answer() override { record(QStringLiteral("answer")); }
    void hangUp() override { record(QStringLiteral("terminate")); }
    void mute() override { record(QStringLiteral("mute")); }
    void unmute() override { record(QStringLiteral("unmute")); }
    void registerAt(const QString& server, const QString& user, const QString& password,
                    EngineReplyHandler done) override
    {
        record(QStringLiteral("register %1 %2 %3").arg(server, user, password));
        reply(std::move(done), true, registerReply);
    }
    void stop(int graceMs, std::function<void()> done) override
    {
        record(QStringLiteral("stop %1").arg(graceMs));
        if (stopsAtOnce)
            QTimer::singleShot(0, &m_context, [done = std::move(done)] { done(); });
        else
            pendingStop = std::move(done);
    }

private:
    void record(const QString& call)
    {
        calls.append(call);
        if (journal)
            journal->append(QStringLiteral("engine:") + call);
    }
    void reply(EngineReplyHandler done, bool ok, const QString& text)
    {
        if (!done)
            return;
        QTimer::singleShot(0, &m_context,
                           [done = std::move(done), ok, text] { done(EngineReply{ok, ok ? text : QString()}); });
    }

    QObject m_context;
    int m_codecAttempts[3] = {0, 0, 0};
};
