#include "AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

// QStringConverter::encodingForName() does not know this name; the ICU-backed
// const char* constructor does.
constexpr const char* kCodePage = "windows-1252";

} // namespace

namespace AnsiText {

QByteArray encode(const QString& text)
{
    QStringEncoder encoder(kCodePage);
    if (!encoder.isValid()) {
        // Qt built without ICU: Latin-1 agrees with Windows-1252 except in 0x80..0x9F.
        return text.toLatin1();
    }
    return encoder.encode(text);
}

QString decode(QByteArrayView bytes)
{
    QStringDecoder decoder(kCodePage);
    if (!decoder.isValid()) {
        return QString::fromLatin1(bytes);
    }
    return decoder.decode(bytes);
}

} // namespace AnsiText
