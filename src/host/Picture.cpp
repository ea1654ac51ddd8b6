#include "host/Picture.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <limits>

#include "host/Files.h"
#include "host/RuntimeError.h"

namespace brimlet {

namespace {

constexpr qint64 kFileHeaderBytes = 14;
constexpr qint64 kInfoHeaderBytes = 40;
constexpr qint32 kDefaultDotsPerMeter = 2834;    // 72 dots an inch
constexpr qint64 kBlockBytes = qint64(1) << 20;  // rows handed on at a time

// The picture as 32-bit RGB, transparent parts laid on white.
QImage opaqueRgb32(const QImage& picture) {
    if (!picture.hasAlphaChannel()) return picture.convertToFormat(QImage::Format_RGB32);
    QImage opaque(picture.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    QPainter painter(&opaque);
    painter.drawImage(0, 0, picture);
    return opaque;
}

class LittleEndianWriter {
  public:
    explicit LittleEndianWriter(char* at) : at_(at) {}
    void u16(quint16 value) { put(value); }
    void i32(qint32 value) { put(value); }
    void bytes(const char* data, qsizetype size) {
        std::memcpy(at_, data, static_cast<size_t>(size));
        at_ += size;
    }

  private:
    template <typename T>
    void put(T value) {
        qToLittleEndian(value, at_);
        at_ += sizeof(T);
    }
    char* at_;
};

}  // namespace

QByteArray bitmapFileBytes(const QImage& picture) {
    QByteArray bytes;
    writeBitmapFile(picture, [&](QByteArrayView block) {
        if (bytes.isEmpty()) bytes.reserve(qFromLittleEndian<qint32>(block.data() + 2));
        bytes.append(block);
    });
    return bytes;
}

// An uncompressed 24-bit bitmap, rows bottom-up, each padded with zero
// bytes to a multiple of four; the file and info headers say what Qt's
// bitmap writer says for a 32-bit RGB picture.
void writeBitmapFile(const QImage& picture, const ByteSink& write) {
    if (picture.isNull()) throw RuntimeError::invalidPicture(QStringLiteral("no picture"));
    const QImage opaque = opaqueRgb32(picture);
    const int width = opaque.width();
    const int height = opaque.height();
    const qint64 rowBytes = (qint64(width) * 3 + 3) & ~qint64(3);
    const qint64 pixelBytes = rowBytes * height;
    constexpr qint64 offset = kFileHeaderBytes + kInfoHeaderBytes;
    if (offset + pixelBytes > std::numeric_limits<qint32>::max()) {
        throw RuntimeError::invalidPicture(QStringLiteral("too large for a bitmap file"));
    }

    char headerBytes[offset];
    LittleEndianWriter header(headerBytes);
    header.bytes("BM", 2);
    header.i32(static_cast<qint32>(offset + pixelBytes));
    header.u16(0);
    header.u16(0);
    header.i32(static_cast<qint32>(offset));
    header.i32(kInfoHeaderBytes);
    header.i32(width);
    header.i32(height);  // positive: bottom-up rows
    header.u16(1);       // planes
    header.u16(24);      // bits a pixel
    header.i32(0);       // no compression
    header.i32(static_cast<qint32>(pixelBytes));
    header.i32(opaque.dotsPerMeterX() ? opaque.dotsPerMeterX() : kDefaultDotsPerMeter);
    header.i32(opaque.dotsPerMeterY() ? opaque.dotsPerMeterY() : kDefaultDotsPerMeter);
    header.i32(0);  // colours used: no palette
    header.i32(0);  // colours important
    write(QByteArrayView(headerBytes, offset));

    const qint64 rowsPerBlock = std::max<qint64>(1, kBlockBytes / rowBytes);
    QByteArray block(std::min<qint64>(rowsPerBlock, height) * rowBytes, Qt::Uninitialized);
    const qint64 padding = rowBytes - qint64(width) * 3;
    uchar* out = reinterpret_cast<uchar*>(block.data());
    for (int y = height - 1; y >= 0; --y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(opaque.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = in[x];
            out[0] = static_cast<uchar>(qBlue(pixel));
            out[1] = static_cast<uchar>(qGreen(pixel));
            out[2] = static_cast<uchar>(qRed(pixel));
            out += 3;
        }
        for (qint64 i = 0; i < padding; ++i) *out++ = 0;
        const qint64 filled = out - reinterpret_cast<uchar*>(block.data());
        if (filled == block.size() || y == 0) {
            write(QByteArrayView(block.constData(), filled));
            out = reinterpret_cast<uchar*>(block.data());
        }
    }
}

QImage loadPicture(const FolderFile& file) {
    QByteArray bytes = readWholeFile(file, kPictureFileLimit);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    QImage picture = reader.read();
    if (picture.isNull()) {
        throw RuntimeError::invalidPicture(file.path() + ": " + reader.errorString());
    }
    return picture;
}

}  // namespace brimlet
