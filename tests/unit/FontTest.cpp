#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QAction>
#include <QTemporaryDir>

#include "Children.h"
#include "ChooseEntry.h"
#include "FakeHost.h"
#include "format/Colors.h"
#include "ui/MainWindow.h"
#include "widgets/ChoiceComboBox.h"
#include "widgets/TextBox.h"

namespace brimlet {
namespace {

using testing::child;
using testing::FakeHost;

class FontTest : public ::testing::Test {
  protected:
    void SetUp() override { window.load(); }
    void choose(const char* box, const QString& entry) {
        ASSERT_TRUE(testing::chooseEntry(child<ChoiceComboBox>(window, box), entry))
            << entry.toStdString();
    }
    void trigger(const char* action) { child<QAction>(window, action)->trigger(); }
    QFont font() const { return viewer->font(); }
    std::uint32_t color() const { return colorValue(viewer->palette().color(QPalette::Text)); }
    QTemporaryDir dir;
    FakeHost host;
    MainWindow window{host, dir.path()};
    TextBox* viewer = child<TextBox>(window, "textViewer");
};

TEST(Colors, LowByteIsRed) {
    EXPECT_EQ(colorFromValue(kBlue), QColor(0, 0, 255));
    EXPECT_EQ(colorFromValue(kRed), QColor(255, 0, 0));
    EXPECT_EQ(colorValue(QColor(0, 0, 255)), 16711680u);
    EXPECT_EQ(colorValue(QColor(255, 0, 0)), 255u);
    EXPECT_EQ(colorValue(colorFromValue(0x123456)), 0x123456u);
}

TEST_F(FontTest, MenuItemsSetNameSizeStyleAndColour) {
    trigger("fontMsGothicAction");
    EXPECT_EQ(font().families().value(0), "Ms Gothic");
    trigger("fontSize24Action");
    EXPECT_DOUBLE_EQ(font().pointSizeF(), 24.0);
    trigger("fontSize8Action");
    EXPECT_DOUBLE_EQ(font().pointSizeF(), 8.0);
    trigger("colorBlueAction");
    EXPECT_EQ(color(), kBlue);
    trigger("colorRedAction");
    EXPECT_EQ(color(), kRed);
    trigger("colorBlackAction");
    EXPECT_EQ(color(), kBlack);

    // The viewer starts bold, so "Italic" gives bold italic; only "Regular"
    // takes either away, and it takes both.
    trigger("styleItalicAction");
    EXPECT_TRUE(font().bold());
    EXPECT_TRUE(font().italic());
    trigger("styleRegularAction");
    EXPECT_FALSE(font().bold());
    EXPECT_FALSE(font().italic());
    trigger("styleBoldAction");
    EXPECT_TRUE(font().bold());
    EXPECT_FALSE(font().italic());
}

TEST_F(FontTest, ComboChoicesEqualTheMenuItems) {
    FakeHost otherHost;
    MainWindow other(otherHost, dir.path());
    other.load();
    for (const char* item :
         {"fontAmoProCaptionAction", "fontSize14Action", "styleItalicAction", "colorRedAction"}) {
        child<QAction>(other, item)->trigger();
    }
    const TextBox* otherViewer = child<TextBox>(other, "textViewer");

    choose("fontBox", "Amo Pro Caption");
    choose("fontSizeBox", "14");
    choose("fontStyleBox", "Italic");
    choose("fontColorBox", "Red");
    EXPECT_EQ(font(), otherViewer->font());
    EXPECT_EQ(color(), colorValue(otherViewer->palette().color(QPalette::Text)));

    choose("fontStyleBox", "Regular");
    EXPECT_FALSE(font().bold());
    EXPECT_FALSE(font().italic());
    // The two ways do not update each other.
    EXPECT_EQ(child<ChoiceComboBox>(other, "fontStyleBox")->currentText(), "");
    EXPECT_EQ(child<ChoiceComboBox>(window, "fontSizeBox")->currentText(), "14");
}

TEST_F(FontTest, TheTextItselfIsNeverChanged) {
    viewer->setText("keep\r\nme");
    trigger("fontSize12Action");
    trigger("colorBlueAction");
    choose("fontBox", "MVSans");
    EXPECT_EQ(viewer->text(), "keep\r\nme");
}

}  // namespace
}  // namespace brimlet
