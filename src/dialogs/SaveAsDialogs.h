#pragma once

#include <QPointer>
#include <QString>

#include "dialogs/SaveAsDialog.h"

namespace brimlet {

class Host;
class PictureBox;
class TextBox;

// Opens the two Save As dialogs: modeless, made afresh at each opening after
// a close, brought to the front unchanged while open.
class SaveAsDialogs {
  public:
    // The dialogs save what the viewers hold when "Save" is clicked.
    SaveAsDialogs(Host& host, QWidget* owner, const QString& folder, const TextBox* textViewer,
                  const PictureBox* pictureViewer);

    void openSaveText();
    void openSaveImage();

    // The open dialog, or null.
    SaveAsDialog* saveTextDialog() const { return saveText_; }
    SaveAsDialog* saveImageDialog() const { return saveImage_; }

  private:
    template <class Dialog, class Viewer>
    void open(QPointer<SaveAsDialog>& dialog, const Viewer* viewer);

    Host& host_;
    QWidget* owner_;
    QString folder_;
    const TextBox* textViewer_;
    const PictureBox* pictureViewer_;
    QPointer<SaveAsDialog> saveText_;
    QPointer<SaveAsDialog> saveImage_;
};

}  // namespace brimlet
