#include <gtest/gtest.h>

#include "common/QtPrinters.h"

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

#include "ChooseEntry.h"
#include "FakeHost.h"
#include "app/FolderLock.h"
#include "help/DocumentHolder.h"
#include "history/FileList.h"
#include "ui/Controls.h"
#include "ui/Form1.h"
#include "ui/ImageBox.h"
#include "ui/TextBox.h"

namespace brimlet {
namespace {

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
    QTemporaryDir dir;
    FakeHost host;
    Form1 form{host, dir.path()};
};

TEST_F(MainWindowTest, MenuBarHasSixEntriesWithExactCaptions) {
    const QList<QAction*> top = form.menuBar()->actions();
    ASSERT_EQ(top.size(), 6);
    EXPECT_EQ(tree(top),
              "=File[=Copy[im=Image|tx=Text]|=Delete[dlim=Image|deltext=Text]|"
              "=Save As[saveia=Save Image As|savtexas=Save Text As]]|"
              "=Font[=Font[amprog=Amo Pro Caption|adfda=Ms Gothic|msssan=Ms Sans Serif|"
              "adsdf=MVSans]|=Font Size[eight=8|ten=10|twe=12|fourte=14|eighteren=18|twetny=24]|"
              "=Font Style[reg=Regular|bold=Bold|itvs=Italic]|"
              "=Font Color[blk=Black|blue=Blue|redf=Red]]|"
              "=Clipboard[=Copy [clipoff=On|offf=Off]]|"
              "=Help[ab=About|inst=Readme |cus=Contact Us]|"
              "=Donate[doll=$1|twodol=$2|threedol=$5]|"
              "ex=Exit");
    EXPECT_EQ(top[0]->menu()->objectName(), "fi");
    EXPECT_EQ(form.clon->title(), "Copy ");
    EXPECT_EQ(form.dadd->objectName(), "dadd");

    // The tray menu exists but is never in the menu bar.
    EXPECT_EQ(form.mPopupSys->title(), "&SysTray");
    EXPECT_EQ(tree(form.mPopupSys->actions()), "mPopRestore= &Restore|mPopExit=&Exit");
    for (QAction* action : top) EXPECT_NE(action->menu(), form.mPopupSys);

    // No item is checked, disabled or bound to a key.
    for (QAction* action : form.findChildren<QAction*>()) {
        EXPECT_FALSE(action->isCheckable()) << action->text().toStdString();
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
        EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
    }
}

TEST_F(MainWindowTest, ControlsSitWhereTheLayoutPutsThem) {
    if (form.logicalDpiX() != 96) GTEST_SKIP() << "layout checked at 96 dpi";
    // twips / 15 at 96 dpi
    EXPECT_EQ(form.centralWidget()->size(), QSize(523, 311));
    EXPECT_EQ(form.Text1->geometry(), QRect(8, 8, 353, 137));
    EXPECT_EQ(form.Image2->geometry(), QRect(368, 8, 145, 137));
    EXPECT_EQ(form.File2->geometry(), QRect(8, 152, 145, 58));
    EXPECT_EQ(form.File1->geometry(), QRect(368, 152, 145, 58));
    EXPECT_EQ(form.Command3->geometry(), QRect(8, 216, 145, 25));
    EXPECT_EQ(form.Command2->geometry(), QRect(368, 248, 145, 25));
    EXPECT_EQ(form.Combo3->geometry(), QRect(232, 248, 129, 24));
    EXPECT_EQ(form.Label1->geometry(), QRect(8, 288, 121, 33));
    EXPECT_EQ(form.Option1->geometry(), QRect(128, 288, 65, 17));
    EXPECT_EQ(form.Option2->geometry(), QRect(184, 288, 49, 17));
    EXPECT_FALSE(form.Image1->isVisibleTo(&form));
}

TEST_F(MainWindowTest, CaptionsFontsAndDesignState) {
    EXPECT_EQ(form.windowTitle(), "Brimlet");
    EXPECT_EQ(form.Command1->text(), "Copy Image");
    EXPECT_EQ(form.Command2->text(), "Delete Image");
    EXPECT_EQ(form.Command3->text(), "Copy Text");
    EXPECT_EQ(form.Command4->text(), "Delete Text");
    EXPECT_EQ(form.Label1->text(), "Clipboard Copy");
    EXPECT_EQ(form.Label2->text(), "Font Size");
    EXPECT_EQ(form.Label3->text(), "Font Style");
    EXPECT_EQ(form.Label4->text(), "Font Color");
    EXPECT_EQ(form.Label5->text(), "Font");
    EXPECT_EQ(form.Option1->text(), "On");
    EXPECT_EQ(form.Option2->text(), "Off");
    for (QWidget* w :
         std::initializer_list<QWidget*>{form.Command1, form.Option1, form.Label1, form.Combo4}) {
        EXPECT_TRUE(w->font().bold());
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), 9.75);
    }
    EXPECT_TRUE(form.Text1->font().bold());
    EXPECT_DOUBLE_EQ(form.Text1->font().pointSizeF(), 8.25);
    EXPECT_FALSE(form.Option1->isChecked());
    EXPECT_FALSE(form.Option2->isChecked());
    EXPECT_TRUE(form.timer1Enabled());
    EXPECT_EQ(form.Timer1->interval(), 500);
    EXPECT_EQ(form.Combo1->count(), 0);  // filled at start-up
    EXPECT_EQ(form.OLE4->fileName(), "donate1.html");
    EXPECT_EQ(form.OLE1->fileName(), "ReadmeHelp.txt");
}

TEST_F(MainWindowTest, FixedSizeWindowWithoutMaximiseAndWithItsIcon) {
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    const QList<QSize> sizes = form.windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(48, 48)));
}

TEST_F(MainWindowTest, TabOrderAndFirstFocus) {
    const QList<QWidget*> expected = {form.File1,    form.Command1, form.Text1,    form.File2,
                                      form.Command2, form.Command3, form.Command4, form.Option1,
                                      form.Option2,  form.Combo1,   form.Combo2,   form.Combo3,
                                      form.Combo4};
    QWidget* w = form.File1;
    for (int i = 1; i < expected.size(); ++i) {
        do {
            w = w->nextInFocusChain();
        } while (!(w->focusPolicy() & Qt::TabFocus) || !expected.contains(w));
        EXPECT_EQ(w, expected[i]) << "position " << i;
    }
    form.show();
    QApplication::setActiveWindow(&form);
    EXPECT_EQ(QApplication::focusWidget(), form.File1);
}

TEST_F(MainWindowTest, StartUpRunsInOrderAndUnloadRemovesTheSameTrayRecord) {
    QFile counter(dir.filePath("pikcounter.txt"));
    ASSERT_TRUE(counter.open(QIODevice::WriteOnly));
    counter.write("12,7\r\n");
    counter.close();
    host.text = "there before the start";
    form.Form_Load();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(host.calls, (QStringList{"tray 0", "clear"}));
    EXPECT_EQ(form.Combo1->count(), 3);
    EXPECT_EQ(form.Combo2->itemText(5), "24");
    EXPECT_EQ(form.Combo3->itemText(1), "Blue");
    EXPECT_EQ(form.Combo4->itemText(2), "Ms Sans Serif");
    EXPECT_EQ(form.Combo4->currentText(), "");
    EXPECT_EQ(form.store().counters(), (Counters{12, 7}));
    EXPECT_EQ(form.tickCounter(), 0);

    form.close();
    EXPECT_EQ(host.calls.last(), "tray 2");
    ASSERT_EQ(host.trayRecords.size(), 2);
    EXPECT_EQ(host.trayRecords[0], host.trayRecords[1]);
    EXPECT_FALSE(form.timer1Enabled());  // capturing stops with the window
    EXPECT_FALSE(form.isLoaded());
}

TEST_F(MainWindowTest, TypingIntoAComboDoesNothingUntilAnEntryIsChosen) {
    int chosen = 0;
    QObject::connect(form.Combo1, &ChoiceCombo::chosen, [&] { ++chosen; });
    form.Form_Load();
    form.show();
    form.Combo1->setFocus();
    // Typed entries, Enter and Escape in the edit field, leaving the box and
    // the arrow keys on the closed box choose nothing.
    form.Combo1->setEditText("Bold");
    for (int key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Down}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(form.Combo1, &press);
    }
    form.Combo1->setEditText("Regular");
    form.Combo2->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(form.Combo1->count(), 3);  // nothing was added
    ASSERT_TRUE(testing::chooseEntry(form.Combo1, "Bold"));
    EXPECT_EQ(chosen, 1);
}

TEST(FolderLock, SecondProgramInTheSameFolderIsRefused) {
    QTemporaryDir dir;
    auto first = lockFolder(dir.path());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(lockFolder(dir.path()), nullptr);
    first.reset();
    EXPECT_NE(lockFolder(dir.path()), nullptr);  // free again once the first has ended
}

}  // namespace
}  // namespace brimlet
