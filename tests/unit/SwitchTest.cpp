#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QFile>
#include <QMenu>
#include <QRadioButton>
#include <QTemporaryDir>

#include "Children.h"
#include "FakeHost.h"
#include "ui/MainWindow.h"
#include "widgets/ClickableLabel.h"

namespace brimlet {
namespace {

using testing::child;
using testing::FakeHost;

// The capture switch as the window works it: the option buttons, the label
// and the "Clipboard" menu, with the focus rule of the option buttons.
class SwitchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.load();
        window.capture().onCaptureTick();  // first tick: on, "On" selected
        host.calls.clear();
    }
    // The capture state, then the selected button.
    std::string state() const {
        return std::string(window.capture().isOn() ? "on" : "off") + (on->isChecked() ? ", On"
                                                                      : off->isChecked()
                                                                          ? ", Off"
                                                                          : ", none");
    }
    void trigger(const char* action) { child<QAction>(window, action)->trigger(); }
    void openCopyMenu() { emit child<QMenu>(window, "clipboardCopyMenu")->aboutToShow(); }

    QTemporaryDir dir;
    FakeHost host;
    MainWindow window{host, dir.path()};
    QRadioButton* on = child<QRadioButton>(window, "captureOnButton");
    QRadioButton* off = child<QRadioButton>(window, "captureOffButton");
};

TEST_F(SwitchTest, OptionButtonsFollowTheStateTable) {
    EXPECT_EQ(state(), "on, On");
    off->click();
    EXPECT_EQ(state(), "off, Off");
    EXPECT_TRUE(host.calls.isEmpty());
    host.text = "copied while off";
    on->click();
    EXPECT_EQ(state(), "on, On");
    EXPECT_FALSE(host.text.has_value()) << "turning on empties the clipboard";
    window.capture().onCaptureTick();
    EXPECT_FALSE(QFile::exists(dir.filePath("text 1.txt")));
}

TEST_F(SwitchTest, LabelTurnsCapturingOnAndLeavesOffSelectedAndTheClipboardAlone) {
    off->click();
    host.text = "copied while off";
    emit child<ClickableLabel>(window, "captureLabel")->clicked();
    EXPECT_EQ(state(), "on, Off");
    EXPECT_EQ(host.text, QString("copied while off"));
    window.capture().onCaptureTick();
    EXPECT_TRUE(QFile::exists(dir.filePath("text 1.txt"))) << "the next tick captures it";
    // From "on, Off": the menu's "On" selects On.
    trigger("captureOnAction");
    EXPECT_EQ(state(), "on, On");
}

TEST_F(SwitchTest, ClipboardMenuOpeningTurnsOnEvenWithoutAChoice) {
    off->click();
    host.text = "copied while off";
    openCopyMenu();
    EXPECT_EQ(state(), "on, On");
    EXPECT_FALSE(host.text.has_value());
    // Opening empties once, and "On" selected by the focus rule empties again.
    EXPECT_EQ(host.calls, (QStringList{"clear", "clear"}));

    host.calls.clear();
    openCopyMenu();
    trigger("captureOffAction");
    EXPECT_EQ(state(), "off, Off");
    openCopyMenu();
    trigger("captureOnAction");
    EXPECT_EQ(state(), "on, On");
}

TEST_F(SwitchTest, FirstTickInTheTraySelectsOnWithoutTakingTheFocus) {
    FakeHost other;
    MainWindow hidden(other, dir.path());
    hidden.load();
    hidden.hide();
    other.text = "copied before the first tick";
    hidden.capture().onCaptureTick();
    EXPECT_TRUE(child<QRadioButton>(hidden, "captureOnButton")->isChecked());
    EXPECT_TRUE(hidden.capture().isOn());
    EXPECT_FALSE(other.text.has_value());
    EXPECT_TRUE(other.messages().isEmpty());
}

}  // namespace
}  // namespace brimlet
