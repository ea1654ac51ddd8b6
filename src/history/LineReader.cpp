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

}  // namespace brimlet
