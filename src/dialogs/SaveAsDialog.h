#pragma once

#include <QRect>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "files/AtomicFile.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace brimlet {

class DriveList;
class FolderList;
class Host;
class PictureBox;
class TextBox;

// What tells the two Save As dialogs apart: the caption, the client size,
// where the name label and box sit, and the type list (twips).
struct SaveAsLayout {
    const char* objectName;
    const char* caption;
    int width;
    int height;
    QRect nameLabel;
    QRect nameBox;
    QRect typeLabel;
    QStringList types;
};

// A small modeless window that saves what one of the main window's viewers
// holds under a folder, name and type the user picks. The target path is
// folder + "/" + name + type, nothing trimmed or checked; an existing file
// is replaced only after the user agreed.
class SaveAsDialog : public QWidget {
    Q_OBJECT
  public:
    // Writes the file's bytes, taken from the viewer when "Save" is clicked.
    using Content = FileProducer;

    // `folder` is the working folder, where the folder list starts.
    SaveAsDialog(Host& host, QWidget* owner, const QString& folder, Content content,
                 const SaveAsLayout& layout);

    // Fills the type list and puts the folder list on the drive's folder.
    void load();
    QString targetPath() const;

    DriveList* driveList() const { return driveList_; }
    FolderList* folderList() const { return folderList_; }
    QLineEdit* nameBox() const { return nameBox_; }
    QComboBox* typeBox() const { return typeBox_; }
    QPushButton* saveButton() const { return saveButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void onDriveChanged();
    void onSaveClicked();
    bool write(const QString& path);

    Host& host_;
    Content content_;
    QStringList types_;
    DriveList* driveList_;
    FolderList* folderList_;
    QLabel* nameLabel_;
    QLineEdit* nameBox_;
    QLabel* typeLabel_;
    QComboBox* typeBox_;
    QPushButton* saveButton_;
    QPushButton* cancelButton_;
};

// "Save Text As": the text viewer's text in UTF-8, then CR LF.
class SaveTextDialog : public SaveAsDialog {
    Q_OBJECT
  public:
    SaveTextDialog(Host& host, QWidget* owner, const QString& folder, const TextBox* viewer);
};

// "Save Image As": the picture viewer's picture as a bitmap, whatever the
// name ends in.
class SaveImageDialog : public SaveAsDialog {
    Q_OBJECT
  public:
    SaveImageDialog(Host& host, QWidget* owner, const QString& folder, const PictureBox* viewer);
};

}  // namespace brimlet
