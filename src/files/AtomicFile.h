#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <functional>

#include "files/Files.h"

namespace brimlet {

// Whole-file writes that never leave a half-written file under the target
// name: the bytes go to a hidden temporary file in the same folder (named
// ".brimlet-XXXXXX", so no history list ever shows it), every write is
// checked, the data is synced, and only then is the file given its name.
// Failures raise RuntimeError (61 "Disk full", 75 "Path/File access error",
// which says so when the folder was deleted) and leave the target as it was. No write ever goes
// through a link: the temporary file is created new, and giving it its name replaces a link of that
// name, or (for new files) leaves it alone, and never opens it.

// Hands the bytes of a file being written, in order, to the file.
using ByteSink = std::function<void(QByteArrayView)>;
// Writes a file's bytes into the sink it is given.
using FileProducer = std::function<void(const ByteSink&)>;

// A file written in full under a temporary name beside its target, not yet
// given its name; removed unless published.
class StagedFile {
  public:
    // `target` names the file (or the folder) in error messages.
    StagedFile(const FolderHandle& folder, const QByteArray& bytes, const QString& target);
    // The bytes come from `produce`, which may write them in any number of
    // pieces; an exception it throws ends the staging and passes on.
    StagedFile(const FolderHandle& folder, const FileProducer& produce, const QString& target);
    // An empty file, open for write() until finish(): for bytes that arrive
    // over time. Raises as the other constructors do.
    StagedFile(const FolderHandle& folder, const QString& target);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Appends bytes to a file still open; raises on a failed write.
    void write(QByteArrayView bytes);
    // Writes bytes at `offset` of a file still open (for parts that come
    // out of order); raises on a failed write.
    void writeAt(qint64 offset, QByteArrayView bytes);
    // Syncs and closes the file, which may then be published.
    void finish();

    // Gives the file the name `file` if its folder has no entry of that name
    // (a link counts, even one that leads nowhere); returns false (and keeps
    // the staged file) when the name is taken. Only an atomic rename that
    // never replaces, or a hard link, is used; any other failure raises.
    bool publishIfAbsent(const FolderFile& file);
    // Gives the file the name `file`, replacing a file of that name.
    void publishReplacing(const FolderFile& file);

  private:
    void wrote(qint64 bytes);

    FolderHandle folder_;
    QString target_;
    QByteArray name_;    // empty once published
    int fd_ = -1;        // open until finished
    qint64 unsent_ = 0;  // bytes written since the disk was last asked to take them
};

// Creates or replaces `file` (a link of that name is replaced, not followed).
void writeFileReplacing(const FolderFile& file, const QByteArray& bytes);
// The same with bytes written piece by piece, so that a file too large to
// hold in memory can be copied through (see forEachChunk in Files.h).
void writeFileReplacing(const FolderFile& file, const FileProducer& produce);

// Creates `file` only if its folder has no entry of that name, of any kind;
// returns false (and writes nothing) when the name is taken.
bool writeFileIfAbsent(const FolderFile& file, const QByteArray& bytes);

// Removes temporary files that a Brimlet which ended abruptly left in
// `folder`: regular files named exactly ".brimlet-" and six letters or
// digits; a link, FIFO or folder of such a name is left alone. Only for the
// program that holds the folder's lock.
// Gives an entry of the folder another name there, only if the folder has
// no entry of that name, of any kind; returns false (and changes nothing)
// when the name is taken. Raises 53 when `from` is gone.
bool renameIfAbsent(const FolderHandle& folder, const QByteArray& from, const QByteArray& to);

void removeStaleTemporaries(const FolderHandle& folder);
// The same among the hidden names of a folder that has just been read.
void removeStaleTemporaries(const FolderHandle& folder, const QByteArrayList& hiddenNames);

}  // namespace brimlet
