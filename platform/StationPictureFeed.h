#pragma once

#include <QImage>
#include <QSize>

/// A window that shows one station's camera larger than its tile (the zoom
/// window, the popup of a ringing station), as the snapshot pass sees it: the
/// station's pictures are decoded large enough for it and shown there too.
class StationPictureFeed
{
public:
    virtual ~StationPictureFeed() = default;

    /// The station shown, -1 for none.
    virtual int shownStation() const = 0;
    /// Size in device pixels of the picture shown; empty when nothing is shown.
    virtual QSize shownPictureSize() const = 0;
    /// Shows picture (the very image the tile shows). Ignored while nothing is shown.
    virtual void showPicture(const QImage& picture) = 0;
};
