#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include "host/QtHost.h"
#include "base/RuntimeError.h"

namespace brimlet {
namespace {

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

    QImage picture(3, 2, QImage::Format_RGB32);
    picture.fill(Qt::red);
    host.clipboardSetPicture(picture);
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Bitmap));
    EXPECT_EQ(host.clipboardGetPicture().size(), QSize(3, 2));
    EXPECT_THROW(host.clipboardSetPicture(QImage()), RuntimeError);

    // A copied file offered only as a URL list is neither text nor picture.
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile("/tmp/a file")});
    QGuiApplication::clipboard()->setMimeData(files);
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Text));
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Bitmap));

    // Nor with its name as text beside it, as file managers offer it.
    auto* named = new QMimeData;
    named->setUrls({QUrl::fromLocalFile("/tmp/a file")});
    named->setText("/tmp/a file");
    QGuiApplication::clipboard()->setMimeData(named);
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Text));
    auto* cut = new QMimeData;
    cut->setData("x-special/gnome-copied-files", "cut\nfile:///tmp/b");
    cut->setText("/tmp/b");
    QGuiApplication::clipboard()->setMimeData(cut);
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Text));
    auto* kde = new QMimeData;
    kde->setData("application/x-kde-cutselection", "1");
    kde->setText("/tmp/c");
    QGuiApplication::clipboard()->setMimeData(kde);
    EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Text));
    // A picture wins over the file it came from (an image viewer's copy),
    // and a text beside copied files that is more than their names is text.
    auto* viewed = new QMimeData;
    viewed->setUrls({QUrl::fromLocalFile("/tmp/viewed.png")});
    viewed->setImageData(picture);
    QGuiApplication::clipboard()->setMimeData(viewed);
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Bitmap));
    auto* noted = new QMimeData;
    noted->setUrls({QUrl::fromLocalFile("/tmp/a file")});
    noted->setText("a note on a file");
    QGuiApplication::clipboard()->setMimeData(noted);
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Text));
    // A link to a web page is text.
    auto* link = new QMimeData;
    link->setUrls({QUrl("https://example.org/")});
    link->setText("https://example.org/");
    QGuiApplication::clipboard()->setMimeData(link);
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Text));

    // One NUL byte that ends a text is no part of it.
    auto* nul = new QMimeData;
    nul->setData("text/plain", QByteArray("ends in a NUL\0", 14));
    QGuiApplication::clipboard()->setMimeData(nul);
    EXPECT_TRUE(host.clipboardHasFormat(ClipFormat::Text));
    EXPECT_EQ(host.clipboardGetText(), "ends in a NUL");
    host.clipboardClear();
}

TEST(QtHost, SecretsFromPasswordManagersOfferNothing) {
    QtHost host;
    for (const QByteArray hint : {"secret", "secret\n"}) {
        auto* secret = new QMimeData;
        secret->setText("hunter2");
        secret->setData("x-kde-passwordManagerHint", hint);
        QGuiApplication::clipboard()->setMimeData(secret);
        EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Text));
        EXPECT_FALSE(host.clipboardHasFormat(ClipFormat::Bitmap));
    }
    auto* plain = new QMimeData;
    plain->setText("not a secret");
    plain->setData("x-kde-passwordManagerHint", "other");
    QGuiApplication::clipboard()->setMimeData(plain);
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

}  // namespace
}  // namespace brimlet
