#include "history/LineReader.h"

namespace brimlet {

QString linesWithCrLf(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 32 + 2);
    const QStringView all(text);
    qsizetype pos = 0;
    while (pos < all.size()) {
        qsizetype end = all.indexOf(QLatin1Char('\r'), pos);
        if (end < 0) end = all.size();
        out.append(all.mid(pos, end - pos)).append(QLatin1String("\r\n"));
        pos = end + 1;  // past the CR
        if (end < all.size() && pos < all.size() && all[pos] == QLatin1Char('\n')) ++pos;
    }
    return out;
}

}  // namespace brimlet
