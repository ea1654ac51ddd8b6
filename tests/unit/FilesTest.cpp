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
#include <functional>

#include "files/Files.h"
#include "files/Picture.h"
#include "base/RuntimeError.h"

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
    }
}

}  // namespace
}  // namespace brimlet
