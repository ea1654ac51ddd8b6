#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "XSession.h"

namespace brimlet::e2e {
namespace {

TEST(HistoryE2E, CopyTextPutsTheSelectedFileBackAndLaterCopiesStayOnTheClipboard) {
    QTemporaryDir dir;
    writeFile(dir.filePath("memo.txt"), "line one\nstill one\rline two\r\n");
    Brimlet brimlet(dir.path());
    ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
    ASSERT_TRUE(captureProbe(dir.path(), "text 1.txt"));

    const QString box = copyFirstTextEntryBack(brimlet);  // memo.txt
    ASSERT_FALSE(box.isEmpty()) << "no message";
    // What was copied, without the line end that its file adds.
    EXPECT_EQ(clipboardText().out, QByteArray("line one\nstill one\r\nline two"));

    ASSERT_TRUE(dismiss(box));
    EXPECT_TRUE(waitUntil([&] { return brimlet.visibleWindowNamed("Text Copy").isEmpty(); }));

    copyToClipboard("copied in another program");
    // Three ticks' time: capturing is off, so the copy stays and no file comes.
    EXPECT_TRUE(staysTrue(
        [&] {
            return clipboardText().out == "copied in another program" &&
                   !QFile::exists(dir.filePath("text 2.txt"));
        },
        std::chrono::milliseconds(1500)));
    EXPECT_EQ(clipboardText().out, QByteArray("copied in another program"));
    EXPECT_FALSE(QFile::exists(dir.filePath("text 2.txt")))
        << readFile(dir.filePath("text 2.txt")).toStdString();
}

// In a folder of years the window shows before its lists are filled; a
// click on a list as soon as the window is there acts on its entries.
TEST(HistoryE2E, AClickAsSoonAsTheWindowShowsActsOnTheListedEntries) {
    QTemporaryDir dir;
    QImage blue(4, 3, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    ASSERT_TRUE(blue.save(dir.filePath("picture 1.jpeg"), "BMP"));
    for (int i = 2; i <= 30000; ++i) {
        for (const char* name : {"picture %1.jpeg", "text %1.txt"}) {
            ASSERT_TRUE(
                QFile(dir.filePath(QString::fromLatin1(name).arg(i))).open(QIODevice::WriteOnly));
        }
    }
    Brimlet brimlet(dir.path(), Brimlet::Trace::On);
    ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
    brimlet.clickAt(5520 + 300, 2280 + 100);  // the picture list's first entry
    EXPECT_EQ(brimlet.nextTrace("shows "), "picture 1.jpeg");
}

}  // namespace
}  // namespace brimlet::e2e
