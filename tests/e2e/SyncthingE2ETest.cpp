#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <cstdio>

#include "XSession.h"

namespace brimlet::e2e {
namespace {

using namespace std::chrono_literals;

// Two Syncthing instances on loopback only (own homes, GUI and sync ports,
// API keys; no discovery, relays or NAT; a watch delay of one second, and
// a failed pull retried after one second rather than a minute)
// sharing a folder pair, as the benchmark sets them up. Asked, it says
// whether both are idle and in sync (REST API) and the folders agree.
class SyncthingPair {
  public:
    SyncthingPair(const QString& a, const QString& b) {
        process_.start("python3", {BRIMLET_SOURCE_DIR "/bench/syncthing.py", "--pair", a, b});
        EXPECT_EQ(answer(), "started");
    }
    ~SyncthingPair() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(20000)) process_.kill();
        process_.waitForFinished();
    }
    bool inSync() {
        process_.write("sync?\n");
        return answer() == "yes";
    }

  private:
    QByteArray answer() {
        waitUntil([&] { return process_.canReadLine() || (process_.waitForReadyRead(100), false); },
                  60s);
        return process_.readLine().trimmed();
    }
    QProcess process_;
};

// What a list shows: what it was filled with, then what the trace says came
// and went.
QSet<QString> listed(Brimlet& brimlet, QSet<QString> names) {
    QString line;
    while (!(line = brimlet.nextTrace("list ", 300ms)).isNull()) {
        if (line.startsWith("+ ")) names.insert(line.mid(2));
        if (line.startsWith("- ")) names.remove(line.mid(2));
    }
    return names;
}

QStringList files(const QString& folder) {
    return QDir(folder).entryList(QDir::Files);
}

// Puts the test's display and runtime folder back at the end.
struct KeepEnvironment {
    QByteArray display = qgetenv("DISPLAY"), runtime = qgetenv("XDG_RUNTIME_DIR");
    ~KeepEnvironment() {
        qputenv("DISPLAY", display);
        qputenv("XDG_RUNTIME_DIR", runtime);
    }
};

TEST(SyncthingE2E, TwoMachinesKeepEachCopyOnceUnderAFreeNumberAndSeeWhatArrives) {
    // How far the test came and when: a run stopped from outside still says
    // where it waited.
    QElapsedTimer clock;
    clock.start();
    const auto progress = [&](const char* step) {
        std::printf("[ progress ] %5.1f s: %s\n", clock.elapsed() / 1000.0, step);
        std::fflush(stdout);
    };
    QTemporaryDir root;
    const QString folderA = root.filePath("a"), folderB = root.filePath("b");
    QDir().mkpath(folderA);
    QDir().mkpath(folderB);
    QStringList copies = {"before 1", "before 2", "before 3"};
    for (int i = 0; i < 3; ++i)
        writeFile(folderA + QString("/text %1.txt").arg(i + 1), copies[i].toUtf8() + "\r\n");
    writeFile(folderA + "/pikcounter.txt", "0,3\r\n");
    SyncthingPair syncthing(folderA, folderB);
    const auto settled = [&] { return syncthing.inSync(); };
    ASSERT_TRUE(waitUntil(settled, 60s)) << "the folders never came in sync";
    progress("the folders are in sync");

    // Machine A on this test's display, machine B on one of its own.
    const KeepEnvironment environment;
    const Desktop desktopA;
    Brimlet brimletA(folderA, Brimlet::Trace::On);
    ASSERT_TRUE(brimletA.waitForWindow());
    const XServer serverB;
    const auto onA = [&](bool a) {
        qputenv("DISPLAY", a ? environment.display : serverB.display().toLatin1());
    };
    const Desktop desktopB;
    Brimlet brimletB(folderB, Brimlet::Trace::On);
    ASSERT_TRUE(brimletB.waitForWindow());
    const QSet<QString> before = {"pikcounter.txt", "text 1.txt", "text 2.txt", "text 3.txt"};

    // Copies alternate between the machines, each pair within 100 ms, with
    // pauses shorter and longer than a sync.
    onA(true);
    ASSERT_TRUE(captureProbe(folderA, "text 4.txt"));
    ASSERT_TRUE(waitUntil(settled, 30s));
    onA(false);
    ASSERT_TRUE(captureProbe(folderB, "text 5.txt")) << "numbered past what arrived";
    progress("each side captured its probe");
    copies << "probe"
           << "probe";
    for (int i = 0; i < 16; ++i) {
        onA(i % 2 == 0);
        copies << QString("copy %1 on %2").arg(i).arg(i % 2 == 0 ? "a" : "b");
        copyToClipboard(copies.last().toUtf8());
        if (i % 2 == 1) QThread::msleep(i % 4 == 1 ? 400 : 2500);
    }
    progress("the copies are made");
    const auto noConflicts = [&] {
        return QDir(folderA).entryList({"*sync-conflict*"}, QDir::Files).isEmpty() &&
               QDir(folderB).entryList({"*sync-conflict*"}, QDir::Files).isEmpty();
    };
    // Agreement that lasts: a moment of it can fall between a change and
    // the synchroniser's scan of it.
    const auto agreed = [&] { return settled() && noConflicts(); };
    ASSERT_TRUE(waitUntil([&] { return agreed() && staysTrue(agreed, 3s); }, 120s))
        << "in sync: " << settled() << "\na: " << files(folderA).join(", ").toStdString()
        << "\nb: " << files(folderB).join(", ").toStdString();
    progress("the folders agree");

    // The same files on both sides, each copy once under a capture's name.
    QStringList kept;
    const QRegularExpression captureName("^text [1-9][0-9]*\\.txt$");
    for (const QString& name : QDir(folderA).entryList(QDir::Files)) {
        if (name == "pikcounter.txt") continue;
        EXPECT_TRUE(captureName.match(name).hasMatch()) << name.toStdString();
        kept << QString::fromUtf8(readFile(folderA + "/" + name)).chopped(2);
    }
    kept.sort();
    for (const bool a : {true, false}) {
        onA(a);
        EXPECT_EQ((a ? brimletA : brimletB).messageBox(), "") << "no error shown";
    }
    copies.sort();
    EXPECT_EQ(kept, copies);
    // Each list shows what the folder holds, arrivals included.
    const QStringList names = QDir(folderA).entryList({"*.txt*"}, QDir::Files);
    const QSet<QString> inFolder(names.begin(), names.end());
    EXPECT_EQ(listed(brimletA, before), inFolder);
    EXPECT_EQ(listed(brimletB, before), inFolder);

    // B shows "text 1.txt" while A deletes it: B's list loses it, and B's
    // "Delete Text" then deletes nothing else.
    for (Brimlet* brimlet : {&brimletB, &brimletA}) {
        onA(brimlet == &brimletA);
        brimlet->clickAt(120 + 300, 2280 + 100);  // the text list's first entry
        brimlet->press({"Down"});
        ASSERT_EQ(brimlet->nextTrace("shows "), "pikcounter.txt");
        ASSERT_EQ(brimlet->nextTrace("shows "), "text 1.txt");
    }
    brimletA.clickAt(120 + 1087, 3720 + 187);  // "Delete Text"
    QString box;
    ASSERT_TRUE(
        waitUntil([&] { return !(box = brimletA.visibleWindowNamed("File Deleted")).isEmpty(); }));
    ASSERT_TRUE(dismiss(box));
    ASSERT_TRUE(
        waitUntil([&] { return !QFile::exists(folderB + "/text 1.txt") && settled(); }, 30s));
    EXPECT_EQ(brimletB.nextTrace("list "), "- text 1.txt");
    onA(false);
    brimletB.clickAt(120 + 1087, 3720 + 187);  // nothing is selected now
    const QStringList left = files(folderB);
    EXPECT_TRUE(staysTrue([&] { return files(folderB) == left && settled(); }, 2s));
    EXPECT_EQ(left.size(), names.size() - 1);
}

}  // namespace
}  // namespace brimlet::e2e
