#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include "host/QtHost.h"
#include "host/RuntimeError.h"

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

}  // namespace
}  // namespace brimlet
