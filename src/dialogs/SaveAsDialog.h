#pragma once

#include <QRect>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace brimlet {

class DriveList;
class FolderList;
class Form1;
class Host;

// What tells the two Save As dialogs apart: the caption, the client size,
// where the name label and box sit, and the type list (twips).
struct SaveAsLayout {
    const char* name;
    const char* caption;
    int width;
    int height;
    QRect label1;
    QRect text1;
    QRect label2;
    QStringList types;
};

// A small modeless window that saves what one of the main window's viewers
// holds under a folder, name and type the user picks. The target path is
// folder + "/" + name + type, nothing trimmed or checked.
class SaveAsDialog : public QWidget {
    Q_OBJECT
  public:
    // Reads the viewer of `form` when "Save" is clicked.
    SaveAsDialog(Host& host, Form1& form, const SaveAsLayout& layout);

    void Form_Load();
    void Drive1_Change();
    void Command1_Click();
    void Command2_Click();

    QString targetPath() const;

    DriveList* Drive1;
    FolderList* Dir1;
    QLabel* Label1;
    QLineEdit* Text1;
    QLabel* Label2;
    QComboBox* Combo1;
    QPushButton* Command1;
    QPushButton* Command2;

  protected:
    // The file's bytes, from the main window's viewer at this moment.
    virtual QByteArray contentToSave() const = 0;
    void closeEvent(QCloseEvent* event) override;

    Host& host_;
    Form1& form_;

  private:
    QStringList types_;
};

// "Save Text As": the text viewer's text in UTF-8, then CR LF.
class savetext : public SaveAsDialog {
    Q_OBJECT
  public:
    savetext(Host& host, Form1& form);

  protected:
    QByteArray contentToSave() const override;
};

// "Save Image As": the picture viewer's picture as a bitmap, whatever the
// name ends in.
class saveimage : public SaveAsDialog {
    Q_OBJECT
  public:
    saveimage(Host& host, Form1& form);

  protected:
    QByteArray contentToSave() const override;
};

}  // namespace brimlet
