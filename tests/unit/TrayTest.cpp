#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QTemporaryDir>

#include "Children.h"
#include "FakeHost.h"
#include "capture/CaptureEngine.h"
#include "host/TrayNotifyEvent.h"
#include "host/TrayRecord.h"
#include "tray/WindowStates.h"
#include "ui/MainWindow.h"
#include "widgets/ProgramWindows.h"

namespace brimlet {
namespace {

using testing::child;
using testing::FakeHost;

TEST(TrayRecord, IsTheEightyEightByteImage) {
    const QByteArray bytes = makeTrayRecord(0x01020304, 0xA0B0C0D0, "/home/ann/Brimlet").bytes();
    ASSERT_EQ(bytes.size(), 88);
    const QByteArray head = QByteArray::fromHex(
        "58000000"    // cbSize 88
        "04030201"    // hWnd
        "01000000"    // uID 1
        "07000000"    // message + icon + tip
        "00020000"    // callback message 512
        "d0c0b0a0");  // hIcon
    EXPECT_EQ(bytes.left(24), head);
    const QByteArray tip = "Brimlet \xe2\x80\x94 /home/ann/Brimlet";  // 29 bytes of UTF-8
    EXPECT_EQ(bytes.mid(24, 30), tip + '\0');
    EXPECT_EQ(bytes.mid(54), QByteArray(34, ' '));
    EXPECT_EQ(makeTrayRecord(1, 2, "/home/ann/Brimlet").tipText(),
              QString::fromUtf8("Brimlet \u2014 /home/ann/Brimlet"));
}

TEST(TrayRecord, ALongFolderIsShortenedFromTheLeftWithoutCuttingACharacter) {
    // 39 two-byte letters: more than the field holds. Of the two ends, one
    // leaves room for a whole number of them, the other half a letter.
    const QString folder = "/" + QString(39, QChar(0x00E9));
    for (const QString& end : {QString("/end"), QString("/ends")}) {
        const QString name = folder + end;
        const TrayRecord record = makeTrayRecord(1, 2, name);
        const QByteArray bytes = record.bytes().mid(24);
        const qsizetype nul = bytes.indexOf('\0');
        ASSERT_GE(nul, 0);
        EXPECT_LE(nul, 63);
        EXPECT_GE(nul, 62) << "no more room wasted than one character's width";
        EXPECT_EQ(bytes.mid(nul + 1), QByteArray(63 - nul, ' '));
        const QString text = record.tipText();
        EXPECT_TRUE(text.startsWith(QString::fromUtf8("Brimlet \u2014 \u2026")))
            << text.toStdString();
        EXPECT_TRUE(text.endsWith(QString(QChar(0x00E9)) + end));
        EXPECT_EQ(text.toUtf8(), bytes.left(nul)) << "valid UTF-8, no character cut";
    }
}

TEST(TrayRecord, NotificationsDecodeRoundingHalfToEven) {
    EXPECT_EQ(decodeTrayNotification(514 * 15.0, kScaleTwips, 15.0), 514);
    EXPECT_EQ(decodeTrayNotification(514.5 * 15.0, kScaleTwips, 15.0), 514);
    EXPECT_EQ(decodeTrayNotification(515.5 * 15.0, kScaleTwips, 15.0), 516);
    EXPECT_EQ(decodeTrayNotification(517.4, kScalePixels, 15.0), 517);
    EXPECT_EQ(decodeTrayNotification(514 * 10.0, kScaleTwips, 10.0), 514);  // 144 dpi
}

// The main window's tray icon and states, reached as the user reaches them:
// notifications delivered to the window, the tray menu's items.
class TrayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.load();
        host.calls.clear();
    }
    void notify(int code) {
        TrayNotifyEvent event(code);
        QApplication::sendEvent(&window, &event);
    }
    void minimise() {
        window.showMinimized();
        states.onResize();
    }
    QTemporaryDir dir;
    FakeHost host;
    MainWindow window{host, dir.path()};
    WindowStates& states = window.windowStates();
};

TEST_F(TrayTest, TheTipNamesTheCaptureFolder) {
    EXPECT_EQ(states.trayRecord().tipText(),
              QString::fromUtf8("Brimlet \u2014 ") + QDir::toNativeSeparators(dir.path()));
}

TEST_F(TrayTest, LeftReleaseAndDoubleClickRestoreAHiddenWindow) {
    for (int code : {kLeftUp, kLeftDoubleClick}) {
        minimise();
        ASSERT_FALSE(window.isVisible()) << "minimising hides the window";
        notify(code);
        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(window.isMinimized());
        EXPECT_EQ(host.calls.last(), "bringToFront");
    }
    host.calls.clear();
    notify(kLeftUp);  // already shown: only brought to the front
    EXPECT_EQ(host.calls, QStringList{"bringToFront"});
}

TEST_F(TrayTest, RightReleaseBringsToFrontThenPopsUpTheTrayMenu) {
    window.hide();
    notify(kRightUp);
    EXPECT_EQ(host.calls, (QStringList{"bringToFront", "popup trayMenu"}));
    EXPECT_FALSE(window.isVisible()) << "the menu pops up without showing the window";
}

TEST_F(TrayTest, OtherNotificationsAndRealPointerMovesDoNothing) {
    for (int code : {kMouseMove, kLeftDown, kRightDown, kRightDoubleClick, kMiddleDown, kMiddleUp})
        notify(code);
    // Real moves across the window where x in pixels passes 514 and 517.
    window.resize(window.size());
    for (int x : {514, 517, 520}) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 20), window.mapToGlobal(QPointF(x, 20)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &move);
        QApplication::sendEvent(window.centralWidget(), &move);
    }
    EXPECT_TRUE(host.calls.isEmpty());
}

TEST_F(TrayTest, MinimisingWithoutATrayLeavesTheWindowInTheTaskbar) {
    host.trayShown = false;
    minimise();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
}

TEST_F(TrayTest, TrayMenuRestoreAndExit) {
    minimise();
    child<QAction>(window, "trayRestoreAction")->trigger();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());

    window.hide();
    child<QAction>(window, "trayExitAction")->trigger();  // works while the window is hidden
    EXPECT_FALSE(isLoaded(&window));
    EXPECT_EQ(host.calls.last(), "tray remove");
    EXPECT_FALSE(window.capture().isOn());
}

}  // namespace
}  // namespace brimlet
