#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <memory>

namespace brimlet {

// A folder held open by a descriptor for as long as a copy of its handle
// lives. Every name is looked up in this folder wherever it is moved or
// renamed to, so a new folder that later takes its old name is never read
// or written. Its path is the one it was opened by, for messages.
class FolderHandle {
  public:
    // Opens the folder at `path` (a folder is often given by its path). A
    // folder that cannot be opened gives a handle that holds none: each use
    // raises what the open met (53 "File not found" for a missing folder).
    FolderHandle(const QString& path);  // NOLINT(google-explicit-constructor)
    // The working folder as it is now: ".", named by its path.
    static FolderHandle working();

    bool isOpen() const { return fd() >= 0; }
    int fd() const;     // -1 when not open
    int error() const;  // why it is not open (an errno value)
    const QString& path() const;
    // Where a name of the folder is, for messages.
    QString filePath(QByteArrayView name) const;
    // Whether the folder was deleted while held (or could not be opened).
    bool isDeleted() const;
    // A descriptor of its own for reading the folder's entries (fdopendir),
    // or -1.
    int openForListing() const;

  private:
    struct Held;
    FolderHandle(const QString& path, const char* openAs);
    std::shared_ptr<const Held> held_;
};

// One name in a folder, as the file system spells it: any bytes but '/'.
struct FolderFile {
    FolderFile(FolderHandle in, QByteArray bytes) : folder(std::move(in)), name(std::move(bytes)) {}
    // A file given by its path: its folder is opened.
    FolderFile(const QString& path);  // NOLINT(google-explicit-constructor)
    QString path() const { return folder.filePath(name); }

    FolderHandle folder;
    QByteArray name;
};

// Raised when the folder of a name was deleted: 75 "Path/File access error",
// whose detail says so.
[[noreturn]] void raiseFolderDeleted(const FolderHandle& folder);

// Reading files that any program may have put in the folder. Nothing here
// blocks or reads without end: a name is opened without waiting (a FIFO
// does not hold the reader), must lead to a regular file (links to one are
// followed; a FIFO, device, socket or folder raises 75 "Path/File access
// error"), and no read goes past the bound its caller gives. A missing file
// (a dangling link included) raises 53 "File not found", a failing read 75.

// The most of a text entry the text viewer is given. The viewer shows at
// most 256 Ki characters, and 1 MiB of UTF-8 always holds more than that.
inline constexpr qint64 kTextHeadBytes = qint64(1) << 20;

// The largest file read whole unless the caller gives another bound.
inline constexpr qint64 kWholeFileLimit = qint64(256) << 20;

// A chunk size for streaming a whole file: large enough to keep the system
// calls few, small enough to cost nothing to hold.
inline constexpr qint64 kStreamChunkBytes = qint64(1) << 20;

// The start of a file.
struct FileHead {
    QByteArray bytes;       // at most the bound asked for
    qint64 size = 0;        // the file's size when it was opened
    bool complete = false;  // `bytes` holds the whole file
};

// Reads a file's first `maxBytes` bytes at most, and tells whether that was
// all of it.
FileHead readHead(const FolderFile& file, qint64 maxBytes);

// Hands a whole file to `consume` in order, in chunks of at most
// `chunkBytes`, reading no further than the size the file had when it was
// opened. Returns the number of bytes handed over. An exception thrown by
// `consume` ends the reading and passes on.
qint64 forEachChunk(const FolderFile& file, qint64 chunkBytes,
                    const std::function<void(QByteArrayView)>& consume);

// A whole file; a file larger than `maxBytes` raises 7 "Out of memory"
// without being read.
QByteArray readWholeFile(const FolderFile& file, qint64 maxBytes = kWholeFileLimit);

// Whether the folder has an entry of this name of any kind: a file, a
// folder, a FIFO, or a link, even one that leads nowhere. Raises 75 when the
// folder cannot be searched.
bool nameIsTaken(const FolderFile& file);

// Deletes a file (a link to one: the link). Raises 53 for an empty name or
// a missing file, and 75 for a read-only file or one the system will not
// remove.
void deleteFile(const FolderFile& file);

}  // namespace brimlet
