#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

/// Conversion between text and the 8-bit code page of the configuration file.
///
/// The file was defined on a system whose ANSI code page is Windows-1252; this
/// platform has none, so the conversion is fixed to Windows-1252 and files stay
/// byte-compatible with the ones written there. A character outside the code
/// page becomes whatever the converter substitutes (0x1A here, one byte per
/// character), so its byte count is the count of converted bytes.
namespace AnsiText {

/// Text to Windows-1252 bytes.
QByteArray encode(const QString& text);

/// Windows-1252 bytes to text. Every byte value maps to one character.
QString decode(QByteArrayView bytes);

} // namespace AnsiText
