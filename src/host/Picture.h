#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace brimlet {

// A picture as a Windows bitmap file: 24 bits a pixel whatever depth it came
// in; transparent parts are laid on white. Raises 481 "Invalid picture" for
// a null picture.
QByteArray bitmapFileBytes(const QImage& picture);

// Reads a picture file by its content, whatever its name ends in.
// Raises 53 "File not found" or 481 "Invalid picture".
QImage loadPicture(const QString& path);

}  // namespace brimlet
