#include "ZoomPlacement.h"

#include "SettingsStore.h"

#include <QLocale>
#include <QString>

#include <cmath>
#include <limits>

namespace {

double parseNumber(const QString& text, double defaultValue)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = QLocale::system().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::c().toDouble(trimmed, &ok);
    // Single precision, as stored.
    if (!ok || !std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return defaultValue;
    return static_cast<float>(value);
}

QString singleText(double value)
{
    return QString::number(static_cast<double>(static_cast<float>(value)), 'g', 7);
}

} // namespace

ZoomPlacement ZoomPlacement::load(const SettingsStore& store)
{
    ZoomPlacement p;
    auto read = [&store](const char* key, double defaultValue) {
        return parseNumber(store.value(QLatin1String(key), QString()), defaultValue);
    };
    const double state = read("zwstate", 0);
    // A 16-bit whole number; anything else is not a state.
    p.state = std::fabs(state) <= 32767 ? static_cast<int>(std::lround(state)) : 0;
    p.leftTwips = read("zwleft", 0);
    p.topTwips = read("zwtop", 0);
    p.widthTwips = read("zwwidth", 5745);
    p.heightTwips = read("zwheight", 5220);
    return p;
}

void ZoomPlacement::save(SettingsStore& store) const
{
    store.setValue(QStringLiteral("zwstate"), QString::number(state));
    store.setValue(QStringLiteral("zwleft"), singleText(leftTwips));
    store.setValue(QStringLiteral("zwtop"), singleText(topTwips));
    store.setValue(QStringLiteral("zwwidth"), singleText(widthTwips));
    store.setValue(QStringLiteral("zwheight"), singleText(heightTwips));
}
