#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QTemporaryDir>

#include "Children.h"
#include "FakeHost.h"
#include "dialogs/FolderControls.h"
#include "dialogs/SaveAsDialogs.h"
#include "ui/MainWindow.h"
#include "widgets/PictureBox.h"
#include "widgets/ProgramWindows.h"
#include "widgets/TextBox.h"

namespace brimlet {
namespace {

using testing::child;
using testing::FakeHost;

using testing::readAll;

// Fills in a dialog's folder, name and, unless -1, type.
void fillIn(SaveAsDialog* dialog, const QString& folder, const QString& name, int type = -1) {
    dialog->folderList()->setPath(folder);
    dialog->nameBox()->setText(name);
    if (type >= 0) dialog->typeBox()->setCurrentIndex(type);
}

// The dialogs on their own, beside the two viewers they save from.
class SaveAsTest : public ::testing::Test {
  protected:
    SaveAsDialog* openText() {
        dialogs.openSaveText();
        return dialogs.saveTextDialog();
    }
    SaveAsDialog* openImage() {
        dialogs.openSaveImage();
        return dialogs.saveImageDialog();
    }
    static void flushDeletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QTemporaryDir dir;
    QTemporaryDir target;
    FakeHost host;
    QWidget owner;
    TextBox textViewer;
    PictureBox pictureViewer;
    SaveAsDialogs dialogs{host, &owner, dir.path(), &textViewer, &pictureViewer};
};

TEST_F(SaveAsTest, OpensOnTheWorkingFolderWithItsTypeList) {
    SaveAsDialog* dialog = openText();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Save Text As");
    EXPECT_EQ(dialog->folderList()->path(), QDir(dir.path()).absolutePath());
    EXPECT_EQ(dialog->driveList()->drive(), QStorageInfo(dir.path()).rootPath());
    QStringList types;
    for (int i = 0; i < dialog->typeBox()->count(); ++i) types << dialog->typeBox()->itemText(i);
    EXPECT_EQ(types, (QStringList{".txt", ".html", ".js", ".php", ".pl"}));
    EXPECT_EQ(dialog->typeBox()->currentText(), "");
    EXPECT_EQ(dialog->nameBox()->text(), "");
    EXPECT_FALSE(dialog->saveButton()->isDefault() || dialog->saveButton()->autoDefault());
    EXPECT_FALSE(dialog->cancelButton()->isDefault() || dialog->cancelButton()->autoDefault());

    SaveAsDialog* image = openImage();
    EXPECT_EQ(image->windowTitle(), "Save Image As");
    types.clear();
    for (int i = 0; i < image->typeBox()->count(); ++i) types << image->typeBox()->itemText(i);
    EXPECT_EQ(types, (QStringList{".jpeg", ".jpg", ".gif", ".bmp"}));
}

TEST_F(SaveAsTest, TargetPathIsFolderSlashNameTypeWithNothingTrimmed) {
    SaveAsDialog* dialog = openText();
    dialog->folderList()->setPath(target.path());
    dialog->nameBox()->setText("  ");
    EXPECT_EQ(dialog->targetPath(), target.path() + "/  ");
    dialog->typeBox()->setEditText("md5");  // typed by hand: no dot added
    EXPECT_EQ(dialog->targetPath(), target.path() + "/  md5");
    fillIn(dialog, "/", "notes", 1);
    EXPECT_EQ(dialog->targetPath(), "//notes.html");
}

TEST_F(SaveAsTest, EmptyNameBeepsTwiceAndKeepsTheDialog) {
    SaveAsDialog* dialog = openText();
    dialog->typeBox()->setCurrentIndex(0);
    host.calls.clear();
    dialog->saveButton()->click();
    EXPECT_EQ(host.calls,
              (QStringList{"beep", "beep", "msgBox 16 Enter name: Please enter a file name!"}));
    flushDeletes();
    ASSERT_EQ(dialogs.saveTextDialog(), dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->typeBox()->currentText(), ".txt");
}

TEST_F(SaveAsTest, SavesTheViewersTextReplacingAfterAskingThenCloses) {
    QFile::copy(":/documents/donate.html", target.filePath("a b.txt"));  // an older file
    textViewer.setText(QString::fromUtf8("line\r\nzwei ü"));
    SaveAsDialog* dialog = openText();
    fillIn(dialog, target.path(), "a b", 0);
    host.calls.clear();
    dialog->saveButton()->click();
    EXPECT_EQ(readAll(target.filePath("a b.txt")), QByteArray("line\r\nzwei \xC3\xBC\r\n"));
    EXPECT_EQ(host.calls,
              (QStringList{"beep",
                           "msgBoxYesNo Confirm Save As: \"" + target.filePath("a b.txt") +
                               "\" already exists.\nDo you want to replace it?",
                           "msgBox 64 File Saved: File saved successfully!"}));
    flushDeletes();
    EXPECT_EQ(dialogs.saveTextDialog(), nullptr);

    // An empty viewer gives CR LF alone, and no extension without a type.
    textViewer.setText("");
    dialog = openText();
    fillIn(dialog, target.path(), "bare");
    dialog->saveButton()->click();
    EXPECT_EQ(readAll(target.filePath("bare")), QByteArray("\r\n"));
}

TEST_F(SaveAsTest, PicturesAreSavedAsBitmapsWhateverTheType) {
    pictureViewer.setPicture(testing::solid(Qt::red, 7, 5));
    SaveAsDialog* dialog = openImage();
    fillIn(dialog, target.path(), "shot", 2);  // ".gif"
    dialog->saveButton()->click();
    const QByteArray bytes = readAll(target.filePath("shot.gif"));
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(QImage::fromData(bytes, "BMP").size(), QSize(7, 5));
}

TEST_F(SaveAsTest, AFailedSaveNamesPathAndReasonAndKeepsTheDialogAsItWas) {
    SaveAsDialog* dialog = openText();
    const QString folder = target.filePath("no such folder");
    fillIn(dialog, folder, "x", 0);
    dialog->saveButton()->click();
    ASSERT_EQ(host.messages().size(), 1);
    EXPECT_TRUE(
        host.messages()[0].startsWith("msgBox 16 Save Text As: The file could not be saved:\n" +
                                      folder + "/x.txt\n\nPath/File access error"))
        << host.messages()[0].toStdString();
    flushDeletes();
    ASSERT_EQ(dialogs.saveTextDialog(), dialog);
    EXPECT_EQ(dialog->nameBox()->text(), "x");
    EXPECT_EQ(dialog->folderList()->path(), folder);

    // No picture in the viewer.
    host.calls.clear();
    SaveAsDialog* image = openImage();
    fillIn(image, target.path(), "empty");
    image->saveButton()->click();
    ASSERT_EQ(host.messages().size(), 1);
    EXPECT_TRUE(host.messages()[0].contains("Invalid picture")) << host.messages()[0].toStdString();
    EXPECT_FALSE(QFile::exists(target.filePath("empty")));
}

TEST_F(SaveAsTest, ReopeningBringsTheOpenDialogBackUnchanged) {
    SaveAsDialog* dialog = openText();
    dialog->nameBox()->setText("typed");
    dialog->folderList()->setPath(target.path());
    EXPECT_EQ(openText(), dialog);
    EXPECT_EQ(dialog->nameBox()->text(), "typed");
    EXPECT_EQ(dialog->folderList()->path(), target.path());
    EXPECT_EQ(host.calls.filter("bringToFront").size(), 2);

    dialog->cancelButton()->click();  // Cancel
    flushDeletes();
    SaveAsDialog* fresh = openText();
    EXPECT_EQ(fresh->nameBox()->text(), "");
    EXPECT_EQ(fresh->folderList()->path(), QDir(dir.path()).absolutePath());
}

TEST_F(SaveAsTest, EnterAndEscapeNeitherSaveNorCancel) {
    textViewer.setText("t");
    SaveAsDialog* dialog = openText();
    fillIn(dialog, target.path(), "enter");
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(dialog->nameBox(), &press);
    }
    flushDeletes();
    EXPECT_EQ(dialogs.saveTextDialog(), dialog);
    EXPECT_FALSE(QFile::exists(target.filePath("enter")));
}

TEST(SaveAsFromTheWindow, AfterTheMainWindowClosedSaveWritesWhatTheViewerLastHeld) {
    QTemporaryDir dir;
    QTemporaryDir target;
    FakeHost host;
    MainWindow window(host, dir.path());
    window.load();
    child<TextBox>(window, "textViewer")->setText("last words");
    child<QAction>(window, "saveTextAsAction")->trigger();
    SaveAsDialog* dialog = window.saveAsDialogs().saveTextDialog();
    ASSERT_NE(dialog, nullptr);
    fillIn(dialog, target.path(), "kept", 0);
    window.close();
    ASSERT_FALSE(isLoaded(&window));
    dialog->saveButton()->click();
    EXPECT_EQ(readAll(target.filePath("kept.txt")), QByteArray("last words\r\n"));
    EXPECT_FALSE(window.isVisible()) << "the main window is not brought back";
    EXPECT_EQ(host.calls.filter("tray add").size(), 1) << "the tray icon is not added again";
}

}  // namespace
}  // namespace brimlet
