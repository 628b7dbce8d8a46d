#pragma once

#include <QString>

/// A fixed-length reply text as the engine calls of start-up fill it: the reply
/// and a NUL are written at the start, the rest keeps what it held before
/// (NULs at first, the tail of a longer earlier reply later). The log shows the
/// whole buffer, so such a tail can appear after a short reply.
class ReplyBuffer
{
public:
    explicit ReplyBuffer(int length);

    /// Writes reply (cut to length - 1 characters) and its ending NUL.
    void fill(const QString& reply);
    /// The whole buffer, length characters.
    const QString& text() const { return m_text; }
    int length() const { return int(m_text.size()); }

private:
    QString m_text;
};
