#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "FakeCaptureView.h"
#include "FakeHost.h"
#include "capture/CaptureEngine.h"
#include "host/QtHost.h"

namespace brimlet {
namespace {

using testing::FakeCaptureView;
using testing::FakeHost;

using testing::readAll;

class EventCaptureTest : public ::testing::Test {
  protected:
    void SetUp() override { view.engine = &engine; }
    void started() {
        engine.start();
        engine.onCaptureTick();
    }
    static void deliver() { QCoreApplication::processEvents(); }
    QStringList captures() const { return QDir(dir.path()).entryList({"text*", "picture*"}); }

    QTemporaryDir dir;
    FakeHost host;
    FakeCaptureView view;
    CaptureEngine engine{host, dir.path(), view};
};

TEST_F(EventCaptureTest, AChangeIsCapturedAtOnceWithoutWaitingForATick) {
    started();
    host.copyInAnotherProgram(QString("first"));
    deliver();
    host.copyInAnotherProgram(QString("second"));  // within the same half second
    deliver();
    EXPECT_EQ(readAll(dir.filePath("text 1.txt")), QByteArray("first\r\n"));
    EXPECT_EQ(readAll(dir.filePath("text 2.txt")), QByteArray("second\r\n"));
    EXPECT_EQ(engine.tickCount(), 1) << "no tick ran";

    host.copyInAnotherProgram(QString("alt"), testing::solid(Qt::red, 3, 3));
    deliver();
    EXPECT_EQ(captures(), (QStringList{"picture 1.jpeg", "text 1.txt", "text 2.txt"}));
}

TEST_F(EventCaptureTest, SeveralReportsOfOneChangeCaptureOnce) {
    started();
    host.text = "once";
    host.changed();
    host.changed();
    host.changed();
    deliver();
    EXPECT_EQ(captures(), QStringList{"text 1.txt"});
}

TEST_F(EventCaptureTest, NothingIsCapturedBeforeTheFirstTickOrWhileOff) {
    engine.start();
    host.copyInAnotherProgram(QString("before the first tick"));
    deliver();
    EXPECT_EQ(captures(), QStringList{});
    engine.onCaptureTick();  // the first tick empties it
    EXPECT_FALSE(host.text.has_value());

    engine.turnOff();
    host.copyInAnotherProgram(QString("while off"));
    deliver();
    EXPECT_EQ(captures(), QStringList{});
    EXPECT_EQ(host.text, QString("while off"));
}

TEST_F(EventCaptureTest, AFailingEventCaptureIsReportedAndSwitchesOff) {
    started();
    engine.store().counters().text = 2147483647;
    host.copyInAnotherProgram(QString("keep"));
    deliver();
    EXPECT_EQ(host.messages(), QStringList{"msgBox 16 Brimlet: Run-time error '6':\n\nOverflow"});
    EXPECT_FALSE(engine.isOn());
    EXPECT_EQ(host.text, QString("keep"));
}

// A copy back through the real host on the in-process clipboard.
TEST(EventCapture, CopyBackThroughTheRealHostIsNotCapturedAgain) {
    QTemporaryDir dir;
    QtHost host;
    FakeCaptureView view;
    CaptureEngine engine(host, dir.path(), view);
    view.engine = &engine;
    engine.start();
    engine.onCaptureTick();
    ASSERT_TRUE(engine.isOn());
    host.clipboardSetText("put back");  // what a copy-back does to the clipboard
    QCoreApplication::processEvents();
    EXPECT_EQ(QDir(dir.path()).entryList({"text*"}), QStringList{});
    host.clipboardClear();
}

}  // namespace
}  // namespace brimlet
