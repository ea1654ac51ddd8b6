// The history lists and viewers, copying an entry back to the clipboard, and
// deleting captures.

#include <QRadioButton>
#include <QStringList>

#include "capture/CaptureStore.h"
#include "history/FileList.h"
#include "history/LineReader.h"
#include "host/Files.h"
#include "host/Host.h"
#include "host/Picture.h"
#include "host/RuntimeError.h"
#include "host/Trace.h"
#include "host/Untrapped.h"
#include "ui/Form1.h"
#include "ui/ImageBox.h"
#include "ui/TextBox.h"

namespace brimlet {

namespace {

const QString kImageCopy = QStringLiteral("Image Copy");
const QString kTextCopy = QStringLiteral("Text Copy");
const QString kFileDeleted = QStringLiteral("File Deleted");
const QString kReadme = QStringLiteral("ReadmeHelp.txt");

}  // namespace

// An entry whose file has gone, or cannot be read, is reported; the viewer
// keeps what it showed and the list is read again.
void Form1::reportUnreadableEntry(FileList* list, const RuntimeError& error) {
    const QString name = list->fileName();
    list->refresh();
    const QString why = error.number() == 53 ? QStringLiteral("It is no longer in the folder.")
                                             : error.text() + QStringLiteral(": ") + error.detail();
    host_.msgBox(QStringLiteral("\"%1\" cannot be shown.\n\n%2").arg(name, why), MsgExclamation,
                 QStringLiteral("Brimlet"));
}

// A list with nothing selected has no entry to show.
void Form1::File1_Click() {
    const QString name = File1->fileName();
    if (name.isEmpty()) return;
    QImage picture;
    if (auto error = trapRunTimeError([&] { picture = loadPicture(store_.path(name)); })) {
        reportUnreadableEntry(File1, *error);
        return;
    }
    Image2->setPicture(picture);
    qCDebug(traceLog).noquote() << "shows" << name;
}

void Form1::File2_Click() {
    const QString name = File2->fileName();
    if (name.isEmpty()) return;
    loadedText_.clear();
    QByteArray bytes;
    if (auto error = trapRunTimeError([&] { bytes = readWholeFile(store_.path(name)); })) {
        reportUnreadableEntry(File2, *error);
        return;
    }
    loadedText_ = linesWithCrLf(QString::fromUtf8(bytes));
    Text1->setText(loadedText_);
    qCDebug(traceLog).noquote() << "shows" << name;
}

// Copying a picture back: the direct stop of the timer comes only after the
// message has been closed.
void Form1::copyPictureBack(const QString& message) {
    (void)trapRunTimeError([&] {
        host_.beep();
        host_.clipboardSetPicture(Image2->picture());
        giveFocus(Option2);
        host_.msgBox(message, MsgInformation, kImageCopy);
        setTimer1Enabled(false);
    });
}

// Copying a text back: the timer stops before the focus moves and the
// message shows.
void Form1::copyTextBack(const QString& text, const QString& message) {
    (void)trapRunTimeError([&] {
        host_.beep();
        host_.clipboardSetText(text);
        setTimer1Enabled(false);
        giveFocus(Option2);
        host_.msgBox(message, MsgInformation, kTextCopy);
    });
}

void Form1::Command1_Click() {
    copyPictureBack(
        QStringLiteral("Picture has been copied to clipboard. Clipboard Copy has been disabled."));
}

void Form1::im_Click() {
    copyPictureBack(
        QStringLiteral("Picture has been copied to clipboard. Clip Copy has been disabled."));
}

void Form1::Command3_Click() {
    copyTextBack(
        Text1->text(),
        QStringLiteral("Text has been copied to clipboard. Clipboard Copy has been disabled."));
}

void Form1::tx_Click() {
    copyTextBack(loadedText_,
                 QStringLiteral("Text has been copied to clipboard. Clip Copy has been disabled."));
}

void Form1::deletePicture() {
    (void)trapRunTimeError([&] {
        host_.beep();
        deleteFile(store_.path(File1->fileName()));
        File1->refresh();
        host_.msgBox(QStringLiteral("Image has been deleted!"), MsgInformation, kFileDeleted);
    });
}

// The names compare exactly, letter case included.
void Form1::deleteText(const QStringList& protectedNames) {
    (void)trapRunTimeError([&] {
        host_.beep();
        const QString name = File2->fileName();
        if (protectedNames.contains(name, Qt::CaseSensitive)) {
            host_.msgBox(QStringLiteral("Sorry, this file is important and can not be deleted!"),
                         MsgExclamation, QStringLiteral("Important"));
            return;
        }
        deleteFile(store_.path(name));
        File2->refresh();
        host_.msgBox(QStringLiteral("Text file has been deleted!"), MsgInformation, kFileDeleted);
    });
}

void Form1::Command2_Click() {
    deletePicture();
}

void Form1::dlim_Click() {
    deletePicture();
}

void Form1::Command4_Click() {
    deleteText({kCounterFileName, kReadme});
}

void Form1::deltext_Click() {
    deleteText({kCounterFileName});
}

}  // namespace brimlet
