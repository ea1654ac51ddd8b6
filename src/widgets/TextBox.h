#pragma once

#include <QPlainTextEdit>
#include <functional>

namespace brimlet {

// A multi-line text box whose text() gives back exactly what setText() put
// in, line ends included, until the user edits it; edited text comes back
// with CR LF line ends, as typed lines end in a text box. Tab and Shift+Tab
// move the focus on, as in any text box of a form.
//
// A text widget lays out each line as a whole, and one line of a megabyte
// takes it most of a second, again after every key press. So lines longer
// than kPieceLength are shown in pieces of that length: each piece after the
// first is a block marked as continuing its line, and text() joins the
// pieces again. Such display breaks are never part of the text: Enter and
// pasted line ends make real breaks, and Backspace or Delete next to a
// display break act on the character beyond it. A piece ends after a blank
// near its end where there is one, so that words stay whole. Copies, cuts
// and drags carry the selection as text() gives it, and the cursor keys and
// a double-click pass over display breaks as if they were not there.
//
// A text of up to kEditableLimit characters is shown whole and can be
// edited. A longer one shows its first kCutLength characters, followed by a
// note, read-only; text() still gives the whole text. A text too long even
// to hold is shown by its start only (setPart), and the whole is asked for
// when it is needed.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    static constexpr qsizetype kPieceLength = 2048;
    static constexpr qsizetype kEditableLimit = 1 << 20;
    static constexpr qsizetype kCutLength = 256 * 1024;

    // Hands a text over piece by piece.
    using PieceSink = std::function<void(QStringView)>;
    // Where the whole of a text shown in part comes from: all at once, or
    // piece by piece in order. Either may raise a run-time error.
    struct Whole {
        std::function<QString()> text;
        std::function<void(const PieceSink&)> inPieces;
    };

    explicit TextBox(QWidget* parent = nullptr);

    QString text() const;
    // `size` is how long the text was where it came from (a file's bytes,
    // before its line ends were made CR LF); the text's own length when
    // not given. It decides whether the text is shown whole.
    void setText(const QString& text, qsizetype size = -1);
    // Shows what setText() would show of a text too long to hold, given its
    // start (at least as much as is shown) and its whole length.
    void setStart(const QString& start, qsizetype length, Whole whole);
    // Shows the start of a text, read-only, followed by `note`.
    void setPart(const QString& part, const QString& note, Whole whole);
    // The text, piece by piece: for writing a text too long to hold.
    void forEachPiece(const PieceSink& consume) const;

  protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    // The text between two places of the document, as text() renders it.
    QString textBetween(int from, int to) const;
    // After a cursor key moved the cursor from `before`: a press that only
    // crossed display breaks, or a word move stopped by one, goes on.
    void moveOnAcrossBreaks(const QTextCursor& before, bool byWord, bool select);
    void setSelection(const QTextCursor& cursor);
    // Inserts `text` at the cursor with real line breaks, as one edit.
    void insertLines(const QString& text);
    void display(const QString& shown, const QString& note);

    QString text_;
    QString shown_;  // what the document was made from, note included
    Whole whole_;
};

}  // namespace brimlet
