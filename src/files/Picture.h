#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "files/AtomicFile.h"

struct spng_ctx;

namespace brimlet {

// The largest picture file read to be shown: reading it whole and decoding
// it then holds at most this much besides the picture itself. A capture's
// bitmap file passes it up to about 9,400 x 9,400 pixels; a larger one is
// refused with 7 "Out of memory" rather than read. (Decoding itself is
// bounded by Qt's allocation limit, which the host raises to 16384 x 16384
// pixels at four bytes each.)
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

// A PNG of 8-bit RGB or RGBA rows, not interlaced, decoded row by row
// straight into a staged bitmap file in `folder`: the bytes writeBitmapFile()
// writes for the same picture, the picture never held whole. Null for a PNG
// of another kind, or one that cannot be decoded (damaged, cut short, larger
// than pictures may be): decodePicture() then decides, as for any picture.
// A failed write raises.
std::unique_ptr<StagedFile> stagePngAsBitmap(QByteArrayView png, const FolderHandle& folder);

// The same for a PNG whose pieces are still arriving: a thread of its own
// decodes what has come while the rest comes.
class PngDecoding {
  public:
    explicit PngDecoding(FolderHandle folder);
    ~PngDecoding();
    PngDecoding(const PngDecoding&) = delete;
    PngDecoding& operator=(const PngDecoding&) = delete;

    void append(QByteArrayView piece);
    // No more pieces come: waits for the decoder. The staged file (null as
    // above, and for a PNG that did not arrive whole). When it is null, all
    // that arrived in `bytes`, for the usual decoding, unless the failure
    // came in the rows of a PNG of the kind decoded here: what was decoded
    // is let go meanwhile, and `bytes` is empty.
    std::unique_ptr<StagedFile> finish(QByteArray& bytes);

  private:
    static int read(spng_ctx* ctx, void* user, void* dest, size_t length);
    void end();

    FolderHandle folder_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    // What has come, in blocks: one block grown to hold it all would be
    // copied as it grows, holding the PNG twice for a while.
    QByteArrayList pieces_;
    qsizetype arrivedBytes_ = 0, read_ = 0;  // in all pieces
    qsizetype piece_ = 0, readInPiece_ = 0;  // where the decoder reads next
    bool keep_ = true;                       // for the usual decoding
    bool ended_ = false;
    std::unique_ptr<StagedFile> result_;
    std::thread decoder_;  // last: started once the rest is there
};

// Reads a picture file this program has just written (a bitmap file), row
// by row, never holding the file whole (so no file limit applies, only
// Qt's allocation limit); raises as loadPicture() does.
QImage readOwnPicture(const FolderFile& file);

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
