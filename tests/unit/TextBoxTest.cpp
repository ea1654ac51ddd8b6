#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>

#include "widgets/TextBox.h"

namespace brimlet {
namespace {

// Where two long texts first differ (-1: they are equal), for short failure
// messages.
qsizetype firstDifference(const QString& a, const QString& b) {
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (a[i] != b[i]) return i;
    }
    return a.size() == b.size() ? -1 : common;
}

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

TEST(TextBox, ShowsVeryLongLinesInPiecesYetEditsThemAsOneLine) {
    TextBox box;
    const qsizetype piece = TextBox::kPieceLength;
    QString text(3 * piece + 5, QLatin1Char('x'));
    text[piece - 1] = QLatin1Char('a');  // ends the first piece
    text[piece] = QLatin1Char('b');      // starts the second
    text += "\r\nshort";
    box.setText(text);
    EXPECT_FALSE(box.isReadOnly());
    EXPECT_EQ(firstDifference(box.text(), text), -1);
    EXPECT_EQ(box.document()->blockCount(), 5);  // four pieces, then "short"
    EXPECT_EQ(box.document()->firstBlock().length() - 1, piece);

    // Backspace at the start of a piece deletes the character before the
    // display break; Delete at the end of one deletes the one after it.
    QTextCursor at(box.document()->findBlockByNumber(1));
    box.setTextCursor(at);
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(&box, &backspace);
    QString expected = text;
    expected.remove(piece - 1, 1);
    EXPECT_EQ(firstDifference(box.text(), expected), -1);
    at = QTextCursor(box.document()->firstBlock());
    at.movePosition(QTextCursor::EndOfBlock);
    box.setTextCursor(at);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(&box, &del);
    expected.remove(piece - 1, 1);
    EXPECT_EQ(firstDifference(box.text(), expected), -1);

    // Enter inside a piece and a pasted line end are real breaks; undo
    // takes them back.
    at = QTextCursor(box.document()->findBlockByNumber(2));
    at.movePosition(QTextCursor::NextCharacter);
    box.setTextCursor(at);
    const qsizetype enterAt = 2 * (piece - 1) + 1;  // two pieces, one short each, then one
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&box, &enter);
    const QString beforeEnter = expected;
    expected.insert(enterAt, "\r\n");
    EXPECT_EQ(firstDifference(box.text(), expected), -1);
    QGuiApplication::clipboard()->setText("one\ntwo");
    box.paste();
    expected.insert(enterAt + 2, "one\r\ntwo");
    EXPECT_EQ(firstDifference(box.text(), expected), -1);
    box.undo();
    box.undo();
    EXPECT_EQ(firstDifference(box.text(), beforeEnter), -1);

    box.setText("short again");
    EXPECT_FALSE(box.isReadOnly());
    EXPECT_EQ(box.document()->blockCount(), 1);
}

TEST(TextBox, CopiesAndMovesOverDisplayBreaksAsIfTheLineWereWhole) {
    TextBox box;
    const QString bs(3000, QLatin1Char('b'));
    const QString text = QString(2000, QLatin1Char('a')) + " " + bs + "\nend\r\n";
    box.setText(text);
    EXPECT_EQ(box.document()->firstBlock().text().size(), 2001);  // broken after the blank
    const auto copied = [&] {
        box.copy();
        return QGuiApplication::clipboard()->text();
    };
    const auto press = [&](int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(&box, &event);
    };
    box.selectAll();
    EXPECT_EQ(firstDifference(copied(), text), -1);
    box.moveCursor(QTextCursor::Start);
    press(Qt::Key_Right, Qt::ControlModifier);  // stops at the break before the b's
    press(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(copied(), "b");
    QTextCursor at(box.document()->findBlockByNumber(2));  // the b's after a break among them
    at.movePosition(QTextCursor::EndOfBlock);
    box.setTextCursor(at);
    press(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(copied(), bs);
    press(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(copied(), " " + bs);
    box.moveCursor(QTextCursor::End);
    box.insertPlainText("!");
    box.selectAll();
    const QString edited = box.text();
    box.cut();
    EXPECT_EQ(firstDifference(QGuiApplication::clipboard()->text(), edited), -1);
}

TEST(TextBox, ShowsTheStartOfAHugeTextAndKeepsItWhole) {
    TextBox box;
    QString text;
    while (text.size() <= TextBox::kEditableLimit + 100) text += "line of a huge text\n";
    box.setText(text);
    EXPECT_TRUE(box.isReadOnly());
    EXPECT_EQ(box.text(), text);
    const QString shown = box.toPlainText();
    EXPECT_LT(shown.size(), TextBox::kCutLength + 200);
    EXPECT_TRUE(shown.startsWith("line of a huge text\nline of"));
    EXPECT_TRUE(shown.contains("more characters are not shown here"));
    // Given only its start, with the whole kept elsewhere: the same view.
    TextBox started;
    TextBox::Whole whole;
    whole.text = [&] { return text; };
    started.setStart(text.left(TextBox::kCutLength + 10), text.size(), whole);
    EXPECT_TRUE(started.isReadOnly());
    EXPECT_EQ(started.toPlainText(), shown);
    EXPECT_EQ(started.text(), text);
}

}  // namespace
}  // namespace brimlet
