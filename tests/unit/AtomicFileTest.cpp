#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/TestFiles.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "host/AtomicFile.h"
#include "host/RuntimeError.h"

namespace brimlet {
namespace {

using testing::readAll;

TEST(AtomicFile, ReplacesOrCreatesAndLeavesNoTemporaryFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("pikcounter.txt");
    writeFileReplacing(path, "1,0\r\n");
    writeFileReplacing(path, "2,0\r\n");
    EXPECT_EQ(readAll(path), QByteArray("2,0\r\n"));

    EXPECT_TRUE(writeFileIfAbsent(dir.filePath("text 1.txt"), "a"));
    EXPECT_FALSE(writeFileIfAbsent(dir.filePath("text 1.txt"), "b"));
    EXPECT_EQ(readAll(dir.filePath("text 1.txt")), QByteArray("a"));

    const QStringList all =
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    EXPECT_EQ(all, (QStringList{"pikcounter.txt", "text 1.txt"}));
    // Finished files get the ordinary mode of a new file, not a temporary's 0600.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther),
              (mask & 044) == 0 ? (QFile::ReadGroup | QFile::ReadOther) : QFile::Permissions());
}

TEST(AtomicFile, AFolderThatCannotBeWrittenRaisesAccessErrorAndKeepsTheTarget) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("gone/pikcounter.txt");
    try {
        writeFileReplacing(missing, "1,0\r\n");
        FAIL() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 75);
        EXPECT_TRUE(e.detail().contains(missing));
    }
    EXPECT_THROW(writeFileIfAbsent(dir.filePath("gone/text 1.txt"), "x"), RuntimeError);
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST(AtomicFile, StaleTemporariesAreRemovedAndNothingElse) {
    QTemporaryDir dir;
    for (const char* name : {".brimlet-AbC123", ".brimlet-zzzzzz", "text 1.txt", ".brimlet.lock",
                             ".brimlet-toolong1"}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    removeStaleTemporaries(dir.path());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{".brimlet-toolong1", ".brimlet.lock", "text 1.txt"}));
}

}  // namespace
}  // namespace brimlet
