#pragma once

#include <QPlainTextEdit>

namespace brimlet {

// A multi-line text box whose text() gives back exactly what setText() put
// in, line ends included, until the user edits it; edited text comes back
// with CR LF line ends, as typed lines end in a text box.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);

private:
    QString text_;
};

}  // namespace brimlet
