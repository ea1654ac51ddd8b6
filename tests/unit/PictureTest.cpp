#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/Raised.h"
#include "common/TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtEndian>

#include "files/Files.h"
#include "files/Picture.h"

namespace brimlet {
namespace {

using testing::raisedBy;
using testing::writeFile;

// What the bitmap writer of Qt makes of a picture given as 32-bit RGB,
// transparent parts laid on white first.
QByteArray qtBitmapBytes(const QImage& picture) {
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
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    EXPECT_TRUE(writer.write(opaque));
    return bytes;
}

// Every pixel different, so that a row or channel out of place shows.
QImage sample(int width, int height, QImage::Format format) {
    QImage picture(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            picture.setPixel(x, y,
                             qRgba((x * 37 + y) & 0xff, (y * 53 + x * 7) & 0xff,
                                   (x * y + 11) & 0xff, (x * 29 + y * 13) & 0xff));
        }
    }
    return picture.convertToFormat(format);
}

TEST(BitmapFile, BytesAreThoseOfQtsOwnBitmapWriter) {
    // Rows written in several blocks, the last one partly filled; formats
    // other than 32-bit RGB, transparent ones laid on white.
    std::vector<QImage> pictures{
        sample(1, 1, QImage::Format_RGB32),       sample(1001, 701, QImage::Format_RGB32),
        sample(9, 5, QImage::Format_ARGB32),      sample(9, 5, QImage::Format_ARGB32_Premultiplied),
        sample(7, 4, QImage::Format_RGB888),      sample(6, 4, QImage::Format_RGB16),
        sample(11, 3, QImage::Format_Grayscale8), sample(5, 5, QImage::Format_Indexed8),
        sample(13, 2, QImage::Format_Mono),       sample(13, 2, QImage::Format_MonoLSB)};
    // Widths whose rows need 0, 1, 2 and 3 bytes of padding.
    for (const int width : {1, 2, 3, 4, 5, 7, 8, 33}) {
        pictures.push_back(sample(width, 3, QImage::Format_RGB32));
    }
    QImage printed = sample(6, 2, QImage::Format_RGB32);
    printed.setDotsPerMeterX(11811);  // 300 dots an inch, kept in the header
    printed.setDotsPerMeterY(5906);
    pictures.push_back(printed);
    for (const QImage& picture : pictures) {
        // Compared whole, without printing megabytes when they differ.
        const QByteArray ours = bitmapFileBytes(picture);
        const QByteArray qts = qtBitmapBytes(picture);
        EXPECT_TRUE(ours == qts) << picture.width() << "x" << picture.height() << " format "
                                 << picture.format() << ": " << ours.size() << " bytes against "
                                 << qts.size();
        EXPECT_FALSE(pictureDataEndsEarly(qts));
        EXPECT_TRUE(pictureDataEndsEarly(QByteArrayView(qts).chopped(4))) << picture.format();
    }
}

TEST(BitmapFile, APngDecodedStraightIntoItsFileGivesTheSameBytes) {
    QTemporaryDir dir;
    const FolderHandle folder(dir.path());
    const FolderFile file(folder, "picture 1.jpeg");
    // Odd widths, transparency, strips of rows the last one partly filled,
    // a resolution of its own.
    QImage printed = sample(6, 2, QImage::Format_RGB32);
    printed.setDotsPerMeterX(11811);
    printed.setDotsPerMeterY(5906);
    QByteArray png;
    for (const QImage& picture :
         {sample(131, 97, QImage::Format_ARGB32), sample(33, 70, QImage::Format_RGB32), printed}) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(picture.save(&buffer, "PNG"));
        png = buffer.data();
        const auto staged = stagePngAsBitmap(png, folder);
        ASSERT_NE(staged, nullptr) << picture.width();
        ASSERT_TRUE(staged->publishIfAbsent(file));
        EXPECT_TRUE(testing::readAll(file.path()) == bitmapFileBytes(decodePicture(png)))
            << picture.width() << "x" << picture.height();
        EXPECT_EQ(readOwnPicture(file).size(), picture.size());
        deleteFile(file);
        // The same while its pieces are still arriving.
        PngDecoding decoding(folder);
        for (qsizetype at = 0; at < png.size(); at += 7) decoding.append(png.mid(at, 7));
        QByteArray arrived;
        const auto streamed = decoding.finish(arrived);
        EXPECT_TRUE(arrived.isEmpty());  // decoded: no need for the bytes
        ASSERT_NE(streamed, nullptr);
        ASSERT_TRUE(streamed->publishIfAbsent(file));
        EXPECT_TRUE(testing::readAll(file.path()) == bitmapFileBytes(decodePicture(png)));
        deleteFile(file);
    }
    {
        // Cut in its header: what came is for the usual decoding. Cut in its
        // rows: nothing is held.
        for (const qsizetype cutAt : {qsizetype(20), png.size() - 16}) {
            PngDecoding cut(folder);
            cut.append(png.left(10));
            cut.append(png.mid(10, cutAt - 10));
            QByteArray arrived;
            EXPECT_EQ(cut.finish(arrived), nullptr);
            EXPECT_EQ(arrived, cutAt == 20 ? png.left(20) : QByteArray()) << cutAt;
        }
    }
    // Cut short or damaged: left to the usual decoding, and nothing stays.
    EXPECT_EQ(stagePngAsBitmap(png.chopped(30), folder), nullptr);
    png[png.size() - 20] = char(png[png.size() - 20] ^ 0x55);  // in the coded rows
    EXPECT_TRUE(decodePicture(png).isNull());
    EXPECT_EQ(stagePngAsBitmap(png, folder), nullptr);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
}

TEST(BitmapFile, PictureDataCutShortIsRefusedBeforeItIsRead) {
    // 1,054 bytes whose header claims 16000 x 16000 at 32 bits a pixel.
    QByteArray lying = bitmapFileBytes(sample(16, 22, QImage::Format_RGB32)).left(1054);
    qToLittleEndian<qint32>(16000, lying.data() + 18);
    qToLittleEndian<qint32>(16000, lying.data() + 22);
    qToLittleEndian<quint16>(32, lying.data() + 28);
    EXPECT_TRUE(decodePicture(lying).isNull());
    QTemporaryDir dir;
    writeFile(dir.filePath("picture 4.jpeg"), lying);
    EXPECT_EQ(raisedBy([&] { loadPicture(dir.filePath("picture 4.jpeg")); }).number, 481);
    // Run-length coded rows that stop before the end of the picture.
    QByteArray rle = lying.left(54) + QByteArray(1024, '\0') + QByteArray("\x10\x01\x00\x00", 4);
    qToLittleEndian<quint32>(54 + 1024, rle.data() + 10);
    qToLittleEndian<quint16>(8, rle.data() + 28);
    qToLittleEndian<quint32>(1, rle.data() + 30);
    EXPECT_TRUE(pictureDataEndsEarly(rle));
    EXPECT_FALSE(pictureDataEndsEarly(rle + QByteArray("\x00\x01", 2)));
    // A JPEG without its end, or cut in its coded data.
    QBuffer jpeg;
    jpeg.open(QIODevice::WriteOnly);
    ASSERT_TRUE(sample(64, 48, QImage::Format_RGB32).save(&jpeg, "JPEG"));
    EXPECT_FALSE(pictureDataEndsEarly(jpeg.data()));
    EXPECT_FALSE(decodePicture(jpeg.data()).isNull());
    EXPECT_TRUE(pictureDataEndsEarly(jpeg.data().chopped(2)));
    EXPECT_TRUE(pictureDataEndsEarly(jpeg.data().chopped(jpeg.data().size() / 3)));
    // A GIF that ends inside its picture's data.
    const QByteArray gif("GIF89a\1\0\1\0\0\0\0,\0\0\0\0\1\0\1\0\0\2\2\x44\1\0;", 29);
    EXPECT_FALSE(pictureDataEndsEarly(gif));
    EXPECT_TRUE(pictureDataEndsEarly(gif.chopped(3)));
    const QByteArray xbm =
        "#define a_width 9\n#define a_height 2\nstatic char a_bits[] = {0x1,0x2,0x3";
    EXPECT_FALSE(pictureDataEndsEarly(xbm + ",0x4};"));
    EXPECT_TRUE(pictureDataEndsEarly(xbm + "};"));
}

}  // namespace
}  // namespace brimlet
