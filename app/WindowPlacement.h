#pragma once

#include <QString>

class SettingsStore;

/// The main window's saved placement: state (0 normal, 1 minimised,
/// 2 maximised) and outer frame in twips.
struct WindowPlacement
{
    int state = 0;
    double leftTwips = 0;
    double topTwips = 0;
    double widthTwips = 5745;
    double heightTwips = 5220;

    /// A stored state of 1 means the design placement is kept.
    bool applies() const { return state != 1; }

    /// Reads "wstate", "wleft", "wtop", "wwidth", "wheight". A value that is
    /// not a number falls back to its default instead of ending the program.
    static WindowPlacement load(const SettingsStore& store);

    /// Parses decimal text in the locale's or the C notation; nullopt-like
    /// result through ok.
    static double parseNumber(const QString& text, bool* ok);
};
