#pragma once

class SettingsStore;

/// The zoom window's saved placement: "zwstate" (0 normal, 1 minimised,
/// 2 maximised), "zwleft", "zwtop", "zwwidth", "zwheight" (outer frame, twips),
/// in the per-user settings store.
struct ZoomPlacement
{
    int state = 0;
    double leftTwips = 0;
    double topTwips = 0;
    double widthTwips = 5745;
    double heightTwips = 5220;

    /// A saved state of 1 means none of the values is applied: the window
    /// opens at its design size where the window system puts it.
    bool applies() const { return state != 1; }

    /// Reads the five keys; an absent key or a value that is not a number
    /// gives its default.
    static ZoomPlacement load(const SettingsStore& store);

    /// Writes the five keys: the state as a whole number, the measures as
    /// single-precision numbers.
    void save(SettingsStore& store) const;

    friend bool operator==(const ZoomPlacement&, const ZoomPlacement&) = default;
};
