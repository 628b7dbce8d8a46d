#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

/// Decodes a picture received from a camera. Safe on any input: garbage, a
/// truncated file or a header that claims an enormous size yields a null image.
namespace PictureDecoder {

/// Pictures larger than this (in pixels, as the header claims) are refused.
constexpr qint64 kMaxPixels = 4096LL * 4096LL;

/// Decodes data. When displaySize is valid and smaller than the picture, the
/// picture is scaled down while it is decoded (JPEG decodes at 1/2, 1/4, 1/8
/// for a fraction of the cost), never below displaySize.
QImage decode(const QByteArray& data, const QSize& displaySize = {});

} // namespace PictureDecoder
