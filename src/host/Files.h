#pragma once

#include <QByteArray>
#include <QString>

namespace brimlet {

// A whole file's bytes. Raises 53 "File not found" or 75 "Path/File access
// error".
QByteArray readWholeFile(const QString& path);

// Deletes a file. Raises 53 for an empty name or a missing file, and 75 for
// a read-only file or one the system will not remove.
void deleteFile(const QString& path);

}  // namespace brimlet
