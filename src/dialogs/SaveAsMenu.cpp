// Opening the Save As dialogs: modeless, created on first opening, brought
// to the front unchanged while open.

#include "dialogs/SaveAsDialog.h"
#include "host/Host.h"
#include "ui/Form1.h"

namespace brimlet {

template <class Dialog>
void Form1::openDialog(QPointer<SaveAsDialog>& dialog) {
    if (!dialog) {
        dialog = new Dialog(host_, *this);
        dialog->Form_Load();
    }
    dialog->show();
    host_.bringToFront(dialog);
}

SaveAsDialog* Form1::savetextDialog() const {
    return savetext_;
}

SaveAsDialog* Form1::saveimageDialog() const {
    return saveimage_;
}

void Form1::savtexas_Click() {
    openDialog<savetext>(savetext_);
}

void Form1::saveia_Click() {
    openDialog<saveimage>(saveimage_);
}

}  // namespace brimlet
