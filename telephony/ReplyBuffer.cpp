#include "ReplyBuffer.h"

#include <algorithm>

ReplyBuffer::ReplyBuffer(int length)
    : m_text(std::max(length, 1), QChar(0))
{
}

void ReplyBuffer::fill(const QString& reply)
{
    const qsizetype n = std::min(reply.size(), m_text.size() - 1);
    for (qsizetype i = 0; i < n; ++i)
        m_text[i] = reply.at(i);
    m_text[n] = QChar(0);
}
