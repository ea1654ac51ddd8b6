#include "host/TrayRecord.h"

#include <QDir>
#include <QtEndian>
#include <cmath>
#include <cstring>
#include <tuple>

namespace brimlet {

namespace {

void putU32(QByteArray& bytes, std::uint32_t value) {
    char le[4];
    qToLittleEndian(value, le);
    bytes.append(le, 4);
}

}  // namespace

QByteArray TrayRecord::bytes() const {
    QByteArray out;
    out.reserve(kSize);
    putU32(out, kSize);
    putU32(out, window);
    putU32(out, id);
    putU32(out, kFlags);
    putU32(out, kCallbackMessage);
    putU32(out, icon);
    out.append(tip.data(), static_cast<qsizetype>(tip.size()));
    return out;
}

QString TrayRecord::tipText() const {
    return QString::fromUtf8(tip.data(), static_cast<qsizetype>(strnlen(tip.data(), tip.size())));
}

QByteArray trayTip(const QString& folder) {
    const QByteArray prefix = QStringLiteral("Brimlet \u2014 ").toUtf8();
    const QByteArray path = QDir::toNativeSeparators(folder).toUtf8();
    constexpr qsizetype kRoom = std::tuple_size_v<decltype(TrayRecord::tip)> - 1;  // one NUL
    if (prefix.size() + path.size() <= kRoom) return prefix + path;
    const QByteArray ellipsis = QStringLiteral("\u2026").toUtf8();
    qsizetype start = path.size() - (kRoom - prefix.size() - ellipsis.size());
    // Never start inside a character: skip UTF-8 continuation bytes.
    while (start < path.size() && (static_cast<unsigned char>(path[start]) & 0xC0) == 0x80) ++start;
    return prefix + ellipsis + path.mid(start);
}

TrayRecord makeTrayRecord(std::uint32_t window, std::uint32_t icon, const QString& folder) {
    TrayRecord record;
    record.window = window;
    record.icon = icon;
    const QByteArray text = trayTip(folder);
    record.tip.fill(' ');
    std::memcpy(record.tip.data(), text.constData(), size_t(text.size()));
    record.tip[size_t(text.size())] = '\0';
    return record;
}

int decodeTrayNotification(double x, int scaleMode, double twipsPerPixel) {
    const double code = scaleMode == kScalePixels ? x : x / twipsPerPixel;
    return static_cast<int>(std::nearbyint(code));  // default rounding: half to even
}

}  // namespace brimlet
