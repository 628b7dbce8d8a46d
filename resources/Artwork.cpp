#include "Artwork.h"

#include <QDirIterator>
#include <QHash>
#include <QImageReader>

namespace Artwork {

QString iconPath(QStringView name)
{
    return QStringLiteral(":/icons/%1.svg").arg(name);
}

QString aboutPicturePath()
{
    return QStringLiteral(":/about.svg");
}

QIcon icon(const QString& name)
{
    static QHash<QString, QIcon> cache;
    auto it = cache.find(name);
    if (it == cache.end())
        it = cache.insert(name, QIcon(iconPath(name)));
    return *it;
}

QPixmap aboutPicture()
{
    return QPixmap(aboutPicturePath());
}

bool verify(QString* error)
{
    const auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    // Without the SVG plug-in every button would show empty, silently.
    if (!QImageReader::supportedImageFormats().contains("svg"))
        return fail(QStringLiteral("no SVG image plug-in (package qt6-svg)"));
    int count = 0;
    QDirIterator it(QStringLiteral(":/icons"), {QStringLiteral("*.svg")}, QDir::Files);
    while (it.hasNext()) {
        const QString path = it.next();
        if (QImageReader(path).read().isNull())
            return fail(QStringLiteral("cannot read ") + path);
        ++count;
    }
    if (count == 0)
        return fail(QStringLiteral("no icons compiled in (:/icons is empty)"));
    if (QImageReader(aboutPicturePath()).read().isNull())
        return fail(QStringLiteral("cannot read ") + aboutPicturePath());
    return true;
}

} // namespace Artwork
