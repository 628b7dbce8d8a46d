#include "WindowFonts.h"

#include <QStringList>

namespace WindowFonts {

void installSubstitutes()
{
    const QStringList sans = {QStringLiteral("Nimbus Sans"), QStringLiteral("Liberation Sans"),
                              QStringLiteral("DejaVu Sans")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
    QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
    QFont::insertSubstitutions(QStringLiteral("Palatino Linotype"),
                               {QStringLiteral("P052"), QStringLiteral("TeX Gyre Pagella"),
                                QStringLiteral("DejaVu Serif")});
}

QFont dialogFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(9.75);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace WindowFonts
