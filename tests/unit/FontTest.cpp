#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QAction>
#include <QTemporaryDir>

#include "ChooseEntry.h"
#include "FakeHost.h"
#include "format/Colors.h"
#include "ui/Controls.h"
#include "ui/Form1.h"
#include "ui/TextBox.h"

namespace brimlet {
namespace {

using testing::FakeHost;

class FontTest : public ::testing::Test {
  protected:
    void SetUp() override { form.Form_Load(); }
    void choose(ChoiceCombo* box, const QString& entry) {
        ASSERT_TRUE(testing::chooseEntry(box, entry)) << entry.toStdString();
    }
    QFont font() const { return form.Text1->font(); }
    std::uint32_t color() const { return colorValue(form.Text1->palette().color(QPalette::Text)); }
    QTemporaryDir dir;
    FakeHost host;
    Form1 form{host, dir.path()};
};

TEST(Colors, LowByteIsRed) {
    EXPECT_EQ(colorFromValue(kBlue), QColor(0, 0, 255));
    EXPECT_EQ(colorFromValue(kRed), QColor(255, 0, 0));
    EXPECT_EQ(colorValue(QColor(0, 0, 255)), 16711680u);
    EXPECT_EQ(colorValue(QColor(255, 0, 0)), 255u);
    EXPECT_EQ(colorValue(colorFromValue(0x123456)), 0x123456u);
}

TEST_F(FontTest, MenuItemsSetNameSizeStyleAndColour) {
    form.adfda->trigger();
    EXPECT_EQ(font().families().value(0), "Ms Gothic");
    form.twetny->trigger();
    EXPECT_DOUBLE_EQ(font().pointSizeF(), 24.0);
    form.eight->trigger();
    EXPECT_DOUBLE_EQ(font().pointSizeF(), 8.0);
    form.blue->trigger();
    EXPECT_EQ(color(), kBlue);
    form.redf->trigger();
    EXPECT_EQ(color(), kRed);
    form.blk->trigger();
    EXPECT_EQ(color(), kBlack);

    // The viewer starts bold, so "Italic" gives bold italic; only "Regular"
    // takes either away, and it takes both.
    form.itvs->trigger();
    EXPECT_TRUE(font().bold());
    EXPECT_TRUE(font().italic());
    form.reg->trigger();
    EXPECT_FALSE(font().bold());
    EXPECT_FALSE(font().italic());
    form.bold->trigger();
    EXPECT_TRUE(font().bold());
    EXPECT_FALSE(font().italic());
}

TEST_F(FontTest, ComboChoicesEqualTheMenuItems) {
    FakeHost otherHost;
    Form1 other(otherHost, dir.path());
    other.Form_Load();
    other.amprog->trigger();
    other.fourte->trigger();
    other.itvs->trigger();
    other.redf->trigger();

    choose(form.Combo4, "Amo Pro Caption");
    choose(form.Combo2, "14");
    choose(form.Combo1, "Italic");
    choose(form.Combo3, "Red");
    EXPECT_EQ(font(), other.Text1->font());
    EXPECT_EQ(color(), colorValue(other.Text1->palette().color(QPalette::Text)));

    choose(form.Combo1, "Regular");
    EXPECT_FALSE(font().bold());
    EXPECT_FALSE(font().italic());
    // The two ways do not update each other.
    EXPECT_EQ(other.Combo1->currentText(), "");
    EXPECT_EQ(form.Combo2->currentText(), "14");
}

TEST_F(FontTest, TheTextItselfIsNeverChanged) {
    form.Text1->setText("keep\r\nme");
    form.twe->trigger();
    form.blue->trigger();
    choose(form.Combo4, "MVSans");
    EXPECT_EQ(form.Text1->text(), "keep\r\nme");
}

}  // namespace
}  // namespace brimlet
