#include "files/Picture.h"

#include <fcntl.h>
#include <spng.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QtEndian>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>

#include "base/RuntimeError.h"
#include "files/Files.h"

namespace brimlet {

namespace {

constexpr qint64 kFileHeaderBytes = 14;
constexpr qint64 kInfoHeaderBytes = 40;
constexpr qint32 kDefaultDotsPerMeter = 2834;    // 72 dots an inch
constexpr qint64 kBlockBytes = qint64(1) << 20;  // rows handed on at a time

// The picture as 32-bit RGB, transparent parts laid on white.
QImage opaqueRgb32(const QImage& picture) {
    if (!picture.hasAlphaChannel()) return picture.convertToFormat(QImage::Format_RGB32);
    QImage opaque(picture.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    QPainter painter(&opaque);
    painter.drawImage(0, 0, picture);
    return opaque;
}

class LittleEndianWriter {
  public:
    explicit LittleEndianWriter(char* at) : at_(at) {}
    void u16(quint16 value) { put(value); }
    void i32(qint32 value) { put(value); }
    void bytes(const char* data, qsizetype size) {
        std::memcpy(at_, data, static_cast<size_t>(size));
        at_ += size;
    }

  private:
    template <typename T>
    void put(T value) {
        qToLittleEndian(value, at_);
        at_ += sizeof(T);
    }
    char* at_;
};

quint32 le32(QByteArrayView b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.data() + at);
}
quint16 le16(QByteArrayView b, qsizetype at) {
    return qFromLittleEndian<quint16>(b.data() + at);
}

// Walks run-length coded rows from `at`: they must reach the end of the
// picture (its end mark, or as many rows as it has) before the data ends.
bool runLengthEndsEarly(QByteArrayView b, qsizetype at, bool fourBits, qint64 height) {
    qint64 row = 0;
    while (at + 2 <= b.size()) {
        const auto count = static_cast<uchar>(b[at]);
        const auto code = static_cast<uchar>(b[at + 1]);
        at += 2;
        if (count != 0) continue;     // a run of one colour
        if (code == 1) return false;  // end of the picture
        if (code == 0) {
            if (++row >= height) return false;  // end of a row
        } else if (code == 2) {
            if (at + 2 > b.size()) return true;
            row += static_cast<uchar>(b[at + 1]);  // a move right and down
            at += 2;
        } else {
            const qsizetype bytes = fourBits ? (code + 1) / 2 : code;  // pixels given one by one
            at += bytes + (bytes & 1);
        }
    }
    return true;
}

// A Windows bitmap: the rows its info header promises, from where its file
// header says they start.
bool bitmapEndsEarly(QByteArrayView b) {
    if (b.size() < 18) return true;
    const quint32 headerSize = le32(b, 14);
    qint64 width = 0;
    qint64 height = 0;
    int depth = 0;
    quint32 compression = 0;
    if (headerSize == 12) {
        if (b.size() < 26) return true;
        width = le16(b, 18);
        height = le16(b, 20);
        depth = le16(b, 24);
    } else if (headerSize >= 40) {
        if (b.size() < 54) return true;
        width = std::abs(qint64(qint32(le32(b, 18))));
        height = std::abs(qint64(qint32(le32(b, 22))));  // negative: top-down rows
        depth = le16(b, 28);
        compression = le32(b, 30);
    } else {
        return false;  // not a header Qt reads
    }
    const qint64 start = std::max<qint64>(le32(b, 10), kFileHeaderBytes + headerSize);
    if (height == 0 || width == 0) return false;
    constexpr quint32 kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;
    if (compression == kRle8 || compression == kRle4) {
        return start > b.size() || runLengthEndsEarly(b, start, compression == kRle4, height);
    }
    if (compression != kRgb && compression != kBitFields && compression != kAlphaBitFields) {
        return false;
    }
    // Rows padded to four bytes; the last row's padding may be left out.
    const qint64 rowBits = width * depth;
    const qint64 rowBytes = (rowBits + 31) / 32 * 4;
    if (rowBytes == 0 || height - 1 > b.size() / rowBytes) return rowBytes != 0;
    return b.size() < start + rowBytes * (height - 1) + (rowBits + 7) / 8;
}

// A JPEG: its segments, each as long as it says, and the coded data after
// each start of scan, up to the end marker.
bool jpegEndsEarly(QByteArrayView b) {
    qsizetype at = 2;
    for (;;) {
        while (at < b.size() && static_cast<uchar>(b[at]) == 0xFF) ++at;  // fill bytes
        if (at >= b.size()) return true;
        const auto marker = static_cast<uchar>(b[at++]);
        if (marker == 0xD9) return false;                                    // end of picture
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        if (at + 2 > b.size()) return true;
        at += qFromBigEndian<quint16>(b.data() + at);
        if (at > b.size()) return true;
        if (marker != 0xDA) continue;
        // Coded data: a 0xFF in it is followed by 0 or a restart marker.
        for (;; ++at) {
            if (at + 1 >= b.size()) return true;
            if (static_cast<uchar>(b[at]) != 0xFF) continue;
            const auto next = static_cast<uchar>(b[at + 1]);
            if (next != 0 && next != 0xFF && (next < 0xD0 || next > 0xD7)) break;
        }
    }
}

// A GIF: its colour tables and blocks, each chain of data blocks up to its
// empty block. (A missing trailer after the last block is forgiven.)
bool gifEndsEarly(QByteArrayView b) {
    auto table = [&](qsizetype flags) {
        const auto packed = static_cast<uchar>(b[flags]);
        return (packed & 0x80) != 0 ? qsizetype(3) << ((packed & 7) + 1) : 0;
    };
    if (b.size() < 13) return true;
    qsizetype at = 13 + table(10);
    auto skipChain = [&] {
        for (;;) {
            if (at >= b.size()) return false;
            const auto length = static_cast<uchar>(b[at++]);
            if (length == 0) return true;
            at += length;
        }
    };
    for (;;) {
        if (at > b.size()) return true;
        if (at == b.size()) return false;
        const auto block = static_cast<uchar>(b[at]);
        if (block == 0x3B) return false;  // the trailer
        if (block == 0x21) {              // an extension: its label, its data
            at += 2;
        } else if (block == 0x2C) {  // a picture: where it goes, its colours, its code size
            if (at + 10 > b.size()) return true;
            at += 10 + table(at + 9) + 1;
        } else {
            return false;  // not a block: Qt reads what came before it
        }
        if (!skipChain()) return true;
    }
}

// An X bitmap: as many hexadecimal bytes as its width and height take.
bool xbmEndsEarly(QByteArrayView b) {
    static const QRegularExpression size(
        QStringLiteral(R"(#define\s+\S*width\s+(\d+)\s+#define\s+\S*height\s+(\d+))"));
    const QRegularExpressionMatch m =
        size.match(QString::fromLatin1(b.first(std::min<qsizetype>(b.size(), 1024))));
    const qsizetype data = b.indexOf('{');
    if (!m.hasMatch() || data < 0) return false;  // not one Qt reads
    const qint64 width = m.captured(1).toLongLong();
    const qint64 height = m.captured(2).toLongLong();
    return b.sliced(data).count("0x") < (width + 7) / 8 * height;
}

}  // namespace

bool pictureDataEndsEarly(QByteArrayView bytes) {
    if (bytes.startsWith("BM")) return bitmapEndsEarly(bytes);
    if (bytes.startsWith("\xFF\xD8")) return jpegEndsEarly(bytes);
    if (bytes.startsWith("GIF8")) return gifEndsEarly(bytes);
    if (bytes.startsWith("#define")) return xbmEndsEarly(bytes);
    return false;
}

QImage decodePicture(const QByteArray& bytes) {
    if (pictureDataEndsEarly(bytes)) return {};
    return QImage::fromData(bytes);
}

QByteArray bitmapFileBytes(const QImage& picture) {
    QByteArray bytes;
    writeBitmapFile(picture, [&](QByteArrayView block) {
        if (bytes.isEmpty()) bytes.reserve(qFromLittleEndian<qint32>(block.data() + 2));
        bytes.append(block);
    });
    return bytes;
}

namespace {

// The file and info headers of an uncompressed 24-bit bitmap, rows
// bottom-up, each padded with zero bytes to a multiple of four: what Qt's
// bitmap writer says for a 32-bit RGB picture. Raises 481 for a picture too
// large for a bitmap file.
QByteArray bitmapHeader(int width, int height, int dotsPerMeterX, int dotsPerMeterY) {
    const qint64 rowBytes = (qint64(width) * 3 + 3) & ~qint64(3);
    const qint64 pixelBytes = rowBytes * height;
    constexpr qint64 offset = kFileHeaderBytes + kInfoHeaderBytes;
    if (offset + pixelBytes > std::numeric_limits<qint32>::max()) {
        throw RuntimeError::invalidPicture(QStringLiteral("too large for a bitmap file"));
    }
    QByteArray bytes(offset, Qt::Uninitialized);
    LittleEndianWriter header(bytes.data());
    header.bytes("BM", 2);
    header.i32(static_cast<qint32>(offset + pixelBytes));
    header.u16(0);
    header.u16(0);
    header.i32(static_cast<qint32>(offset));
    header.i32(kInfoHeaderBytes);
    header.i32(width);
    header.i32(height);  // positive: bottom-up rows
    header.u16(1);       // planes
    header.u16(24);      // bits a pixel
    header.i32(0);       // no compression
    header.i32(static_cast<qint32>(pixelBytes));
    header.i32(dotsPerMeterX ? dotsPerMeterX : kDefaultDotsPerMeter);
    header.i32(dotsPerMeterY ? dotsPerMeterY : kDefaultDotsPerMeter);
    header.i32(0);  // colours used: no palette
    header.i32(0);  // colours important
    return bytes;
}

// One row of 32-bit RGB as a bitmap row: blue, green, red, then padding.
uchar* bitmapRow(const QRgb* in, int width, qint64 padding, uchar* out) {
    for (int x = 0; x < width; ++x) {
        const QRgb pixel = in[x];
        out[0] = static_cast<uchar>(qBlue(pixel));
        out[1] = static_cast<uchar>(qGreen(pixel));
        out[2] = static_cast<uchar>(qRed(pixel));
        out += 3;
    }
    for (qint64 i = 0; i < padding; ++i) *out++ = 0;
    return out;
}

}  // namespace

void writeBitmapFile(const QImage& picture, const ByteSink& write) {
    if (picture.isNull()) throw RuntimeError::invalidPicture(QStringLiteral("no picture"));
    const QImage opaque = opaqueRgb32(picture);
    const int width = opaque.width();
    const int height = opaque.height();
    write(bitmapHeader(width, height, opaque.dotsPerMeterX(), opaque.dotsPerMeterY()));

    const qint64 rowBytes = (qint64(width) * 3 + 3) & ~qint64(3);
    const qint64 rowsPerBlock = std::max<qint64>(1, kBlockBytes / rowBytes);
    QByteArray block(std::min<qint64>(rowsPerBlock, height) * rowBytes, Qt::Uninitialized);
    const qint64 padding = rowBytes - qint64(width) * 3;
    uchar* out = reinterpret_cast<uchar*>(block.data());
    for (int y = height - 1; y >= 0; --y) {
        out =
            bitmapRow(reinterpret_cast<const QRgb*>(opaque.constScanLine(y)), width, padding, out);
        const qint64 filled = out - reinterpret_cast<uchar*>(block.data());
        if (filled == block.size() || y == 0) {
            write(QByteArrayView(block.constData(), filled));
            out = reinterpret_cast<uchar*>(block.data());
        }
    }
}

namespace {

struct SpngContext {
    spng_ctx* ctx = spng_ctx_new(0);
    SpngContext() = default;
    SpngContext(const SpngContext&) = delete;
    SpngContext& operator=(const SpngContext&) = delete;
    ~SpngContext() { spng_ctx_free(ctx); }
};

// Rows decoded, laid on white and written at a time.
constexpr int kStripRows = 64;

// The body of stagePngAsBitmap(), from a context given its source.
// `rowsBegin` is called once the PNG is known to be of a kind decoded here,
// before its rows are.
std::unique_ptr<StagedFile> decodeIntoBitmap(SpngContext& spng, const FolderHandle& folder,
                                             const std::function<void()>& rowsBegin = {}) {
    spng_ihdr ihdr{};
    if (spng_set_chunk_limits(spng.ctx, 1 << 24, 1 << 26) != 0 ||
        spng_get_ihdr(spng.ctx, &ihdr) != 0) {
        return nullptr;
    }
    // Other kinds (palettes, grey, 16 bits, transparency given apart,
    // interlacing) are left to Qt's reader.
    const bool alpha = ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    spng_trns trns{};
    if (ihdr.bit_depth != 8 || ihdr.interlace_method != SPNG_INTERLACE_NONE ||
        !(alpha || ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR) ||
        spng_get_trns(spng.ctx, &trns) == 0) {
        return nullptr;
    }
    // No larger than Qt's reader would take (its limit is in MiB).
    const int width = static_cast<int>(std::min<quint32>(ihdr.width, INT_MAX));
    const int height = static_cast<int>(std::min<quint32>(ihdr.height, INT_MAX));
    const qint64 limit = qint64(QImageReader::allocationLimit()) << 20;
    if (limit > 0 && qint64(width) * height * 4 > limit) return nullptr;
    const qint64 rowBytes = (qint64(width) * 3 + 3) & ~qint64(3);
    if (kFileHeaderBytes + kInfoHeaderBytes + rowBytes * height >
        std::numeric_limits<qint32>::max()) {
        return nullptr;
    }
    // The resolution Qt's reader gives: the file's own in dots a metre, or
    // a new picture's; a picture laid on white is a new one.
    const QImage blank(1, 1, QImage::Format_RGB32);
    int dpmX = blank.dotsPerMeterX();
    int dpmY = blank.dotsPerMeterY();
    spng_phys phys{};
    if (!alpha && spng_get_phys(spng.ctx, &phys) == 0 && phys.unit_specifier == 1) {
        if (phys.ppu_x != 0 && phys.ppu_x <= INT_MAX) dpmX = int(phys.ppu_x);
        if (phys.ppu_y != 0 && phys.ppu_y <= INT_MAX) dpmY = int(phys.ppu_y);
    }
    const int format = alpha ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
    if (spng_decode_image(spng.ctx, nullptr, 0, format, SPNG_DECODE_PROGRESSIVE) != 0) {
        return nullptr;
    }

    if (rowsBegin) rowsBegin();
    auto staged = std::make_unique<StagedFile>(folder, folder.path());
    staged->writeAt(0, bitmapHeader(width, height, dpmX, dpmY));
    const int stripRows = std::min(kStripRows, height);
    QImage decoded(alpha ? width : 0, stripRows, QImage::Format_RGBA8888);
    QImage opaque(alpha ? width : 0, stripRows, QImage::Format_RGB32);
    QByteArray strip(stripRows * rowBytes, '\0');  // row padding stays zero
    uchar* const stripData = reinterpret_cast<uchar*>(strip.data());
    const qint64 padding = rowBytes - qint64(width) * 3;
    for (int top = 0; top < height; top += stripRows) {
        const int rows = std::min(stripRows, height - top);
        // Opaque rows decode straight into their bottom-up place in the strip.
        for (int i = 0; i < rows; ++i) {
            uchar* row = alpha ? decoded.scanLine(i) : stripData + (rows - 1 - i) * rowBytes;
            const int result = spng_decode_row(spng.ctx, row, size_t(width) * (alpha ? 4 : 3));
            if (result != 0 && !(result == SPNG_EOI && top + i == height - 1)) return nullptr;
        }
        if (alpha) {
            // Laid on white exactly as a whole picture is.
            opaque.fill(Qt::white);
            QPainter painter(&opaque);
            painter.drawImage(0, 0, decoded.convertToFormat(QImage::Format_ARGB32));
            uchar* out = stripData;
            for (int i = rows - 1; i >= 0; --i) {
                out = bitmapRow(reinterpret_cast<const QRgb*>(opaque.constScanLine(i)), width,
                                padding, out);
            }
        } else {
            // Red and blue change places where the rows lie (a bitmap row is
            // blue, green, red); Qt swaps a picture it alone holds in place.
            QImage rgb(stripData, width, rows, rowBytes, QImage::Format_RGB888);
            rgb = std::move(rgb).rgbSwapped();
            for (int i = 0; rgb.constBits() != stripData && i < rows; ++i)
                std::memcpy(stripData + i * rowBytes, rgb.constScanLine(i), size_t(width) * 3);
        }
        staged->writeAt(kFileHeaderBytes + kInfoHeaderBytes + (height - top - rows) * rowBytes,
                        QByteArrayView(strip.constData(), rows * rowBytes));
    }
    // The rest of the file, to its end, must be whole too.
    if (spng_decode_chunks(spng.ctx) != 0) return nullptr;
    staged->finish();
    return staged;
}

}  // namespace

std::unique_ptr<StagedFile> stagePngAsBitmap(QByteArrayView png, const FolderHandle& folder) {
    SpngContext spng;
    if (spng.ctx == nullptr || spng_set_png_buffer(spng.ctx, png.data(), png.size()) != 0) {
        return nullptr;
    }
    return decodeIntoBitmap(spng, folder);
}

PngDecoding::PngDecoding(FolderHandle folder) : folder_(std::move(folder)) {
    decoder_ = std::thread([this] {
        // Nothing escapes this thread: a failure is a null result.
        std::unique_ptr<StagedFile> result;
        try {
            SpngContext spng;
            if (spng.ctx != nullptr &&
                spng_set_png_stream(spng.ctx, &PngDecoding::read, this) == 0) {
                result = decodeIntoBitmap(spng, folder_, [this] {
                    const std::lock_guard<std::mutex> lock(mutex_);
                    keep_ = false;
                });
            }
        } catch (...) {
            result.reset();
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        result_ = std::move(result);
    });
}

PngDecoding::~PngDecoding() {
    end();
    if (decoder_.joinable()) decoder_.join();
}

// Hands the decoder the next `length` bytes, waiting until they have come.
int PngDecoding::read(spng_ctx* /*ctx*/, void* user, void* dest, size_t length) {
    auto* self = static_cast<PngDecoding*>(user);
    std::unique_lock<std::mutex> lock(self->mutex_);
    const auto available = [self] { return size_t(self->arrivedBytes_ - self->read_); };
    self->arrived_.wait(lock, [&] { return self->ended_ || available() >= length; });
    if (available() < length) return SPNG_IO_EOF;
    auto* out = static_cast<char*>(dest);
    while (length > 0) {
        // A block read to its end is full: what is still to come is in the next.
        if (self->readInPiece_ == self->pieces_.at(self->piece_).size()) {
            ++self->piece_;
            self->readInPiece_ = 0;
        }
        // Blocks the decoder is done with go, unless the usual decoding
        // may still need them.
        if (!self->keep_ && self->piece_ > 0) self->pieces_[self->piece_ - 1] = QByteArray();
        const QByteArray& piece = self->pieces_.at(self->piece_);
        const size_t n = std::min(length, size_t(piece.size() - self->readInPiece_));
        std::memcpy(out, piece.constData() + self->readInPiece_, n);
        out += n;
        length -= n;
        self->read_ += qsizetype(n);
        self->readInPiece_ += qsizetype(n);
    }
    return 0;
}

// The pieces go into blocks of 1 MiB, each filled where it lies rather than
// reallocated: a PNG is held once, never copied whole.
void PngDecoding::append(QByteArrayView piece) {
    constexpr qsizetype kBlock = qsizetype(1) << 20;
    if (piece.isEmpty()) return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        arrivedBytes_ += piece.size();
        while (!piece.isEmpty()) {
            if (pieces_.isEmpty() || pieces_.last().size() == kBlock) {
                pieces_.append(QByteArray());
                pieces_.last().reserve(kBlock);
            }
            QByteArray& block = pieces_.last();
            const qsizetype n = std::min(piece.size(), kBlock - block.size());
            block.append(piece.first(n));
            piece = piece.sliced(n);
        }
    }
    arrived_.notify_one();
}

void PngDecoding::end() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    arrived_.notify_one();
}

std::unique_ptr<StagedFile> PngDecoding::finish(QByteArray& bytes) {
    end();
    if (decoder_.joinable()) decoder_.join();
    bytes.clear();
    if (!result_ && keep_) {
        bytes.reserve(arrivedBytes_);
        for (QByteArray& piece : pieces_) bytes += std::exchange(piece, QByteArray());
    }
    pieces_.clear();
    return std::move(result_);
}

namespace {

// A picture's pixels in memory mapped for them alone, so that they go back
// to the system as soon as the last copy of the picture lets them go. Taken
// from the C library's heap, a picture of 32 MiB would raise the size from
// which it maps memory, and the next pictures would stay in its heap after
// they are freed. A null picture when the memory cannot be had.
QImage mappedPicture(QSize size, QImage::Format format) {
    struct Mapping {
        void* data;
        size_t bytes;
    };
    const qsizetype depth = QImage::toPixelFormat(format).bitsPerPixel();
    const qint64 limit = qint64(QImageReader::allocationLimit()) << 20;
    if (size.isEmpty() || depth == 0) return {};
    const qint64 bytesPerLine = (qint64(size.width()) * depth + 31) / 32 * 4;
    const qint64 bytes = bytesPerLine * size.height();
    if ((limit > 0 && bytes > limit) || bytesPerLine > INT_MAX) return {};
    void* data =
        ::mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED) return {};
    return QImage(
        static_cast<uchar*>(data), size.width(), size.height(), bytesPerLine, format,
        [](void* info) {
            const auto* mapping = static_cast<Mapping*>(info);
            ::munmap(mapping->data, mapping->bytes);
            delete mapping;
        },
        new Mapping{data, size_t(bytes)});
}

}  // namespace

QImage readOwnPicture(const FolderFile& file) {
    const int fd = ::openat(file.folder.fd(), file.name.constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0) ::close(fd);
        return loadPicture(file);  // says what is wrong
    }
    QFile device;
    device.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    QImageReader reader(&device, "bmp");
    // Read into mapped memory of the size and kind the reader makes of a
    // bitmap of 24 bits; it makes its own for any other.
    QImage picture = mappedPicture(reader.size(), QImage::Format_RGB32);
    if (!reader.read(&picture) || picture.isNull()) {
        throw RuntimeError::invalidPicture(file.path() + ": " + reader.errorString());
    }
    return picture;
}

QImage loadPicture(const FolderFile& file) {
    QByteArray bytes = readWholeFile(file, kPictureFileLimit);
    if (pictureDataEndsEarly(bytes)) {
        throw RuntimeError::invalidPicture(file.path() + ": the picture ends before its data does");
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    QImage picture = reader.read();
    if (picture.isNull()) {
        throw RuntimeError::invalidPicture(file.path() + ": " + reader.errorString());
    }
    return picture;
}

}  // namespace brimlet
