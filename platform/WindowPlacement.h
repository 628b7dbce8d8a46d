#pragma once

#include <QString>

class QWidget;
class SettingsStore;

/// A window's saved placement: its state (0 normal, 1 minimised, 2 maximised)
/// and its outer frame in twips, kept in the per-user settings store under a
/// key prefix: "w" for the main window ("wstate", "wleft", "wtop", "wwidth",
/// "wheight"), "zw" for the zoom window.
struct WindowPlacement
{
    static inline const QString kMainWindowPrefix = QStringLiteral("w");
    static inline const QString kZoomWindowPrefix = QStringLiteral("zw");

    int state = 0;
    double leftTwips = 0;
    double topTwips = 0;
    double widthTwips = 5745;
    double heightTwips = 5220;

    /// A saved state of 1 means none of the values is applied: the window
    /// opens at its design size where the window system puts it.
    bool applies() const { return state != 1; }

    /// Reads the five keys; an absent key or a value that is not a number
    /// gives its default. Numbers are read in the C notation or, as earlier
    /// versions wrote them, in the locale's.
    static WindowPlacement load(const SettingsStore& store, const QString& prefix);
    /// Writes the five keys: the state as a whole number, the measures in the
    /// C notation.
    void save(SettingsStore& store, const QString& prefix) const;

    /// The placement window has now (minimised also while hidden).
    static WindowPlacement of(const QWidget& window);
    /// Places window's outer frame and sets its state (0 normal, 2 maximised),
    /// without showing it.
    void applyTo(QWidget& window) const;

    /// Decimal text, C or locale notation; false through ok for anything else.
    static double parseNumber(const QString& text, bool* ok);

    friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};
