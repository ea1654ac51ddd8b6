#pragma once

#include <QColor>
#include <cstdint>

namespace brimlet {

// Colour values as the font controls give them: a 32-bit number whose low
// byte is red, then green, then blue.
inline constexpr std::uint32_t kBlack = 0;
inline constexpr std::uint32_t kBlue = 16711680;  // 0xFF0000
inline constexpr std::uint32_t kRed = 255;        // 0x0000FF

inline QColor colorFromValue(std::uint32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

inline std::uint32_t colorValue(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) |
           (static_cast<std::uint32_t>(color.green()) << 8) |
           (static_cast<std::uint32_t>(color.blue()) << 16);
}

}  // namespace brimlet
