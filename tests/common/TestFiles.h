#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace brimlet::testing {

// A file's bytes, or "<missing>" when it cannot be read.
inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

}  // namespace brimlet::testing
