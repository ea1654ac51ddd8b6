#include "ui/ImageBox.h"

#include <QPainter>

namespace brimlet {

ImageBox::ImageBox(QWidget* parent) : QFrame(parent) {}

void ImageBox::setPicture(const QImage& picture) {
    picture_ = picture;
    shown_ = QPixmap();
    update();
}

void ImageBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (picture_.isNull()) return;
    const QRect frame = contentsRect();
    if (shown_.size() != frame.size()) {
        shown_ = QPixmap::fromImage(
            picture_.scaled(frame.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    QPainter(this).drawPixmap(frame.topLeft(), shown_);
}

}  // namespace brimlet
