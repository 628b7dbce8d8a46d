#include "WindowPlacement.h"

#include "SettingsStore.h"
#include "Twips.h"

#include <QLocale>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <limits>

double WindowPlacement::parseNumber(const QString& text, bool* ok)
{
    const QString trimmed = text.trimmed();
    // Never written with group separators: a comma or point is a decimal one, so
    // "123,456" from a comma locale is 123.456, not 123456.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    QLocale system = QLocale::system();
    system.setNumberOptions(QLocale::RejectGroupSeparator);
    bool parsed = false;
    double value = c.toDouble(trimmed, &parsed);
    if (!parsed)
        value = system.toDouble(trimmed, &parsed);
    // Twips of a real screen fit a float many times over; anything beyond is not a placement.
    *ok = parsed && std::isfinite(value) && std::fabs(value) <= std::numeric_limits<float>::max();
    return *ok ? value : 0;
}

WindowPlacement WindowPlacement::load(const SettingsStore& store, const QString& prefix)
{
    WindowPlacement p;
    auto read = [&](const char* key, double defaultValue) {
        bool ok = false;
        const double value = parseNumber(store.value(prefix + QLatin1String(key), QString()), &ok);
        return ok ? value : defaultValue;
    };
    const double state = read("state", 0);
    // A 16-bit whole number; anything else is not a state.
    p.state = std::fabs(state) <= 32767 ? int(std::lround(state)) : 0;
    p.leftTwips = read("left", p.leftTwips);
    p.topTwips = read("top", p.topTwips);
    p.widthTwips = read("width", p.widthTwips);
    p.heightTwips = read("height", p.heightTwips);
    return p;
}

void WindowPlacement::save(SettingsStore& store, const QString& prefix) const
{
    auto text = [](double twips) { return QString::number(twips, 'g', 10); };
    store.setValue(prefix + QStringLiteral("state"), QString::number(state));
    store.setValue(prefix + QStringLiteral("left"), text(leftTwips));
    store.setValue(prefix + QStringLiteral("top"), text(topTwips));
    store.setValue(prefix + QStringLiteral("width"), text(widthTwips));
    store.setValue(prefix + QStringLiteral("height"), text(heightTwips));
}

WindowPlacement WindowPlacement::of(const QWidget& window)
{
    WindowPlacement p;
    p.state = window.isMinimized() || window.isHidden() ? 1 : (window.isMaximized() ? 2 : 0);
    const QRect frame = window.frameGeometry();
    p.leftTwips = Twips::fromPx(frame.left());
    p.topTwips = Twips::fromPx(frame.top());
    p.widthTwips = Twips::fromPx(frame.width());
    p.heightTwips = Twips::fromPx(frame.height());
    return p;
}

void WindowPlacement::applyTo(QWidget& window) const
{
    // Width and height are the outer frame; the frame's thickness is known
    // only once the window exists, so take it from the window system now.
    window.winId(); // creates the native window
    const QRect frame = Twips::toPx(leftTwips, topTwips, widthTwips, heightTwips);
    const QMargins margins = window.windowHandle() ? window.windowHandle()->frameMargins() : QMargins();
    window.move(frame.topLeft());
    window.resize(std::max(1, frame.width() - margins.left() - margins.right()),
                  std::max(1, frame.height() - margins.top() - margins.bottom()));
    window.setWindowState(state == 2 ? Qt::WindowMaximized : Qt::WindowNoState);
}
