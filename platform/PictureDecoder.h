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
/// picture is scaled down while it is decoded, to the smallest n/8 of its size
/// (n = 1..8, what libjpeg produces at a fraction of the cost of a full decode)
/// that still covers displaySize; the view stretches that to its size.
QImage decode(const QByteArray& data, const QSize& displaySize = {});

/// The size decode() produces for a picture of pictureSize shown at displaySize.
QSize decodeSize(const QSize& pictureSize, const QSize& displaySize);

} // namespace PictureDecoder
