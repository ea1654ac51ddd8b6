#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include "Children.h"
#include "ChooseEntry.h"
#include "FakeHost.h"
#include "ui/MainWindow.h"
#include "widgets/ChoiceComboBox.h"
#include "widgets/ClickableLabel.h"
#include "widgets/FileList.h"
#include "widgets/PictureBox.h"
#include "widgets/ProgramStyle.h"
#include "widgets/ProgramWindows.h"
#include "widgets/TextBox.h"

namespace brimlet {
namespace {

using testing::child;
using testing::FakeHost;

// "caption" for an item, "caption[ ...children ]" for a menu.
QString tree(const QList<QAction*>& actions) {
    QStringList parts;
    for (QAction* action : actions) {
        QString part = action->objectName() + "=" + action->text();
        if (action->menu() != nullptr) part += "[" + tree(action->menu()->actions()) + "]";
        parts << part;
    }
    return parts.join("|");
}

class MainWindowTest : public ::testing::Test {
  protected:
    template <class T = QWidget>
    T* control(const char* name) const {
        return child<T>(window, name);
    }
    QTemporaryDir dir;
    FakeHost host;
    MainWindow window{host, dir.path()};
};

TEST_F(MainWindowTest, MenuBarHasSixEntriesWithExactCaptions) {
    const QList<QAction*> top = window.menuBar()->actions();
    ASSERT_EQ(top.size(), 6);
    EXPECT_EQ(tree(top),
              "=File[=Copy[copyImageAction=Image|copyTextAction=Text]|"
              "=Delete[deleteImageAction=Image|deleteTextAction=Text]|"
              "=Save As[saveImageAsAction=Save Image As|saveTextAsAction=Save Text As]]|"
              "=Font[=Font[fontAmoProCaptionAction=Amo Pro Caption|fontMsGothicAction=Ms Gothic|"
              "fontMsSansSerifAction=Ms Sans Serif|fontMvSansAction=MVSans]|"
              "=Font Size[fontSize8Action=8|fontSize10Action=10|fontSize12Action=12|"
              "fontSize14Action=14|fontSize18Action=18|fontSize24Action=24]|"
              "=Font Style[styleRegularAction=Regular|styleBoldAction=Bold|"
              "styleItalicAction=Italic]|"
              "=Font Color[colorBlackAction=Black|colorBlueAction=Blue|colorRedAction=Red]]|"
              "=Clipboard[=Copy [captureOnAction=On|captureOffAction=Off]]|"
              "=Help[aboutAction=About|readmeAction=Readme |contactAction=Contact Us]|"
              "=Donate[donateOneAction=$1|donateTwoAction=$2|donateFiveAction=$5]|"
              "exitAction=Exit");
    EXPECT_EQ(top[0]->menu()->objectName(), "fileMenu");
    EXPECT_EQ(control<QMenu>("clipboardCopyMenu")->title(), "Copy ");

    // The tray menu exists but is never in the menu bar.
    QMenu* trayMenu = control<QMenu>("trayMenu");
    EXPECT_EQ(trayMenu->title(), "&SysTray");
    EXPECT_EQ(tree(trayMenu->actions()), "trayRestoreAction= &Restore|trayExitAction=&Exit");
    for (QAction* action : top) EXPECT_NE(action->menu(), trayMenu);

    // No item is checked, disabled or bound to a key.
    for (QAction* action : window.findChildren<QAction*>()) {
        EXPECT_FALSE(action->isCheckable()) << action->text().toStdString();
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
        EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
    }
}

TEST_F(MainWindowTest, ControlsSitWhereTheLayoutPutsThem) {
    if (window.logicalDpiX() != 96) GTEST_SKIP() << "layout checked at 96 dpi";
    // twips / 15 at 96 dpi
    EXPECT_EQ(window.centralWidget()->size(), QSize(523, 311));
    EXPECT_EQ(control("textViewer")->geometry(), QRect(8, 8, 353, 137));
    EXPECT_EQ(control("pictureViewer")->geometry(), QRect(368, 8, 145, 137));
    EXPECT_EQ(control("textList")->geometry(), QRect(8, 152, 145, 58));
    EXPECT_EQ(control("pictureList")->geometry(), QRect(368, 152, 145, 58));
    EXPECT_EQ(control("copyTextButton")->geometry(), QRect(8, 216, 145, 25));
    EXPECT_EQ(control("deleteImageButton")->geometry(), QRect(368, 248, 145, 25));
    EXPECT_EQ(control("fontColorBox")->geometry(), QRect(232, 248, 129, 24));
    EXPECT_EQ(control("captureLabel")->geometry(), QRect(8, 288, 121, 33));
    EXPECT_EQ(control("captureOnButton")->geometry(), QRect(128, 288, 65, 17));
    EXPECT_EQ(control("captureOffButton")->geometry(), QRect(184, 288, 49, 17));
}

TEST_F(MainWindowTest, CaptionsFontsAndDesignState) {
    EXPECT_EQ(window.windowTitle(), "Brimlet");
    const std::pair<const char*, const char*> captions[] = {
        {"copyImageButton", "Copy Image"}, {"deleteImageButton", "Delete Image"},
        {"copyTextButton", "Copy Text"},   {"deleteTextButton", "Delete Text"},
        {"captureOnButton", "On"},         {"captureOffButton", "Off"}};
    for (const auto& [name, caption] : captions) {
        EXPECT_EQ(control<QAbstractButton>(name)->text(), caption);
    }
    const std::pair<const char*, const char*> labels[] = {{"captureLabel", "Clipboard Copy"},
                                                          {"fontSizeLabel", "Font Size"},
                                                          {"fontStyleLabel", "Font Style"},
                                                          {"fontColorLabel", "Font Color"},
                                                          {"fontLabel", "Font"}};
    for (const auto& [name, caption] : labels) EXPECT_EQ(control<QLabel>(name)->text(), caption);
    for (const char* name : {"copyImageButton", "captureOnButton", "captureLabel", "fontBox"}) {
        EXPECT_TRUE(control(name)->font().bold()) << name;
        EXPECT_DOUBLE_EQ(control(name)->font().pointSizeF(), 9.75) << name;
    }
    EXPECT_FALSE(control<QRadioButton>("captureOnButton")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("captureOffButton")->isChecked());
    EXPECT_TRUE(window.capture().isOn());
    EXPECT_EQ(window.capture().timer().interval(), 500);
    EXPECT_EQ(control<ChoiceComboBox>("fontStyleBox")->count(), 0);  // filled at start-up
}

TEST_F(MainWindowTest, FixedSizeWindowWithoutMaximiseAndWithItsIcon) {
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    const QList<QSize> sizes = window.windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(48, 48)));

    // The menu bar's extension icon, read only when drawn, is Qt's own.
    const QIcon extension =
        ProgramStyle().standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    const QImage png(":/qt-project.org/styles/commonstyle/images/toolbar-ext-h-16.png");
    ASSERT_FALSE(png.isNull());
    const auto argb = QImage::Format_ARGB32_Premultiplied;
    EXPECT_EQ(extension.pixmap(png.size()).toImage().convertToFormat(argb),
              png.convertToFormat(argb));
}

TEST_F(MainWindowTest, TabOrderFirstFocusAndAccessibleNames) {
    const char* const order[] = {"pictureList",      "copyImageButton",   "textViewer",
                                 "textList",         "deleteImageButton", "copyTextButton",
                                 "deleteTextButton", "captureOnButton",   "captureOffButton",
                                 "fontStyleBox",     "fontSizeBox",       "fontColorBox",
                                 "fontBox"};
    QList<QWidget*> expected;
    for (const char* name : order) expected << control(name);
    QWidget* w = expected[0];
    for (int i = 1; i < expected.size(); ++i) {
        do {
            w = w->nextInFocusChain();
        } while (!(w->focusPolicy() & Qt::TabFocus) || !expected.contains(w));
        EXPECT_EQ(w, expected[i]) << "position " << i;
    }
    // Every control that takes the focus says what it is.
    for (QWidget* control : expected) {
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
    }
    window.show();
    QApplication::setActiveWindow(&window);
    EXPECT_EQ(QApplication::focusWidget(), expected[0]);
}

TEST_F(MainWindowTest, StartUpRunsInOrderAndUnloadRemovesTheTrayIcon) {
    testing::writeFile(dir.filePath("pikcounter.txt"), "12,7\r\n");
    host.text = "there before the start";
    window.load();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(host.calls, (QStringList{"tray add", "clear"}));
    EXPECT_EQ(control<ChoiceComboBox>("fontStyleBox")->count(), 3);
    EXPECT_EQ(control<ChoiceComboBox>("fontSizeBox")->itemText(5), "24");
    EXPECT_EQ(control<ChoiceComboBox>("fontColorBox")->itemText(1), "Blue");
    EXPECT_EQ(control<ChoiceComboBox>("fontBox")->itemText(2), "Ms Sans Serif");
    EXPECT_EQ(control<ChoiceComboBox>("fontBox")->currentText(), "");
    EXPECT_TRUE(control("textViewer")->font().bold());
    EXPECT_DOUBLE_EQ(control("textViewer")->font().pointSizeF(), 8.25);
    EXPECT_EQ(window.capture().store().counters(), (Counters{12, 7}));
    EXPECT_EQ(window.capture().tickCount(), 0);

    window.close();
    EXPECT_EQ(host.calls.last(), "tray remove");
    EXPECT_FALSE(window.capture().isOn());  // capturing stops with the window
    EXPECT_FALSE(isLoaded(&window));
}

TEST_F(MainWindowTest, TypingIntoAComboDoesNothingUntilAnEntryIsChosen) {
    auto* styleBox = control<ChoiceComboBox>("fontStyleBox");
    int chosen = 0;
    QObject::connect(styleBox, &ChoiceComboBox::chosen, [&] { ++chosen; });
    window.load();
    window.show();
    styleBox->setFocus();
    // Typed entries, Enter and Escape in the edit field and leaving the box
    // choose nothing.
    styleBox->setEditText("Bold");
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(styleBox, &press);
    }
    styleBox->setEditText("Regular");
    control("fontSizeBox")->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(styleBox->count(), 3);  // nothing was added
    ASSERT_TRUE(testing::chooseEntry(styleBox, "Bold"));
    EXPECT_EQ(chosen, 1);
}

}  // namespace
}  // namespace brimlet
