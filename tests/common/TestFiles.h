#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QString>

namespace brimlet::testing {

// Writes a file whole; fails the test when it cannot.
inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
}

// The same for a path given as the file system's bytes, which need not be
// UTF-8.
inline void writeFile(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path.toStdString();
    const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    ::close(fd);
    ASSERT_EQ(written, bytes.size()) << path.toStdString();
}

// A file's bytes, or "<missing>" when it cannot be read.
inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A symbolic link at `link` to `target`, which need not exist.
inline void makeLink(const QString& target, const QString& link) {
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
              0)
        << link.toStdString();
}

// A picture of one colour.
inline QImage solid(QColor color, int width = 6, int height = 4) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

}  // namespace brimlet::testing
