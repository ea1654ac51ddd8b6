#include "ui/TextBox.h"

namespace brimlet {

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {}

QString TextBox::text() const {
    if (!document()->isModified()) return text_;
    return toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

void TextBox::setText(const QString& text) {
    text_ = text;
    setPlainText(text);
    document()->setModified(false);
}

}  // namespace brimlet
