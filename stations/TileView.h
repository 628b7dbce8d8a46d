#pragma once

#include <QImage>
#include <QSize>
#include <QString>

/// What the station channels ask of the station tiles (the main window's
/// imgCam, lblImage and cmdTel arrays). Stations are indexed 0..15. The main
/// window implements it; tests fake it.
class TileView
{
public:
    virtual ~TileView() = default;

    /// Shows picture in the tile of station; a null image clears it. The tile
    /// keeps a shallow copy: the pixels are shared with the caller.
    virtual void setStationPicture(int station, const QImage& picture) = 0;
    /// The picture the tile shows now (null when empty).
    virtual QImage stationPicture(int station) const = 0;
    /// Shows or hides the tile's "No image available" label.
    virtual void setNoImageShown(int station, bool shown) = 0;
    /// Name of the telephone image the tile's cmdTel shows ("tel_n", "tel_v", "tel_b", "tel_r").
    virtual QString telImage(int station) const = 0;
    /// Size in device-independent pixels at which the tile draws its picture,
    /// so a snapshot can be decoded no larger than needed. Empty: unknown.
    virtual QSize stationPictureSize(int station) const = 0;
};
