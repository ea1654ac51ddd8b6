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

// Creates or replaces `path`.
void writeFileReplacing(const QString& path, const QByteArray& bytes);

// Creates `path` only if no file of that name exists; returns false (and
// writes nothing) when the name is taken.
bool writeFileIfAbsent(const QString& path, const QByteArray& bytes);

}  // namespace brimlet
