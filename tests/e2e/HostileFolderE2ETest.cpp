#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "XSession.h"

namespace brimlet::e2e {
namespace {

// A folder that another program has laid traps in: a FIFO as the counter
// file, which holds a plain open for ever, and capture names taken by a
// link that leads out of the folder to nothing, a link to a folder outside,
// and a FIFO. Brimlet starts, captures under the next free name, writes
// nothing outside its folder and has nothing to report.
TEST(HostileFolderE2E, TrapsInTheFolderNeitherHoldTheWindowNorLeadWritesOutOfIt) {
    QTemporaryDir dir;
    QTemporaryDir outside;
    const auto at = [&](const char* name) { return QFile::encodeName(dir.filePath(name)); };
    ASSERT_EQ(::mkfifo(at("pikcounter.txt").constData(), 0600), 0);
    const QString outsideFile = outside.filePath("written through");
    ASSERT_EQ(::symlink(QFile::encodeName(outsideFile).constData(), at("text 1.txt").constData()),
              0);
    ASSERT_EQ(
        ::symlink(QFile::encodeName(outside.path()).constData(), at("text 2.txt").constData()), 0);
    ASSERT_EQ(::mkfifo(at("text 3.txt").constData(), 0600), 0);

    Brimlet brimlet(dir.path());
    ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
    // Unreadable counters start at 0; the first free name is number 4.
    ASSERT_TRUE(captureProbe(dir.path(), "text 4.txt")) << brimlet.output().toStdString();
    copyToClipboard("second");
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(dir.filePath("text 5.txt")); }));
    EXPECT_EQ(readFile(dir.filePath("text 5.txt")), QByteArray("second\r\n"));
    EXPECT_TRUE(waitUntil([&] { return readFile(dir.filePath("pikcounter.txt")) == "0,5\r\n"; }));

    EXPECT_EQ(QDir(outside.path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList());
    EXPECT_EQ(QFileInfo(dir.filePath("text 1.txt")).symLinkTarget(), outsideFile);
    EXPECT_EQ(brimlet.messageBox(), QString());
}

// The folder is held from the start: moved away, it keeps receiving the
// captures, and a new folder under its old name is left alone (a second
// Brimlet starts there normally); deleted, one message says so and
// capturing stops with the copy still on the clipboard.
TEST(HostileFolderE2E, TheFolderStaysTheOneLockedWhenMovedAndStopsOnceWhenDeleted) {
    QTemporaryDir root;
    const QString folder = root.filePath("f20");
    const QString moved = root.filePath("f20-moved");
    ASSERT_TRUE(QDir().mkdir(folder));
    Brimlet brimlet(folder);
    ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
    ASSERT_TRUE(captureProbe(folder, "text 1.txt")) << brimlet.output().toStdString();
    ASSERT_TRUE(QDir().rename(folder, moved) && QDir().mkdir(folder));

    copyToClipboard("after the move");
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(moved + "/text 2.txt"); }));
    EXPECT_EQ(readFile(moved + "/text 2.txt"), QByteArray("after the move\r\n"));
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
    {
        Brimlet second(folder);
        ASSERT_TRUE(second.waitForWindow()) << second.output().toStdString();
        EXPECT_TRUE(second.output().startsWith("brimlet: capturing into"))
            << second.output().data();
        second.kill();
    }

    ASSERT_TRUE(QDir(moved).removeRecursively());
    copyToClipboard("after the delete");
    QString box;
    ASSERT_TRUE(waitUntil([&] { return !(box = brimlet.messageBox()).isEmpty(); }));
    ASSERT_TRUE(dismiss(box));
    copyToClipboard("later");
    // Three ticks' time: capturing is off, so no second message and the copy stays.
    EXPECT_TRUE(
        staysTrue([&] { return brimlet.messageBox().isEmpty() && clipboardText().out == "later"; },
                  std::chrono::milliseconds(1500)));
    EXPECT_EQ(brimlet.messageBox(), QString()) << "shown once";
    EXPECT_EQ(clipboardText().out, QByteArray("later"));
    EXPECT_FALSE(brimlet.mainWindow().isEmpty()) << brimlet.output().toStdString();
}

// Names that are not UTF-8 (two that show alike) are listed, shown, copied
// and deleted by their own bytes.
TEST(HostileFolderE2E, NamesThatAreNotUtf8AreListedShownCopiedAndDeleted) {
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path()) + '/';
    const auto put = [&](const QByteArray& name, const QByteArray& bytes) {
        const int fd = ::open((base + name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_TRUE(fd >= 0 && ::write(fd, bytes.constData(), bytes.size()) == bytes.size());
        ::close(fd);
    };
    put("caf\xe8.txt", "first\r\n");
    put("caf\xe9.txt", "second\r\n");
    writeFile(dir.filePath("text 1.txt"), "a capture\r\n");
    Brimlet brimlet(dir.path(), Brimlet::Trace::On);
    ASSERT_TRUE(brimlet.waitForWindow()) << brimlet.output().toStdString();
    ASSERT_TRUE(captureProbe(dir.path(), "text 2.txt"));

    const QString box = copyFirstTextEntryBack(brimlet);
    EXPECT_EQ(brimlet.nextTrace("shows "), QString::fromUtf8("caf\uFFFD.txt"));
    ASSERT_FALSE(box.isEmpty()) << "no message";
    EXPECT_EQ(clipboardText().out, QByteArray("first"));
    ASSERT_TRUE(dismiss(box));
    brimlet.clickAt(120 + 1087, 3720 + 187);  // "Delete Text"
    QString deleted;
    ASSERT_TRUE(waitUntil(
        [&] { return !(deleted = brimlet.visibleWindowNamed("File Deleted")).isEmpty(); }));
    ASSERT_TRUE(dismiss(deleted));
    struct stat info {};
    EXPECT_NE(::stat((base + "caf\xe8.txt").constData(), &info), 0);
    EXPECT_EQ(::unlink((base + "caf\xe9.txt").constData()), 0);  // the other one stays
}

}  // namespace
}  // namespace brimlet::e2e
