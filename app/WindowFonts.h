#pragma once

#include <QFont>

/// Fonts of the window designs. Where a design font is not installed, Qt's font
/// matching picks the closest one (a sans serif for "MS Sans Serif", a serif
/// for "Palatino Linotype").
namespace WindowFonts {

/// "MS Sans Serif" 9.75 pt, the dialogs' and the splash's font.
QFont dialogFont();

} // namespace WindowFonts
