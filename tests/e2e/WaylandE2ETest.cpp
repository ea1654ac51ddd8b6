// Brimlet in a Wayland session (KWin and sway, headless, with Xwayland),
// while a native Wayland window has the focus: copies of Wayland programs
// are captured, Copy Text reaches them, hostile Wayland owners are survived.

#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QDir>
#include <QImage>

#include "WaylandSession.h"

namespace brimlet::e2e {
namespace {

class WaylandE2E : public ::testing::TestWithParam<Compositor> {
  protected:
    void SetUp() override {
        const QString missing = WaylandSession::unavailable(GetParam());
        if (!missing.isEmpty()) GTEST_SKIP() << missing.toStdString();
        session = std::make_unique<WaylandSession>(GetParam());
        folder = session->newFolder();
        writeFile(at("pikcounter.txt"), "0,2\r\n");
        writeFile(at("text 1.txt"), "first\r\n");
        writeFile(at("text 2.txt"), "second\r\n");
        writeFile(at("memo.txt"), "memo\r\n");  // the text list's first entry
        session->handOver(folder);
    }
    QString at(const QString& name) const { return QDir(folder).filePath(name); }
    // Starts Brimlet, focuses a native window, and copies a probe until it
    // is captured as "text 3.txt" (start-up may take the first copies).
    void startWithNativeFocus() {
        brimlet = std::make_unique<Brimlet>(folder, Brimlet::Trace::On);
        ASSERT_TRUE(brimlet->waitForWindow()) << brimlet->output().toStdString();
        ASSERT_TRUE(session->focusNativeWindow());
        ASSERT_TRUE(waitUntil(
            [&] {
                // The file is written before the clipboard is emptied.
                if (session->paste().out != "probe" && !QFile::exists(at("text 3.txt")))
                    session->copy("probe");
                return QFile::exists(at("text 3.txt"));
            },
            std::chrono::seconds(20)))
            << brimlet->output().toStdString();
    }

    std::unique_ptr<WaylandSession> session;
    QString folder;
    std::unique_ptr<Brimlet> brimlet;
};

TEST_P(WaylandE2E, CapturesTextsAndPicturesOfWaylandProgramsAndEmptiesTheClipboard) {
    ASSERT_NO_FATAL_FAILURE(startWithNativeFocus());
    ASSERT_TRUE(session->copy("from wayland"));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(at("text 4.txt")); }));
    EXPECT_EQ(readFile(at("text 4.txt")), "from wayland\r\n");
    EXPECT_TRUE(waitUntil([&] { return session->paste().exitCode != 0; }));

    QImage png(40, 30, QImage::Format_RGB32);
    png.fill(QColor(10, 200, 30));
    ASSERT_TRUE(session->copy(encoded(png, "PNG"), QStringLiteral("image/png")));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(at("picture 1.jpeg")); }));
    EXPECT_EQ(QImage::fromData(readFile(at("picture 1.jpeg")), "BMP").pixel(5, 5),
              qRgb(10, 200, 30));
}

TEST_P(WaylandE2E, CopyTextReachesWaylandProgramsAndOutlivesTheProgram) {
    ASSERT_NO_FATAL_FAILURE(startWithNativeFocus());
    const QString box = copyFirstTextEntryBack(*brimlet);  // "memo.txt"
    ASSERT_FALSE(box.isEmpty()) << brimlet->output().toStdString();
    ASSERT_TRUE(dismiss(box));
    ASSERT_TRUE(session->focusNativeWindow());
    EXPECT_TRUE(waitUntil([&] { return session->paste().out == "memo"; }));

    brimlet->clickMenuBar(272);  // "Exit"
    int exitCode = -1;
    ASSERT_TRUE(brimlet->waitForExit(&exitCode));
    EXPECT_TRUE(waitUntil([&] { return session->paste().out == "memo"; }));
}

TEST_P(WaylandE2E, SurvivesHostileWaylandOwners) {
    ASSERT_NO_FATAL_FAILURE(startWithNativeFocus());
    int next = 4;
    for (const QString mode : {"silent", "endless", "early"}) {
        QProcess& owner = session->start(QStringLiteral(HOSTILE_WAYLAND_OWNER), {mode});
        QByteArray said;
        ASSERT_TRUE(waitUntil([&] {
            owner.waitForReadyRead(50);
            return (said += owner.readAll()).contains("asked ");
        })) << mode.toStdString()
            << said.toStdString();
        // The window answers while the owner misbehaves: a message box
        // about it takes Enter, or else a click moves the focus.
        brimlet->skipTraces();
        if (mode == "endless") {
            // An answer without end is given up at the transfer limit, and
            // said once; the box takes Enter.
            QString box;
            EXPECT_TRUE(waitUntil([&] { return !(box = brimlet->messageBox()).isEmpty(); },
                                  std::chrono::seconds(90)));
            EXPECT_TRUE(dismiss(box)) << box.toStdString();
        } else {
            brimlet->clickAt(2700, 1100);             // the viewer, then
            brimlet->clickAt(120 + 300, 2280 + 100);  // the text list's first entry
            EXPECT_TRUE(waitUntil([&] { return brimlet->nextTrace("focus ") == "Text list"; }))
                << mode.toStdString();
        }
        ASSERT_TRUE(session->focusNativeWindow());
        // The next copy is captured, and as the next text: nothing of an
        // answer that never ends or never comes is stored. (A pipe closed at
        // once is an empty text, stored as such.)
        const int answered = mode == "early" ? 1 : 0;
        ASSERT_TRUE(session->copy("after " + mode.toUtf8()));
        int found = 0;
        ASSERT_TRUE(waitUntil([&] {
            for (int n = next; n < next + 3 && !found; ++n) {
                if (readFile(at(QStringLiteral("text %1.txt").arg(n))) ==
                    "after " + mode.toUtf8() + "\r\n")
                    found = n;
            }
            return found != 0;
        })) << mode.toStdString();
        if (answered) {
            EXPECT_EQ(readFile(at(QStringLiteral("text %1.txt").arg(next))), "\r\n");
        }
        EXPECT_EQ(found, next + answered) << mode.toStdString() << ": stored "
                                          << readFile(at(QStringLiteral("text %1.txt").arg(next)))
                                                 .left(20)
                                                 .toPercentEncoding()
                                                 .toStdString();
        next = found + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Compositors, WaylandE2E,
                         ::testing::Values(Compositor::KWin, Compositor::Sway),
                         [](const auto& info) { return std::string(nameOf(info.param)); });

}  // namespace
}  // namespace brimlet::e2e
