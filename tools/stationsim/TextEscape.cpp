#include "TextEscape.h"

namespace
{

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

namespace TextEscape
{

QString escape(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\')
            out += QStringLiteral("\\\\");
        else if (byte == '\n')
            out += QStringLiteral("\\n");
        else if (byte == '\r')
            out += QStringLiteral("\\r");
        else if (byte == '\t')
            out += QStringLiteral("\\t");
        else if (byte < 0x20 || byte >= 0x7f)
            out += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        else
            out += QLatin1Char(c);
    }
    return out;
}

QByteArray unescape(const QString& text)
{
    const QByteArray in = text.toUtf8();
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c != '\\' || i + 1 >= in.size()) {
            out += c;
            continue;
        }
        const char next = in.at(i + 1);
        if (next == 'n' || next == 'r' || next == 't' || next == '\\') {
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
            ++i;
            continue;
        }
        if (next == 'x' && i + 3 < in.size() && isHexDigit(in.at(i + 2)) && isHexDigit(in.at(i + 3))) {
            out += static_cast<char>(in.mid(i + 2, 2).toInt(nullptr, 16));
            i += 3;
            continue;
        }
        out += c;
    }
    return out;
}

} // namespace TextEscape
