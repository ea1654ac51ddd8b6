#include "widgets/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace brimlet {

QImage appIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);

    // The board.
    p.setPen(QPen(QColor(92, 58, 30), 1.5));
    p.setBrush(QColor(181, 122, 66));
    p.drawRoundedRect(QRectF(7, 5, 34, 41), 4, 4);
    // The sheet, with lines of text.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(252, 252, 248));
    p.drawRect(QRectF(11, 11, 26, 31));
    p.setBrush(QColor(70, 110, 170));
    for (int line = 0; line < 4; ++line)
        p.drawRect(QRectF(14, 17 + line * 6, line == 3 ? 12 : 20, 2.5));
    // The clip.
    p.setBrush(QColor(150, 155, 165));
    p.setPen(QPen(QColor(80, 85, 95), 1.2));
    p.drawRoundedRect(QRectF(16, 2, 16, 8), 2.5, 2.5);
    return image;
}

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) icon.addPixmap(QPixmap::fromImage(appIconImage(size)));
    return icon;
}

}  // namespace brimlet
