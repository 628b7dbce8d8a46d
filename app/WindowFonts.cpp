#include "WindowFonts.h"

namespace WindowFonts {

QFont dialogFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(9.75);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace WindowFonts
