// The "Help" and "Donate" menus: the About message and the documents the
// program carries inside itself.

#include <QDir>

#include "app/Version.h"
#include "help/DocumentHolder.h"
#include "host/Host.h"
#include "host/RuntimeError.h"
#include "ui/Form1.h"

namespace brimlet {

void Form1::ab_Click() {
    host_.beep();
    host_.msgBox(
        QStringLiteral("Brimlet %1\n\n"
                       "Brimlet keeps every text and picture you copy as a numbered "
                       "file, so nothing you copy is ever lost.\n\n"
                       "Its files are kept in the folder it was started from:\n%2")
            .arg(QString::fromLatin1(kVersion), QDir::toNativeSeparators(store_.path(QString()))),
        MsgInformation, QStringLiteral("About Brimlet"));
}

// The document is written under its own name into a folder private to this
// run and handed to the desktop's opener for its type.
void Form1::openEmbedded(const DocumentHolder* holder) {
    if (!documents_ || !documents_->isValid()) {
        documents_ = std::make_unique<QTemporaryDir>();
        if (!documents_->isValid()) {
            throw RuntimeError::pathFileAccess(documents_->path(), documents_->errorString());
        }
    }
    host_.openDocument(holder->writeTo(documents_->path()));
}

void Form1::inst_Click() {
    openEmbedded(OLE1);
}
void Form1::cus_Click() {
    openEmbedded(OLE2);
}
void Form1::doll_Click() {
    openEmbedded(OLE4);
}
void Form1::twodol_Click() {
    openEmbedded(OLE5);
}
void Form1::threedol_Click() {
    openEmbedded(OLE6);
}

}  // namespace brimlet
