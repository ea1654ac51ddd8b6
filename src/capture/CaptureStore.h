#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <cstdint>

#include "files/AtomicFile.h"

namespace brimlet {

class SyncedNumbering;

// Wide enough that no folder runs out of numbers.
using Counter = std::int32_t;

// The last numbers used for pictures and texts; persisted in the counter file.
struct Counters {
    Counter picture = 0;
    Counter text = 0;
    bool operator==(const Counters& other) const {
        return picture == other.picture && text == other.text;
    }
};

inline const QString kCounterFileName = QStringLiteral("pikcounter.txt");
// How much of the counter file is read: far more than the longest line
// written ("-2147483648,-2147483648" CR LF), with room for blanks and a
// second line.
inline constexpr qint64 kCounterFileHeadBytes = 64;

// A counter as text: a sign position (blank, or "-") and the digits.
QString renderCounter(Counter value);
QString pictureFileName(Counter value);  // "picture 12.jpeg"
QString textFileName(Counter value);     // "text 7.txt"

// Raises a counter by one; at its largest value (2147483647) it stays and
// 6 "Overflow" is raised.
void raiseCounter(Counter& counter);

// The counter file's exact bytes: "12,7" CR LF.
QByteArray counterFileBytes(const Counters& counters);

// Reads the two fields of a counter file. Blanks before a field are skipped;
// a field ends at a comma, a blank or a line end; a field that is not a
// number reads as 0. Raises 6 "Overflow" for a number outside the counter's
// range and 62 "Input past end of file" when a field is missing.
Counters parseCounterFile(const QByteArray& bytes);

// The capture files and the counter file of one folder, held open (see
// FolderHandle): a folder renamed or moved meanwhile keeps receiving them,
// and one deleted meanwhile raises 75, saying so, at the next write.
class CaptureStore {
  public:
    explicit CaptureStore(const FolderHandle& folder);

    Counters& counters() { return counters_; }
    const Counters& counters() const { return counters_; }
    const FolderHandle& folder() const { return folder_; }
    // A file of the folder, by its name's bytes.
    FolderFile file(const QByteArray& name) const { return FolderFile(folder_, name); }
    FolderFile file(const QString& name) const { return file(QFile::encodeName(name)); }
    // Where a file of the folder is, for messages.
    QString path(const QString& name) const { return folder_.filePath(QFile::encodeName(name)); }

    // Reads the counter file; raises 53 when it is missing and 75 when it is
    // not a regular file (a FIFO, a device).
    void readCounters();
    void writeCounters() const;

    // Write the capture of the current counter as a new file, and the
    // counter file. A capture never replaces anything: while the folder has
    // an entry of that name, of any kind (a link that leads nowhere
    // included), the counter is raised further. Returns the name written.
    // A picture is written as a bitmap; a text as its UTF-8 bytes, then CR LF.
    QString savePicture(const QImage& picture);
    // A picture already staged in the folder as a bitmap file.
    QString savePicture(StagedFile& staged);
    QString saveText(const QByteArray& utf8);
    // A text already staged in the folder (a spooled one: the text, CR LF).
    QString saveText(StagedFile& staged);

    // Numbers from the highest number present in the folder too, and tells
    // it which captures this program wrote.
    void setNumbering(SyncedNumbering* numbering) { numbering_ = numbering; }

  private:
    QString saveNew(Counter& counter, QString (*nameOf)(Counter), StagedFile& staged);

    FolderHandle folder_;
    Counters counters_;
    SyncedNumbering* numbering_ = nullptr;
};

}  // namespace brimlet
