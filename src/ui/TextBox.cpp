#include "ui/TextBox.h"

#include <QLocale>

namespace brimlet {

namespace {

bool isLineEnd(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

// The text with every line longer than `limit` broken into pieces of that
// length; a null string when no line is that long.
QString withLongLinesBroken(const QString& text, qsizetype limit) {
    QString shown;
    qsizetype lineStart = 0;
    qsizetype copied = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isLineEnd(text[i])) {
            if (i - lineStart == limit) {
                if (shown.isNull()) shown.reserve(text.size() + text.size() / limit + 1);
                shown.append(QStringView(text).mid(copied, i - copied)).append(QLatin1Char('\n'));
                copied = i;
                lineStart = i;
            }
            continue;
        }
        lineStart = i + 1;
    }
    if (shown.isNull()) return shown;
    return shown.append(QStringView(text).mid(copied));
}

}  // namespace

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {}

QString TextBox::text() const {
    if (!document()->isModified()) return text_;
    return toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

void TextBox::setText(const QString& text) {
    text_ = text;
    const bool cut = text.size() > kShownLimit;
    const QString head = cut ? text.left(kShownLimit) : text;
    QString shown = withLongLinesBroken(head, kLongLine);
    const bool broken = !shown.isNull();
    if (!broken) shown = head;
    if (cut) {
        shown += QStringLiteral(
                     "\n\n[%1 more characters are not shown here; the capture, "
                     "Copy Text and Save Text As have the whole text.]")
                     .arg(QLocale().toString(text.size() - kShownLimit));
    }
    setReadOnly(broken || cut);
    setPlainText(shown);
    document()->setModified(false);
}

}  // namespace brimlet
