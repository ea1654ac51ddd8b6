#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/TestFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QTemporaryDir>

#include "FakeHost.h"
#include "dialogs/FolderControls.h"
#include "dialogs/SaveAsDialog.h"
#include "ui/Form1.h"
#include "ui/ImageBox.h"
#include "ui/TextBox.h"

namespace brimlet {
namespace {

using testing::FakeHost;

using testing::readAll;

class SaveAsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form.Form_Load();
        host.calls.clear();
    }
    SaveAsDialog* openText() {
        form.savtexas->trigger();
        return form.savetextDialog();
    }
    SaveAsDialog* openImage() {
        form.saveia->trigger();
        return form.saveimageDialog();
    }
    static void flushDeletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QTemporaryDir dir;
    QTemporaryDir target;
    FakeHost host;
    Form1 form{host, dir.path()};
};

TEST_F(SaveAsTest, OpensOnTheWorkingFolderWithItsTypeList) {
    SaveAsDialog* dialog = openText();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Save Text As");
    EXPECT_EQ(dialog->Dir1->path(), QDir(dir.path()).absolutePath());
    EXPECT_EQ(dialog->Drive1->drive(), QStorageInfo(dir.path()).rootPath());
    QStringList types;
    for (int i = 0; i < dialog->Combo1->count(); ++i) types << dialog->Combo1->itemText(i);
    EXPECT_EQ(types, (QStringList{".txt", ".html", ".js", ".php", ".pl"}));
    EXPECT_EQ(dialog->Combo1->currentText(), "");
    EXPECT_EQ(dialog->Text1->text(), "");
    EXPECT_FALSE(dialog->Command1->isDefault() || dialog->Command1->autoDefault());
    EXPECT_FALSE(dialog->Command2->isDefault() || dialog->Command2->autoDefault());

    SaveAsDialog* image = openImage();
    EXPECT_EQ(image->windowTitle(), "Save Image As");
    types.clear();
    for (int i = 0; i < image->Combo1->count(); ++i) types << image->Combo1->itemText(i);
    EXPECT_EQ(types, (QStringList{".jpeg", ".jpg", ".gif", ".bmp"}));
}

TEST_F(SaveAsTest, TargetPathIsFolderSlashNameTypeWithNothingTrimmed) {
    SaveAsDialog* dialog = openText();
    dialog->Dir1->setPath(target.path());
    dialog->Text1->setText("  ");
    EXPECT_EQ(dialog->targetPath(), target.path() + "/  ");
    dialog->Combo1->setEditText("md5");  // typed by hand: no dot added
    EXPECT_EQ(dialog->targetPath(), target.path() + "/  md5");
    dialog->Dir1->setPath("/");
    dialog->Text1->setText("notes");
    dialog->Combo1->setCurrentIndex(1);
    EXPECT_EQ(dialog->targetPath(), "//notes.html");
}

TEST_F(SaveAsTest, EmptyNameBeepsTwiceAndKeepsTheDialog) {
    SaveAsDialog* dialog = openText();
    dialog->Combo1->setCurrentIndex(0);
    host.calls.clear();
    dialog->Command1->click();
    EXPECT_EQ(host.calls,
              (QStringList{"beep", "beep", "msgBox 16 Enter name: Please enter a file name!"}));
    flushDeletes();
    ASSERT_EQ(form.savetextDialog(), dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->Combo1->currentText(), ".txt");
}

TEST_F(SaveAsTest, SavesTheViewersTextReplacingWithoutAskingThenCloses) {
    QFile::copy(":/documents/donate.html", target.filePath("a b.txt"));  // an older file
    form.Text1->setText(QString::fromUtf8("line\r\nzwei ü"));
    SaveAsDialog* dialog = openText();
    dialog->Dir1->setPath(target.path());
    dialog->Text1->setText("a b");
    dialog->Combo1->setCurrentIndex(0);
    host.calls.clear();
    dialog->Command1->click();
    EXPECT_EQ(readAll(target.filePath("a b.txt")), QByteArray("line\r\nzwei \xC3\xBC\r\n"));
    EXPECT_EQ(host.calls, (QStringList{"beep", "msgBox 64 File Saved: File saved successfully!"}));
    flushDeletes();
    EXPECT_EQ(form.savetextDialog(), nullptr);

    // An empty viewer gives CR LF alone, and no extension without a type.
    form.Text1->setText("");
    dialog = openText();
    dialog->Dir1->setPath(target.path());
    dialog->Text1->setText("bare");
    dialog->Command1->click();
    EXPECT_EQ(readAll(target.filePath("bare")), QByteArray("\r\n"));
}

TEST_F(SaveAsTest, PicturesAreSavedAsBitmapsWhateverTheType) {
    QImage picture(7, 5, QImage::Format_RGB32);
    picture.fill(Qt::red);
    form.Image2->setPicture(picture);
    SaveAsDialog* dialog = openImage();
    dialog->Dir1->setPath(target.path());
    dialog->Text1->setText("shot");
    dialog->Combo1->setCurrentIndex(2);  // ".gif"
    dialog->Command1->click();
    const QByteArray bytes = readAll(target.filePath("shot.gif"));
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(QImage::fromData(bytes, "BMP").size(), QSize(7, 5));
}

TEST_F(SaveAsTest, AFailedSaveNamesPathAndReasonAndKeepsTheDialogAsItWas) {
    SaveAsDialog* dialog = openText();
    const QString folder = target.filePath("no such folder");
    dialog->Dir1->setPath(folder);
    dialog->Text1->setText("x");
    dialog->Combo1->setCurrentIndex(0);
    dialog->Command1->click();
    ASSERT_EQ(host.messages().size(), 1);
    EXPECT_TRUE(
        host.messages()[0].startsWith("msgBox 16 Save Text As: The file could not be saved:\n" +
                                      folder + "/x.txt\n\nPath/File access error"))
        << host.messages()[0].toStdString();
    flushDeletes();
    ASSERT_EQ(form.savetextDialog(), dialog);
    EXPECT_EQ(dialog->Text1->text(), "x");
    EXPECT_EQ(dialog->Dir1->path(), folder);

    // No picture in the viewer.
    host.calls.clear();
    SaveAsDialog* image = openImage();
    image->Dir1->setPath(target.path());
    image->Text1->setText("empty");
    image->Command1->click();
    ASSERT_EQ(host.messages().size(), 1);
    EXPECT_TRUE(host.messages()[0].contains("Invalid picture")) << host.messages()[0].toStdString();
    EXPECT_FALSE(QFile::exists(target.filePath("empty")));
}

TEST_F(SaveAsTest, ReopeningBringsTheOpenDialogBackUnchanged) {
    SaveAsDialog* dialog = openText();
    dialog->Text1->setText("typed");
    dialog->Dir1->setPath(target.path());
    EXPECT_EQ(openText(), dialog);
    EXPECT_EQ(dialog->Text1->text(), "typed");
    EXPECT_EQ(dialog->Dir1->path(), target.path());
    EXPECT_EQ(host.calls.filter("bringToFront").size(), 2);

    dialog->Command2->click();  // Cancel
    flushDeletes();
    SaveAsDialog* fresh = openText();
    EXPECT_EQ(fresh->Text1->text(), "");
    EXPECT_EQ(fresh->Dir1->path(), QDir(dir.path()).absolutePath());
}

TEST_F(SaveAsTest, EnterAndEscapeNeitherSaveNorCancel) {
    form.Text1->setText("t");
    SaveAsDialog* dialog = openText();
    dialog->Dir1->setPath(target.path());
    dialog->Text1->setText("enter");
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(dialog->Text1, &press);
    }
    flushDeletes();
    EXPECT_EQ(form.savetextDialog(), dialog);
    EXPECT_FALSE(QFile::exists(target.filePath("enter")));
}

TEST_F(SaveAsTest, AfterTheMainWindowClosedSaveWritesWhatTheViewerLastHeld) {
    form.Text1->setText("last words");
    SaveAsDialog* dialog = openText();
    dialog->Dir1->setPath(target.path());
    dialog->Text1->setText("kept");
    dialog->Combo1->setCurrentIndex(0);
    form.close();
    ASSERT_FALSE(form.isLoaded());
    dialog->Command1->click();
    EXPECT_EQ(readAll(target.filePath("kept.txt")), QByteArray("last words\r\n"));
    EXPECT_FALSE(form.isVisible()) << "the main window is not brought back";
    EXPECT_EQ(host.calls.filter("tray 0").size(), 0);
}

}  // namespace
}  // namespace brimlet
