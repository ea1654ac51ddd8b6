#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "common/QtPrinters.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtEndian>
#include <functional>

#include "base/RuntimeError.h"
#include "files/Files.h"
#include "files/Picture.h"
#include "host/x11/CompoundText.h"

namespace brimlet {
namespace {

// The error a call raises: its number and detail; number 0 when none.
struct Raised {
    int number = 0;
    QString detail;
};
Raised raisedBy(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return {e.number(), e.detail()};
    }
    return {};
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

void makeLink(const QString& target, const QString& link) {
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
              0);
}

// Every reader of the host layer, on one name.
std::vector<std::pair<const char*, std::function<void(const QString&)>>> readers() {
    return {
        {"readWholeFile", [](const QString& p) { readWholeFile(p); }},
        {"readHead", [](const QString& p) { readHead(p, kTextHeadBytes); }},
        {"forEachChunk", [](const QString& p) { forEachChunk(p, 4096, [](QByteArrayView) {}); }},
        {"loadPicture", [](const QString& p) { loadPicture(p); }},
    };
}

// A FIFO would hold a plain open for ever, and a device reads without end;
// neither is opened for reading nor read.
TEST(Files, NamesThatAreNotRegularFilesAreRefusedAtOnce) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    makeLink(fifo, dir.filePath("link to fifo.txt"));
    makeLink("/dev/zero", dir.filePath("zero.txt"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.txt"));
    makeLink(dir.filePath("nowhere"), dir.filePath("dangling.txt"));

    for (const auto& [reader, read] : readers()) {
        for (const char* name : {"fifo.txt", "link to fifo.txt"}) {
            const Raised raised = raisedBy([&] { read(dir.filePath(name)); });
            EXPECT_EQ(raised.number, 75) << reader << " " << name;
            EXPECT_TRUE(raised.detail.contains("FIFO"))
                << reader << " " << raised.detail.toStdString();
        }
        const Raised device = raisedBy([&] { read(dir.filePath("zero.txt")); });
        EXPECT_EQ(device.number, 75) << reader;
        EXPECT_TRUE(device.detail.contains("device"))
            << reader << " " << device.detail.toStdString();
        EXPECT_EQ(raisedBy([&] { read(dir.filePath("folder.txt")); }).number, 75) << reader;
        EXPECT_EQ(raisedBy([&] { read(dir.filePath("dangling.txt")); }).number, 53) << reader;
        EXPECT_EQ(raisedBy([&] { read(dir.filePath("missing.txt")); }).number, 53) << reader;
    }
}

TEST(Files, ReadsStopAtTheirBoundAndLinksToRegularFilesReadNormally) {
    QTemporaryDir dir;
    // A sparse 1 GiB file: reading it whole would take seconds and a gigabyte.
    const QString huge = dir.filePath("huge.txt");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write("head"), 4);
        ASSERT_TRUE(file.resize(qint64(1) << 30));
    }
    const FileHead head = readHead(huge, kTextHeadBytes);
    EXPECT_EQ(head.bytes.size(), kTextHeadBytes);
    EXPECT_TRUE(head.bytes.startsWith("head"));
    EXPECT_EQ(head.size, qint64(1) << 30);
    EXPECT_FALSE(head.complete);
    EXPECT_EQ(raisedBy([&] { readWholeFile(huge); }).number, 7);
    EXPECT_EQ(raisedBy([&] { loadPicture(huge); }).number, 7);

    // A file of exactly the bound is complete; one byte more is not.
    QByteArray text(3 * 4096 + 1, 'x');
    text[0] = 'a';
    writeAll(dir.filePath("text.txt"), text);
    EXPECT_TRUE(readHead(dir.filePath("text.txt"), text.size()).complete);
    const FileHead cut = readHead(dir.filePath("text.txt"), text.size() - 1);
    EXPECT_FALSE(cut.complete);
    EXPECT_EQ(cut.bytes, text.left(text.size() - 1));

    // Through a link, and streamed in chunks of at most the size asked for.
    makeLink(dir.filePath("text.txt"), dir.filePath("link.txt"));
    const FileHead whole = readHead(dir.filePath("link.txt"), kTextHeadBytes);
    EXPECT_EQ(whole.bytes, text);
    EXPECT_TRUE(whole.complete);
    EXPECT_EQ(whole.size, text.size());
    EXPECT_EQ(readWholeFile(dir.filePath("link.txt")), text);
    QByteArray streamed;
    int chunks = 0;
    EXPECT_EQ(forEachChunk(dir.filePath("link.txt"), 4096,
                           [&](QByteArrayView chunk) {
                               EXPECT_LE(chunk.size(), 4096);
                               streamed.append(chunk);
                               ++chunks;
                           }),
              text.size());
    EXPECT_EQ(streamed, text);
    EXPECT_EQ(chunks, 4);

    writeAll(dir.filePath("empty.txt"), "");
    EXPECT_TRUE(readHead(dir.filePath("empty.txt"), kTextHeadBytes).complete);
    EXPECT_EQ(forEachChunk(dir.filePath("empty.txt"), 4096, [](QByteArrayView) { FAIL(); }), 0);
}

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
    std::vector<QImage> pictures;
    // Widths whose rows need 0, 1, 2 and 3 bytes of padding, and 1 by 1.
    for (const int width : {1, 2, 3, 4, 5, 7, 8, 33}) {
        pictures.push_back(sample(width, 3, QImage::Format_RGB32));
    }
    pictures.push_back(sample(1, 1, QImage::Format_RGB32));
    // Rows written in several blocks, the last one partly filled.
    pictures.push_back(sample(1001, 701, QImage::Format_RGB32));
    pictures.push_back(sample(9, 5, QImage::Format_ARGB32));  // laid on white
    pictures.push_back(sample(9, 5, QImage::Format_ARGB32_Premultiplied));
    pictures.push_back(sample(7, 4, QImage::Format_RGB888));
    pictures.push_back(sample(6, 4, QImage::Format_RGB16));
    pictures.push_back(sample(11, 3, QImage::Format_Grayscale8));
    pictures.push_back(sample(5, 5, QImage::Format_Indexed8));  // a palette
    pictures.push_back(sample(13, 2, QImage::Format_Mono));
    pictures.push_back(sample(13, 2, QImage::Format_MonoLSB));
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

TEST(BitmapFile, PictureDataCutShortIsRefusedBeforeItIsRead) {
    // 1,054 bytes whose header claims 16000 x 16000 at 32 bits a pixel.
    QByteArray lying = bitmapFileBytes(sample(16, 22, QImage::Format_RGB32)).left(1054);
    qToLittleEndian<qint32>(16000, lying.data() + 18);
    qToLittleEndian<qint32>(16000, lying.data() + 22);
    qToLittleEndian<quint16>(32, lying.data() + 28);
    EXPECT_TRUE(decodePicture(lying).isNull());
    QTemporaryDir dir;
    writeAll(dir.filePath("picture 4.jpeg"), lying);
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

TEST(CompoundText, EveryDesignatedSetIsDecodedAndTheRestReplaced) {
    // Latin-1 to begin with, then JIS X 0208 and ISO 8859-5 to the right,
    // GB 2312 to the left, KS C 5601, a UTF-8 segment, JIS X 0201.
    const DecodedText text = decodeCompoundText(
        "caf\xe9 \x1b$)B\xc6\xfc\xcb\xdc\x1b-L\xbf\xe0 \x1b$(A\x30\x21\x1b(B "
        "\x1b$)C\xb0\xa1 \x1b%Gh\xc3\xa9\x1b%@\x1b(J\\\x1b)I\xb1\n");
    EXPECT_TRUE(text.clean);
    EXPECT_EQ(QString::fromUtf8(text.utf8), QString::fromUtf8("café 日本Пр 啊 가 hé¥ｱ\n"));
    // A set that is not known, a character its set lacks, a cut-off escape.
    const DecodedText bad = decodeCompoundText(
        "\x1b-~\xa1\x1b$)B\xa9\xa1"
        "a\x1b$");
    EXPECT_FALSE(bad.clean);
    EXPECT_EQ(QString::fromUtf8(bad.utf8), QString::fromUtf8("\uFFFD\uFFFDa\uFFFD"));
}

}  // namespace
}  // namespace brimlet
