#pragma once

#include <QFrame>
#include <QImage>
#include <QPixmap>

namespace brimlet {

// An image control: holds one picture (or none) and paints it stretched to
// fill its frame.
class ImageBox : public QFrame {
    Q_OBJECT
  public:
    explicit ImageBox(QWidget* parent = nullptr);

    const QImage& picture() const { return picture_; }
    void setPicture(const QImage& picture);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture_;
    QPixmap shown_;  // the picture scaled to the frame, made when first painted
};

}  // namespace brimlet
