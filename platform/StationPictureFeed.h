#pragma once

#include <QImage>
#include <QSize>

/// The zoom window as the snapshot pass sees it: which station it shows and
/// where that station's pictures go besides the tile.
class ZoomFeed
{
public:
    virtual ~ZoomFeed() = default;

    /// Station shown enlarged, -1 for none.
    virtual int zoomedStation() const = 0;
    /// Size in device-independent pixels of the zoom window's picture; empty when closed.
    virtual QSize zoomPictureSize() const = 0;
    /// Shows picture in the zoom window (the very image the tile shows).
    /// Ignored while no zoom window is open.
    virtual void showZoomPicture(const QImage& picture) = 0;
};
