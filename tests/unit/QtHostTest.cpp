#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/TestFiles.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include "base/RuntimeError.h"
#include "files/SpooledText.h"
#include "host/ClipboardLook.h"
#include "host/QtHost.h"

namespace brimlet {
namespace {

// Puts on the clipboard what another program offers: links, a text (none
// when null), a picture (none when null) and formats of its own.
void offer(const QList<QUrl>& urls, const QString& text,
           const QList<std::pair<QString, QByteArray>>& formats = {}, const QImage& picture = {}) {
    auto* data = new QMimeData;
    if (!urls.isEmpty()) data->setUrls(urls);
    if (!text.isNull()) data->setText(text);
    if (!picture.isNull()) data->setImageData(picture);
    for (const auto& [format, bytes] : formats) data->setData(format, bytes);
    QGuiApplication::clipboard()->setMimeData(data);
}

TEST(QtHost, ClipboardFormatsFollowWhatIsOffered) {
    QtHost host;
    host.clipboardClear();
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Text));
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Bitmap));
    EXPECT_EQ(host.clipboardGetText(), QString());
    EXPECT_THROW(host.clipboardGetPicture(), RuntimeError);

    host.clipboardSetText("abc\r\n");
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Text));
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Bitmap));
    EXPECT_EQ(host.clipboardGetText(), "abc\r\n");

    const QImage picture = testing::solid(Qt::red, 3, 2);
    host.clipboardSetPicture(picture);
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Bitmap));
    EXPECT_EQ(host.clipboardGetPicture().size(), QSize(3, 2));
    EXPECT_THROW(host.clipboardSetPicture(QImage()), RuntimeError);

    // A copied file offered only as a URL list is neither text nor picture.
    const QUrl file = QUrl::fromLocalFile("/tmp/a file");
    offer({file}, {});
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Text));
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Bitmap));

    // Nor with its name as text beside it, as file managers offer it.
    offer({file}, "/tmp/a file");
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Text));
    offer({}, "/tmp/b", {{"x-special/gnome-copied-files", "cut\nfile:///tmp/b"}});
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Text));
    offer({}, "/tmp/c", {{"application/x-kde-cutselection", "1"}});
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Text));
    // A picture wins over the file it came from (an image viewer's copy),
    // and a text beside copied files that is more than their names is text.
    offer({QUrl::fromLocalFile("/tmp/viewed.png")}, {}, {}, picture);
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Bitmap));
    offer({file}, "a note on a file");
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Text));
    // A link to a web page is text.
    offer({QUrl("https://example.org/")}, "https://example.org/");
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Text));

    // One NUL byte that ends a text is no part of it.
    offer({}, {}, {{"text/plain", QByteArray("ends in a NUL\0", 14)}});
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Text));
    EXPECT_EQ(host.clipboardGetText(), "ends in a NUL");
    host.clipboardClear();
}

TEST(QtHost, SecretsFromPasswordManagersOfferNothing) {
    QtHost host;
    for (const QByteArray hint : {"secret", "secret\n"}) {
        offer({}, "hunter2", {{"x-kde-passwordManagerHint", hint}});
        EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Text));
        EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Bitmap));
    }
    offer({}, "not a secret", {{"x-kde-passwordManagerHint", "other"}});
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Text));
    host.clipboardClear();
}

TEST(QtHost, ADocumentThatCannotBeOpenedSaysWhichAndWhy) {
    QtHost host;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    try {
        host.openDocument("/tmp/nowhere/ReadmeHelp.txt");
        ADD_FAILURE() << "opened without an opener";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(runTimeErrorMessage(error),
                  "Run-time error '75':\n\nPath/File access error\n\n\"ReadmeHelp.txt\" cannot be "
                  "opened: no program to open it was found. The package xdg-utils provides one "
                  "(xdg-open).");
    }
    qputenv("PATH", path);
}

// The real host on the in-process clipboard.
TEST(QtHostChanges, OnlyOtherProgramsChangesAreReported) {
    QtHost host;
    int reports = 0;
    host.onClipboardChanged([&] { ++reports; });
    host.clipboardSetText("own copy");
    host.clipboardClear();
    EXPECT_EQ(reports, 0);

    offer({}, "from elsewhere");
    EXPECT_GE(reports, 1);
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Text));
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Bitmap));
    host.clipboardClear();
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Text)) << "a look is stale after a change";
    host.onClipboardChanged(nullptr);
}

TEST(QtHostChanges, AHostGoneStopsListening) {
    { QtHost gone; }
    QGuiApplication::clipboard()->setText("after the host has gone");  // must not reach it
    QtHost host;
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Text));
    host.clipboardClear();
}

// A copy offered through a reader of ours: its types' contents, and the
// types whose owner never answers.
class FakeSource : public ClipboardSource {
  public:
    QMap<QByteArray, QByteArray> content;
    QByteArrayList silent, asked;
    Failure failed = Failure::None;
    std::optional<QByteArray> read(const QByteArray& type, qsizetype) override {
        asked << type;
        failed = silent.contains(type)    ? Failure::TimedOut
                 : content.contains(type) ? Failure::None
                                          : Failure::Refused;
        return failed == Failure::None ? std::optional(content[type]) : std::nullopt;
    }
    // In pieces as a pipe brings them.
    bool readInPieces(const QByteArray& type, const PieceSink& take) override {
        const auto bytes = read(type, kWhole);
        for (qsizetype at = 0; bytes && at < bytes->size(); at += 65536) {
            if (!take(QByteArrayView(*bytes).sliced(
                    at, std::min<qsizetype>(65536, bytes->size() - at)))) {
                failed = Failure::Stopped;
                return false;
            }
        }
        return bytes.has_value();
    }
    Failure failure() const override { return failed; }
    bool answeredBySameCopy() const override { return true; }
    std::optional<FolderHandle> spoolIn;
    ClipboardLook look() {
        ClipboardLook look;
        lookAtCopy(*this, content.keys() + silent, spoolIn, look);
        return look;
    }
};

TEST(ClipboardLookTest, ThroughAReaderTheSameRulesHold) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(2, 2, QImage::Format_RGB32).save(&buffer, "PNG");
    FakeSource picture;  // a picture wins
    picture.content = {{"image/png", png}, {"text/plain", "a.png"}};
    EXPECT_TRUE(picture.look().bitmap);
    EXPECT_FALSE(picture.look().text);
    FakeSource secret;  // read no further than the hint
    secret.content = {{kPasswordHintType, "secret\n"}, {"UTF8_STRING", "hunter2"}};
    EXPECT_FALSE(secret.look().text);
    EXPECT_EQ(secret.asked, QByteArrayList{kPasswordHintType});
    FakeSource files;  // copied files, and a text that only names them
    files.content = {{kUriListType, "file:///tmp/a.txt\n"}, {"UTF8_STRING", "/tmp/a.txt"}};
    EXPECT_FALSE(files.look().text);
    FakeSource text;  // the first form that decodes cleanly
    text.content = {{"text/plain", "caf\xe9"}, {"UTF8_STRING", "caf\xc3\xa9"}};
    EXPECT_EQ(text.look().textUtf8, QByteArray("caf\xc3\xa9"));
    FakeSource silent;  // an owner that never answers stalls the look
    silent.silent = {"UTF8_STRING"};
    const ClipboardLook stalled = silent.look();
    EXPECT_TRUE(stalled.stalled && !stalled.text && !stalled.tooBig);
    // Whatever the reader, with a capture folder a long text goes to a file
    // as it arrives, and a PNG is decoded straight into its bitmap file.
    QTemporaryDir dir;
    picture.spoolIn = text.spoolIn = FolderHandle(dir.path());
    EXPECT_TRUE(picture.look().pictureFile);
    text.content = {{"UTF8_STRING", QByteArray(SpooledText::kHeldBytes + 1, 'a')}};
    const ClipboardLook spooled = text.look();
    ASSERT_TRUE(spooled.spooled);
    EXPECT_EQ(spooled.spooled->size(), SpooledText::kHeldBytes + 1);
}

}  // namespace
}  // namespace brimlet
