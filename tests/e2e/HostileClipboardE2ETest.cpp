// Clipboard owners that misbehave (tests/e2e/HostileOwner.cpp): Brimlet
// gives up on them, keeps its memory, says what it must, and captures the
// next ordinary copy.

#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdio>
#include <memory>

#include "XSession.h"

namespace brimlet::e2e {
namespace {

// The hostile owner ends a second after it lost the clipboard.
struct OwnerProcess : QProcess {
    ~OwnerProcess() override {
        if (!waitForFinished(3000)) kill();
        waitForFinished();
    }
};

// Starts the hostile owner and waits until it holds the clipboard.
std::unique_ptr<QProcess> hostileOwner(const QStringList& args) {
    auto owner = std::make_unique<OwnerProcess>();
    owner->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    owner->start(QStringLiteral(HOSTILE_OWNER), args);
    if (!owner->waitForReadyRead(30000)) return nullptr;
    return owner;
}

// The program's peak resident memory (or, as `field`, what it holds now), in MiB.
qint64 peakMemoryMiB(qint64 pid, const QString& field = QStringLiteral("VmHWM")) {
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    const QRegularExpression line(field + QStringLiteral(":\\s+(\\d+) kB"));
    return line.match(QString::fromLatin1(status)).captured(1).toLongLong() / 1024;
}

// Starts the program's peak again from what it holds now, and returns that.
qint64 restartPeakMiB(qint64 pid) {
    QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    EXPECT_TRUE(clear.open(QIODevice::WriteOnly) && clear.write("5") == 1);
    clear.close();
    return peakMemoryMiB(pid, QStringLiteral("VmRSS"));
}

// Waits for a capture file and says how long it took.
bool capturedWithin(const QString& path, std::chrono::milliseconds timeout, const char* what) {
    QElapsedTimer timer;
    timer.start();
    const bool captured = waitUntil([&] { return QFile::exists(path); }, timeout);
    std::printf("[ measured ] %s: %lld ms\n", what, static_cast<long long>(timer.elapsed()));
    return captured;
}

quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(data.size()), chunk.data());
    const QByteArray body = type + data;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(body), crc.data());
    return chunk + body + crc;
}

// A small PNG that claims a 30000 x 30000 RGB picture (3.4 GB once read).
QByteArray decompressionBomb() {
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(30000, header.data());
    qToBigEndian<quint32>(30000, header.data() + 4);
    header[8] = 8;                                                                // bits per sample
    header[9] = 2;                                                                // RGB
    const QByteArray rows = qCompress(QByteArray(4 * 1024 * 1024, '\0')).mid(4);  // zlib stream
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", rows) +
           pngChunk("IEND", {});
}

QSize bmpSize(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray header = file.read(26);
    if (header.size() < 26 || !header.startsWith("BM")) return {};
    return {qFromLittleEndian<qint32>(header.constData() + 18),
            qFromLittleEndian<qint32>(header.constData() + 22)};
}

// Brimlet in a folder of its own inside an outer one, so that anything
// written beside the folder shows.
class HostileClipboardE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = outer.filePath("captures");
        ASSERT_TRUE(QDir().mkpath(folder));
        brimlet = std::make_unique<Brimlet>(folder);
        ASSERT_TRUE(brimlet->waitForWindow()) << brimlet->output().toStdString();
        ASSERT_TRUE(captureProbe(folder, "text 1.txt"));
    }
    QString at(const QString& name) const { return QDir(folder).filePath(name); }
    QByteArray text(int number) const { return readFile(at(QString("text %1.txt").arg(number))); }
    // Nothing but the captures and the counter file (the lock is not in
    // the folder); nothing beside the folder.
    void expectOnlyCaptures(const QStringList& captures) const {
        QStringList expected = captures;
        expected << "pikcounter.txt";
        expected.sort();
        EXPECT_EQ(QDir(folder).entryList(
                      QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
                  expected);
        EXPECT_EQ(
            QDir(outer.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"captures"});
    }

    QTemporaryDir outer;
    QString folder;
    std::unique_ptr<Brimlet> brimlet;
};

TEST_F(HostileClipboardE2E, OwnersThatAnswerLateEndlesslyOrWithHugeListsNeverStopCapturing) {
    // Answers every request 0.6 s late, after Brimlet has first given up on
    // it: asked again with more patience, its copy is captured, and the late
    // answers are never taken for the answers to later requests.
    auto late = hostileOwner({"--late", "600", "UTF8_STRING=late answer"});
    ASSERT_NE(late, nullptr);
    ASSERT_TRUE(capturedWithin(at("text 2.txt"), std::chrono::seconds(10), "0.6 s late owner"));
    EXPECT_EQ(text(2), "late answer\r\n");
    copyToClipboard("after a late owner");
    ASSERT_TRUE(capturedWithin(at("text 3.txt"), std::chrono::seconds(10),
                               "late answer, then the next copy captured"));
    EXPECT_EQ(text(3), "after a late owner\r\n");

    // Sends its text in pieces without end: given up at the limit, said
    // once, memory bounded, and the next copy is captured.
    auto endless = hostileOwner({"--endless", "--chunk", "1048576", "UTF8_STRING=e"});
    ASSERT_NE(endless, nullptr);
    QString box;
    EXPECT_TRUE(waitUntil([&] { return !(box = brimlet->messageBox()).isEmpty(); },
                          std::chrono::seconds(60)))
        << "no message about the endless copy; " << brimlet->output().toStdString();
    const qint64 peak = peakMemoryMiB(brimlet->pid());
    std::printf("[ measured ] peak memory during an endless transfer: %lld MiB\n",
                static_cast<long long>(peak));
    EXPECT_GT(peak, 0) << "Brimlet is gone";
    EXPECT_LT(peak, 2048);
    ASSERT_TRUE(dismiss(box));
    // Three ticks: the same copy is not reported again.
    EXPECT_TRUE(staysTrue([&] { return brimlet->messageBox().isEmpty(); },
                          std::chrono::milliseconds(1500)));
    EXPECT_TRUE(brimlet->messageBox().isEmpty());
    copyToClipboard("after an endless owner");
    ASSERT_TRUE(capturedWithin(at("text 4.txt"), std::chrono::seconds(10),
                               "endless transfer, then the next copy captured"));
    EXPECT_EQ(text(4), "after an endless owner\r\n");

    // Offers 300,000 formats, its text first: only the head of the list is
    // looked at.
    auto many = hostileOwner({"--junk", "300000", "UTF8_STRING=offered among many"});
    ASSERT_NE(many, nullptr);
    EXPECT_TRUE(capturedWithin(at("text 5.txt"), std::chrono::seconds(5),
                               "look at 300,000 offered formats"));
    EXPECT_EQ(text(5), "offered among many\r\n");
    copyToClipboard("after many formats");
    EXPECT_TRUE(capturedWithin(at("text 6.txt"), std::chrono::seconds(10),
                               "many formats, then the next copy captured"));
    EXPECT_EQ(text(6), "after many formats\r\n");

    expectOnlyCaptures(
        {"text 1.txt", "text 2.txt", "text 3.txt", "text 4.txt", "text 5.txt", "text 6.txt"});
}

TEST_F(HostileClipboardE2E, LargeLateAndBombPicturesAreCapturedOrRefusedSafely) {
    // A decompression bomb, and a bitmap of 1,054 bytes whose header claims
    // 16000 x 16000 at 32 bits, are refused before they take memory: said
    // once as an unreadable picture, capturing off, the clipboard keeps them.
    QTemporaryDir scratch;
    QByteArray lying = encoded(QImage(16, 22, QImage::Format_RGB32), "BMP").left(1054);
    qToLittleEndian<qint32>(16000, lying.data() + 18);
    qToLittleEndian<qint32>(16000, lying.data() + 22);
    qToLittleEndian<quint16>(32, lying.data() + 28);
    for (const auto& [type, bytes] : {std::pair{QString("image/png"), decompressionBomb()},
                                      std::pair{QString("image/bmp"), lying}}) {
        const QString bombFile = scratch.filePath("bomb");
        writeFile(bombFile, bytes);
        const qint64 before = peakMemoryMiB(brimlet->pid());
        auto bomb = hostileOwner({type + "=@" + bombFile});
        ASSERT_NE(bomb, nullptr);
        QString box;
        ASSERT_TRUE(waitUntil([&] { return !(box = brimlet->messageBox()).isEmpty(); }))
            << "no message about the unreadable " << type.toStdString();
        EXPECT_LT(peakMemoryMiB(brimlet->pid()) - before, 256) << type.toStdString();
        EXPECT_TRUE(runTool("xclip", {"-selection", "clipboard", "-o", "-t", "TARGETS"})
                        .out.contains(type.toLatin1()));
        ASSERT_TRUE(dismiss(box));
        brimlet->clickAt(1920 + 120, 4320 + 120);  // "On" empties the clipboard
        ASSERT_TRUE(bomb->waitForFinished(10000)) << "the clipboard was not emptied";
    }

    // A camera's picture, beyond Qt's own limit of 128 MiB. (The failed
    // captures used up numbers 1 and 2, as a failed tick does.)
    QImage camera(8192, 5464, QImage::Format_RGB32);
    camera.fill(QColor(20, 120, 220));
    const QString cameraFile = scratch.filePath("camera.png");
    writeFile(cameraFile, encoded(camera, "PNG"));
    camera = QImage();
    auto big = hostileOwner({"image/png=@" + cameraFile});
    ASSERT_NE(big, nullptr);
    ASSERT_TRUE(
        capturedWithin(at("picture 3.jpeg"), std::chrono::seconds(60), "8192 x 5464 PNG captured"));
    EXPECT_TRUE(waitUntil([&] { return bmpSize(at("picture 3.jpeg")) == QSize(8192, 5464); }));

    // Answers for the picture late: asked again, captured, and the next
    // copy is captured.
    QImage small(40, 30, QImage::Format_RGB32);
    small.fill(Qt::green);
    const QString smallFile = scratch.filePath("small.png");
    writeFile(smallFile, encoded(small, "PNG"));
    auto late = hostileOwner({"--late", "600", "image/png=@" + smallFile});
    ASSERT_NE(late, nullptr);
    ASSERT_TRUE(capturedWithin(at("picture 4.jpeg"), std::chrono::seconds(10), "late picture"));
    copyToClipboard("after a late picture");
    ASSERT_TRUE(capturedWithin(at("text 2.txt"), std::chrono::seconds(10),
                               "late picture answer, then the next copy captured"));
    EXPECT_EQ(text(2), "after a late picture\r\n");

    expectOnlyCaptures({"picture 3.jpeg", "picture 4.jpeg", "text 1.txt", "text 2.txt"});
}

TEST_F(HostileClipboardE2E, CopiedFilesStayAndTextsLoseATrailingNul) {
    // Copied files, even with their names as text beside them: not
    // captured, left on the clipboard.
    auto files =
        hostileOwner({"text/uri-list=file:///tmp/a%20file\r\n", "UTF8_STRING=/tmp/a file"});
    ASSERT_NE(files, nullptr);
    // Three ticks: the copied files are left on the clipboard.
    EXPECT_TRUE(staysTrue([] { return clipboardText().out == "/tmp/a file"; },
                          std::chrono::milliseconds(1500)));
    EXPECT_EQ(clipboardText().out, QByteArray("/tmp/a file"));
    auto cut = hostileOwner({"x-special/gnome-copied-files=cut\nfile:///tmp/b",
                             "application/x-kde-cutselection=1", "UTF8_STRING=/tmp/b"});
    ASSERT_NE(cut, nullptr);
    EXPECT_TRUE(
        staysTrue([] { return clipboardText().out == "/tmp/b"; }, std::chrono::milliseconds(1500)));
    EXPECT_EQ(clipboardText().out, QByteArray("/tmp/b"));
    // A picture wins over the file it came from, as an image viewer offers it.
    QTemporaryDir scratch;
    writeFile(scratch.filePath("viewed.png"), encoded(QImage(8, 6, QImage::Format_RGB32), "PNG"));
    auto viewed = hostileOwner({"image/png=@" + scratch.filePath("viewed.png"),
                                "text/uri-list=file:///tmp/viewed.png\r\n"});
    ASSERT_NE(viewed, nullptr);
    EXPECT_TRUE(waitUntil([&] { return bmpSize(at("picture 1.jpeg")) == QSize(8, 6); }));
    // A link to a web page is text.
    auto link = hostileOwner(
        {"text/uri-list=https://example.org/\r\n", "UTF8_STRING=https://example.org/"});
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(at("text 2.txt")); }));
    EXPECT_EQ(text(2), "https://example.org/\r\n");

    // A text ended with a NUL byte, as some editors end every text.
    auto nul = hostileOwner({"--nul", "UTF8_STRING=ends in a NUL"});
    ASSERT_NE(nul, nullptr);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(at("text 3.txt")); }));
    EXPECT_EQ(text(3), "ends in a NUL\r\n");

    // Every text form: Compound Text only, and Latin-1 offered both as
    // UTF8_STRING (where it is not valid) and as STRING.
    writeFile(scratch.filePath("compound"), "caf\xe9 \x1b$)B\xc6\xfc\xcb\xdc");
    writeFile(scratch.filePath("latin1"), "caf\xe9");
    auto compound = hostileOwner({"COMPOUND_TEXT=@" + scratch.filePath("compound")});
    ASSERT_NE(compound, nullptr);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(at("text 4.txt")); }));
    EXPECT_EQ(QString::fromUtf8(text(4)), QString::fromUtf8("café 日本\r\n"));
    auto latin1 = hostileOwner(
        {"UTF8_STRING=@" + scratch.filePath("latin1"), "STRING=@" + scratch.filePath("latin1")});
    ASSERT_NE(latin1, nullptr);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(at("text 5.txt")); }));
    EXPECT_EQ(QString::fromUtf8(text(5)), QString::fromUtf8("café\r\n"));

    // Long texts go to their files as they arrive: in UTF-8 (ended by a NUL)
    // kept exactly, memory never holding them whole; a long Latin-1 one
    // offered as UTF8_STRING too is still taken from STRING.
    const QByteArray longText = QString::fromUtf8(
                                    "Gr\xC3\xBC\xC3\x9F"
                                    "e \xF0\x9F\x98\x80\n")
                                    .repeated(600000)
                                    .toUtf8();
    writeFile(scratch.filePath("long"), longText);
    writeFile(scratch.filePath("long1"), QByteArray("caf\xE9 ").repeated(1000000));
    [[maybe_unused]] const qint64 before = restartPeakMiB(brimlet->pid());
    auto utf8 = hostileOwner({"--nul", "UTF8_STRING=@" + scratch.filePath("long")});
    ASSERT_NE(utf8, nullptr);
    ASSERT_TRUE(capturedWithin(at("text 6.txt"), std::chrono::seconds(30), "long UTF-8 text"));
    EXPECT_EQ(text(6), longText + "\r\n");
#ifndef BRIMLET_SANITIZED
    // At most 1.5 times the text and 8 MiB, the one text shown included.
    EXPECT_LT(peakMemoryMiB(brimlet->pid()) - before, (longText.size() * 3 / 2 >> 20) + 8);
#endif
    auto long1 = hostileOwner(
        {"UTF8_STRING=@" + scratch.filePath("long1"), "STRING=@" + scratch.filePath("long1")});
    ASSERT_NE(long1, nullptr);
    ASSERT_TRUE(capturedWithin(at("text 7.txt"), std::chrono::seconds(30), "long Latin-1 text"));
    EXPECT_EQ(text(7), QString::fromUtf8("caf\xC3\xA9 ").repeated(1000000).toUtf8() + "\r\n");

    copyToClipboard("after them");
    EXPECT_TRUE(capturedWithin(at("text 8.txt"), std::chrono::seconds(10),
                               "copied files, then the next copy captured"));
    expectOnlyCaptures({"picture 1.jpeg", "text 1.txt", "text 2.txt", "text 3.txt", "text 4.txt",
                        "text 5.txt", "text 6.txt", "text 7.txt", "text 8.txt"});
}

TEST_F(HostileClipboardE2E, QuickCopiesAreEachCapturedOnce) {
    // A big copy still being read when another program copies: both kept,
    // in order, and the second is not emptied on the first one's account.
    QTemporaryDir scratch;
    const QByteArray big(2 * 1000 * 1000, 'b');
    writeFile(scratch.filePath("big.txt"), big);
    auto slow = hostileOwner(
        {"--chunk", "65536", "--pace", "10", "UTF8_STRING=@" + scratch.filePath("big.txt")});
    ASSERT_NE(slow, nullptr);
    // Copied again once the big copy's pieces have begun to come.
    QByteArray said;
    ASSERT_TRUE(waitUntil([&] {
        slow->waitForReadyRead(20);
        return (said += slow->readAll()).contains("sending");
    })) << "the big copy was never asked for";
    copyToClipboard("right after a big copy");
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(at("text 3.txt")); }))
        << QDir(folder).entryList().join(", ").toStdString();
    EXPECT_EQ(text(2), big + "\r\n");
    EXPECT_EQ(text(3), "right after a big copy\r\n");
    // Nothing of the big copy is left to meet the flood: its owner has
    // ended, a second after it lost the clipboard, and the copy after it has
    // been taken off the clipboard.
    slow->waitForFinished(10000);
    waitUntil([] { return clipboardText().exitCode != 0; });

    // A flood of 500 copies in 2 s, every other one a password manager's
    // secret: none captured twice, no secret captured.
    auto flood = hostileOwner({"--flood", "500", "4", "--secret-odd", "UTF8_STRING=flood"});
    ASSERT_NE(flood, nullptr);
    ASSERT_TRUE(waitUntil([&] {
        flood->waitForReadyRead(100);
        return flood->readAll().contains("flooded") || flood->state() == QProcess::NotRunning;
    }));
    // The captures of the flood have come to an end: the folder stays the
    // same for two ticks.
    settles([&] { return QDir(folder).entryList(QDir::Files).join('/').toUtf8(); },
            std::chrono::milliseconds(1000));
    const QStringList texts = QDir(folder).entryList({"text *.txt"}, QDir::Files);
    QSet<QByteArray> seen;
    int floods = 0;
    for (const QString& name : texts) {
        const QByteArray bytes = readFile(at(name));
        if (!bytes.startsWith("flood ")) continue;
        ++floods;
        EXPECT_FALSE(seen.contains(bytes)) << name.toStdString() << " holds a copy captured before";
        EXPECT_EQ(bytes.trimmed().right(1).toInt() % 2, 0)
            << name.toStdString() << " holds a secret";
        seen.insert(bytes);
    }
    std::printf("[ measured ] flood: %d of 500 copies captured, %lld of them distinct\n", floods,
                static_cast<long long>(seen.size()));
    EXPECT_GT(floods, 0);

    const QString next = QString("text %1.txt").arg(texts.size() + 1);
    copyToClipboard("after the flood");
    EXPECT_TRUE(capturedWithin(at(next), std::chrono::seconds(10), "flood, then the next copy"));
}

}  // namespace
}  // namespace brimlet::e2e
