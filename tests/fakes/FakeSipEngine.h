#pragma once

#include "SipEngine.h"

#include <QStringList>

#include <functional>

/// Scripted engine: records every call as text and answers from the script.
class FakeSipEngine : public SipEngine
{
public:
    /// Codec reply for (index, attempt number of that index, counting from 1).
    std::function<QString(int index, int attempt)> codecReply = [](int index, int) {
        return QStringLiteral(" %1: codec%1 (8000) disabled").arg(index);
    };
    QString statusReply = QStringLiteral("hook=offhook");
    /// Reply to a dial; empty: "Establishing call id to <ADDRESS>, assigned id 1".
    QString dialReply;
    /// Calls in order: "init", "codec 0", "status", "dial ADDR", "answer", ...
    QStringList calls;
    /// Optional shared journal to order calls against other fakes.
    QStringList* journal = nullptr;

    bool available = true;

    QString programName() const override { return QStringLiteral("linphonec"); }
    bool programAvailable() const override { return available; }
    void start() override { record(QStringLiteral("init")); }
    QString disableCodec(int index) override
    {
        record(QStringLiteral("codec %1").arg(index));
        return codecReply(index, ++m_codecAttempts[index]);
    }
    QString callStatus() override
    {
        record(QStringLiteral("status"));
        return statusReply;
    }
    QString dial(const QString& address) override
    {
        record(QStringLiteral("dial ") + address);
        if (!dialReply.isEmpty())
            return dialReply;
        return QStringLiteral("Establishing call id to <%1>, assigned id 1").arg(address);
    }
    QString answer() override { return recordReply(QStringLiteral("answer")); }
    QString hangUp() override { return recordReply(QStringLiteral("terminate")); }
    QString mute() override { return recordReply(QStringLiteral("mute")); }
    QString unmute() override { return recordReply(QStringLiteral("unmute")); }
    void release() override { record(QStringLiteral("close")); }

private:
    void record(const QString& call)
    {
        calls.append(call);
        if (journal)
            journal->append(QStringLiteral("engine:") + call);
    }
    QString recordReply(const QString& call)
    {
        record(call);
        return {};
    }

    int m_codecAttempts[3] = {0, 0, 0};
};
