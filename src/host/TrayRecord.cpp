#include "host/TrayRecord.h"

#include <QtEndian>
#include <cmath>
#include <cstring>

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
    return QString::fromLatin1(tip.data(), static_cast<qsizetype>(strnlen(tip.data(), tip.size())));
}

TrayRecord makeTrayRecord(std::uint32_t window, std::uint32_t icon) {
    TrayRecord record;
    record.window = window;
    record.icon = icon;
    static const char kTip[] = "Your ToolTip";  // with its NUL
    record.tip.fill(' ');
    std::memcpy(record.tip.data(), kTip, sizeof kTip);
    return record;
}

int decodeTrayNotification(double x, int scaleMode, double twipsPerPixel) {
    const double code = scaleMode == kScalePixels ? x : x / twipsPerPixel;
    return static_cast<int>(std::nearbyint(code));  // default rounding: half to even
}

}  // namespace brimlet
