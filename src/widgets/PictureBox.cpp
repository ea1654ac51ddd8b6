#include "widgets/PictureBox.h"

#include <QPainter>

namespace brimlet {

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {}

void PictureBox::setPicture(const QImage& picture) {
    picture_ = picture;
    shown_ = QPixmap();
    update();
}

void PictureBox::paintEvent(QPaintEvent* event) {
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
