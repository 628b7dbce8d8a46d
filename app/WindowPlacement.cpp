#include "WindowPlacement.h"

#include "SettingsStore.h"

#include <QLocale>

#include <cmath>

double WindowPlacement::parseNumber(const QString& text, bool* ok)
{
    const QString trimmed = text.trimmed();
    bool parsed = false;
    double value = QLocale::system().toDouble(trimmed, &parsed);
    if (!parsed)
        value = QLocale::c().toDouble(trimmed, &parsed);
    if (!parsed || !std::isfinite(value))
        value = 0;
    *ok = parsed && std::isfinite(value);
    return value;
}

WindowPlacement WindowPlacement::load(const SettingsStore& store)
{
    WindowPlacement placement;
    auto read = [&store](const char* key, double defaultValue) {
        bool ok = false;
        const double value = parseNumber(store.value(QLatin1String(key), QString::number(defaultValue)), &ok);
        return ok ? value : defaultValue;
    };
    placement.state = static_cast<int>(std::lround(read("wstate", 0)));
    if (!placement.applies())
        return placement;
    placement.leftTwips = read("wleft", 0);
    placement.topTwips = read("wtop", 0);
    placement.widthTwips = read("wwidth", 5745);
    placement.heightTwips = read("wheight", 5220);
    return placement;
}
