#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QTemporaryDir>

#include "Children.h"
#include "FakeHost.h"
#include "capture/CaptureEngine.h"
#include "tray/WindowStates.h"
#include "ui/MainWindow.h"
#include "widgets/ProgramWindows.h"

namespace brimlet {
namespace {

using testing::child;
using testing::FakeHost;

// The main window's tray icon and states, reached as the user reaches them:
// the icon's activations, the tray menu's items.
class TrayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.load();
        host.calls.clear();
    }
    void activate(QSystemTrayIcon::ActivationReason reason) {
        ASSERT_TRUE(host.trayActivated) << "no tray icon";
        host.trayActivated(reason);
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
    EXPECT_EQ(host.trayTip,
              QString::fromUtf8("Brimlet \u2014 ") + QDir::toNativeSeparators(dir.path()));
}

TEST_F(TrayTest, ClickAndDoubleClickRestoreAHiddenWindow) {
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}) {
        minimise();
        ASSERT_FALSE(window.isVisible()) << "minimising hides the window";
        activate(reason);
        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(window.isMinimized());
        EXPECT_EQ(host.calls.last(), "bringToFront");
    }
    host.calls.clear();
    activate(QSystemTrayIcon::Trigger);  // already shown: only brought to the front
    EXPECT_EQ(host.calls, QStringList{"bringToFront"});
}

TEST_F(TrayTest, TheContextClickBringsToFrontThenPopsUpTheTrayMenuAndOthersDoNothing) {
    window.hide();
    activate(QSystemTrayIcon::Context);
    EXPECT_EQ(host.calls, (QStringList{"bringToFront", "popup trayMenu"}));
    EXPECT_FALSE(window.isVisible()) << "the menu pops up without showing the window";
    host.calls.clear();
    activate(QSystemTrayIcon::MiddleClick);
    activate(QSystemTrayIcon::Unknown);
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
