#include "capture/CaptureStore.h"

#include <cctype>
#include <cmath>
#include <limits>

#include "base/RuntimeError.h"
#include "capture/SyncedNumbering.h"
#include "files/AtomicFile.h"
#include "files/Files.h"
#include "files/Picture.h"

namespace brimlet {

QString renderCounter(Counter value) {
    const qint64 v = value;  // the lowest value has no positive counterpart in its own type
    return (v < 0 ? QStringLiteral("-") : QStringLiteral(" ")) + QString::number(v < 0 ? -v : v);
}

QString pictureFileName(Counter value) {
    return QStringLiteral("picture") + renderCounter(value) + QStringLiteral(".jpeg");
}

QString textFileName(Counter value) {
    return QStringLiteral("text") + renderCounter(value) + QStringLiteral(".txt");
}

void raiseCounter(Counter& counter) {
    if (counter == std::numeric_limits<Counter>::max()) throw RuntimeError::overflow();
    ++counter;
}

QByteArray counterFileBytes(const Counters& counters) {
    return QByteArray::number(counters.picture) + ',' + QByteArray::number(counters.text) + "\r\n";
}

namespace {

// Reads comma-, blank- or line-separated fields as a sequential file's
// input statement does.
class FieldReader {
  public:
    explicit FieldReader(const QByteArray& bytes) : bytes_(bytes) {}

    Counter nextCounter() {
        while (pos_ < bytes_.size() && bytes_[pos_] == ' ') ++pos_;
        if (pos_ >= bytes_.size()) {
            throw RuntimeError::inputPastEndOfFile(kCounterFileName);
        }
        const qsizetype start = pos_;
        while (pos_ < bytes_.size() && !isDelimiter(bytes_[pos_])) ++pos_;
        const Counter value = toCounter(bytes_.mid(start, pos_ - start));
        skipDelimiter();
        return value;
    }

  private:
    static bool isDelimiter(char c) { return c == ',' || c == ' ' || c == '\r' || c == '\n'; }

    // Trailing blanks, then one comma or one line end, belong to the field.
    void skipDelimiter() {
        while (pos_ < bytes_.size() && bytes_[pos_] == ' ') ++pos_;
        if (pos_ >= bytes_.size()) return;
        if (bytes_[pos_] == ',') {
            ++pos_;
        } else if (bytes_[pos_] == '\r') {
            ++pos_;
            if (pos_ < bytes_.size() && bytes_[pos_] == '\n') ++pos_;
        } else if (bytes_[pos_] == '\n') {
            ++pos_;
        }
    }

    // The number at the start of the field, rounded half to even; no number
    // at all reads as 0.
    static Counter toCounter(const QByteArray& field) {
        qsizetype end = 0;
        if (end < field.size() && (field[end] == '+' || field[end] == '-')) ++end;
        const qsizetype digitsStart = end;
        while (end < field.size() && std::isdigit(static_cast<unsigned char>(field[end]))) ++end;
        if (end < field.size() && field[end] == '.') {
            ++end;
            while (end < field.size() && std::isdigit(static_cast<unsigned char>(field[end])))
                ++end;
        }
        if (end == digitsStart) return 0;
        bool ok = false;
        const double number = field.left(end).toDouble(&ok);
        if (!ok) return 0;
        const double rounded = std::nearbyint(number);  // default rounding: half to even
        if (rounded < std::numeric_limits<Counter>::min() ||
            rounded > std::numeric_limits<Counter>::max()) {
            throw RuntimeError::overflow();
        }
        return static_cast<Counter>(rounded);
    }

    const QByteArray& bytes_;
    qsizetype pos_ = 0;
};

}  // namespace

Counters parseCounterFile(const QByteArray& bytes) {
    FieldReader reader(bytes);
    Counters counters;
    counters.picture = reader.nextCounter();
    counters.text = reader.nextCounter();
    return counters;
}

CaptureStore::CaptureStore(const FolderHandle& folder) : folder_(folder) {}

// Only the start of the file is read: the two fields need a few bytes, and
// the file may be anything another program put there. A field that the
// bound cuts in two is dropped rather than read short.
void CaptureStore::readCounters() {
    FileHead head = readHead(file(kCounterFileName), kCounterFileHeadBytes);
    if (!head.complete) {
        const auto isDelimiter = [](char c) {
            return c == ',' || c == ' ' || c == '\r' || c == '\n';
        };
        qsizetype end = head.bytes.size();
        while (end > 0 && !isDelimiter(head.bytes[end - 1])) --end;
        head.bytes.truncate(end);
    }
    counters_ = parseCounterFile(head.bytes);
}

void CaptureStore::writeCounters() const {
    writeFileReplacing(file(kCounterFileName), counterFileBytes(counters_));
}

// The capture is written in full under a temporary name first; then the
// counter file is written, and only then does the capture get its name. So
// whenever the program ends, the counter file is never behind the numbers
// on disk, and a capture is either whole under its name or not there.
QString CaptureStore::saveNew(Counter& counter, QString (*nameOf)(Counter), StagedFile& staged) {
    if (numbering_) numbering_->skipPresent(counter, nameOf == pictureFileName);
    for (;;) {
        const QString name = nameOf(counter);
        if (!nameIsTaken(file(name))) {
            writeCounters();
            if (staged.publishIfAbsent(file(name))) {
                if (numbering_) numbering_->wrote(QFile::encodeName(name));
                return name;
            }
        }
        raiseCounter(counter);
    }
}

QString CaptureStore::savePicture(const QImage& picture) {
    StagedFile staged(
        folder_, [&](const ByteSink& write) { writeBitmapFile(picture, write); },
        path(pictureFileName(counters_.picture)));
    return saveNew(counters_.picture, pictureFileName, staged);
}

QString CaptureStore::saveText(const QByteArray& utf8) {
    StagedFile staged(
        folder_,
        [&](const ByteSink& write) {
            write(utf8);
            write("\r\n");
        },
        path(textFileName(counters_.text)));
    return saveNew(counters_.text, textFileName, staged);
}

QString CaptureStore::savePicture(StagedFile& staged) {
    return saveNew(counters_.picture, pictureFileName, staged);
}

QString CaptureStore::saveText(StagedFile& staged) {
    return saveNew(counters_.text, textFileName, staged);
}

}  // namespace brimlet
