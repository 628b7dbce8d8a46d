#pragma once

#include <QByteArray>
#include <QString>

/// Byte escaping for the simulator's one-line protocol.
namespace TextEscape
{

/// Printable ASCII as is; backslash, control and non-ASCII bytes as \\, \n, \r, \t or \xHH.
QString escape(const QByteArray& bytes);

/// The inverse for command arguments: \n, \r, \t, \\ and \xHH become bytes, everything else is sent
/// as its UTF-8 encoding. A malformed \x sequence is kept literally.
QByteArray unescape(const QString& text);

} // namespace TextEscape
