#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace brimlet {

// The notification-icon record handed to the tray: 88 bytes, little-endian,
// the tip as a fixed 64-byte field of UTF-8 text, one NUL, then spaces.
struct TrayRecord {
    static constexpr std::uint32_t kSize = 88;
    static constexpr std::uint32_t kFlags = 7;              // message + icon + tip
    static constexpr std::uint32_t kCallbackMessage = 512;  // the window's mouse-move message

    std::uint32_t window = 0;  // handle of the main window
    std::uint32_t id = 1;
    std::uint32_t icon = 0;  // handle of the main window's icon
    std::array<char, 64> tip{};

    // The record as the tray reads it, byte for byte.
    QByteArray bytes() const;
    // The tip as shown: the UTF-8 text up to the NUL.
    QString tipText() const;
};

// A record for the given window and icon. The tip names the capture folder,
// so that two Brimlets can be told apart: "Brimlet — " and the folder,
// shortened from the left with "…" to fit the field.
TrayRecord makeTrayRecord(std::uint32_t window, std::uint32_t icon, const QString& folder);

// The tip's text for a folder: at most 63 bytes of UTF-8, never a
// character cut in two.
QByteArray trayTip(const QString& folder);

// Notification codes: the mouse message that the tray reports.
enum TrayCode : int {
    kMouseMove = 512,
    kLeftDown = 513,
    kLeftUp = 514,
    kLeftDoubleClick = 515,
    kRightDown = 516,
    kRightUp = 517,
    kRightDoubleClick = 518,
    kMiddleDown = 519,
    kMiddleUp = 520,
};

// Scale modes of a window's coordinates.
enum ScaleMode : int { kScaleTwips = 1, kScalePixels = 3 };

// The notification code carried as the x of a mouse move in the window's
// scale units, rounded to the nearest integer, halves to even.
int decodeTrayNotification(double x, int scaleMode, double twipsPerPixel);

}  // namespace brimlet
