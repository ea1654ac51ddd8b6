#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>

#include "files/AtomicFile.h"

namespace brimlet {

// The largest picture file read. Qt's picture reader refuses any picture
// that decodes to more than its allocation limit (128 MB in Qt 6.4), and a
// picture file is hardly ever larger than the picture it holds (a 24-bit
// bitmap holds three bytes for every four decoded), so a larger file could
// not be shown anyway.
inline constexpr qint64 kPictureFileLimit = qint64(256) << 20;

// A picture as a Windows bitmap file: 24 bits a pixel whatever depth it came
// in; transparent parts are laid on white. The bytes are those of Qt's own
// bitmap writer given the picture as 32-bit RGB. Raises 481 "Invalid
// picture" for a null picture or one too large for a bitmap file, before
// anything is written.
QByteArray bitmapFileBytes(const QImage& picture);
// The same bytes handed to `write` a block of rows at a time, so that a
// large picture is never held a second time as a whole file.
void writeBitmapFile(const QImage& picture, const ByteSink& write);

// Whether picture data ends before its own headers say it does: an
// uncompressed or run-length coded bitmap shorter than its rows, a JPEG
// that ends before its end marker, a GIF that ends inside a block, an X bitmap short of its bytes.
// Qt would read such data as a picture of the full size, the missing part black or grey, however
// large the header says it is; it is refused before any memory is taken for it.
bool pictureDataEndsEarly(QByteArrayView bytes);
// Reads picture data by its content; a null picture when it cannot be read
// or ends early.
QImage decodePicture(const QByteArray& bytes);

// Reads a picture file by its content, whatever its name ends in. Raises
// 53 "File not found", 75 "Path/File access error" for a name that is not a
// regular file (a FIFO, a device), 7 "Out of memory" for a file larger than
// kPictureFileLimit, or 481 "Invalid picture".
QImage loadPicture(const FolderFile& file);

}  // namespace brimlet
