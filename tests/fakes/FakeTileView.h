#pragma once

#include "TileView.h"

#include <QList>

#include <array>
#include <functional>

/// Station tiles for tests: pictures, labels and telephone images in memory,
/// every call recorded.
class FakeTileView : public TileView
{
public:
    static constexpr int kStations = 16;

    FakeTileView() { telKeys.fill(QStringLiteral("tel_n")); }

    void setStationPicture(int station, const QImage& picture) override
    {
        if (beforeSetPicture)
            beforeSetPicture(station);
        pictures.at(station) = picture;
        pictureCalls.append(station);
    }
    QImage stationPicture(int station) const override { return pictures.at(station); }
    void setNoImageShown(int station, bool shown) override { noImage.at(station) = shown; }
    QString telImage(int station) const override { return telKeys.at(station); }
    QSize stationPictureSize(int station) const override { return sizes.at(station); }

    std::array<QImage, kStations> pictures{};
    std::array<bool, kStations> noImage{};
    std::array<QString, kStations> telKeys{};
    std::array<QSize, kStations> sizes{};
    /// Stations in the order their pictures were set (also to null).
    QList<int> pictureCalls;
    /// Runs before a picture is set; a test may throw from it.
    std::function<void(int)> beforeSetPicture;
};
