#pragma once

#include <QByteArray>
#include <QString>

namespace brimlet {

// Whole-file writes that never leave a half-written file under the target
// name: the bytes go to a hidden temporary file in the same folder (named
// ".brimlet-XXXXXX", so no history list ever shows it), every write is
// checked, the data is synced, and only then is the file given its name.
// Failures raise RuntimeError (61 "Disk full", 75 "Path/File access error")
// and leave the target as it was.

// A file written in full under a temporary name beside its target, not yet
// given its name; removed unless published.
class StagedFile {
  public:
    // `target` names the file (or the folder) in error messages.
    StagedFile(const QString& folder, const QByteArray& bytes, const QString& target);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Gives the file the name `path` if no file has that name; returns false
    // (and keeps the staged file) when the name is taken.
    bool publishIfAbsent(const QString& path);
    // Gives the file the name `path`, replacing a file of that name.
    void publishReplacing(const QString& path);

  private:
    QString name_;
};

// Creates or replaces `path`.
void writeFileReplacing(const QString& path, const QByteArray& bytes);

// Creates `path` only if no file of that name exists; returns false (and
// writes nothing) when the name is taken.
bool writeFileIfAbsent(const QString& path, const QByteArray& bytes);

// Removes temporary files that a Brimlet which ended abruptly left in
// `folder`. Only for the program that holds the folder's lock.
void removeStaleTemporaries(const QString& folder);

}  // namespace brimlet
