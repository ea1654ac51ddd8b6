#include "host/Picture.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include "host/Files.h"
#include "host/RuntimeError.h"

namespace brimlet {

QByteArray bitmapFileBytes(const QImage& picture) {
    if (picture.isNull()) throw RuntimeError::invalidPicture(QStringLiteral("no picture"));
    // The bitmap writer writes 24 bits a pixel from 32-bit opaque pictures
    // (and keeps palettes and masks for the others), so everything goes
    // through that format.
    QImage opaque;
    if (picture.hasAlphaChannel()) {
        opaque = QImage(picture.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, picture);
    } else {
        opaque = picture.convertToFormat(QImage::Format_RGB32);
    }
    QByteArray bytes;
    bytes.reserve(54 + static_cast<qsizetype>((opaque.width() * 3 + 3) & ~3) * opaque.height());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(opaque)) throw RuntimeError::invalidPicture(writer.errorString());
    return bytes;
}

QImage loadPicture(const QString& path) {
    QByteArray bytes = readWholeFile(path, kPictureFileLimit);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    QImage picture = reader.read();
    if (picture.isNull()) throw RuntimeError::invalidPicture(path + ": " + reader.errorString());
    return picture;
}

}  // namespace brimlet
