#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "common/QtPrinters.h"
#include "common/TestFiles.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "FakeCaptureView.h"
#include "FakeHost.h"
#include "capture/CaptureEngine.h"
#include "dialogs/FolderControls.h"
#include "dialogs/SaveAsDialog.h"
#include "files/Files.h"
#include "files/Folder.h"
#include "history/HistoryBrowser.h"
#include "history/LineReader.h"
#include "widgets/FileList.h"
#include "widgets/PictureBox.h"
#include "widgets/TextBox.h"

namespace brimlet {
namespace {

using testing::FakeHost;
using Via = HistoryBrowser::Via;
using testing::readAll;
using testing::solid;
using testing::writeFile;

// The capture engine's window for these tests: the history's own lists and
// viewers show what the engine captures.
class ListsView : public testing::FakeCaptureView {
  public:
    FileList* pictureList = nullptr;
    FileList* textList = nullptr;
    PictureBox* pictureViewer = nullptr;
    TextBox* textViewer = nullptr;

    void showPicture(const QImage& p) override { pictureViewer->setPicture(p); }
    void showText(const QString& t) override { textViewer->setText(t); }
    void pictureAdded(const QString&) override { pictureList->refresh(); }
    void textAdded(const QString&) override { textList->refresh(); }
};

class HistoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        write("pikcounter.txt", "3,2\r\n");
        pictureList.refresh();
        textList.refresh();
        view.engine = &engine;
        view.pictureList = &pictureList;
        view.textList = &textList;
        view.pictureViewer = &pictureViewer;
        view.textViewer = &textViewer;
        QObject::connect(&pictureList, &FileList::entryChosen,
                         [this] { history.showChosenPicture(); });
        QObject::connect(&textList, &FileList::entryChosen, [this] { history.showChosenText(); });
        engine.start();
        engine.onCaptureTick();  // first tick: capturing on, "On" selected
        host.calls.clear();
    }
    void write(const QString& name, const QByteArray& bytes) {
        writeFile(dir.filePath(name), bytes);
    }
    bool exists(const QString& name) const { return QFile::exists(dir.filePath(name)); }

    QTemporaryDir dir;
    FakeHost host;
    ListsView view;
    CaptureEngine engine{host, dir.path(), view};
    FileList pictureList{dir.path(), QStringLiteral("*.jpeg*")};
    FileList textList{dir.path(), QStringLiteral("*.txt*")};
    // Each fill, insertion, removal and full re-read of the lists' rows is
    // checked against the rules of an item model; a fault ends the run.
    QAbstractItemModelTester pictureRows{pictureList.model(),
                                         QAbstractItemModelTester::FailureReportingMode::Fatal};
    QAbstractItemModelTester textRows{textList.model(),
                                      QAbstractItemModelTester::FailureReportingMode::Fatal};
    PictureBox pictureViewer;
    TextBox textViewer;
    HistoryBrowser history{host, engine, view,
                           HistoryControls{&pictureList, &textList, &pictureViewer, &textViewer}};
};

TEST_F(HistoryTest, ListsMatchTheirPatternsSortedByNameAsText) {
    for (const char* name : {"picture 2.jpeg", "picture 10.jpeg", "photo.jpg", "old.jpeg.bak",
                             "text 2.txt", "text 10.txt", "notes.txt.old", "readme.md"}) {
        write(name, "x");
    }
    pictureList.refresh();
    textList.refresh();
    EXPECT_EQ(pictureList.names(),
              (QStringList{"old.jpeg.bak", "picture 10.jpeg", "picture 2.jpeg"}));
    EXPECT_EQ(textList.names(),
              (QStringList{"notes.txt.old", "pikcounter.txt", "text 10.txt", "text 2.txt"}));
}

TEST_F(HistoryTest, SelectingEntriesFillsOnlyTheirOwnViewer) {
    host.picture = solid(Qt::red);
    engine.onCaptureTick();  // picture 4.jpeg
    write("text 1.txt", "first\nsame line\rsecond\r\n");
    textList.refresh();

    ASSERT_TRUE(textList.selectName("text 1.txt"));
    EXPECT_EQ(history.loadedText(), "first\nsame line\r\nsecond");
    EXPECT_EQ(textViewer.text(), history.loadedText());
    EXPECT_EQ(pictureViewer.picture().pixel(0, 0), qRgb(255, 0, 0)) << "picture viewer untouched";

    QImage green = solid(Qt::green);
    ASSERT_TRUE(green.save(dir.filePath("picture 9.jpeg"), "BMP"));
    pictureList.refresh();
    ASSERT_TRUE(pictureList.selectName("picture 9.jpeg"));
    EXPECT_EQ(pictureViewer.picture().pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(textViewer.text(), "first\nsame line\r\nsecond") << "text viewer untouched";

    // A PNG under a ".jpeg" name is read by its content.
    ASSERT_TRUE(solid(Qt::blue).save(dir.filePath("picture 8.jpeg"), "PNG"));
    pictureList.refresh();
    ASSERT_TRUE(pictureList.selectName("picture 8.jpeg"));
    EXPECT_EQ(pictureViewer.picture().pixel(0, 0), qRgb(0, 0, 255));

    // The poller's capture shows in the viewer; the loaded text stays.
    host.text = "captured";
    engine.onCaptureTick();
    EXPECT_EQ(textViewer.text(), "captured");
    EXPECT_EQ(history.loadedText(), "first\nsame line\r\nsecond");
    EXPECT_EQ(textList.fileName(), "text 1.txt") << "a capture keeps the selection";

    ASSERT_TRUE(textList.selectName("pikcounter.txt"));
    EXPECT_EQ(textViewer.text(), "4,3");
    EXPECT_TRUE(host.messages().isEmpty());
}

TEST_F(HistoryTest, AVanishedEntryIsReportedAndTheViewerKept) {
    write("text 1.txt", "one");
    write("picture 1.jpeg", "not a picture at all");
    pictureList.refresh();
    textList.refresh();
    textViewer.setText("before");
    QFile::remove(dir.filePath("text 1.txt"));
    ASSERT_TRUE(textList.selectName("text 1.txt"));
    ASSERT_EQ(host.messages().size(), 1);
    EXPECT_TRUE(
        host.messages()[0].startsWith("msgBox 48 Brimlet: \"text 1.txt\" cannot be shown."));
    EXPECT_EQ(textViewer.text(), "before");
    EXPECT_FALSE(textList.names().contains("text 1.txt")) << "the list is read again";

    pictureViewer.setPicture(solid(Qt::red));
    ASSERT_TRUE(pictureList.selectName("picture 1.jpeg"));
    ASSERT_EQ(host.messages().size(), 2);
    EXPECT_TRUE(host.messages()[1].contains("\"picture 1.jpeg\" cannot be shown."));
    EXPECT_EQ(pictureViewer.picture().pixel(0, 0), qRgb(255, 0, 0));
}

TEST_F(HistoryTest, CopyImagePutsTheViewersPictureBackAndSwitchesOff) {
    pictureViewer.setPicture(solid(Qt::blue));
    history.copyPicture(Via::Button);
    EXPECT_EQ(host.calls,
              (QStringList{"beep", "setPicture",
                           "msgBox 64 Image Copy: Picture has been copied to clipboard. "
                           "Clipboard Copy has been disabled."}));
    EXPECT_EQ(host.picture->pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(view.selected, "Off");
    EXPECT_FALSE(engine.isOn()) << "no tick comes to capture it again";

    host.calls.clear();
    history.copyPicture(Via::Menu);
    EXPECT_EQ(host.messages(), QStringList{"msgBox 64 Image Copy: Picture has been copied to "
                                           "clipboard. Clip Copy has been disabled."});
}

TEST_F(HistoryTest, PictureCommandStopsTheTimerOnlyAfterItsMessage) {
    pictureViewer.setPicture(solid(Qt::blue));
    view.selectCaptureOff();
    engine.turnOnKeepingClipboard();  // on, with "Off" still selected
    bool enabledDuringMessage = false;
    host.duringMsgBox = [&] { enabledDuringMessage = engine.isOn(); };
    history.copyPicture(Via::Button);
    EXPECT_TRUE(enabledDuringMessage);
    EXPECT_FALSE(engine.isOn());

    engine.turnOnKeepingClipboard();
    textViewer.setText("x");
    history.copyText(Via::Button);
    EXPECT_FALSE(enabledDuringMessage = engine.isOn());
}

TEST_F(HistoryTest, CopyImageWithoutAPictureEndsSilentlyAfterTheBeep) {
    history.copyPicture(Via::Button);
    EXPECT_EQ(host.calls, QStringList{"beep"});
    EXPECT_EQ(view.selected, "On");
    EXPECT_TRUE(engine.isOn());
}

TEST_F(HistoryTest, CopyTextButtonTakesTheViewerAndTheMenuItemTheLoadedText) {
    history.copyText(Via::Menu);  // nothing selected yet: the empty text
    EXPECT_EQ(host.text, QString(""));
    EXPECT_EQ(host.messages(), QStringList{"msgBox 64 Text Copy: Text has been copied to "
                                           "clipboard. Clip Copy has been disabled."});
    EXPECT_FALSE(engine.isOn());
    EXPECT_EQ(view.selected, "Off");

    view.selectCaptureOn();
    write("text 1.txt", "from the file\r\n");
    textList.refresh();
    textList.selectName("text 1.txt");
    host.text = "captured later";
    engine.onCaptureTick();
    host.calls.clear();

    history.copyText(Via::Button);
    EXPECT_EQ(host.text, QString("captured later"));
    EXPECT_EQ(host.calls, (QStringList{"beep", "setText",
                                       "msgBox 64 Text Copy: Text has been copied to clipboard. "
                                       "Clipboard Copy has been disabled."}));
    history.copyText(Via::Menu);
    EXPECT_EQ(host.text, QString("from the file"));
}

TEST_F(HistoryTest, DeleteCommandsRefuseTheProtectedNamesExactly) {
    for (const char* name : {"ReadmeHelp.txt", "PIKCOUNTER.TXT", "text 1.txt"}) write(name, "x");
    textList.refresh();
    const QString refused =
        "msgBox 48 Important: Sorry, this file is important and can not be deleted!";
    const QString deleted = "msgBox 64 File Deleted: Text file has been deleted!";

    textList.selectName("pikcounter.txt");
    host.calls.clear();
    history.deleteText(Via::Button);
    history.deleteText(Via::Menu);
    EXPECT_EQ(host.calls, (QStringList{"beep", refused, "beep", refused}));
    EXPECT_TRUE(exists("pikcounter.txt"));

    textList.selectName("ReadmeHelp.txt");
    host.calls.clear();
    history.deleteText(Via::Button);
    EXPECT_EQ(host.calls, (QStringList{"beep", refused}));
    history.deleteText(Via::Menu);
    EXPECT_EQ(host.calls.last(), deleted);
    EXPECT_FALSE(exists("ReadmeHelp.txt"));

    textList.selectName("PIKCOUNTER.TXT");  // another name, letter case differs
    history.deleteText(Via::Button);
    EXPECT_FALSE(exists("PIKCOUNTER.TXT"));
    EXPECT_EQ(textList.names(), (QStringList{"pikcounter.txt", "text 1.txt"}));
}

TEST_F(HistoryTest, DeletingLeavesCountersViewersAndSwitchAlone) {
    host.picture = solid(Qt::red);
    engine.onCaptureTick();  // picture 4.jpeg, shown in the viewer
    pictureList.selectName("picture 4.jpeg");
    host.calls.clear();
    history.deletePicture();
    EXPECT_EQ(host.calls, (QStringList{"beep", "msgBox 64 File Deleted: Image has been deleted!"}));
    EXPECT_FALSE(exists("picture 4.jpeg"));
    EXPECT_EQ(pictureList.names(), QStringList{});
    EXPECT_FALSE(pictureViewer.picture().isNull()) << "the viewer keeps the picture";
    EXPECT_TRUE(engine.isOn());

    host.calls.clear();
    history.deletePicture();  // nothing selected any more: only the beep
    EXPECT_EQ(host.calls, QStringList{"beep"});

    host.picture = solid(Qt::green);
    engine.onCaptureTick();
    EXPECT_TRUE(exists("picture 5.jpeg")) << "numbers never go down";
}

// A name that is not UTF-8 is listed with replacement characters and found
// by its bytes: two that show alike stay two entries, each shown and deleted
// as itself, and a deletion of another entry leaves them alone.
TEST_F(HistoryTest, NamesThatAreNotUtf8AreListedAndFoundByTheirBytes) {
    const QByteArray raw = QFile::encodeName(dir.path()) + "/text \xff";
    for (const char last : {'\xfe', '\xfd'}) {  // each holds its last byte in hex
        writeFile(raw + last + ".txt", QByteArray::number(uchar(last), 16));
    }
    write("text 1.txt", "fine");
    textList.refresh();
    const QString odd = QString::fromUtf8("text \uFFFD\uFFFD.txt");
    EXPECT_EQ(textList.names(), (QStringList{"pikcounter.txt", "text 1.txt", odd, odd}));
    ASSERT_TRUE(textList.selectName("text 1.txt"));
    history.deleteText(Via::Button);
    host.text = "next";
    engine.onCaptureTick();
    EXPECT_EQ(::access((raw + "\xfe.txt").constData(), F_OK), 0) << "the odd file is still there";
    EXPECT_TRUE(exists("text 3.txt"));

    ASSERT_TRUE(textList.selectName(odd));
    EXPECT_EQ(history.loadedText(), "fd");
    history.deleteText(Via::Button);
    EXPECT_NE(::access((raw + "\xfd.txt").constData(), F_OK), 0);
    EXPECT_EQ(textList.names().count(odd), 1);
    EXPECT_EQ(::unlink((raw + "\xfe.txt").constData()), 0);  // the other one stays
}

TEST_F(HistoryTest, DeletingAVanishedFileEndsSilentlyAndKeepsTheList) {
    write("text 1.txt", "x");
    textList.refresh();
    textList.selectName("text 1.txt");
    QFile::remove(dir.filePath("text 1.txt"));
    host.calls.clear();
    history.deleteText(Via::Button);
    EXPECT_EQ(host.calls, QStringList{"beep"});
    EXPECT_TRUE(textList.names().contains("text 1.txt"));
}

// The lists keep themselves up to date from the folder's change
// notifications; at each refresh they show exactly what a fresh read shows.
TEST_F(HistoryTest, KeptListsEqualAFreshReadAfterEveryKindOfChange) {
    auto fresh = [&](const FileList& list) {
        FileList again(dir.path(), list.pattern());
        again.refresh();
        return again.names();
    };
    auto outside = [&](const QString& name) { return dir.filePath(name); };
    QTemporaryDir elsewhere;
    auto check = [&](const char* step) {
        textList.refresh();
        pictureList.refresh();
        EXPECT_EQ(textList.names(), fresh(textList)) << step;
        EXPECT_EQ(pictureList.names(), fresh(pictureList)) << step;
    };

    host.text = "one";
    engine.onCaptureTick();  // text 3.txt
    host.picture = solid(Qt::red);
    engine.onCaptureTick();  // picture 4.jpeg
    check("captures");

    textList.selectName("text 3.txt");
    history.deleteText(Via::Button);
    check("a deletion");

    write("notes.TXT", "x");
    write("Text 9.txt", "x");
    write("text 9.txt", "x");  // differs from the one before by case only
    write(".hidden.txt", "x");
    ASSERT_TRUE(QDir().mkdir(outside("folder.txt")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(outside("pipe.txt")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(elsewhere.filePath("later.txt"), outside("link.txt")));  // dangling
    EXPECT_FALSE(textList.names().contains("notes.TXT")) << "listed before the refresh";
    check("creates");

    ASSERT_TRUE(QFile::rename(outside("text 9.txt"), outside("TEXT 9.txt")));
    ASSERT_TRUE(QFile::rename(outside("notes.TXT"), elsewhere.filePath("notes.TXT")));
    ASSERT_TRUE(QFile::rename(elsewhere.filePath("notes.TXT"), outside("back.jpeg.txt")));
    ASSERT_TRUE(QFile::remove(outside("Text 9.txt")));
    writeFile(elsewhere.filePath("later.txt"), "");  // the link now leads to a file
    check("renames, deletes and a link that came to life");
    EXPECT_TRUE(textList.names().contains("link.txt"));
    EXPECT_TRUE(pictureList.names().contains("back.jpeg.txt"));

    textList.fill(readFolderEntries(FolderHandle(dir.path())));  // a full re-read
    EXPECT_EQ(textList.names(), fresh(textList));
}

// A file longer than the viewer takes is held by its start only; copying or
// saving it reads the whole file again, its line ends and characters whole
// across the chunks it is read in.
TEST_F(HistoryTest, AnEntryTooLongToHoldIsShownByItsStartAndCopiedAndSavedWhole) {
    // A file of 1 MiB is shown whole and can be edited, though its line
    // ends made CR LF make it longer.
    write("one MiB.txt", QByteArray(kTextHeadBytes - 1, 'x').append('\r'));
    textList.refresh();
    ASSERT_TRUE(textList.selectName("one MiB.txt"));
    EXPECT_FALSE(textViewer.isReadOnly());

    QByteArray bytes;
    while (bytes.size() < 3 * kStreamChunkBytes) bytes += "line of a long file\n";
    bytes.replace(kStreamChunkBytes - 1, 2, "\r\n");          // CR | LF across a chunk end
    bytes.replace(2 * kStreamChunkBytes - 1, 2, "\xC3\xBC");  // u-umlaut across the next
    bytes.replace(2 * kStreamChunkBytes + 100, 1, "\r");      // a lone CR
    bytes += "\r\n";                                          // as a capture file ends
    write("long.txt", bytes);
    textList.refresh();
    ASSERT_TRUE(textList.selectName("long.txt"));
    EXPECT_TRUE(textViewer.isReadOnly());
    EXPECT_TRUE(
        textViewer.toPlainText().endsWith("Copy Text and Save Text As take the whole file.]"));
    EXPECT_LT(history.loadedText().size(), kTextHeadBytes + 1000) << "only the start is held";

    const QString whole = linesWithCrLf(QString::fromUtf8(bytes)).chopped(2);
    history.copyText(Via::Button);
    EXPECT_TRUE(host.text == whole) << "the button copies the whole file";
    host.text.reset();
    history.copyText(Via::Menu);
    EXPECT_TRUE(host.text == whole) << "the menu item copies the whole file";

    QTemporaryDir target;
    SaveTextDialog dialog(host, nullptr, dir.path(), &textViewer);
    dialog.load();
    dialog.folderList()->setPath(target.path());
    dialog.nameBox()->setText("saved");
    dialog.saveButton()->click();
    EXPECT_TRUE(readAll(target.filePath("saved")) == whole.toUtf8() + "\r\n");

    QFile huge(dir.filePath("huge.txt"));  // sparse, over the limit: refused before it is read
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) &&
                huge.resize(HistoryBrowser::kCopyLimitBytes + 1));
    textList.refresh();
    ASSERT_TRUE(textList.selectName("huge.txt"));
    host.text.reset();
    history.copyText(Via::Button);
    EXPECT_FALSE(host.text.has_value());
    EXPECT_TRUE(host.messages().last().contains("at most 512 MiB can be copied back"));
}

}  // namespace
}  // namespace brimlet
