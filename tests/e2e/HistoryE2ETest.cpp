#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QFile>
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

}  // namespace
}  // namespace brimlet::e2e
