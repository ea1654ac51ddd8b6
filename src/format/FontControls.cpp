#include "format/FontControls.h"

#include <QLocale>
#include <QPalette>
#include <QWidget>

#include "base/RuntimeError.h"
#include "format/Colors.h"

namespace brimlet {

void FontControls::setName(const QString& name) {
    QFont font = viewer_->font();
    font.setFamilies({name});
    viewer_->setFont(font);
}

void FontControls::setSize(const QString& size) {
    bool ok = false;
    const float points = QLocale().toFloat(size, &ok);
    if (!ok) throw RuntimeError::typeMismatch(size);
    if (!(points > 0)) throw RuntimeError::invalidPropertyValue(size);
    QFont font = viewer_->font();
    font.setPointSizeF(points);
    viewer_->setFont(font);
}

// Three separate tests, exact and case-sensitive.
void FontControls::applyStyle(const QString& style) {
    if (style == QLatin1String("Regular")) {
        setBold(false);
        setItalic(false);
    }
    if (style == QLatin1String("Bold")) setBold(true);
    if (style == QLatin1String("Italic")) setItalic(true);
}

void FontControls::applyColor(const QString& color) {
    std::uint32_t value = 0;
    if (color == QLatin1String("Blue")) {
        value = kBlue;
    } else if (color == QLatin1String("Red")) {
        value = kRed;
    } else if (color == QLatin1String("Black")) {
        value = kBlack;
    } else {
        return;
    }
    QPalette palette = viewer_->palette();
    palette.setColor(QPalette::Text, colorFromValue(value));
    viewer_->setPalette(palette);
}

void FontControls::setBold(bool on) {
    QFont font = viewer_->font();
    font.setBold(on);
    viewer_->setFont(font);
}

void FontControls::setItalic(bool on) {
    QFont font = viewer_->font();
    font.setItalic(on);
    viewer_->setFont(font);
}

}  // namespace brimlet
