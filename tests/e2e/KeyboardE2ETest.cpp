#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "XSession.h"

namespace brimlet::e2e {
namespace {

using namespace std::chrono_literals;

// A folder as a user's is after some use: pictures, texts, the counter file.
void fillWithCaptures(const QString& folder) {
    QImage blue(4, 3, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    QImage green(5, 2, QImage::Format_RGB32);
    green.fill(Qt::green);
    ASSERT_TRUE(blue.save(folder + "/picture 1.jpeg", "BMP"));
    ASSERT_TRUE(green.save(folder + "/picture 2.jpeg", "BMP"));
    writeFile(folder + "/text 1.txt", "first text\r\n");
    writeFile(folder + "/text 2.txt", "second text\r\n");
    writeFile(folder + "/pikcounter.txt", "2,2\r\n");
}

class KeyboardE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        fillWithCaptures(dir.path());
        brimlet = std::make_unique<Brimlet>(dir.path(), Brimlet::Trace::On);
        ASSERT_TRUE(brimlet->waitForWindow()) << brimlet->output().toStdString();
        // The first tick gives the focus to "On".
        while (true) {
            const QString focus = brimlet->nextTrace("focus ");
            ASSERT_FALSE(focus.isNull()) << "the first tick did not come; a message box: "
                                         << brimlet->messageBox().toStdString();
            if (focus == "Clipboard Copy On") break;
        }
        activate();
    }

    // Gives the main window the focus back and passes over what that traced.
    void activate() {
        runTool("xdotool", {"windowactivate", "--sync", brimlet->mainWindow()});
        while (brimlet->traced("focus ", 400ms)) {
        }
        brimlet->skipTraces();
    }

    // Presses each key and expects the focus to land on the next name.
    void walk(const QString& key, const QStringList& names) {
        for (const QString& name : names) {
            brimlet->press({key});
            EXPECT_EQ(brimlet->nextTrace("focus "), name) << "after " << key.toStdString();
        }
    }

    // Opens a menu of the menu bar with a click on its title (pixels from
    // the window's left), as the mouse does.
    void clickMenuBar(int left) {
        const QString window = brimlet->mainWindow();
        const WindowGeometry g = geometryOf(window);
        const int menuBarHeight = g.height - 311 * g.width / 523;
        runTool("xdotool", {"mousemove", "--window", window, QString::number(left),
                            QString::number(menuBarHeight / 2), "click", "1"});
    }

    // Waits until the focus comes to `name`, passing over menus and lists
    // that had it on the way.
    bool focusOn(const QString& name) {
        for (;;) {
            const QString focus = brimlet->nextTrace("focus ");
            if (focus.isNull()) return false;
            if (focus == name) return true;
        }
    }

    QString noBox() {
        QString box;
        waitUntil([&] { return !(box = brimlet->messageBox()).isEmpty(); }, 1000ms);
        return box;
    }

    Desktop desktop;
    QTemporaryDir dir;
    std::unique_ptr<Brimlet> brimlet;
};

const QStringList kTabCycle = {"Font Style",   "Font Size",  "Font Color",  "Font",
                               "Picture list", "Copy Image", "Text viewer", "Text list",
                               "Delete Image", "Copy Text",  "Delete Text", "Clipboard Copy On"};

TEST_F(KeyboardE2E, TabArrowKeysDeletingAndTypingNeverTrapTheUser) {
    EXPECT_TRUE(waitUntil([&] { return !brimlet->messageBox().isEmpty(); }, 2s) == false)
        << "a message at start-up";

    // Tab once around the window and Shift+Tab back: the text viewer hands
    // Tab on instead of taking it.
    walk("Tab", kTabCycle);
    QStringList back = kTabCycle;
    std::reverse(back.begin(), back.end());
    back.removeFirst();
    back << "Clipboard Copy On";
    walk("shift+Tab", back);

    // A list that gets the focus shows nothing; the arrow keys show each
    // entry they move to, Home and Space the current entry they highlight.
    walk("Tab", kTabCycle.mid(0, 5));
    EXPECT_FALSE(brimlet->traced("shows ", 300ms));
    EXPECT_EQ(noBox(), "");
    brimlet->press({"Home"});
    EXPECT_EQ(brimlet->nextTrace("shows "), "picture 1.jpeg");
    brimlet->press({"Down"});
    EXPECT_EQ(brimlet->nextTrace("shows "), "picture 2.jpeg");
    brimlet->press({"Up"});
    EXPECT_EQ(brimlet->nextTrace("shows "), "picture 1.jpeg");
    walk("Tab", {"Copy Image", "Text viewer", "Text list"});
    EXPECT_FALSE(brimlet->traced("shows ", 300ms));
    brimlet->press({"space"});
    EXPECT_EQ(brimlet->nextTrace("shows "), "pikcounter.txt");
    brimlet->press({"Down"});
    EXPECT_EQ(brimlet->nextTrace("shows "), "text 1.txt");
    brimlet->press({"End"});
    EXPECT_EQ(brimlet->nextTrace("shows "), "text 2.txt");

    // "File" > "Delete" > "Image" deletes the selected picture; after its
    // message the list can be tabbed into without any message coming back.
    walk("shift+Tab", {"Text viewer", "Copy Image", "Picture list"});
    clickMenuBar(16);
    brimlet->press({"Down", "Down", "Right", "Return"});
    QString box;
    ASSERT_TRUE(waitUntil([&] { return !(box = brimlet->messageBox()).isEmpty(); }));
    EXPECT_FALSE(QFile::exists(dir.filePath("picture 1.jpeg")));
    runTool("xdotool", {"windowfocus", "--sync", box});
    brimlet->press({"Return"});
    ASSERT_TRUE(waitUntil([&] { return brimlet->messageBox().isEmpty(); }));
    activate();
    walk("shift+Tab", {"Font"});
    walk("Tab", {"Picture list"});
    EXPECT_EQ(noBox(), "") << "a message after deleting";
    EXPECT_FALSE(brimlet->traced("shows ", 100ms));
    clickMenuBar(16);  // nothing is highlighted: deleting again only beeps
    brimlet->press({"Down", "Down", "Right", "Return"});
    EXPECT_TRUE(noBox().isEmpty() && QFile::exists(dir.filePath("picture 2.jpeg")));
    activate();

    // Typing an entry's text into each font box, then Enter, Escape and
    // leaving the box, changes nothing.
    walk("shift+Tab", {"Font", "Font Color", "Font Size", "Font Style"});
    const QStringList typed = {"Italic", "24", "Red", "Ms Gothic"};
    const QStringList next = {"Font Size", "Font Color", "Font", "Picture list"};
    for (int i = 0; i < typed.size(); ++i) {
        runTool("xdotool", {"type", "--delay", "20", typed[i]});
        brimlet->press({"Return", "Escape"});
        walk("Tab", {next[i]});
    }
    EXPECT_FALSE(brimlet->traced("viewer font ", 500ms)) << "a typed entry was applied";

    // Choosing from the open list with the keyboard applies the entry.
    walk("shift+Tab", {"Font", "Font Color"});
    brimlet->press({"alt+Down", "Home", "Down", "Down", "Return"});
    EXPECT_TRUE(brimlet->nextTrace("viewer font ").endsWith("#ff0000"));
    focusOn("Font Color");  // back from the list
    walk("shift+Tab", {"Font Size", "Font Style"});
    brimlet->press({"alt+Down", "Home", "Down", "Down", "Return"});
    EXPECT_TRUE(brimlet->nextTrace("viewer font ").contains(" bold italic "));
    brimlet->clickAt(3600, 3800, 1, 4);  // so do the wheel ("Red" up to "Blue") and the
    EXPECT_TRUE(brimlet->nextTrace("viewer font ").endsWith("#0000ff"));
    brimlet->press({"Up"});  // arrow keys ("Black") on the closed box it focused
    EXPECT_TRUE(brimlet->nextTrace("viewer font ").endsWith("#000000"));
    EXPECT_EQ(noBox(), "");
}

TEST_F(KeyboardE2E, SaveAsDialogsAreWalkedByTabAndShiftTab) {
    const QStringList cycle = {"Folder", "File Name", "Type", "Save", "Cancel", "Drive"};
    const QStringList saveImage = {"Down", "Down", "Down", "Right", "Return"};
    const QStringList saveText = {"Down", "Down", "Down", "Right", "Down", "Return"};
    // "File" > "Save As" > "Save Image As", then "Save Text As".
    for (const QStringList& keys : {saveImage, saveText}) {
        clickMenuBar(16);
        brimlet->press(keys);
        ASSERT_TRUE(focusOn("Drive"));
        const QString dialog = brimlet->messageBox();  // with no minimise button
        EXPECT_FALSE(runTool("xprop", {"-id", dialog, "_NET_WM_ALLOWED_ACTIONS"})
                         .out.contains("_NET_WM_ACTION_MINIMIZE"));
        clickMenuBar(16);  // its menu item brings it to the front
        brimlet->press(keys);
        EXPECT_TRUE(focusOn("Drive"));
        walk("Tab", cycle);
        QStringList back = cycle;
        std::reverse(back.begin(), back.end());
        back.removeFirst();
        back << "Drive";
        walk("shift+Tab", back);
        walk("shift+Tab", {"Cancel"});
        brimlet->press({keys == saveImage ? "space" : "Return"});
        EXPECT_TRUE(waitUntil([&] { return brimlet->messageBox().isEmpty(); }))
            << "the dialog is still open";
        activate();
    }

    // Space and Enter open folders; a taken name is replaced after a Yes only.
    ASSERT_TRUE(QDir(dir.path()).mkpath("sub/inner"));
    writeFile(dir.filePath("sub/inner/taken"), "old");
    clickMenuBar(16);
    brimlet->press(saveText);
    ASSERT_TRUE(focusOn("Drive"));
    walk("Tab", {"Folder"});
    brimlet->press({"Down", "space", "Down", "Return"});
    walk("Tab", {"File Name"});
    runTool("xdotool", {"type", "taken"});
    brimlet->press({"Return", "Escape"});  // neither saves nor cancels
    walk("Tab", {"Type", "Save"});
    QString box;
    for (const char* answer : {"n", "y"}) {
        brimlet->press({"Return"});
        ASSERT_TRUE(waitUntil(
            [&] { return !(box = brimlet->visibleWindowNamed("Confirm Save As")).isEmpty(); }));
        EXPECT_EQ(readFile(dir.filePath("sub/inner/taken")), "old");
        runTool("xdotool", {"windowfocus", "--sync", box});
        brimlet->press({answer});
        EXPECT_TRUE(*answer == 'y' || focusOn("Save"));  // No: back in the dialog
    }
    EXPECT_TRUE(waitUntil([&] { return readFile(dir.filePath("sub/inner/taken")) == "\r\n"; }));
}

// Copies out of the text viewer give the entry exactly, display breaks and
// all: a double-click, Ctrl+Shift+Right and Ctrl+A select across them.
class KeyboardE2EViewer : public KeyboardE2E {
  protected:
    void SetUp() override {
        writeFile(dir.filePath("long line.txt"), entry);  // the text list's first entry
        KeyboardE2E::SetUp();
    }
    const QByteArray entry =
        QByteArray(2100, 'b') + " " + QString("wörd ").repeated(1600).toUtf8() + "\nnext\r\n";
};

TEST_F(KeyboardE2EViewer, CopiesGiveTheTextExactly) {
    brimlet->clickAt(2760 + 120, 4320 + 120);  // "Off", so the copies are not captured
    ASSERT_TRUE(focusOn("Clipboard Copy Off"));
    brimlet->clickAt(120 + 300, 2280 + 100);
    ASSERT_EQ(brimlet->nextTrace("shows "), "long line.txt");
    const auto copied = [&](const QByteArray& expected) {
        brimlet->press({"ctrl+c"});
        return waitUntil([&] { return clipboardText().out == expected; }, 3s);
    };
    brimlet->clickAt(2700, 1100, 2);  // a double-click among the b's
    EXPECT_TRUE(copied(QByteArray(2100, 'b'))) << clipboardText().out.size();
    brimlet->press({"ctrl+Home", "ctrl+shift+Right"});
    EXPECT_TRUE(copied(QByteArray(2100, 'b') + " ")) << clipboardText().out.size();
    brimlet->press({"ctrl+a"});  // the entry as copied: without the line end its file adds
    EXPECT_TRUE(copied(entry.chopped(2)))
        << clipboardText().out.size() << " bytes, not " << entry.size() - 2;
}

}  // namespace
}  // namespace brimlet::e2e
