#include "widgets/TextBox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <array>

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

// How far back from its limit a piece looks for a blank to end after.
constexpr qsizetype kBlankLookBack = 128;

// A blank a line may be broken after; no-break spaces are not.
bool isBlank(QChar c) {
    return c.isSpace() && c != QChar::Nbsp && c != QChar(0x2007) && c != QChar(0x202F);
}

// Where a piece that began at `start` and reached kPieceLength at `limit`
// ends: after the last blank shortly before the limit, so that no word is
// cut; else at the limit, keeping a surrogate pair whole.
qsizetype pieceEnd(QStringView text, qsizetype start, qsizetype limit) {
    for (qsizetype at = limit; at > std::max(start, limit - kBlankLookBack); --at) {
        if (isBlank(text[at - 1])) return at;
    }
    return text[limit - 1].isHighSurrogate() ? limit - 1 : limit;
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
            const qsizetype at = pieceEnd(text, lineStart, i);
            insertRun(cursor, text.mid(start, at - start), line);
            cursor.insertBlock(piece);
            start = lineStart = at;
        }
    }
    insertRun(cursor, text.mid(start), line);
}

// How many characters of `text` the line end at `at` takes.
qsizetype lineEndLength(const QString& text, qsizetype at) {
    return QStringView(text).mid(at, 2) == QLatin1String("\r\n") ? 2 : 1;
}

// Whether the cursor stands at a display break with the rest of its line
// ahead (forward) or behind it.
bool atBreak(const QTextCursor& cursor, bool forward) {
    return forward ? cursor.atBlockEnd() && continuesLine(cursor.block().next())
                   : cursor.atBlockStart() && continuesLine(cursor.block());
}

// Moves the cursor over the display breaks (one, or more round emptied
// pieces) in front of it.
void crossBreaks(QTextCursor& cursor, bool forward,
                 QTextCursor::MoveMode mode = QTextCursor::MoveAnchor) {
    while (atBreak(cursor, forward)) {
        cursor.setPosition(cursor.position() + (forward ? 1 : -1), mode);
    }
}

// Whether nothing but display breaks lies between two places.
bool onlyBreaksBetween(const QTextDocument* document, int from, int to) {
    QTextCursor cursor(document->findBlock(from));
    cursor.setPosition(from);
    crossBreaks(cursor, true);
    return from < to && cursor.position() >= to;
}

// The character (a whole surrogate pair) on one side of the cursor in its
// line, display breaks left out; empty at the line's start or end.
QString characterBeside(QTextCursor cursor, bool after) {
    crossBreaks(cursor, after);
    const QString text = cursor.block().text();
    const int at = cursor.positionInBlock();
    if (after) {
        if (at >= text.size()) return {};
        return text.mid(at, text[at].isHighSurrogate() && at + 1 < text.size() ? 2 : 1);
    }
    if (at == 0) return {};
    const int length =
        at >= 2 && text[at - 1].isLowSurrogate() && text[at - 2].isHighSurrogate() ? 2 : 1;
    return text.mid(at - length, length);
}

// Whether a cursor move, made in the line joined at a display break, would
// pass over the break rather than stop there: asked of a document of the
// two characters beside it, so that the text layout's own word rules decide.
bool movesOverBreak(const QTextCursor& cursor, QTextCursor::MoveOperation op, bool forward) {
    const QString pair = characterBeside(cursor, false) + characterBeside(cursor, true);
    if (pair.size() < 2) return false;
    QTextDocument scratch(pair);
    QTextCursor probe(&scratch);
    probe.setPosition(forward ? 0 : int(pair.size()));
    probe.movePosition(op);
    return probe.position() == (forward ? pair.size() : 0);
}

struct Motion {
    QKeySequence::StandardKey key;
    bool byWord;
    bool select;
};

constexpr std::array<Motion, 8> kMotions = {{
    {QKeySequence::MoveToNextChar, false, false},
    {QKeySequence::MoveToPreviousChar, false, false},
    {QKeySequence::SelectNextChar, false, true},
    {QKeySequence::SelectPreviousChar, false, true},
    {QKeySequence::MoveToNextWord, true, false},
    {QKeySequence::MoveToPreviousWord, true, false},
    {QKeySequence::SelectNextWord, true, true},
    {QKeySequence::SelectPreviousWord, true, true},
}};

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

namespace {

// What a text shown only in part says after its start.
QString cutNote(qsizetype notShown) {
    return QStringLiteral(
               "[%1 more characters are not shown here; the capture, Copy Text and "
               "Save Text As have the whole text.]")
        .arg(QLocale().toString(notShown));
}

// How much of a text is shown: kCutLength characters, keeping a pair whole.
qsizetype shownLength(QStringView text, qsizetype length) {
    qsizetype shown = std::min({TextBox::kCutLength, text.size(), length});
    if (shown > 0 && shown < length && text[shown - 1].isHighSurrogate()) --shown;
    return shown;
}

}  // namespace

void TextBox::setText(const QString& text, qsizetype size) {
    text_ = text;
    whole_ = {};
    const bool cut = (size >= 0 ? size : text.size()) > kEditableLimit;
    const qsizetype shown = cut ? shownLength(text, text.size()) : text.size();
    display(shown == text.size() ? text : text.left(shown),
            cut ? cutNote(text.size() - shown) : QString());
}

void TextBox::setStart(const QString& start, qsizetype length, Whole whole) {
    text_.clear();
    whole_ = std::move(whole);
    const qsizetype shown = shownLength(start, length);
    display(start.left(shown), cutNote(length - shown));
}

void TextBox::setPart(const QString& part, const QString& note, Whole whole) {
    text_.clear();
    whole_ = std::move(whole);
    display(part.left(kCutLength), note);
}

// Shows a text, and after it a note, which makes the box read-only.
void TextBox::display(const QString& shown, const QString& note) {
    shown_ = note.isEmpty() ? shown : shown + QStringLiteral("\n\n") + note;
    QTextDocument* document = this->document();
    document->setUndoRedoEnabled(false);
    document->clear();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    insertInPieces(cursor, shown_);
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
    if (!isReadOnly()) {
        if (event->matches(QKeySequence::InsertParagraphSeparator)) {
            insertLines(QStringLiteral("\n"));
            return;
        }
        // Deleting next to a display break deletes the character beyond it.
        QTextCursor cursor = textCursor();
        if (!cursor.hasSelection()) {
            const int key = event->key();
            if (key == Qt::Key_Backspace) {
                crossBreaks(cursor, false);
            } else if (key == Qt::Key_Delete) {
                crossBreaks(cursor, true);
            }
            setTextCursor(cursor);
        }
    }
    const QTextCursor before = textCursor();
    QPlainTextEdit::keyPressEvent(event);
    for (const Motion& motion : kMotions) {
        if (event->matches(motion.key)) {
            moveOnAcrossBreaks(before, motion.byWord, motion.select);
            break;
        }
    }
}

void TextBox::moveOnAcrossBreaks(const QTextCursor& before, bool byWord, bool select) {
    QTextCursor cursor = textCursor();
    const int from = before.position();
    const int to = cursor.position();
    if (from == to) return;
    const bool forward = to > from;
    const QTextCursor::MoveMode mode = select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    const QTextCursor::MoveOperation step =
        byWord ? (forward ? QTextCursor::NextWord : QTextCursor::PreviousWord)
               : (forward ? QTextCursor::NextCharacter : QTextCursor::PreviousCharacter);
    // Crossing a display break is no move in the text: make the one the key
    // asked for. (Without Shift a selection only collapses.)
    if ((select || !before.hasSelection()) &&
        onlyBreaksBetween(document(), std::min(from, to), std::max(from, to))) {
        crossBreaks(cursor, forward, mode);
        cursor.movePosition(step, mode);
    }
    // A word move that a display break stopped inside a word or a run of
    // blanks goes on to where it would stop in the whole line.
    while (byWord && atBreak(cursor, forward) && movesOverBreak(cursor, step, forward)) {
        crossBreaks(cursor, forward, mode);
        cursor.movePosition(step, mode);
    }
    if (cursor != textCursor()) setSelection(cursor);
}

// A double-click selects the whole word, though a display break runs
// through it.
void TextBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseDoubleClickEvent(event);
    const QTextCursor word = textCursor();
    if (!word.hasSelection()) return;
    QTextCursor start(document());
    start.setPosition(word.selectionStart());
    while (atBreak(start, false) && movesOverBreak(start, QTextCursor::EndOfWord, true)) {
        crossBreaks(start, false);
        start.movePosition(QTextCursor::PreviousWord);
    }
    QTextCursor end(document());
    end.setPosition(word.selectionEnd());
    while (atBreak(end, true) && movesOverBreak(end, QTextCursor::EndOfWord, true)) {
        crossBreaks(end, true);
        end.movePosition(QTextCursor::EndOfWord);
    }
    if (start.position() == word.selectionStart() && end.position() == word.selectionEnd()) return;
    start.setPosition(end.position(), QTextCursor::KeepAnchor);
    setSelection(start);
}

// Selects as the user's own selection does, for the X11 primary selection
// too.
void TextBox::setSelection(const QTextCursor& cursor) {
    setTextCursor(cursor);
    ensureCursorVisible();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (cursor.hasSelection() && clipboard->supportsSelection()) {
        clipboard->setMimeData(createMimeDataFromSelection(), QClipboard::Selection);
    }
}

QMimeData* TextBox::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;
    data->setText(textBetween(cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

// Unedited, the text shown comes from shown_, line ends and all; edited, it
// is rebuilt from the blocks as text() does.
QString TextBox::textBetween(int from, int to) const {
    const QTextDocument* document = this->document();
    if (!document->isModified()) {
        qsizetype offset = 0;
        qsizetype start = -1;
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            const int end = block.position() + block.length() - 1;
            if (start < 0 && from <= end) start = offset + (from - block.position());
            if (to <= end) {
                const qsizetype stop = offset + (to - block.position());
                if (stop <= shown_.size()) return shown_.mid(start, stop - start);
                break;
            }
            offset += block.length() - 1;
            if (!continuesLine(block.next())) offset += lineEndLength(shown_, offset);
        }
    }
    QString text;
    for (QTextBlock block = document->findBlock(from); block.isValid(); block = block.next()) {
        if (block.position() > to) break;
        if (block.position() > from && !continuesLine(block)) text += QLatin1String("\r\n");
        const int begin = std::max(from - block.position(), 0);
        const int end = std::min(to - block.position(), block.length() - 1);
        text += QStringView(block.text()).mid(begin, end - begin);
    }
    return text.replace(QChar::LineSeparator, QLatin1String("\r\n"));
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
