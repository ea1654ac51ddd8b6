#pragma once

#include <QFrame>
#include <QImage>

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
};

}  // namespace brimlet
