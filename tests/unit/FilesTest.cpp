#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "common/QtPrinters.h"
#include "common/Raised.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "files/Files.h"
#include "files/Picture.h"

namespace brimlet {
namespace {

using testing::makeLink;
using testing::Raised;
using testing::raisedBy;
using testing::writeFile;

// Every reader of the host layer, on one name.
std::vector<std::pair<const char*, std::function<void(const QString&)>>> readers() {
    return {
        {"readWholeFile", [](const QString& p) { readWholeFile(p); }},
        {"readHead", [](const QString& p) { readHead(p, kTextHeadBytes); }},
        {"forEachChunk", [](const QString& p) { forEachChunk(p, 4096, [](QByteArrayView) {}); }},
        {"loadPicture", [](const QString& p) { loadPicture(p); }},
    };
}

// A FIFO would hold a plain open for ever, and a device reads without end;
// neither is opened for reading nor read.
TEST(Files, NamesThatAreNotRegularFilesAreRefusedAtOnce) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    makeLink(fifo, dir.filePath("link to fifo.txt"));
    makeLink("/dev/zero", dir.filePath("zero.txt"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.txt"));
    makeLink(dir.filePath("nowhere"), dir.filePath("dangling.txt"));

    for (const auto& [reader, read] : readers()) {
        for (const char* name : {"fifo.txt", "link to fifo.txt"}) {
            const Raised raised = raisedBy([&] { read(dir.filePath(name)); });
            EXPECT_EQ(raised.number, 75) << reader << " " << name;
            EXPECT_TRUE(raised.detail.contains("FIFO"))
                << reader << " " << raised.detail.toStdString();
        }
        const Raised device = raisedBy([&] { read(dir.filePath("zero.txt")); });
        EXPECT_EQ(device.number, 75) << reader;
        EXPECT_TRUE(device.detail.contains("device"))
            << reader << " " << device.detail.toStdString();
        EXPECT_EQ(raisedBy([&] { read(dir.filePath("folder.txt")); }).number, 75) << reader;
        EXPECT_EQ(raisedBy([&] { read(dir.filePath("dangling.txt")); }).number, 53) << reader;
        EXPECT_EQ(raisedBy([&] { read(dir.filePath("missing.txt")); }).number, 53) << reader;
    }
}

TEST(Files, ReadsStopAtTheirBoundAndLinksToRegularFilesReadNormally) {
    QTemporaryDir dir;
    // A sparse 1 GiB file: reading it whole would take seconds and a gigabyte.
    const QString huge = dir.filePath("huge.txt");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write("head"), 4);
        ASSERT_TRUE(file.resize(qint64(1) << 30));
    }
    const FileHead head = readHead(huge, kTextHeadBytes);
    EXPECT_EQ(head.bytes.size(), kTextHeadBytes);
    EXPECT_TRUE(head.bytes.startsWith("head"));
    EXPECT_EQ(head.size, qint64(1) << 30);
    EXPECT_FALSE(head.complete);
    EXPECT_EQ(raisedBy([&] { readWholeFile(huge); }).number, 7);
    EXPECT_EQ(raisedBy([&] { loadPicture(huge); }).number, 7);

    // A file of exactly the bound is complete; one byte more is not.
    QByteArray text(3 * 4096 + 1, 'x');
    text[0] = 'a';
    writeFile(dir.filePath("text.txt"), text);
    EXPECT_TRUE(readHead(dir.filePath("text.txt"), text.size()).complete);
    const FileHead cut = readHead(dir.filePath("text.txt"), text.size() - 1);
    EXPECT_FALSE(cut.complete);
    EXPECT_EQ(cut.bytes, text.left(text.size() - 1));

    // Through a link, and streamed in chunks of at most the size asked for.
    makeLink(dir.filePath("text.txt"), dir.filePath("link.txt"));
    const FileHead whole = readHead(dir.filePath("link.txt"), kTextHeadBytes);
    EXPECT_EQ(whole.bytes, text);
    EXPECT_TRUE(whole.complete);
    EXPECT_EQ(whole.size, text.size());
    EXPECT_EQ(readWholeFile(dir.filePath("link.txt")), text);
    QByteArray streamed;
    int chunks = 0;
    EXPECT_EQ(forEachChunk(dir.filePath("link.txt"), 4096,
                           [&](QByteArrayView chunk) {
                               EXPECT_LE(chunk.size(), 4096);
                               streamed.append(chunk);
                               ++chunks;
                           }),
              text.size());
    EXPECT_EQ(streamed, text);
    EXPECT_EQ(chunks, 4);

    writeFile(dir.filePath("empty.txt"), "");
    EXPECT_TRUE(readHead(dir.filePath("empty.txt"), kTextHeadBytes).complete);
    EXPECT_EQ(forEachChunk(dir.filePath("empty.txt"), 4096, [](QByteArrayView) { FAIL(); }), 0);
}

}  // namespace
}  // namespace brimlet
