#include "widgets/TextBox.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMimeData>
#include <QTextBlock>
#include <algorithm>

#include "base/Trace.h"

namespace brimlet {

namespace {

// Marks a block that continues the line of the block before it.
constexpr int kContinuesLine = QTextFormat::UserProperty + 1;

bool continuesLine(const QTextBlock& block) {
    return block.isValid() && block.blockFormat().boolProperty(kContinuesLine);
}

// The characters a text document starts a new block at.
bool breaksLine(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator ||
           c == QChar(0xFDD0) || c == QChar(0xFDD1);
}

// Inserts a run of text whose line ends start blocks of `line`'s format. The
// document gives the blocks a run starts the format of the block the run
// begins in, so only the first line end needs a block of its own.
void insertRun(QTextCursor& cursor, QStringView run, const QTextBlockFormat& line) {
    qsizetype end = 0;
    while (end < run.size() && !breaksLine(run[end])) ++end;
    cursor.insertText(run.left(end).toString());
    if (end == run.size()) return;
    qsizetype rest = end + 1;
    if (run[end] == QLatin1Char('\r') && rest < run.size() && run[rest] == QLatin1Char('\n')) {
        ++rest;
    }
    cursor.insertBlock(line);
    cursor.insertText(run.mid(rest).toString());
}

// Inserts `text` at the cursor: each line end starts a new block, and a line
// longer than kPieceLength goes on in blocks marked as continuing it.
void insertInPieces(QTextCursor& cursor, QStringView text) {
    QTextBlockFormat line = cursor.blockFormat();
    line.clearProperty(kContinuesLine);
    QTextBlockFormat piece = line;
    piece.setProperty(kContinuesLine, true);
    qsizetype start = 0;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (breaksLine(text[i])) {
            lineStart = i + 1;
        } else if (i - lineStart == TextBox::kPieceLength) {
            const qsizetype at = text[i - 1].isHighSurrogate() ? i - 1 : i;  // keep pairs whole
            insertRun(cursor, text.mid(start, at - start), line);
            cursor.insertBlock(piece);
            start = lineStart = at;
        }
    }
    insertRun(cursor, text.mid(start), line);
}

}  // namespace

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
}

QString TextBox::text() const {
    if (whole_.text) return whole_.text();
    if (!document()->isModified()) return text_;
    QString text;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin() && !continuesLine(block)) text += QLatin1String("\r\n");
        text += block.text();
    }
    return text.replace(QChar::LineSeparator, QLatin1String("\r\n"));
}

void TextBox::forEachPiece(const PieceSink& consume) const {
    if (whole_.inPieces) {
        whole_.inPieces(consume);
    } else {
        consume(text());
    }
}

void TextBox::setText(const QString& text, qsizetype size) {
    text_ = text;
    whole_ = {};
    const bool cut = (size >= 0 ? size : text.size()) > kEditableLimit;
    qsizetype shown = cut ? std::min(kCutLength, text.size()) : text.size();
    if (shown < text.size() && text[shown - 1].isHighSurrogate()) --shown;  // keep pairs whole
    display(QStringView(text).left(shown),
            cut ? QStringLiteral("[%1 more characters are not shown here; the capture, Copy Text "
                                 "and Save Text As have the whole text.]")
                      .arg(QLocale().toString(text.size() - shown))
                : QString());
}

void TextBox::setPart(const QString& part, const QString& note, Whole whole) {
    text_.clear();
    whole_ = std::move(whole);
    display(QStringView(part).left(kCutLength), note);
}

// Shows a text, and after it a note, which makes the box read-only.
void TextBox::display(QStringView shown, const QString& note) {
    QTextDocument* document = this->document();
    document->setUndoRedoEnabled(false);
    document->clear();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    insertInPieces(cursor, shown);
    if (!note.isEmpty()) cursor.insertText(QStringLiteral("\n\n") + note);
    cursor.endEditBlock();
    document->setUndoRedoEnabled(true);
    setReadOnly(!note.isEmpty());
    moveCursor(QTextCursor::Start);
    document->setModified(false);
}

void TextBox::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
        const QFont shown = font();
        qCDebug(traceLog).noquote()
            << "viewer font" << shown.families().join(QLatin1Char(',')) << shown.pointSizeF()
            << (shown.bold() ? "bold" : "regular") << (shown.italic() ? "italic" : "upright")
            << palette().color(QPalette::Text).name();
    }
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    if (isReadOnly()) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::InsertParagraphSeparator)) {
        insertLines(QStringLiteral("\n"));
        return;
    }
    // Deleting next to a display break deletes the character beyond it.
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        const int key = event->key();
        if (key == Qt::Key_Backspace) {
            while (cursor.atBlockStart() && continuesLine(cursor.block())) {
                cursor.movePosition(QTextCursor::PreviousCharacter);
            }
        } else if (key == Qt::Key_Delete) {
            while (cursor.atBlockEnd() && continuesLine(cursor.block().next())) {
                cursor.movePosition(QTextCursor::NextCharacter);
            }
        }
        setTextCursor(cursor);
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TextBox::insertFromMimeData(const QMimeData* source) {
    if (isReadOnly() || source == nullptr || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    insertLines(source->text());
}

void TextBox::insertLines(const QString& text) {
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    insertInPieces(cursor, text);
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

}  // namespace brimlet
