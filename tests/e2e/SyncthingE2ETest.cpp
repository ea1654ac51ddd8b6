#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "XSession.h"

namespace brimlet::e2e {
namespace {

using namespace std::chrono_literals;

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// One Syncthing on loopback only (no discovery, relays or NAT), sharing the
// folder "brimlet" with its peer, watched with a delay of one second.
class Syncthing {
  public:
    explicit Syncthing(const QString& folder) : folder_(folder) {
        runTool("syncthing", {"generate", "--home=" + home_.path(), "--no-default-folder",
                              "--skip-port-probing"});
        id_ = runTool("syncthing", {"--home=" + home_.path(), "--device-id"}).out.trimmed();
        QDir().mkpath(folder + "/.stfolder");
    }
    ~Syncthing() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished();
    }
    void start(const Syncthing& peer) {
        const QString device = R"(<device id="%1"><address>%2</address></device>)";
        const QString options =
            "<listenAddress>tcp://127.0.0.1:" + QString::number(listen_) +
            "</listenAddress><globalAnnounceEnabled>false</globalAnnounceEnabled>"
            "<localAnnounceEnabled>false</localAnnounceEnabled><relaysEnabled>false</"
            "relaysEnabled><natEnabled>false</natEnabled><startBrowser>false</startBrowser>"
            "<urAccepted>-1</urAccepted><crashReportingEnabled>false</crashReportingEnabled>"
            "<autoUpgradeIntervalH>0</autoUpgradeIntervalH>";
        writeFile(home_.filePath("config.xml"),
                  QString(R"(<configuration version="36"><folder id="brimlet" path="%1"
rescanIntervalS="10" fsWatcherEnabled="true" fsWatcherDelayS="1"><device id="%2"/><device
id="%3"/><maxConflicts>10</maxConflicts></folder>%4%5<gui enabled="true" tls="false"><address>127.0.0.1:%6</address>
<apikey>brimlet</apikey></gui><options>%7</options></configuration>)")
                      .arg(folder_, id_, peer.id_, device.arg(id_, "dynamic"),
                           device.arg(peer.id_, "tcp://127.0.0.1:" + QString::number(peer.listen_)),
                           QString::number(gui_), options)
                      .toUtf8());
        process_.setStandardOutputFile(home_.filePath("log"));
        process_.setStandardErrorFile(home_.filePath("log"), QIODevice::Append);
        process_.start("syncthing", {"serve", "--home=" + home_.path(), "--no-browser",
                                     "--no-restart", "--no-upgrade"});
    }
    QJsonObject rest(const QString& path) const {
        return QJsonDocument::fromJson(
                   runTool("curl", {"-s", "-m", "5", "-H", "X-API-Key: brimlet",
                                    "http://127.0.0.1:" + QString::number(gui_) + path})
                       .out)
            .object();
    }
    // Idle, with nothing to pull, and the peer has everything of ours.
    bool inSync(const Syncthing& peer) const {
        const QJsonObject status = rest("/rest/db/status?folder=brimlet");
        const QJsonObject sent = rest("/rest/db/completion?folder=brimlet&device=" + peer.id_);
        return status["state"].toString() == "idle" && status["needTotalItems"].toInt(-1) == 0 &&
               sent["completion"].toDouble() == 100 && sent["needItems"].toInt(-1) == 0;
    }

  private:
    QString folder_;
    QTemporaryDir home_;
    QString id_;
    int gui_ = freePort(), listen_ = freePort();
    QProcess process_;
};

// The visible files of a folder: name, then the digest of the content.
QMap<QString, QByteArray> filesOf(const QString& folder) {
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        files[name] =
            QCryptographicHash::hash(readFile(folder + "/" + name), QCryptographicHash::Sha1);
    }
    return files;
}

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

// Puts the test's display and runtime folder back at the end.
struct KeepEnvironment {
    QByteArray display = qgetenv("DISPLAY"), runtime = qgetenv("XDG_RUNTIME_DIR");
    ~KeepEnvironment() {
        qputenv("DISPLAY", display);
        qputenv("XDG_RUNTIME_DIR", runtime);
    }
};

TEST(SyncthingE2E, TwoMachinesKeepEachCopyOnceUnderAFreeNumberAndSeeWhatArrives) {
    QTemporaryDir root;
    const QString folderA = root.filePath("a"), folderB = root.filePath("b");
    QDir().mkpath(folderA);
    QDir().mkpath(folderB);
    QStringList copies = {"before 1", "before 2", "before 3"};
    for (int i = 0; i < 3; ++i)
        writeFile(folderA + QString("/text %1.txt").arg(i + 1), copies[i].toUtf8() + "\r\n");
    writeFile(folderA + "/pikcounter.txt", "0,3\r\n");
    Syncthing syncA(folderA), syncB(folderB);
    syncA.start(syncB);
    syncB.start(syncA);
    const auto settled = [&] {
        return syncA.inSync(syncB) && syncB.inSync(syncA) && filesOf(folderA) == filesOf(folderB);
    };
    ASSERT_TRUE(waitUntil(settled, 60s)) << "the folders never came in sync";

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
    copies << "probe"
           << "probe";
    for (int i = 0; i < 16; ++i) {
        onA(i % 2 == 0);
        copies << QString("copy %1 on %2").arg(i).arg(i % 2 == 0 ? "a" : "b");
        copyToClipboard(copies.last().toUtf8());
        if (i % 2 == 1) QThread::msleep(i % 4 == 1 ? 400 : 2500);
    }
    const auto noConflicts = [&] {
        return QDir(folderA).entryList({"*sync-conflict*"}, QDir::Files).isEmpty() &&
               QDir(folderB).entryList({"*sync-conflict*"}, QDir::Files).isEmpty();
    };
    ASSERT_TRUE(waitUntil([&] { return settled() && noConflicts(); }, 90s));
    EXPECT_TRUE(staysTrue([&] { return settled() && noConflicts(); }, 3s));

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
    const auto left = filesOf(folderB);
    EXPECT_TRUE(staysTrue([&] { return filesOf(folderB) == left && settled(); }, 2s));
    EXPECT_EQ(left.size(), names.size() - 1);
}

}  // namespace
}  // namespace brimlet::e2e
