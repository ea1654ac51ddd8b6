#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "Children.h"
#include "FakeHost.h"
#include "help/EmbeddedDocument.h"
#include "help/HelpMenu.h"
#include "ui/MainWindow.h"

namespace brimlet {
namespace {

using testing::child;
using testing::FakeHost;

QByteArray resource(const QString& name) {
    return EmbeddedDocument(name).bytes();
}

TEST(Documents, ReadmeIsTwentySixCrLfLinesExactly) {
    const QByteArray readme = resource("ReadmeHelp.txt");
    const QList<QByteArray> lines = readme.split('\n');
    ASSERT_EQ(lines.size(), 26);
    for (int i = 0; i < 25; ++i) EXPECT_TRUE(lines[i].endsWith('\r')) << "line " << i + 1;
    EXPECT_FALSE(readme.endsWith('\n'));
    EXPECT_EQ(lines[0], "Readme Help\r");
    EXPECT_EQ(lines[2], "NO Installation Necessary. Just simply open the folder and \r");
    EXPECT_EQ(lines[15], "Copy Text  - Copies text back to the clipboard. \r");
    EXPECT_EQ(lines[18], "Clipboard Copy On - Activates copy feature. (Deafault)\r");
    EXPECT_EQ(lines[25], "just click on the Contact Us at the top of the form.");
    EXPECT_EQ(readme.size(), 969);
}

TEST(Documents, RedirectPagesForwardToTheirOwnName) {
    for (const char* name :
         {"contact.html", "donate.html", "donate1.html", "donate2.html", "donate5.html"}) {
        const QList<QByteArray> lines = resource(name).split('\n');
        ASSERT_EQ(lines.size(), 5) << name;
        EXPECT_EQ(lines[0], "<html>\r");
        EXPECT_EQ(lines[1], "<head>\r");
        EXPECT_TRUE(lines[2].startsWith("<meta HTTP-EQUIV=\"REFRESH\" content=\"0; url=https://"));
        EXPECT_TRUE(lines[2].endsWith(QByteArray("/") + name + "\">\r")) << lines[2].toStdString();
        EXPECT_EQ(lines[3], "</head>\r");
        EXPECT_EQ(lines[4], "</html>");
    }
}

class HelpTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    FakeHost host;
    HelpMenu help{host, dir.path()};
};

TEST_F(HelpTest, AboutBeepsFirstAndNamesVersionAndFolder) {
    help.showAbout();
    ASSERT_EQ(host.calls.size(), 2);
    EXPECT_EQ(host.calls[0], "beep");
    EXPECT_TRUE(host.calls[1].startsWith("msgBox 64 About Brimlet: Brimlet " BRIMLET_VERSION "\n"));
    EXPECT_TRUE(host.calls[1].contains(dir.path()));
}

// Through the window's menu items, as the user opens them.
TEST(HelpMenuItems, EachItemOpensItsOwnDocumentFromAPrivateFolderWithoutBeeping) {
    QTemporaryDir dir;
    FakeHost host;
    MainWindow window(host, dir.path());
    const std::pair<const char*, QString> items[] = {{"readmeAction", "ReadmeHelp.txt"},
                                                     {"contactAction", "contact.html"},
                                                     {"donateOneAction", "donate1.html"},
                                                     {"donateTwoAction", "donate2.html"},
                                                     {"donateFiveAction", "donate5.html"}};
    for (const auto& [item, name] : items) {
        host.calls.clear();
        child<QAction>(window, item)->trigger();
        ASSERT_EQ(host.calls.size(), 1) << name.toStdString();
        ASSERT_TRUE(host.calls[0].startsWith("open "));
        const QString path = host.calls[0].mid(5);
        const QFileInfo file(path);
        EXPECT_EQ(file.fileName(), name);
        QFile opened(path);
        ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
        EXPECT_EQ(opened.readAll(), resource(name));
        EXPECT_EQ(QFileInfo(file.absolutePath()).permissions() & 0x0077, QFile::Permissions())
            << "only the user may read or write the folder";
        EXPECT_FALSE(file.absolutePath().startsWith(dir.path())) << "not the working folder";
    }
}

}  // namespace
}  // namespace brimlet
