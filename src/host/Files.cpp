#include "host/Files.h"

#include <QFile>
#include <QFileInfo>

#include "host/RuntimeError.h"

namespace brimlet {

QByteArray readWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists()) throw RuntimeError::fileNotFound(path);
        throw RuntimeError::pathFileAccess(path, file.errorString());
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw RuntimeError::pathFileAccess(path, file.errorString());
    }
    return bytes;
}

void deleteFile(const QString& path) {
    const QFileInfo info(path);
    if (info.fileName().isEmpty() || !info.isFile()) throw RuntimeError::fileNotFound(path);
    if (!(info.permissions() & QFileDevice::WriteOwner)) {
        throw RuntimeError::pathFileAccess(path, QStringLiteral("the file is read-only"));
    }
    QFile file(path);
    if (!file.remove()) throw RuntimeError::pathFileAccess(path, file.errorString());
}

}  // namespace brimlet
