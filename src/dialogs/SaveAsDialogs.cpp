#include "dialogs/SaveAsDialogs.h"

#include "host/Host.h"

namespace brimlet {

SaveAsDialogs::SaveAsDialogs(Host& host, QWidget* owner, const QString& folder,
                             const TextBox* textViewer, const PictureBox* pictureViewer)
    : host_(host),
      owner_(owner),
      folder_(folder),
      textViewer_(textViewer),
      pictureViewer_(pictureViewer) {}

template <class Dialog, class Viewer>
void SaveAsDialogs::open(QPointer<SaveAsDialog>& dialog, const Viewer* viewer) {
    if (!dialog) {
        dialog = new Dialog(host_, owner_, folder_, viewer);
        dialog->load();
    }
    // A dialog that was iconified somehow comes back too.
    dialog->setWindowState(dialog->windowState() & ~Qt::WindowMinimized);
    dialog->show();
    host_.bringToFront(dialog);
}

void SaveAsDialogs::openSaveText() {
    open<SaveTextDialog>(saveText_, textViewer_);
}

void SaveAsDialogs::openSaveImage() {
    open<SaveImageDialog>(saveImage_, pictureViewer_);
}

}  // namespace brimlet
