#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QFile>
#include <QMenu>
#include <QRadioButton>
#include <QTemporaryDir>

#include "FakeHost.h"
#include "ui/Controls.h"
#include "ui/Form1.h"

namespace brimlet {
namespace {

using testing::FakeHost;

class SwitchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form.Form_Load();
        form.Timer1_Timer();  // first tick: on, "On" selected
        host.calls.clear();
    }
    // capture state, then the selected option
    std::string state() const {
        return std::string(form.timer1Enabled() ? "on" : "off") +
               (form.Option1->isChecked()   ? ", On"
                : form.Option2->isChecked() ? ", Off"
                                            : ", none");
    }
    QTemporaryDir dir;
    FakeHost host;
    Form1 form{host, dir.path()};
};

TEST_F(SwitchTest, OptionButtonsFollowTheStateTable) {
    EXPECT_EQ(state(), "on, On");
    form.Option2->click();
    EXPECT_EQ(state(), "off, Off");
    EXPECT_TRUE(host.calls.isEmpty());
    host.text = "copied while off";
    form.Option1->click();
    EXPECT_EQ(state(), "on, On");
    EXPECT_FALSE(host.text.has_value()) << "turning on empties the clipboard";
    form.Timer1_Timer();
    EXPECT_FALSE(QFile::exists(dir.filePath("text 1.txt")));
}

TEST_F(SwitchTest, LabelTurnsCapturingOnAndLeavesOffSelectedAndTheClipboardAlone) {
    form.Option2->click();
    host.text = "copied while off";
    emit form.Label1->clicked();
    EXPECT_EQ(state(), "on, Off");
    EXPECT_EQ(host.text, QString("copied while off"));
    form.Timer1_Timer();
    EXPECT_TRUE(QFile::exists(dir.filePath("text 1.txt"))) << "the next tick captures it";
    // From "on, Off": "On" selects On, the menu's "Off" turns it off.
    form.clipoff->trigger();
    EXPECT_EQ(state(), "on, On");
}

TEST_F(SwitchTest, ClipboardMenuOpeningTurnsOnEvenWithoutAChoice) {
    form.Option2->click();
    host.text = "copied while off";
    form.clon_Click();  // what opening "Copy " runs
    EXPECT_EQ(state(), "on, On");
    EXPECT_FALSE(host.text.has_value());
    // Opening empties once, and "On" selected by the focus rule empties again.
    EXPECT_EQ(host.calls, (QStringList{"clear", "clear"}));

    host.calls.clear();
    form.clon_Click();
    form.offf->trigger();
    EXPECT_EQ(state(), "off, Off");
    form.clon_Click();
    form.clipoff->trigger();
    EXPECT_EQ(state(), "on, On");
}

TEST_F(SwitchTest, OpeningTheSubmenuRunsItsHeaderAction) {
    form.Option2->click();
    emit form.clon->aboutToShow();
    EXPECT_EQ(state(), "on, On");
}

TEST_F(SwitchTest, FirstTickInTheTraySelectsOnWithoutTakingTheFocus) {
    FakeHost other;
    Form1 hidden(other, dir.path());
    hidden.Form_Load();
    hidden.hide();
    other.text = "copied before the first tick";
    hidden.Timer1_Timer();
    EXPECT_TRUE(hidden.Option1->isChecked());
    EXPECT_TRUE(hidden.timer1Enabled());
    EXPECT_FALSE(other.text.has_value());
    EXPECT_TRUE(other.messages().isEmpty());
}

}  // namespace
}  // namespace brimlet
