#include "history/LineReader.h"

namespace brimlet {

void LineEnds::convert(QStringView piece, QString& out) {
    qsizetype pos = 0;
    if (afterCr_ && !piece.isEmpty()) {
        if (piece[0] == QLatin1Char('\n')) pos = 1;
        afterCr_ = false;
    }
    while (pos < piece.size()) {
        const qsizetype cr = piece.indexOf(QLatin1Char('\r'), pos);
        const qsizetype end = cr < 0 ? piece.size() : cr;
        if (end > pos) {
            out.append(piece.mid(pos, end - pos));
            atLineStart_ = false;
        }
        if (cr < 0) break;
        out.append(QLatin1String("\r\n"));
        atLineStart_ = true;
        pos = cr + 1;
        if (pos == piece.size()) {
            afterCr_ = true;
        } else if (piece[pos] == QLatin1Char('\n')) {
            ++pos;
        }
    }
}

QString LineEnds::finish() const {
    return atLineStart_ ? QString() : QStringLiteral("\r\n");
}

QString linesWithCrLf(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 32 + 2);
    LineEnds ends;
    ends.convert(text, out);
    return out + ends.finish();
}

QString capturedText(const QString& fileText) {
    QString out;
    out.reserve(fileText.size() + fileText.size() / 32);
    CapturedTextPieces pieces;
    pieces.convert(fileText, out);
    return out + pieces.finish();
}

// A long piece is converted where it stands, never copied whole.
void CapturedTextPieces::convert(QStringView piece, QString& out) {
    if (piece.size() >= 2) {
        ends_.convert(held_, out);
        ends_.convert(piece.left(piece.size() - 2), out);
        held_ = piece.right(2).toString();
        return;
    }
    held_.append(piece);
    if (held_.size() <= 2) return;
    ends_.convert(QStringView(held_).left(held_.size() - 2), out);
    held_.remove(0, held_.size() - 2);
}

QString CapturedTextPieces::finish() {
    QString out;
    if (held_ != QLatin1String("\r\n")) ends_.convert(held_, out);
    held_.clear();
    return out;
}

}  // namespace brimlet
