#pragma once

#include <QPlainTextEdit>

namespace brimlet {

// A multi-line text box whose text() gives back exactly what setText() put
// in, line ends included, until the user edits it; edited text comes back
// with CR LF line ends, as typed lines end in a text box.
//
// Laying out one very long line takes a text widget minutes (a 10 MiB
// minified file is one line), and a huge text takes it a third of a second
// per 10 MiB. So a text holding a line longer than kLongLine is shown with
// such lines broken into pieces, and only the first kShownLimit characters
// of a longer text are shown, followed by a note; such a text is read-only.
// text() still gives the text exactly as it was set.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    static constexpr qsizetype kLongLine = 4096;
    static constexpr qsizetype kShownLimit = 256 * 1024;

    explicit TextBox(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);

  private:
    QString text_;
};

}  // namespace brimlet
