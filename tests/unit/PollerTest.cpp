#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include "FakeHost.h"
#include "history/FileList.h"
#include "host/RuntimeError.h"
#include "ui/Form1.h"
#include "ui/ImageBox.h"
#include "ui/TextBox.h"

namespace brimlet {
namespace {

using testing::FakeHost;

using testing::readAll;

QImage solid(int w, int h, QColor color) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

class PollerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // A loaded window whose first tick has run, capturing on.
    Form1& started() {
        form.Form_Load();
        form.Timer1_Timer();
        host.calls.clear();
        return form;
    }
    QString at(const QString& name) const { return dir.filePath(name); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir dir;
    FakeHost host;
    Form1 form{host, dir.path()};
};

TEST_F(PollerTest, FirstTickSelectsOnAndEmptiesTheClipboardBeforeLooking) {
    form.Form_Load();
    EXPECT_FALSE(form.Option1->isChecked());
    EXPECT_FALSE(form.Option2->isChecked());
    host.text = "copied before the first tick";
    form.Timer1_Timer();
    EXPECT_EQ(form.tickCounter(), 1);
    EXPECT_TRUE(form.Option1->isChecked());
    EXPECT_TRUE(form.timer1Enabled());
    EXPECT_FALSE(host.text.has_value());
    EXPECT_EQ(files(), QStringList{});  // nothing captured, no counter file
}

TEST_F(PollerTest, TickCounterCyclesTwoToNinetyNineAndNeverSelectsOnAgain) {
    started();
    form.Option2->setChecked(true);  // as after a click on "Off" with the label turning it on
    for (int tick = 2; tick <= 99; ++tick) {
        form.Timer1_Timer();
        ASSERT_EQ(form.tickCounter(), tick);
    }
    form.Timer1_Timer();
    EXPECT_EQ(form.tickCounter(), 2);
    for (int i = 0; i < 1000; ++i) {
        form.Timer1_Timer();
        ASSERT_GE(form.tickCounter(), 2);
        ASSERT_LE(form.tickCounter(), 99);
    }
    EXPECT_TRUE(form.Option2->isChecked());
    EXPECT_FALSE(host.calls.contains("clear"));
}

TEST_F(PollerTest, TextCaptureShowsWritesPersistsListsAndEmpties) {
    started();
    host.text = QString::fromUtf8("first\r\nsecond line ü");
    form.Timer1_Timer();
    EXPECT_EQ(readAll(at("text 1.txt")), QByteArray("first\r\nsecond line \xC3\xBC\r\n"));
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("0,1\r\n"));
    EXPECT_EQ(form.Text1->text(), QString::fromUtf8("first\r\nsecond line ü"));
    EXPECT_EQ(form.heldText(), form.Text1->text());
    EXPECT_EQ(form.File2->names(), (QStringList{"pikcounter.txt", "text 1.txt"}));
    EXPECT_FALSE(host.text.has_value());
    // Text is taken twice, once for the viewer and once for the file; the
    // clipboard is emptied last.
    EXPECT_EQ(host.calls, (QStringList{"getText", "getText", "clear"}));

    host.text = "first";  // the same content again is a new capture
    form.Timer1_Timer();
    EXPECT_EQ(readAll(at("text 2.txt")), QByteArray("first\r\n"));
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("0,2\r\n"));
    EXPECT_EQ(form.File2->names(), (QStringList{"pikcounter.txt", "text 1.txt", "text 2.txt"}));
}

TEST_F(PollerTest, PictureCaptureWinsOverTextOfTheSameCopy) {
    QFile counter(at("pikcounter.txt"));
    ASSERT_TRUE(counter.open(QIODevice::WriteOnly));
    counter.write("12,7\r\n");
    counter.close();
    started();
    host.picture = solid(8, 6, Qt::green);
    host.text = "alt text of the picture";
    form.Timer1_Timer();
    EXPECT_TRUE(QFile::exists(at("picture 13.jpeg")));
    EXPECT_EQ(QImage(at("picture 13.jpeg")).pixel(3, 3), qRgb(0, 255, 0));
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("13,7\r\n"));
    EXPECT_EQ(form.Image2->picture().size(), QSize(8, 6));
    EXPECT_EQ(form.Image1->picture().size(), QSize(8, 6));
    EXPECT_FALSE(form.Image1->isVisible());
    EXPECT_EQ(form.File1->names(), QStringList{"picture 13.jpeg"});
    EXPECT_FALSE(QFile::exists(at("text 8.txt")));
    EXPECT_EQ(form.store().counters().text, 7);
    EXPECT_FALSE(host.picture.has_value());
    EXPECT_FALSE(host.text.has_value());
}

TEST_F(PollerTest, EmptyClipboardTouchesNothing) {
    started();
    form.Timer1_Timer();
    form.Timer1_Timer();
    EXPECT_EQ(files(), QStringList{});
    EXPECT_TRUE(host.calls.isEmpty());
}

TEST_F(PollerTest, FailedTickIsReportedOnceSwitchesCapturingOffAndKeepsTheClipboard) {
    started();
    form.store().counters().text = 32767;
    host.text = "keep me";
    QMetaObject::invokeMethod(form.Timer1, "timeout");  // as the timer delivers it
    EXPECT_EQ(host.messages(), QStringList{"msgBox 16 Brimlet: Run-time error '6':\n\nOverflow"});
    EXPECT_TRUE(form.Option2->isChecked());
    EXPECT_FALSE(form.timer1Enabled());
    EXPECT_EQ(host.text, QString("keep me"));
    EXPECT_EQ(form.store().counters().text, 32767);
    EXPECT_EQ(files(), QStringList{});  // neither a capture nor a counter file
}

TEST_F(PollerTest, FailedTickStopsTheTimerEvenWhenOffWasAlreadySelected) {
    started();
    form.Option2->setChecked(true);
    host.picture = solid(2, 2, Qt::blue);
    form.store().counters().picture = 32767;
    QMetaObject::invokeMethod(form.Timer1, "timeout");
    EXPECT_FALSE(form.timer1Enabled());
    EXPECT_EQ(host.messages().size(), 1);
    EXPECT_TRUE(host.picture.has_value());
}

TEST_F(PollerTest, UnwritableFolderLosesNothing) {
    started();
    ASSERT_TRUE(dir.remove());
    host.text = "precious";
    QMetaObject::invokeMethod(form.Timer1, "timeout");
    ASSERT_EQ(host.messages().size(), 1);
    EXPECT_TRUE(host.messages().first().startsWith("msgBox 16 Brimlet: Run-time error '75':"));
    EXPECT_EQ(host.text, QString("precious"));
    EXPECT_FALSE(form.timer1Enabled());
}

TEST_F(PollerTest, LostCounterFileNumbersOnPastExistingCaptures) {
    QFile older(at("text 1.txt"));
    ASSERT_TRUE(older.open(QIODevice::WriteOnly));
    older.write("older capture\r\n");
    older.close();
    started();
    host.text = "newer";
    form.Timer1_Timer();
    EXPECT_EQ(readAll(at("text 1.txt")), QByteArray("older capture\r\n"));
    EXPECT_EQ(readAll(at("text 2.txt")), QByteArray("newer\r\n"));
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("0,2\r\n"));
}

TEST_F(PollerTest, StartUpReadsCountersEvenWhenEmptyingTheClipboardFails) {
    QFile counter(at("pikcounter.txt"));
    ASSERT_TRUE(counter.open(QIODevice::WriteOnly));
    counter.write("4,9\r\n");
    counter.close();
    host.failOn = [](const QString& call) {
        if (call == "clear") throw RuntimeError::cannotOpenClipboard();
    };
    form.Form_Load();
    EXPECT_EQ(form.store().counters(), (Counters{4, 9}));
    EXPECT_EQ(form.tickCounter(), 0);
    EXPECT_TRUE(host.messages().isEmpty());
}

TEST_F(PollerTest, StartUpWithoutReadableCounterFileNumbersFromOne) {
    QFile counter(at("pikcounter.txt"));
    ASSERT_TRUE(counter.open(QIODevice::WriteOnly));
    counter.write("5");
    counter.close();
    host.text = "on the clipboard at start";
    form.Form_Load();
    EXPECT_EQ(form.store().counters(), (Counters{0, 0}));
    EXPECT_FALSE(host.text.has_value());
    EXPECT_TRUE(host.messages().isEmpty());
    form.Timer1_Timer();
    host.text = "first";
    form.Timer1_Timer();
    EXPECT_EQ(readAll(at("text 1.txt")), QByteArray("first\r\n"));
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("0,1\r\n"));
}

}  // namespace
}  // namespace brimlet
