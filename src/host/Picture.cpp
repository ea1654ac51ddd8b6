#include "host/Picture.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include "host/RuntimeError.h"

namespace brimlet {

QByteArray bitmapFileBytes(const QImage& picture) {
    if (picture.isNull()) throw RuntimeError::invalidPicture(QStringLiteral("no picture"));
    QImage flat;
    if (picture.hasAlphaChannel()) {
        flat = QImage(picture.size(), QImage::Format_RGB888);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, picture);
    } else {
        flat = picture.convertToFormat(QImage::Format_RGB888);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(flat)) throw RuntimeError::invalidPicture(writer.errorString());
    return bytes;
}

QImage loadPicture(const QString& path) {
    if (!QFileInfo::exists(path)) throw RuntimeError::fileNotFound(path);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    QImage picture = reader.read();
    if (picture.isNull()) throw RuntimeError::invalidPicture(path + ": " + reader.errorString());
    return picture;
}

}  // namespace brimlet
