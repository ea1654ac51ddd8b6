#include "ui/ImageBox.h"

#include <QPainter>

namespace brimlet {

ImageBox::ImageBox(QWidget* parent) : QFrame(parent) {}

void ImageBox::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void ImageBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(contentsRect(), picture_);
}

}  // namespace brimlet
