#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include "FakeCaptureView.h"
#include "FakeHost.h"
#include "base/RuntimeError.h"
#include "capture/CaptureEngine.h"
#include "files/Folder.h"

namespace brimlet {
namespace {

using testing::FakeCaptureView;
using testing::FakeHost;

using testing::readAll;
using testing::solid;
using testing::writeFile;

// The engine with a recording host and view: no window at all.
class CaptureEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        view.engine = &engine;
    }

    // Started, and past its first tick: capturing on.
    void started() {
        engine.start();
        engine.onCaptureTick();
        host.calls.clear();
        view.calls.clear();
    }
    // As the timer delivers a tick, errors shown by the engine itself.
    void timerTick() { QMetaObject::invokeMethod(&engine.timer(), "timeout"); }
    QString at(const QString& name) const { return dir.filePath(name); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir dir;
    FakeHost host;
    FakeCaptureView view;
    CaptureEngine engine{host, dir.path(), view};
};

TEST_F(CaptureEngineTest, FirstTickSelectsOnAndEmptiesTheClipboardBeforeLooking) {
    engine.start();
    EXPECT_EQ(view.selected, "none");
    host.text = "copied before the first tick";
    engine.onCaptureTick();
    EXPECT_EQ(engine.tickCount(), 1);
    EXPECT_EQ(view.selected, "On");
    EXPECT_TRUE(engine.isOn());
    EXPECT_FALSE(host.text.has_value());
    EXPECT_EQ(files(), QStringList{});  // nothing captured, no counter file
}

TEST_F(CaptureEngineTest, TickCounterCyclesTwoToNinetyNineAndNeverSelectsOnAgain) {
    started();
    view.selected = "Off";  // as after a click on "Off" with the label turning it on
    for (int tick = 2; tick <= 99; ++tick) {
        engine.onCaptureTick();
        ASSERT_EQ(engine.tickCount(), tick);
    }
    engine.onCaptureTick();
    EXPECT_EQ(engine.tickCount(), 2);
    for (int i = 0; i < 1000; ++i) {
        engine.onCaptureTick();
        ASSERT_GE(engine.tickCount(), 2);
        ASSERT_LE(engine.tickCount(), 99);
    }
    EXPECT_EQ(view.selected, "Off");
    EXPECT_FALSE(host.calls.contains("clear"));
}

// Where the host has nothing to poll for, the ticks rest after the first
// and a change report wakes them; capturing stays on throughout.
TEST_F(CaptureEngineTest, TicksRestWhileNothingIsToBePolledAndAChangeWakesThem) {
    host.needsPolling = false;
    engine.start();
    timerTick();
    EXPECT_TRUE(engine.isOn());
    EXPECT_FALSE(engine.timer().isActive());
    host.copyInAnotherProgram("copied while resting");
    QCoreApplication::processEvents();
    EXPECT_TRUE(QFile::exists(at("text 1.txt")));
    EXPECT_TRUE(engine.timer().isActive());
}

TEST_F(CaptureEngineTest, TextCaptureShowsWritesPersistsListsAndEmpties) {
    started();
    host.text = QString::fromUtf8("first\r\nsecond line ü");
    engine.onCaptureTick();
    EXPECT_EQ(readAll(at("text 1.txt")), QByteArray("first\r\nsecond line \xC3\xBC\r\n"));
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("0,1\r\n"));
    EXPECT_EQ(view.text, QString::fromUtf8("first\r\nsecond line ü"));
    EXPECT_EQ(QString::fromUtf8(engine.heldText()), view.text);
    EXPECT_FALSE(host.text.has_value());
    // Text is taken twice, in UTF-8 for the file and then decoded for the
    // viewer; the list learns of the file after the counter file is
    // written, and the clipboard is emptied last.
    EXPECT_EQ(host.calls, (QStringList{"getTextUtf8", "getText", "clear"}));
    EXPECT_EQ(view.calls, (QStringList{"showText", "textAdded text 1.txt"}));

    host.text = "first";  // the same content again is a new capture
    engine.onCaptureTick();
    EXPECT_EQ(readAll(at("text 2.txt")), QByteArray("first\r\n"));
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("0,2\r\n"));
    EXPECT_EQ(view.added, (QStringList{"text 1.txt", "text 2.txt"}));
}

TEST_F(CaptureEngineTest, LeavingCopiesCapturesEachOnceAndNeverEmptiesTheClipboard) {
    engine.setLeaveCopies(true);
    host.text = "before the start";
    started();
    host.text = "copied";
    engine.onCaptureTick();
    engine.onCaptureTick();
    host.text = "before On";
    engine.turnOnEmptyingClipboard();
    engine.onCaptureTick();
    EXPECT_EQ(files(), (QStringList{"pikcounter.txt", "text 1.txt"}));
    EXPECT_EQ(readAll(at("text 1.txt")), QByteArray("copied\r\n"));
    EXPECT_EQ(host.text, QString("before On"));
}

TEST_F(CaptureEngineTest, PictureCaptureWinsOverTextOfTheSameCopy) {
    writeFile(at("pikcounter.txt"), "12,7\r\n");
    started();
    host.picture = solid(Qt::green, 8, 6);
    host.text = "alt text of the picture";
    engine.onCaptureTick();
    EXPECT_TRUE(QFile::exists(at("picture 13.jpeg")));
    EXPECT_EQ(QImage(at("picture 13.jpeg")).pixel(3, 3), qRgb(0, 255, 0));
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("13,7\r\n"));
    EXPECT_EQ(view.picture.size(), QSize(8, 6));
    EXPECT_EQ(engine.capturedPicture().size(), QSize(8, 6));
    EXPECT_EQ(view.added, QStringList{"picture 13.jpeg"});
    EXPECT_FALSE(QFile::exists(at("text 8.txt")));
    EXPECT_EQ(engine.store().counters().text, 7);
    EXPECT_FALSE(host.picture.has_value());
    EXPECT_FALSE(host.text.has_value());
}

TEST_F(CaptureEngineTest, EmptyClipboardTouchesNothing) {
    started();
    engine.onCaptureTick();
    engine.onCaptureTick();
    EXPECT_EQ(files(), QStringList{});
    EXPECT_TRUE(host.calls.isEmpty());
}

TEST_F(CaptureEngineTest, FailedTickIsReportedOnceSwitchesCapturingOffAndKeepsTheClipboard) {
    started();
    engine.store().counters().text = 2147483647;
    host.text = "keep me";
    timerTick();
    EXPECT_EQ(host.messages(), QStringList{"msgBox 16 Brimlet: Run-time error '6':\n\nOverflow"});
    EXPECT_EQ(view.selected, "Off");
    EXPECT_FALSE(engine.isOn());
    EXPECT_EQ(host.text, QString("keep me"));
    EXPECT_EQ(engine.store().counters().text, 2147483647);
    EXPECT_EQ(files(), QStringList{});  // neither a capture nor a counter file
}

TEST_F(CaptureEngineTest, FailedTickStopsTheTimerEvenWhenOffWasAlreadySelected) {
    started();
    view.selected = "Off";
    host.picture = solid(Qt::blue, 2, 2);
    engine.store().counters().picture = 2147483647;
    timerTick();
    EXPECT_FALSE(engine.isOn());
    EXPECT_EQ(host.messages().size(), 1);
    EXPECT_TRUE(host.picture.has_value());
}

TEST_F(CaptureEngineTest, UnwritableFolderLosesNothing) {
    started();
    ASSERT_TRUE(dir.remove());
    host.text = "precious";
    timerTick();
    ASSERT_EQ(host.messages().size(), 1);
    EXPECT_TRUE(host.messages().first().startsWith("msgBox 16 Brimlet: Run-time error '75':"));
    EXPECT_EQ(host.text, QString("precious"));
    EXPECT_FALSE(engine.isOn());
    EXPECT_EQ(view.text, "precious") << "the viewer shows what could not be written";
    EXPECT_EQ(view.calls, (QStringList{"showText", "selectOff"}));
}

TEST_F(CaptureEngineTest, LostCounterFileNumbersOnPastExistingCaptures) {
    writeFile(at("text 1.txt"), "older capture\r\n");
    started();
    host.text = "newer";
    engine.onCaptureTick();
    EXPECT_EQ(readAll(at("text 1.txt")), QByteArray("older capture\r\n"));
    EXPECT_EQ(readAll(at("text 2.txt")), QByteArray("newer\r\n"));
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("0,2\r\n"));
}

// Another machine's captures arrive through a synchroniser meanwhile.
TEST_F(CaptureEngineTest, NumbersPastArrivalsAndRenumbersOnlyItsOwnConflictCopies) {
    engine.followFolder(readFolderEntries(dir.path()), std::make_unique<FolderWatcher>(dir.path()));
    started();
    writeFile(at("text 7.txt"), "laptop 7\r\n");
    host.text = "mine";
    engine.onCaptureTick();
    EXPECT_EQ(readAll(at("text 8.txt")), QByteArray("mine\r\n"));
    // The counter file conflicted: the higher counters win on both sides.
    writeFile(at("pikcounter.sync-conflict-20261209-170216-I5WO7WO.txt"), "4,11\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return readAll(at("pikcounter.txt")) == "4,11\r\n"; }));
    // The laptop took number 8 too and won: this capture is renumbered, the
    // laptop's own conflict copy is left to the laptop.
    const QString aside = at("text 8.sync-conflict-20261209-170216-I5WO7WO.txt");
    ASSERT_TRUE(QFile::rename(at("text 8.txt"), aside));
    writeFile(at("text 8.txt"), "laptop 8\r\n");
    writeFile(at("text 7.sync-conflict-20261209-170216-I5WO7WO.txt"), "laptop's\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(aside); }));
    EXPECT_EQ(readAll(at("text 12.txt")), QByteArray("mine\r\n"));
    EXPECT_TRUE(QFile::exists(at("text 7.sync-conflict-20261209-170216-I5WO7WO.txt")));
    EXPECT_FALSE(QFile::exists(at("pikcounter.sync-conflict-20261209-170216-I5WO7WO.txt")));
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("4,12\r\n"));
}

TEST_F(CaptureEngineTest, StartUpReadsCountersEvenWhenEmptyingTheClipboardFails) {
    writeFile(at("pikcounter.txt"), "4,9\r\n");
    host.failOn = [](const QString& call) {
        if (call == "clear") throw RuntimeError::cannotOpenClipboard();
    };
    engine.start();
    EXPECT_EQ(engine.store().counters(), (Counters{4, 9}));
    EXPECT_EQ(engine.tickCount(), 0);
    EXPECT_TRUE(host.messages().isEmpty());
}

TEST_F(CaptureEngineTest, StartUpWithoutReadableCounterFileNumbersFromOne) {
    writeFile(at("pikcounter.txt"), "5");
    host.text = "on the clipboard at start";
    engine.start();
    EXPECT_EQ(engine.store().counters(), (Counters{0, 0}));
    EXPECT_FALSE(host.text.has_value());
    EXPECT_TRUE(host.messages().isEmpty());
    engine.onCaptureTick();
    host.text = "first";
    engine.onCaptureTick();
    EXPECT_EQ(readAll(at("text 1.txt")), QByteArray("first\r\n"));
    EXPECT_EQ(readAll(at("pikcounter.txt")), QByteArray("0,1\r\n"));
}

}  // namespace
}  // namespace brimlet
