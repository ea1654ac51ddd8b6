#include <gtest/gtest.h>

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

}  // namespace
}  // namespace brimlet::e2e
