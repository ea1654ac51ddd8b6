#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "XSession.h"

namespace brimlet::e2e {
namespace {

class ShellE2E : public ::testing::Test {
  protected:
    bool exists(const QString& name) const { return QFile::exists(dir.filePath(name)); }
    static bool clipboardEmpty() { return clipboardText().exitCode != 0; }

    QTemporaryDir dir;
};

TEST_F(ShellE2E, StartUpEmptiesTheClipboardAndOffLeavesCopiesAlone) {
    copyToClipboard("there before the start");
    Brimlet brimlet(dir.path());
    ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
    EXPECT_TRUE(waitUntil([] { return clipboardEmpty(); }));
    ASSERT_TRUE(captureProbe(dir.path(), "text 1.txt"));

    brimlet.clickAt(2760 + 120, 4320 + 120);  // "Off"
    QThread::msleep(300);
    copyToClipboard("copied while off");
    QThread::msleep(1500);  // three ticks' time
    EXPECT_EQ(clipboardText().out, QByteArray("copied while off"));
    EXPECT_FALSE(exists("text 2.txt"));

    brimlet.clickAt(1920 + 120, 4320 + 120);  // "On" empties the clipboard first
    EXPECT_TRUE(waitUntil([] { return clipboardEmpty(); }));
    QThread::msleep(1200);
    EXPECT_FALSE(exists("text 2.txt"));
}

TEST_F(ShellE2E, TrayIconRestoresTheMinimisedWindow) {
    Desktop desktop;
    Brimlet brimlet(dir.path());
    ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
    QString icon;
    ASSERT_TRUE(waitUntil([&] { return !(icon = brimlet.trayIconWindow()).isEmpty(); }))
        << "no tray icon";
    const QString main = brimlet.mainWindow();

    runTool("xdotool", {"windowminimize", main});
    ASSERT_TRUE(waitUntil([&] { return !isMapped(main); })) << "minimising did not hide";
    EXPECT_TRUE(isMapped(icon)) << "the icon stays";

    runTool("xdotool", {"mousemove", "--window", icon, "8", "8", "click", "1"});
    EXPECT_TRUE(waitUntil([&] { return isMapped(main); })) << "the icon did not restore";
}

TEST_F(ShellE2E, SecondBrimletInTheSameFolderSaysSoAndEnds) {
    Brimlet first(dir.path());
    ASSERT_TRUE(first.waitForWindow());
    ASSERT_TRUE(captureProbe(dir.path(), "text 1.txt"));
    const QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);

    Brimlet second(dir.path());
    QString box;
    ASSERT_TRUE(waitUntil([&] { return !(box = second.mainWindow()).isEmpty(); }));
    EXPECT_LT(geometryOf(box).width, 500) << "a message, not a main window";
    runTool("xdotool", {"windowfocus", "--sync", box});
    runTool("xdotool", {"key", "Return"});
    int exitCode = 0;
    ASSERT_TRUE(second.waitForExit(&exitCode));
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), before);

    copyToClipboard("the first still captures");
    EXPECT_TRUE(waitUntil([&] { return exists("text 2.txt"); }));
}

}  // namespace
}  // namespace brimlet::e2e
