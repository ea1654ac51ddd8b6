#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QTextBlock>

#include "ui/TextBox.h"

namespace brimlet {
namespace {

TEST(TextBox, GivesBackExactlyWhatWasSetUntilEdited) {
    TextBox box;
    const QString text = "one\r\ntwo\nthree\rfour";
    box.setText(text);
    EXPECT_EQ(box.text(), text);
    EXPECT_FALSE(box.isReadOnly());
    box.moveCursor(QTextCursor::End);
    box.insertPlainText("!\nnew");
    EXPECT_TRUE(box.text().endsWith("four!\r\nnew"));
}

TEST(TextBox, ShowsVeryLongLinesInPiecesAndKeepsTheTextWhole) {
    TextBox box;
    QString text(3 * TextBox::kLongLine + 5, QLatin1Char('x'));
    text += "\r\nshort";
    box.setText(text);
    EXPECT_TRUE(box.isReadOnly());
    EXPECT_EQ(box.text(), text);
    EXPECT_EQ(box.document()->blockCount(), 5);  // four pieces, then "short"
    EXPECT_EQ(box.document()->firstBlock().length() - 1, TextBox::kLongLine);

    box.setText("short again");
    EXPECT_FALSE(box.isReadOnly());
    EXPECT_EQ(box.document()->blockCount(), 1);
}

TEST(TextBox, ShowsTheStartOfAHugeTextAndKeepsItWhole) {
    TextBox box;
    QString text;
    while (text.size() <= TextBox::kShownLimit + 100) text += "line of a huge text\n";
    box.setText(text);
    EXPECT_TRUE(box.isReadOnly());
    EXPECT_EQ(box.text(), text);
    const QString shown = box.toPlainText();
    EXPECT_LT(shown.size(), TextBox::kShownLimit + 200);
    EXPECT_TRUE(shown.startsWith("line of a huge text\nline of"));
    EXPECT_TRUE(shown.contains("more characters are not shown here"));
}

}  // namespace
}  // namespace brimlet
