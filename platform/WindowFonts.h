#pragma once

#include <QFont>

/// Fonts of the window designs. The design fonts are Windows fonts; where they
/// are missing, metric-compatible substitutes are preferred ("Nimbus Sans" for
/// "MS Sans Serif" and "Arial", "P052" for "Palatino Linotype", from Debian's
/// fonts-urw-base35), then Qt's own font matching.
namespace WindowFonts {

/// Registers the substitutes; call once before the first window is built.
void installSubstitutes();

/// "MS Sans Serif" 9.75 pt, the dialogs' and the splash's font.
QFont dialogFont();

} // namespace WindowFonts
