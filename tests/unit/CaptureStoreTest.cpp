#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/Raised.h"
#include "common/TestFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include "base/RuntimeError.h"
#include "capture/CaptureStore.h"
#include "capture/SyncedNumbering.h"
#include "files/Picture.h"

namespace brimlet {
namespace {

using testing::makeLink;
using testing::raisedBy;
using testing::readAll;
using testing::solid;
using testing::writeFile;

TEST(CaptureNames, RenderWithSignPositionAndNoPadding) {
    EXPECT_EQ(renderCounter(1), " 1");
    EXPECT_EQ(renderCounter(0), " 0");
    EXPECT_EQ(renderCounter(-4), "-4");
    EXPECT_EQ(renderCounter(2147483647), " 2147483647");
    EXPECT_EQ(renderCounter(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(pictureFileName(12), "picture 12.jpeg");
    EXPECT_EQ(pictureFileName(-2), "picture-2.jpeg");
    EXPECT_EQ(textFileName(1), "text 1.txt");
}

TEST(CaptureNames, ParsedOnlyAsWrittenAndConflictCopiesLeadToTheirOriginal) {
    EXPECT_EQ(parseCaptureName("text 12.txt")->number, 12);
    EXPECT_TRUE(parseCaptureName("picture-2.jpeg")->picture);
    for (const char* other : {"text 012.txt", "text +1.txt", "text1.txt", "text 1.txt.bak",
                              "Text 1.txt", "text 99999999999.txt", "picture 1.txt"}) {
        EXPECT_FALSE(parseCaptureName(other)) << other;
    }
    EXPECT_EQ(conflictOriginal("text 1.sync-conflict-20261209-170216-I5WO7WO.txt"), "text 1.txt");
    EXPECT_EQ(conflictOriginal("pikcounter.sync-conflict-20261209-170216-I5WO7WO.txt"),
              "pikcounter.txt");
    EXPECT_EQ(conflictOriginal("text 1.sync-conflict-2026-170216-I5WO7WO.txt"), "");
    EXPECT_EQ(conflictOriginal("text 1.txt"), "");
}

TEST(CaptureNames, RaisingStopsAtTheTopWithOverflow) {
    Counter c = 2147483646;
    raiseCounter(c);
    EXPECT_EQ(c, 2147483647);
    EXPECT_EQ(raisedBy([&] { raiseCounter(c); }).number, 6);
    EXPECT_EQ(c, 2147483647);
    Counter negative = -1;
    raiseCounter(negative);
    EXPECT_EQ(negative, 0);
}

TEST(CounterFile, WriterBytes) {
    EXPECT_EQ(counterFileBytes({12, 7}), QByteArray("12,7\r\n"));
    EXPECT_EQ(counterFileBytes({-3, 0}), QByteArray("-3,0\r\n"));
    EXPECT_EQ(counterFileBytes({0, 0}), QByteArray("0,0\r\n"));
    EXPECT_EQ(counterFileBytes({-32768, 40000}), QByteArray("-32768,40000\r\n"));
}

TEST(CounterFile, ReaderAcceptsWhatAnInputStatementAccepts) {
    EXPECT_EQ(parseCounterFile("12,7\r\n"), (Counters{12, 7}));
    EXPECT_EQ(parseCounterFile("12,7"), (Counters{12, 7}));
    EXPECT_EQ(parseCounterFile("12, 7\r\n"), (Counters{12, 7}));
    EXPECT_EQ(parseCounterFile("  12 , 7\r\n"), (Counters{12, 7}));
    EXPECT_EQ(parseCounterFile("12\r\n7\r\n"), (Counters{12, 7}));
    EXPECT_EQ(parseCounterFile("12\n7"), (Counters{12, 7}));
    EXPECT_EQ(parseCounterFile("12 7"), (Counters{12, 7}));
    EXPECT_EQ(parseCounterFile("-3,0\r\n"), (Counters{-3, 0}));
    EXPECT_EQ(parseCounterFile("-2147483648,40000\r\n"), (Counters{-2147483647 - 1, 40000}));
    // A field that is not a number reads as 0.
    EXPECT_EQ(parseCounterFile("abc,5\r\n"), (Counters{0, 5}));
    EXPECT_EQ(parseCounterFile("5,\r\n"), (Counters{5, 0}));
    // Fractions round half to even.
    EXPECT_EQ(parseCounterFile("2.5,3.5"), (Counters{2, 4}));
}

TEST(CounterFile, ReaderFailsOnMissingFieldsAndOutOfRange) {
    EXPECT_EQ(raisedBy([] { parseCounterFile(""); }).number, 62);
    EXPECT_EQ(raisedBy([] { parseCounterFile("5"); }).number, 62);
    EXPECT_EQ(raisedBy([] { parseCounterFile("5\r\n"); }).number, 62);
    EXPECT_EQ(raisedBy([] { parseCounterFile("   "); }).number, 62);
    EXPECT_EQ(raisedBy([] { parseCounterFile("4000000000,1\r\n"); }).number, 6);
    EXPECT_EQ(raisedBy([] { parseCounterFile("1,-2147483649\r\n"); }).number, 6);
    EXPECT_EQ(raisedBy([] { parseCounterFile("2147483648,0"); }).number, 6);
}

class CaptureStoreTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    CaptureStore store{dir.path()};
    QString at(const QString& name) { return dir.filePath(name); }
};

TEST_F(CaptureStoreTest, ReadsAndWritesTheCounterFile) {
    EXPECT_EQ(raisedBy([&] { store.readCounters(); }).number, 53);
    writeFile(at("pikcounter.txt"), "12,7\r\n");
    store.readCounters();
    EXPECT_EQ(store.counters(), (Counters{12, 7}));
    store.counters() = {13, 7};
    store.writeCounters();
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("13,7\r\n"));
}

// Another program may have put anything under the counter file's name: it
// is read only if it is a regular file (through a link, too), and only as
// far as the two fields need.
TEST_F(CaptureStoreTest, TheCounterFileIsReadWithoutWaitingAndOnlyItsHead) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("pikcounter.txt")).constData(), 0600), 0);
    EXPECT_EQ(raisedBy([&] { store.readCounters(); }).number, 75);
    ASSERT_TRUE(QFile::remove(at("pikcounter.txt")));
    makeLink("/dev/zero", at("pikcounter.txt"));
    EXPECT_EQ(raisedBy([&] { store.readCounters(); }).number, 75);
    ASSERT_TRUE(QFile::remove(at("pikcounter.txt")));

    QTemporaryDir elsewhere;
    writeFile(elsewhere.filePath("counters"), "12, 7\r\n" + QByteArray(1 << 20, 'x'));
    makeLink(elsewhere.filePath("counters"), at("pikcounter.txt"));
    store.readCounters();
    EXPECT_EQ(store.counters(), (Counters{12, 7}));
    ASSERT_TRUE(QFile::remove(at("pikcounter.txt")));

    writeFile(at("pikcounter.txt"), "12\r\n7\r\n" + QByteArray(1 << 20, ' '));
    store.readCounters();
    EXPECT_EQ(store.counters(), (Counters{12, 7}));
    // A field that the bound cuts in two is missing, never read short.
    writeFile(at("pikcounter.txt"), "1," + QByteArray(kCounterFileHeadBytes - 4, ' ') + "345\r\n");
    EXPECT_EQ(raisedBy([&] { store.readCounters(); }).number, 62);
}

// Whatever stands under a capture's name (a link that leads nowhere or out
// of the folder, a FIFO, a folder) keeps it: nothing is replaced or written
// through, and the capture takes the next free number.
TEST_F(CaptureStoreTest, ANameTakenByAnyEntryIsNeverReplacedNorWrittenThrough) {
    QTemporaryDir outside;
    const QString outsideFile = outside.filePath("written through");
    makeLink(outsideFile, at("text 1.txt"));
    makeLink(outside.path(), at("text 2.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("text 3.txt")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("text 4.txt"));
    makeLink(outside.filePath("picture"), at("picture 1.jpeg"));

    store.counters() = {1, 1};  // as after a lost counter file
    EXPECT_EQ(store.saveText("new"), "text 5.txt");
    EXPECT_EQ(readAll(at("text 5.txt")), QByteArray("new\r\n"));
    EXPECT_EQ(store.savePicture(solid(Qt::red, 4, 3)), "picture 2.jpeg");
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("2,5\r\n"));

    EXPECT_EQ(QDir(outside.path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList());
    EXPECT_EQ(QFileInfo(at("text 1.txt")).symLinkTarget(), outsideFile);
    EXPECT_TRUE(QFileInfo(at("text 2.txt")).isSymLink());
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(at("text 3.txt")).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_TRUE(QFileInfo(at("text 4.txt")).isDir());
    EXPECT_TRUE(QFileInfo(at("picture 1.jpeg")).isSymLink());
    EXPECT_EQ(
        QDir(dir.path()).entryList({".brimlet-*"}, QDir::AllEntries | QDir::Hidden | QDir::System),
        QStringList());
}

TEST_F(CaptureStoreTest, TextFileHoldsTheTextThenCrLfInUtf8) {
    store.counters().text = 1;
    EXPECT_EQ(store.saveText("abc"), "text 1.txt");
    EXPECT_EQ(readAll(at("text 1.txt")), QByteArray("abc\r\n"));
    store.counters().text = 2;
    store.saveText("");
    EXPECT_EQ(readAll(at("text 2.txt")), QByteArray("\r\n"));
    store.counters().text = 3;
    store.saveText("line\r\n");
    EXPECT_EQ(readAll(at("text 3.txt")), QByteArray("line\r\n\r\n"));
    store.counters().text = 4;
    store.saveText(QString::fromUtf8("Grüße € 😀\nlf").toUtf8());
    EXPECT_EQ(readAll(at("text 4.txt")), QByteArray("Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC "
                                                    "\xF0\x9F\x98\x80\nlf\r\n"));
}

TEST_F(CaptureStoreTest, CaptureNeverReplacesAnExistingFile) {
    writeFile(at("text 1.txt"), "older");
    writeFile(at("text 2.txt"), "older two");
    store.counters().text = 1;  // as after a lost counter file
    EXPECT_EQ(store.saveText("new"), "text 3.txt");
    EXPECT_EQ(store.counters().text, 3);
    EXPECT_EQ(readAll(at("text 1.txt")), QByteArray("older"));
    EXPECT_EQ(readAll(at("text 2.txt")), QByteArray("older two"));
    EXPECT_EQ(readAll(at("text 3.txt")), QByteArray("new\r\n"));

    writeFile(at("picture 1.jpeg"), "older picture");
    store.counters().picture = 1;
    EXPECT_EQ(store.savePicture(solid(Qt::red, 4, 3)), "picture 2.jpeg");
    EXPECT_EQ(readAll(at("picture 1.jpeg")), QByteArray("older picture"));

    // Searching for a free name past the top is an overflow, not a replacement.
    writeFile(at("text 2147483647.txt"), "top");
    store.counters().text = 2147483647;
    EXPECT_EQ(raisedBy([&] { store.saveText("x"); }).number, 6);
    EXPECT_EQ(readAll(at("text 2147483647.txt")), QByteArray("top"));
}

// The bitmap's bytes themselves (24 bits a pixel, transparent parts laid on
// white) are checked in PictureTest.
TEST_F(CaptureStoreTest, PicturesAreSavedAsBitmapFilesWhateverTheirDepth) {
    QImage translucent(5, 4, QImage::Format_ARGB32);
    translucent.fill(QColor(0, 0, 255, 0));  // fully transparent blue
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30)});
    indexed.fill(0);
    int n = 0;
    for (const QImage& picture : {translucent, indexed}) {
        store.counters().picture = static_cast<Counter>(++n);
        EXPECT_TRUE(readAll(at(store.savePicture(picture))) == bitmapFileBytes(picture));
    }
    EXPECT_EQ(raisedBy([&] { store.savePicture(QImage()); }).number, 481);
}

}  // namespace
}  // namespace brimlet
