#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdio>

#include "XSession.h"
#include "host/x11/XClipboardReader.h"

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
    Brimlet brimlet(dir.path(), Brimlet::Trace::On);
    ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
    EXPECT_TRUE(waitUntil([] { return clipboardEmpty(); }));
    ASSERT_TRUE(captureProbe(dir.path(), "text 1.txt"));

    brimlet.skipTraces();
    brimlet.clickAt(2760 + 120, 4320 + 120);  // "Off"
    // The press gives "Off" the focus; the release, handled with it, turns
    // capturing off before the program looks at the clipboard again.
    ASSERT_EQ(brimlet.nextTrace("focus "), QString("Clipboard Copy Off"))
        << "the click was not handled";
    copyToClipboard("copied while off");
    // Three ticks' time: capturing is off.
    EXPECT_TRUE(staysTrue(
        [&] { return clipboardText().out == "copied while off" && !exists("text 2.txt"); },
        std::chrono::milliseconds(1500)));
    EXPECT_EQ(clipboardText().out, QByteArray("copied while off"));
    EXPECT_FALSE(exists("text 2.txt"));

    brimlet.clickAt(1920 + 120, 4320 + 120);  // "On" empties the clipboard first
    EXPECT_TRUE(waitUntil([] { return clipboardEmpty(); }));
    // The emptied clipboard is not captured in the ticks that follow.
    EXPECT_TRUE(staysTrue([&] { return !exists("text 2.txt"); }, std::chrono::milliseconds(1200)));
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

TEST_F(ShellE2E, SecondBrimletInTheSameFolderBringsTheFirstBackAndEnds) {
    Desktop desktop;
    Brimlet first(dir.path());
    ASSERT_TRUE(first.waitForWindow());
    ASSERT_TRUE(captureProbe(dir.path(), "text 1.txt"));
    const QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    const QString main = first.mainWindow();
    ASSERT_TRUE(waitUntil([&] { return !first.trayIconWindow().isEmpty(); })) << "no tray icon";
    runTool("xdotool", {"windowminimize", main});
    ASSERT_TRUE(waitUntil([&] { return !isMapped(main); })) << "minimising did not hide";

    Brimlet second(dir.path());
    int exitCode = -1;
    ASSERT_TRUE(second.waitForExit(&exitCode));
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(second.output().contains("already running in " + dir.path().toUtf8()));
    EXPECT_TRUE(waitUntil([&] { return isMapped(main); })) << "the first stayed in the tray";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), before);

    // Where the first cannot be reached, a message says it runs.
    for (const QFileInfo& socket :
         QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).entryInfoList({"brimlet-*"}, QDir::System))
        QFile::remove(socket.filePath());
    Brimlet third(dir.path());
    QString box;
    ASSERT_TRUE(waitUntil([&] { return !(box = third.mainWindow()).isEmpty(); }));
    EXPECT_LT(geometryOf(box).width, 500) << "a message, not a main window";
    ASSERT_TRUE(dismiss(box));
    ASSERT_TRUE(third.waitForExit(&exitCode));
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), before);

    copyToClipboard("the first still captures");
    EXPECT_TRUE(waitUntil([&] { return exists("text 2.txt"); }));
}

TEST_F(ShellE2E, ACopyBackOutlivesTheProgramUntilAnotherProgramCopies) {
    // A clipboard manager that never answers costs a second, not the copy.
    QProcess manager;
    manager.start(QStringLiteral(CLIPBOARD_OWNER), {"--silent-manager"});
    ASSERT_TRUE(manager.waitForReadyRead(10000));
    writeFile(dir.filePath("memo.txt"), "kept after the end\r\n");
    Brimlet brimlet(dir.path());
    ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
    ASSERT_TRUE(captureProbe(dir.path(), "text 1.txt"));
    const QString box = copyFirstTextEntryBack(brimlet);  // memo.txt
    ASSERT_FALSE(box.isEmpty()) << "no message";
    ASSERT_TRUE(dismiss(box));
    ASSERT_TRUE(waitUntil([&] { return brimlet.visibleWindowNamed("Text Copy").isEmpty(); }));

    const auto start = std::chrono::steady_clock::now();
    brimlet.clickMenuBar(272);  // "Exit", the last item of the menu bar
    int exitCode = -1;
    ASSERT_TRUE(brimlet.waitForExit(&exitCode));
    const long long took = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
    std::printf("[ measured ] Exit beside a silent clipboard manager: %lld ms\n", took);
    EXPECT_LT(took, 4000) << "Qt alone waits 5 s";
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(
        brimlet.output().startsWith("brimlet: capturing into " + dir.path().toUtf8() + "\n"))
        << brimlet.output().toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(".brimlet.lock")));
    EXPECT_EQ(clipboardText().out, QByteArray("kept after the end"));
    EXPECT_EQ(brimletProcessesOnThisDisplay().size(), 1) << "one holder serves the copy";

    copyToClipboard("copied in another program");
    EXPECT_TRUE(waitUntil([] { return brimletProcessesOnThisDisplay().isEmpty(); }))
        << "the holder stays after another program copied";
    EXPECT_EQ(clipboardText().out, QByteArray("copied in another program"));
}

TEST_F(ShellE2E, TheEndOfASessionEndsBrimletAsExitDoesAndKeepsALargeCopyBack) {
    // Far more than a pipe holds: the holder gets it as a file.
    const QByteArray big = "kept after the session\r\n" + QByteArray(24 << 20, 'k') + "\r\n";
    writeFile(dir.filePath("big.txt"), big);
    const QDir runtime(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    int run = 0;
    for (const int signal : {SIGHUP, SIGTERM}) {
        Brimlet brimlet(dir.path());
        ASSERT_TRUE(brimlet.waitForWindow());
        ASSERT_TRUE(captureProbe(dir.path(), QString("text %1.txt").arg(++run)));
        ASSERT_FALSE(copyFirstTextEntryBack(brimlet).isEmpty());  // its message stays open
        ::kill(static_cast<pid_t>(brimlet.pid()), signal);
        int exitCode = -1;
        ASSERT_TRUE(brimlet.waitForExit(&exitCode));
        EXPECT_EQ(exitCode, 0) << signal;
        EXPECT_FALSE(exists(".brimlet.lock")) << signal;
        EXPECT_EQ(runtime.entryList({"brimlet-*"}, QDir::System), QStringList()) << signal;
        EXPECT_TRUE(waitUntil([&] { return clipboardText().out == big.chopped(2); })) << signal;
        // A paste under way gets the whole copy, though the clipboard is
        // emptied after its first piece.
        XClipboardReader paste;
        paste.beginLook(std::chrono::seconds(5), std::chrono::seconds(10));
        QByteArray pasted;
        EXPECT_TRUE(paste.readInPieces("UTF8_STRING", [&](QByteArrayView piece) {
            if (pasted.isEmpty()) {
                paste.clear();
                QThread::msleep(100);  // the holder has seen it by now
            }
            pasted += piece;
            return true;
        })) << signal;
        EXPECT_TRUE(pasted == big.chopped(2)) << signal << ": " << pasted.size() << " bytes";
        // With the paste done, the holder ends, here before the next start.
        copyToClipboard("copied in another program");
        EXPECT_TRUE(waitUntil([] { return brimletProcessesOnThisDisplay().isEmpty(); })) << signal;
    }
}

}  // namespace
}  // namespace brimlet::e2e
