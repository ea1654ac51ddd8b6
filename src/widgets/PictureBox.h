#pragma once

#include <QFrame>
#include <QImage>
#include <QPixmap>

namespace brimlet {

// Holds one picture (or none) and paints it stretched to fill its frame.
class PictureBox : public QFrame {
    Q_OBJECT
  public:
    explicit PictureBox(QWidget* parent = nullptr);

    const QImage& picture() const { return picture_; }
    void setPicture(const QImage& picture);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture_;
    QPixmap shown_;  // the picture scaled to the frame, made when first painted
};

}  // namespace brimlet
