#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "common/QtPrinters.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "FakeHost.h"
#include "history/FileList.h"
#include "history/LineReader.h"
#include "ui/Controls.h"
#include "ui/Form1.h"
#include "ui/ImageBox.h"
#include "ui/TextBox.h"

namespace brimlet {
namespace {

using testing::FakeHost;

TEST(LineReader, EveryLineEndsInCrLfAndALoneLfStaysInside) {
    EXPECT_EQ(linesWithCrLf(""), "");
    EXPECT_EQ(linesWithCrLf("abc"), "abc\r\n");
    EXPECT_EQ(linesWithCrLf("one\r\ntwo\r\n"), "one\r\ntwo\r\n");
    EXPECT_EQ(linesWithCrLf("one\ntwo\n"), "one\ntwo\n\r\n");
    EXPECT_EQ(linesWithCrLf("a\rb"), "a\r\nb\r\n");
    EXPECT_EQ(linesWithCrLf("a\r"), "a\r\n");
    EXPECT_EQ(linesWithCrLf("\r\n"), "\r\n");
    EXPECT_EQ(linesWithCrLf("a\r\rb\r\n\n"), "a\r\n\r\nb\r\n\n\r\n");
}

class HistoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        write("pikcounter.txt", "3,2\r\n");
        form.Form_Load();
        form.Timer1_Timer();  // first tick: capturing on, "On" selected
        host.calls.clear();
    }
    void write(const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QImage solid(QColor color) {
        QImage image(6, 4, QImage::Format_RGB32);
        image.fill(color);
        return image;
    }
    bool exists(const QString& name) const { return QFile::exists(dir.filePath(name)); }

    QTemporaryDir dir;
    FakeHost host;
    Form1 form{host, dir.path()};
};

TEST_F(HistoryTest, ListsMatchTheirPatternsSortedByNameAsText) {
    for (const char* name : {"picture 2.jpeg", "picture 10.jpeg", "photo.jpg", "old.jpeg.bak",
                             "text 2.txt", "text 10.txt", "notes.txt.old", "readme.md"}) {
        write(name, "x");
    }
    form.File1->refresh();
    form.File2->refresh();
    EXPECT_EQ(form.File1->names(),
              (QStringList{"old.jpeg.bak", "picture 10.jpeg", "picture 2.jpeg"}));
    EXPECT_EQ(form.File2->names(),
              (QStringList{"notes.txt.old", "pikcounter.txt", "text 10.txt", "text 2.txt"}));
}

TEST_F(HistoryTest, SelectingEntriesFillsOnlyTheirOwnViewer) {
    host.picture = solid(Qt::red);
    form.Timer1_Timer();  // picture 4.jpeg
    write("text 1.txt", "first\nsame line\rsecond\r\n");
    form.File2->refresh();

    ASSERT_TRUE(form.File2->selectName("text 1.txt"));
    EXPECT_EQ(form.loadedText(), "first\nsame line\r\nsecond\r\n");
    EXPECT_EQ(form.Text1->text(), form.loadedText());
    EXPECT_EQ(form.Image2->picture().pixel(0, 0), qRgb(255, 0, 0)) << "picture viewer untouched";

    QImage green = solid(Qt::green);
    ASSERT_TRUE(green.save(dir.filePath("picture 9.jpeg"), "BMP"));
    form.File1->refresh();
    ASSERT_TRUE(form.File1->selectName("picture 9.jpeg"));
    EXPECT_EQ(form.Image2->picture().pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(form.Text1->text(), "first\nsame line\r\nsecond\r\n") << "text viewer untouched";

    // A PNG under a ".jpeg" name is read by its content.
    ASSERT_TRUE(solid(Qt::blue).save(dir.filePath("picture 8.jpeg"), "PNG"));
    form.File1->refresh();
    ASSERT_TRUE(form.File1->selectName("picture 8.jpeg"));
    EXPECT_EQ(form.Image2->picture().pixel(0, 0), qRgb(0, 0, 255));

    // The poller's capture shows in the viewer; the loaded text stays.
    host.text = "captured";
    form.Timer1_Timer();
    EXPECT_EQ(form.Text1->text(), "captured");
    EXPECT_EQ(form.loadedText(), "first\nsame line\r\nsecond\r\n");
    EXPECT_EQ(form.File2->fileName(), "text 1.txt") << "a capture keeps the selection";

    ASSERT_TRUE(form.File2->selectName("pikcounter.txt"));
    EXPECT_EQ(form.Text1->text(), "4,3\r\n");
    EXPECT_TRUE(host.messages().isEmpty());
}

TEST_F(HistoryTest, AVanishedEntryIsReportedAndTheViewerKept) {
    write("text 1.txt", "one");
    write("picture 1.jpeg", "not a picture at all");
    form.File1->refresh();
    form.File2->refresh();
    form.Text1->setText("before");
    QFile::remove(dir.filePath("text 1.txt"));
    ASSERT_TRUE(form.File2->selectName("text 1.txt"));
    ASSERT_EQ(host.messages().size(), 1);
    EXPECT_TRUE(
        host.messages()[0].startsWith("msgBox 48 Brimlet: \"text 1.txt\" cannot be shown."));
    EXPECT_EQ(form.Text1->text(), "before");
    EXPECT_FALSE(form.File2->names().contains("text 1.txt")) << "the list is read again";

    form.Image2->setPicture(solid(Qt::red));
    ASSERT_TRUE(form.File1->selectName("picture 1.jpeg"));
    ASSERT_EQ(host.messages().size(), 2);
    EXPECT_TRUE(host.messages()[1].contains("\"picture 1.jpeg\" cannot be shown."));
    EXPECT_EQ(form.Image2->picture().pixel(0, 0), qRgb(255, 0, 0));
}

TEST_F(HistoryTest, CopyImagePutsTheViewersPictureBackAndSwitchesOff) {
    form.Image2->setPicture(solid(Qt::blue));
    form.Command1->click();
    EXPECT_EQ(host.calls,
              (QStringList{"beep", "setPicture",
                           "msgBox 64 Image Copy: Picture has been copied to clipboard. "
                           "Clipboard Copy has been disabled."}));
    EXPECT_EQ(host.picture->pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_TRUE(form.Option2->isChecked());
    EXPECT_FALSE(form.timer1Enabled()) << "no tick comes to capture it again";

    host.calls.clear();
    form.im->trigger();
    EXPECT_EQ(host.messages(), QStringList{"msgBox 64 Image Copy: Picture has been copied to "
                                           "clipboard. Clip Copy has been disabled."});
}

TEST_F(HistoryTest, PictureCommandStopsTheTimerOnlyAfterItsMessage) {
    form.Image2->setPicture(solid(Qt::blue));
    form.Option2->click();
    emit form.Label1->clicked();  // on, with "Off" still selected
    bool enabledDuringMessage = false;
    host.duringMsgBox = [&] { enabledDuringMessage = form.timer1Enabled(); };
    form.Command1->click();
    EXPECT_TRUE(enabledDuringMessage);
    EXPECT_FALSE(form.timer1Enabled());

    emit form.Label1->clicked();
    form.Text1->setText("x");
    form.Command3->click();
    EXPECT_FALSE(enabledDuringMessage = form.timer1Enabled());
}

TEST_F(HistoryTest, CopyImageWithoutAPictureEndsSilentlyAfterTheBeep) {
    form.Command1->click();
    EXPECT_EQ(host.calls, QStringList{"beep"});
    EXPECT_TRUE(form.Option1->isChecked());
    EXPECT_TRUE(form.timer1Enabled());
}

TEST_F(HistoryTest, CopyTextButtonTakesTheViewerAndTheMenuItemTheLoadedText) {
    form.tx->trigger();  // nothing selected yet: the empty text
    EXPECT_EQ(host.text, QString(""));
    EXPECT_EQ(host.messages(), QStringList{"msgBox 64 Text Copy: Text has been copied to "
                                           "clipboard. Clip Copy has been disabled."});
    EXPECT_FALSE(form.timer1Enabled());
    EXPECT_TRUE(form.Option2->isChecked());

    form.Option1->click();
    write("text 1.txt", "from the file");
    form.File2->refresh();
    form.File2->selectName("text 1.txt");
    host.text = "captured later";
    form.Timer1_Timer();
    host.calls.clear();

    form.Command3->click();
    EXPECT_EQ(host.text, QString("captured later"));
    EXPECT_EQ(host.calls, (QStringList{"beep", "setText",
                                       "msgBox 64 Text Copy: Text has been copied to clipboard. "
                                       "Clipboard Copy has been disabled."}));
    form.tx->trigger();
    EXPECT_EQ(host.text, QString("from the file\r\n"));
}

TEST_F(HistoryTest, DeleteCommandsRefuseTheProtectedNamesExactly) {
    for (const char* name : {"ReadmeHelp.txt", "PIKCOUNTER.TXT", "text 1.txt"}) write(name, "x");
    form.File2->refresh();
    const QString refused =
        "msgBox 48 Important: Sorry, this file is important and can not be deleted!";
    const QString deleted = "msgBox 64 File Deleted: Text file has been deleted!";

    form.File2->selectName("pikcounter.txt");
    host.calls.clear();
    form.Command4->click();
    form.deltext->trigger();
    EXPECT_EQ(host.calls, (QStringList{"beep", refused, "beep", refused}));
    EXPECT_TRUE(exists("pikcounter.txt"));

    form.File2->selectName("ReadmeHelp.txt");
    host.calls.clear();
    form.Command4->click();
    EXPECT_EQ(host.calls, (QStringList{"beep", refused}));
    form.deltext->trigger();
    EXPECT_EQ(host.calls.last(), deleted);
    EXPECT_FALSE(exists("ReadmeHelp.txt"));

    form.File2->selectName("PIKCOUNTER.TXT");  // another name, letter case differs
    form.Command4->click();
    EXPECT_FALSE(exists("PIKCOUNTER.TXT"));
    EXPECT_EQ(form.File2->names(), (QStringList{"pikcounter.txt", "text 1.txt"}));
}

TEST_F(HistoryTest, DeletingLeavesCountersViewersAndSwitchAlone) {
    host.picture = solid(Qt::red);
    form.Timer1_Timer();  // picture 4.jpeg, shown in the viewer
    form.File1->selectName("picture 4.jpeg");
    host.calls.clear();
    form.Command2->click();
    EXPECT_EQ(host.calls, (QStringList{"beep", "msgBox 64 File Deleted: Image has been deleted!"}));
    EXPECT_FALSE(exists("picture 4.jpeg"));
    EXPECT_EQ(form.File1->names(), QStringList{});
    EXPECT_FALSE(form.Image2->picture().isNull()) << "the viewer keeps the picture";
    EXPECT_TRUE(form.timer1Enabled());

    host.calls.clear();
    form.dlim->trigger();  // nothing selected any more: only the beep
    EXPECT_EQ(host.calls, QStringList{"beep"});

    host.picture = solid(Qt::green);
    form.Timer1_Timer();
    EXPECT_TRUE(exists("picture 5.jpeg")) << "numbers never go down";
}

// A name that cannot be read as UTF-8 cannot be named back to the file
// system either: such a file is left out of the list and never touched.
TEST_F(HistoryTest, NamesThatAreNotUtf8AreLeftOutAndLeftAlone) {
    const QByteArray raw = QFile::encodeName(dir.path()) + "/text \xff\xfe.txt";
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "odd\r\n", 5), 5);
    ::close(fd);
    write("text 1.txt", "fine");
    form.File2->refresh();
    EXPECT_EQ(form.File2->names(), (QStringList{"pikcounter.txt", "text 1.txt"}));
    ASSERT_TRUE(form.File2->selectName("text 1.txt"));
    form.Command4->click();
    host.text = "next";
    form.Timer1_Timer();
    EXPECT_EQ(::access(raw.constData(), F_OK), 0) << "the odd file is still there";
    EXPECT_TRUE(exists("text 3.txt"));
}

TEST_F(HistoryTest, DeletingAVanishedFileEndsSilentlyAndKeepsTheList) {
    write("text 1.txt", "x");
    form.File2->refresh();
    form.File2->selectName("text 1.txt");
    QFile::remove(dir.filePath("text 1.txt"));
    host.calls.clear();
    form.Command4->click();
    EXPECT_EQ(host.calls, QStringList{"beep"});
    EXPECT_TRUE(form.File2->names().contains("text 1.txt"));
}

}  // namespace
}  // namespace brimlet
