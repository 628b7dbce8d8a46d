#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringView>

/// The console's artwork, compiled into the program by the qz_resources library.
/// Icons are ":/icons/<name>.svg" (tile buttons and the microphone 32 x 32, command column and popup
/// buttons 35 x 35, the program icon 48 x 48); the about box picture is ":/about.svg" (352 x 218).
/// QIcon, QPixmap and QImage read them through Qt's SVG plug-ins.
namespace Artwork {

/// Resource path of an icon by its base name: iconPath(u"tel_n") is ":/icons/tel_n.svg".
QString iconPath(QStringView name);

/// Resource path of the about box picture.
QString aboutPicturePath();

/// An icon by name: "app", "tel_n", "tel_b", "tel_r", "tel_v", "lock", "light",
/// "info", "config", "history", "mic", "mic_muted", "answer", "reject". One QIcon per name
/// is kept, so SVGs are rendered once per size.
QIcon icon(const QString& name);

/// The about box's background picture, 352 x 218.
QPixmap aboutPicture();

/// True when the artwork is compiled in and every picture of it can be read, which needs the SVG
/// image plug-in at run time. Otherwise false, and *error (when given) names the first failure.
bool verify(QString* error);

} // namespace Artwork
