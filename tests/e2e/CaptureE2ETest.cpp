#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>

#include "XSession.h"

namespace brimlet::e2e {
namespace {

class CaptureE2E : public ::testing::Test {
  protected:
    QString at(const QString& name) const { return dir.filePath(name); }
    bool exists(const QString& name) const { return QFile::exists(at(name)); }
    bool clipboardEmpty() const { return clipboardText().exitCode != 0; }
    // The counter file is rewritten just after the capture file appears.
    bool counterFileHolds(const QByteArray& bytes) const {
        return waitUntil([&] { return readFile(at("pikcounter.txt")) == bytes; });
    }

    QTemporaryDir dir;
};

TEST_F(CaptureE2E, CapturesTextAndPicturesFromTheRealClipboardAndEmptiesIt) {
    copyToClipboard("copied before the start");
    Brimlet brimlet(dir.path());
    ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
    ASSERT_TRUE(captureProbe(dir.path(), "text 1.txt"));

    copyToClipboard("hello\nw\xC3\xB6rld");
    ASSERT_TRUE(waitUntil([&] { return exists("text 2.txt"); }));
    EXPECT_EQ(readFile(at("text 2.txt")), QByteArray("hello\nw\xC3\xB6rld\r\n"));
    EXPECT_TRUE(counterFileHolds("0,2\r\n"));
    EXPECT_TRUE(waitUntil([&] { return clipboardEmpty(); }));

    QImage png(64, 48, QImage::Format_ARGB32);
    png.fill(QColor(200, 30, 40));
    copyToClipboard(encoded(png, "PNG"), "image/png");
    ASSERT_TRUE(waitUntil([&] { return exists("picture 1.jpeg"); }));
    const QByteArray bmp = readFile(at("picture 1.jpeg"));
    ASSERT_GT(bmp.size(), 54);
    EXPECT_EQ(bmp.left(2), QByteArray("BM"));
    EXPECT_EQ(static_cast<int>(bmp[28]), 24) << "bits per pixel";
    const QImage back = QImage::fromData(bmp, "BMP");
    EXPECT_EQ(back.size(), QSize(64, 48));
    EXPECT_EQ(back.pixel(10, 10), qRgb(200, 30, 40));
    EXPECT_TRUE(counterFileHolds("1,2\r\n"));
    EXPECT_TRUE(waitUntil([&] { return clipboardEmpty(); }));

    // A picture offered only as WebP is a picture too.
    QImage webp(20, 10, QImage::Format_RGB32);
    webp.fill(QColor(0, 0, 255));
    copyToClipboard(encoded(webp, "WEBP"), "image/webp");
    ASSERT_TRUE(waitUntil([&] { return exists("picture 2.jpeg"); }));
    EXPECT_EQ(QImage::fromData(readFile(at("picture 2.jpeg")), "BMP").size(), QSize(20, 10));
    EXPECT_TRUE(counterFileHolds("2,2\r\n"));

    // Nothing else: not the text from before the start, no temporary files;
    // not even a lock: that lives in the runtime folder, where a
    // synchroniser never carries it to another machine.
    const QStringList all = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    EXPECT_EQ(all, (QStringList{"picture 1.jpeg", "picture 2.jpeg", "pikcounter.txt", "text 1.txt",
                                "text 2.txt"}));
}

TEST_F(CaptureE2E, CopiesATenthOfASecondApartAreAllKept) {
    Brimlet brimlet(dir.path());
    ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
    ASSERT_TRUE(captureProbe(dir.path(), "text 1.txt"));
    for (int i = 0; i < 8; ++i) {
        copyToClipboard("quick " + QByteArray::number(i));
        // The pace under test, kept on purpose: a copy every tenth of a
        // second, not a wait for anything the program does.
        QThread::msleep(100);
    }
    ASSERT_TRUE(waitUntil([&] { return exists("text 9.txt"); }));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(readFile(at(QString("text %1.txt").arg(i + 2))),
                  "quick " + QByteArray::number(i) + "\r\n");
    }
}

// Numbers go on past 32767.
TEST_F(CaptureE2E, RestartNumbersOnFromTheCounterFile) {
    writeFile(at("pikcounter.txt"), "0,32766\r\n");
    {
        Brimlet brimlet(dir.path());
        ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
        ASSERT_TRUE(captureProbe(dir.path(), "text 32767.txt"));
        copyToClipboard("second");
        ASSERT_TRUE(waitUntil([&] { return exists("text 32768.txt"); }));
        EXPECT_TRUE(counterFileHolds("0,32768\r\n"));
    }
    Brimlet again(dir.path());
    ASSERT_TRUE(again.waitForWindow()) << again.output().toStdString();
    ASSERT_TRUE(captureProbe(dir.path(), "text 32769.txt"));
    EXPECT_EQ(readFile(at("text 32768.txt")), QByteArray("second\r\n"));
    EXPECT_TRUE(counterFileHolds("0,32769\r\n"));
}

TEST_F(CaptureE2E, LeaveCopiesCapturesEachCopyOnceAndKeepsItOnTheClipboard) {
    copyToClipboard("copied before the start");
    Brimlet brimlet(dir.path(), Brimlet::Trace::Off, {"--leave-copies"});
    ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
    // A probe copied before start-up passed over the clipboard is never
    // captured: it is copied again.
    ASSERT_TRUE(waitUntil([&] {
        copyToClipboard("probe");
        return waitUntil([&] { return exists("text 1.txt"); }, std::chrono::seconds(3));
    }));
    for (const QByteArray n : {"2", "3"}) {
        copyToClipboard("copy " + n);
        ASSERT_TRUE(waitUntil([&] { return exists("text " + n + ".txt"); }));
        const QString again = QString("text %1.txt").arg(n.toInt() + 1);
        // Three ticks: it is not captured again, and it stays on the clipboard.
        EXPECT_TRUE(staysTrue([&] { return !exists(again) && clipboardText().out == "copy " + n; },
                              std::chrono::milliseconds(1500)));
        EXPECT_EQ(clipboardText().out, "copy " + n);
        EXPECT_TRUE(counterFileHolds("0," + n + "\r\n"));
    }
    EXPECT_EQ(readFile(at("text 1.txt")), QByteArray("probe\r\n"));
}

}  // namespace
}  // namespace brimlet::e2e
