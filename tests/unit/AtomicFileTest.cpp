#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/Raised.h"
#include "common/TestFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "base/RuntimeError.h"
#include "files/AtomicFile.h"
#include "files/Files.h"
#include "files/SpooledText.h"

namespace brimlet {
namespace {

using testing::makeLink;
using testing::Raised;
using testing::raisedBy;
using testing::readAll;
using testing::writeFile;

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

// A new file's name is given only by calls that fail on any entry of that
// name; a replaced file's name is given by a rename, which replaces a link
// itself. No write ever opens a link.
TEST(AtomicFile, NoWriteFollowsALink) {
    QTemporaryDir dir;
    QTemporaryDir outside;
    const QString outsideFile = outside.filePath("target");
    makeLink(outsideFile, dir.filePath("dangling"));
    makeLink(outside.path(), dir.filePath("to a folder"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
    for (const char* name : {"dangling", "to a folder", "fifo"}) {
        EXPECT_FALSE(writeFileIfAbsent(dir.filePath(name), "x")) << name;
    }
    // Publishing a staged file under a taken name keeps it staged.
    StagedFile staged(dir.path(), "staged", dir.filePath("dangling"));
    EXPECT_FALSE(staged.publishIfAbsent(dir.filePath("dangling")));
    EXPECT_TRUE(staged.publishIfAbsent(dir.filePath("free")));
    EXPECT_EQ(readAll(dir.filePath("free")), QByteArray("staged"));
    // A rename cannot be done (no such folder): a write failure, never a copy.
    StagedFile stranded(dir.path(), "stranded", dir.filePath("gone/x"));
    EXPECT_EQ(raisedBy([&] { stranded.publishIfAbsent(dir.filePath("gone/x")); }).number, 75);

    writeFile(outsideFile, "outside");
    makeLink(outsideFile, dir.filePath("pikcounter.txt"));
    writeFileReplacing(dir.filePath("pikcounter.txt"), "1,0\r\n");
    EXPECT_FALSE(QFileInfo(dir.filePath("pikcounter.txt")).isSymLink());
    EXPECT_EQ(readAll(dir.filePath("pikcounter.txt")), QByteArray("1,0\r\n"));
    EXPECT_EQ(readAll(outsideFile), QByteArray("outside"));
    EXPECT_EQ(QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"target"});
}

// A file too large to hold is copied through in pieces; a failing producer
// leaves the target as it was and no temporary behind.
TEST(AtomicFile, AFileWrittenInPiecesIsWholeOrNotThere) {
    QTemporaryDir dir;
    const QString source = dir.filePath("source");
    writeFile(source, QByteArray(3 << 20, 'x') + "end");
    const QString copy = dir.filePath("copy");
    writeFileReplacing(copy, [&](const ByteSink& write) {
        forEachChunk(source, kStreamChunkBytes, write);
        write("\r\n");
    });
    EXPECT_EQ(readAll(copy), readAll(source) + "\r\n");
    EXPECT_THROW(writeFileReplacing(copy,
                                    [](const ByteSink& write) {
                                        write("partial");
                                        throw RuntimeError::overflow();
                                    }),
                 RuntimeError);
    EXPECT_EQ(readAll(copy), readAll(source) + "\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{"copy", "source"}));
}

TEST(AtomicFile, ALongTextIsCheckedAsUtf8AndSpooledAsItArrives) {
    QTemporaryDir dir;
    // Over the held size, its characters cut by the pieces at every place.
    const QByteArray text = QString::fromUtf8(
                                "\xF0\x9F\x98\x80"
                                "a\xC3\xB1\xE2\x82\xAC\n")
                                .repeated(400000)
                                .toUtf8();
    const QByteArray sent = text + '\0';  // a trailing NUL is no part of it
    SpooledText spooled{FolderHandle(dir.path())};
    for (qsizetype at = 0, step = 1; at < sent.size(); at += step, step = at < 3 ? 1 : 4093) {
        ASSERT_TRUE(spooled.append(
            QByteArrayView(sent).sliced(at).first(std::min(step, sent.size() - at))));
    }
    ASSERT_TRUE(spooled.finish());
    ASSERT_TRUE(spooled.spooled());
    EXPECT_EQ(spooled.utf16Length(), QString::fromUtf8(text).size());
    EXPECT_EQ(spooled.held(), text.left(SpooledText::kStartBytes));
    ASSERT_TRUE(spooled.file().publishIfAbsent(FolderFile(dir.filePath("text 1.txt"))));
    EXPECT_EQ(readAll(dir.filePath("text 1.txt")), text + "\r\n");
    {
        // Not UTF-8 after all: refused, and its file goes with it.
        SpooledText latin1{FolderHandle(dir.path())};
        EXPECT_TRUE(latin1.append(text));
        EXPECT_FALSE(latin1.append("caf\xE9 au lait"));
        EXPECT_FALSE(latin1.finish());
    }
    // A short text stays in memory; one that ends inside a character is not UTF-8.
    SpooledText cut{FolderHandle(dir.path())};
    EXPECT_TRUE(cut.append("ab\xF0\x9F"));
    EXPECT_FALSE(cut.spooled());
    EXPECT_FALSE(cut.finish());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"text 1.txt"});
}

TEST(AtomicFile, AFolderThatCannotBeWrittenRaisesAccessErrorAndKeepsTheTarget) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("gone/pikcounter.txt");
    const Raised raised = raisedBy([&] { writeFileReplacing(missing, "1,0\r\n"); });
    EXPECT_EQ(raised.number, 75);
    EXPECT_TRUE(raised.detail.contains(missing)) << raised.detail.toStdString();
    EXPECT_THROW(writeFileIfAbsent(dir.filePath("gone/text 1.txt"), "x"), RuntimeError);
    EXPECT_FALSE(QFileInfo::exists(missing));
}

// A folder is held by its handle: renamed, it still receives the writes and
// a new folder under its old name gets none; deleted, a write says so.
TEST(AtomicFile, WritesGoToTheHeldFolderWhereverItIsMoved) {
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkdir("a"));
    const FolderHandle folder(root.filePath("a"));
    ASSERT_TRUE(QDir(root.path()).rename("a", "b") && QDir(root.path()).mkdir("a"));
    EXPECT_TRUE(writeFileIfAbsent(FolderFile(folder, "text 1.txt"), "x"));
    EXPECT_EQ(readAll(root.filePath("b/text 1.txt")), QByteArray("x"));
    EXPECT_EQ(QDir(root.filePath("a")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList());
    ASSERT_TRUE(QDir(root.filePath("b")).removeRecursively());
    try {
        writeFileReplacing(FolderFile(folder, "pikcounter.txt"), "1,0\r\n");
        FAIL() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_TRUE(
            e.detail().endsWith("the folder was deleted while Brimlet was capturing into it"));
    }
}

TEST(AtomicFile, StaleTemporariesAreRemovedAndNothingElse) {
    QTemporaryDir dir;
    QTemporaryDir outside;
    for (const char* name : {".brimlet-AbC123", ".brimlet-zzzzzz", "text 1.txt", ".brimlet.lock",
                             ".brimlet-toolong1", ".brimlet-ab.d12"}) {
        writeFile(dir.filePath(name), "");
    }
    // Only regular files of the exact name go: not a link (whatever it leads
    // to), a FIFO or a folder.
    writeFile(outside.filePath("kept"), "kept");
    makeLink(outside.filePath("kept"), dir.filePath(".brimlet-LinkTo"));
    makeLink(outside.filePath("gone"), dir.filePath(".brimlet-Dangle"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(".brimlet-FifoXX")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(".brimlet-Folder"));
    removeStaleTemporaries(dir.path());
    EXPECT_EQ(
        QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name),
        (QStringList{".brimlet-Dangle", ".brimlet-FifoXX", ".brimlet-Folder", ".brimlet-LinkTo",
                     ".brimlet-ab.d12", ".brimlet-toolong1", ".brimlet.lock", "text 1.txt"}));
    EXPECT_EQ(readAll(outside.filePath("kept")), QByteArray("kept"));
}

}  // namespace
}  // namespace brimlet
