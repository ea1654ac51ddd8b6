#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/TestFiles.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "files/Folder.h"

namespace brimlet {
namespace {

using testing::makeLink;
using testing::writeFile;

class FolderTest : public ::testing::Test {
  protected:
    QString at(const QString& name) const { return dir.filePath(name); }
    FolderEntries entries() const { return readFolderEntries(FolderHandle(dir.path())); }

    QTemporaryDir dir;
    QTemporaryDir elsewhere;
};

TEST_F(FolderTest, ListsRegularFilesAndLinksToThemOnly) {
    writeFile(at("file.txt"), "x");
    writeFile(elsewhere.filePath("target"), "x");
    makeLink(elsewhere.filePath("target"), at("link to file.txt"));
    makeLink(elsewhere.path(), at("link to folder.txt"));
    makeLink(elsewhere.filePath("nowhere"), at("dangling.txt"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("fifo.txt")).constData(), 0600), 0);

    const FolderEntries found = entries();
    EXPECT_EQ(found.names.shown(), (QStringList{"file.txt", "link to file.txt"}));
    EXPECT_EQ(found.links, QSet<QByteArray>{"link to file.txt"});
    EXPECT_EQ(entryKind(FolderHandle(dir.path()), "link to file.txt").link, true);
    EXPECT_FALSE(entryKind(FolderHandle(dir.path()), "dangling.txt").listed);
    EXPECT_TRUE(entryKind(FolderHandle(dir.path()), "dangling.txt").link);
}

TEST_F(FolderTest, HiddenNamesAreLeftOutButReported) {
    writeFile(at(".hidden.txt"), "x");
    writeFile(at("shown.txt"), "x");
    const FolderEntries found = entries();
    EXPECT_EQ(found.names.shown(), QStringList{"shown.txt"});
    EXPECT_EQ(found.hidden, QByteArrayList{".hidden.txt"});
    EXPECT_FALSE(entryKind(FolderHandle(dir.path()), ".hidden.txt").listed);
}

TEST_F(FolderTest, NamesThatAreNotUtf8AreKeptByTheirBytes) {
    for (const char* name : {"/odd \xfe.txt", "/odd \xfd.txt"}) {
        writeFile(QFile::encodeName(dir.path()) + name, "");
    }
    const FolderEntries found = entries();
    const QString shown = QString::fromUtf8("odd \uFFFD.txt");
    EXPECT_EQ(found.names.shown(), (QStringList{shown, shown}));
    EXPECT_EQ(found.names.bytes(), (QByteArrayList{"odd \xfd.txt", "odd \xfe.txt"}));
}

TEST_F(FolderTest, OrderIsByTextIgnoringCaseThenByCase) {
    for (const char* name : {"text 2.txt", "text 9.txt", "Text 9.txt", "TEXT 9.txt", "text 10.txt",
                             "notes.TXT", "Zebra.txt", "apple.txt"}) {
        writeFile(at(name), "x");
    }
    const QStringList order{"apple.txt",  "notes.TXT",  "text 10.txt", "text 2.txt",
                            "TEXT 9.txt", "Text 9.txt", "text 9.txt",  "Zebra.txt"};
    const FolderEntries found = entries();
    EXPECT_EQ(found.names.shown(), order);
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        EXPECT_TRUE(listedBefore(order[i], order[i + 1])) << order[i].toStdString();
        EXPECT_FALSE(listedBefore(order[i + 1], order[i])) << order[i].toStdString();
        EXPECT_TRUE(listedBefore(order[i].toUtf8(), order[i + 1].toUtf8()));
        EXPECT_EQ(found.keys.at(i).toByteArray(), sortKey(order[i]));
    }
    EXPECT_EQ(sortKey("Text 9.TXT"), sortKey("text 9.txt"));
    EXPECT_TRUE(listedBefore(QByteArray("odd \xfd"), QByteArray("odd \xfe")));
}

TEST_F(FolderTest, AFolderThatCannotBeReadHasNoEntries) {
    const FolderEntries found = readFolderEntries(FolderHandle(at("missing")));
    EXPECT_TRUE(found.names.isEmpty());
    EXPECT_TRUE(found.hidden.isEmpty());
}

TEST_F(FolderTest, WatcherReportsCreatedRemovedAndRenamedNames) {
    writeFile(at("old.txt"), "x");
    writeFile(at("gone.txt"), "x");
    FolderWatcher watcher{FolderHandle(dir.path())};
    EXPECT_EQ(watcher.takeChanges().names, QSet<QByteArray>{});
    writeFile(at("new.txt"), "x");
    ASSERT_TRUE(QFile::remove(at("gone.txt")));
    ASSERT_TRUE(QFile::rename(at("old.txt"), at("renamed.txt")));
    const FolderWatcher::Changes changes = watcher.takeChanges();
    EXPECT_FALSE(changes.everything);
    EXPECT_EQ(changes.names, (QSet<QByteArray>{"new.txt", "gone.txt", "old.txt", "renamed.txt"}));
    EXPECT_EQ(watcher.takeChanges().names, QSet<QByteArray>{}) << "each change is told once";
}

// The watch is on the folder itself: moved, it is still followed; removed,
// only a fresh read is exact.
TEST_F(FolderTest, WatcherFollowsAMovedFolderAndTellsEverythingWhenItIsRemoved) {
    const QString moved = elsewhere.filePath("moved");
    ASSERT_TRUE(QDir().mkdir(at("sub")));
    FolderWatcher watcher{FolderHandle(at("sub"))};
    ASSERT_TRUE(QDir().rename(at("sub"), moved));
    writeFile(moved + "/after the move.txt", "x");
    FolderWatcher::Changes changes = watcher.takeChanges();
    EXPECT_FALSE(changes.everything);
    EXPECT_EQ(changes.names, QSet<QByteArray>{"after the move.txt"});

    ASSERT_TRUE(QDir(moved).removeRecursively());
    EXPECT_TRUE(watcher.takeChanges().everything);
    EXPECT_TRUE(watcher.takeChanges().everything) << "for good";
    EXPECT_TRUE(FolderWatcher(FolderHandle(at("missing"))).takeChanges().everything);
}

}  // namespace
}  // namespace brimlet
