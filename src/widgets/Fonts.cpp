#include "widgets/Fonts.h"

#include <QStringList>

namespace brimlet {

QFont boldFont(double points) {
    static const bool substituted = [] {
        QFont::insertSubstitutions(
            QStringLiteral("MS Sans Serif"),
            {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
             QStringLiteral("Arial"), QStringLiteral("Arimo"),
             QStringLiteral("DejaVu Sans Condensed")});
        return true;
    }();
    (void)substituted;
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

}  // namespace brimlet
