#include "history/HistoryBrowser.h"

#include <QLocale>
#include <QStringDecoder>

#include "base/RuntimeError.h"
#include "base/Trace.h"
#include "capture/CaptureEngine.h"
#include "capture/CaptureView.h"
#include "files/Files.h"
#include "files/Folder.h"
#include "files/Picture.h"
#include "history/LineReader.h"
#include "host/Host.h"
#include "host/Untrapped.h"
#include "widgets/FileList.h"
#include "widgets/PictureBox.h"
#include "widgets/TextBox.h"

namespace brimlet {

namespace {

const QString kImageCopy = QStringLiteral("Image Copy");
const QString kTextCopy = QStringLiteral("Text Copy");
const QString kFileDeleted = QStringLiteral("File Deleted");
const QString kReadme = QStringLiteral("ReadmeHelp.txt");

}  // namespace

HistoryBrowser::HistoryBrowser(Host& host, CaptureEngine& capture, CaptureView& view,
                               const HistoryControls& controls)
    : host_(host), capture_(capture), view_(view), controls_(controls) {}

// An entry whose file has gone, or cannot be read, is reported; the viewer
// keeps what it showed and the list is read again.
void HistoryBrowser::reportUnreadableEntry(FileList* list, const QString& name,
                                           const RuntimeError& error) {
    list->refresh();
    const QString why = error.number() == RuntimeError::FileNotFound
                            ? QStringLiteral("It is no longer in the folder.")
                            : error.text() + QStringLiteral(": ") + error.detail();
    host_.msgBox(QStringLiteral("\"%1\" cannot be shown.\n\n%2").arg(name, why), MsgExclamation,
                 QStringLiteral("Brimlet"));
}

// A list with nothing selected has no entry to show.
void HistoryBrowser::showChosenPicture() {
    const QString name = controls_.pictureList->fileName();
    if (name.isEmpty()) return;
    const FolderFile file = controls_.pictureList->file();
    QImage picture;
    if (auto error = trapRunTimeError([&] { picture = loadPicture(file); })) {
        reportUnreadableEntry(controls_.pictureList, name, *error);
        return;
    }
    controls_.pictureViewer->setPicture(picture);
    qCDebug(traceLog).noquote() << "shows" << name;
}

void HistoryBrowser::showChosenText() {
    const QString name = controls_.textList->fileName();
    if (name.isEmpty()) return;
    const FolderFile file = controls_.textList->file();
    loadedText_.clear();
    loadedWhole_ = {};
    FileHead head;
    if (auto error = trapRunTimeError([&] { head = readHead(file, kTextHeadBytes); })) {
        reportUnreadableEntry(controls_.textList, name, *error);
        return;
    }
    // What was copied comes back without the line end its file adds.
    if (head.complete) {
        loadedText_ = capturedText(QString::fromUtf8(head.bytes));
        controls_.textViewer->setText(loadedText_, head.size);
    } else {
        showStartOfLongEntry(file, head);
    }
    qCDebug(traceLog).noquote() << "shows" << name;
}

// An entry too long to hold: the viewer shows its start, and what copies
// or saves it reads the whole file again.
void HistoryBrowser::showStartOfLongEntry(const FolderFile& file, const FileHead& head) {
    const QString name = shownName(file.name);
    TextBox::Whole whole;
    // A file over the limit raises 7 before anything of it is read.
    whole.text = [file] {
        return capturedText(QString::fromUtf8(readWholeFile(file, kCopyLimitBytes)));
    };
    whole.inPieces = [file](const TextBox::PieceSink& write) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        CapturedTextPieces ends;
        QString piece;
        forEachChunk(file, kStreamChunkBytes, [&](QByteArrayView chunk) {
            const QString decoded = decoder.decode(chunk);
            piece.clear();
            ends.convert(decoded, piece);
            write(piece);
        });
        write(ends.finish());
    };
    loadedWhole_ = whole;
    controls_.textViewer->setPart(
        linesWithCrLf(QString::fromUtf8(head.bytes)),
        QStringLiteral("[Only the start of \"%1\" is shown here: it holds %2 bytes. Copy Text "
                       "and Save Text As take the whole file.]")
            .arg(name, QLocale().toString(head.size)),
        whole);
}

// Copying a picture back: capturing stops directly only after the message
// has been closed. A failing step ends the command silently.
void HistoryBrowser::copyPicture(Via via) {
    const QString message =
        via == Via::Button
            ? QStringLiteral(
                  "Picture has been copied to clipboard. Clipboard Copy has been disabled.")
            : QStringLiteral("Picture has been copied to clipboard. Clip Copy has been disabled.");
    (void)trapRunTimeError([&] {
        host_.beep();
        host_.clipboardSetPicture(controls_.pictureViewer->picture());
        view_.selectCaptureOff();
        host_.msgBox(message, MsgInformation, kImageCopy);
        capture_.setOn(false);
    });
}

// Copying a text back: capturing stops before the focus moves and the
// message shows. A text too big to take onto the clipboard (error 7, raised
// before its file is read) is the one failure that says so; capturing is
// left as it was.
void HistoryBrowser::copyText(Via via) {
    const bool button = via == Via::Button;
    QString text;
    const QString message =
        button
            ? QStringLiteral("Text has been copied to clipboard. Clipboard Copy has been disabled.")
            : QStringLiteral("Text has been copied to clipboard. Clip Copy has been disabled.");
    const auto error = trapRunTimeError([&] {
        host_.beep();
        text = button              ? controls_.textViewer->text()
               : loadedWhole_.text ? loadedWhole_.text()
                                   : loadedText_;
        host_.clipboardSetText(text);
        capture_.setOn(false);
        view_.selectCaptureOff();
        host_.msgBox(message, MsgInformation, kTextCopy);
    });
    if (error && error->number() == RuntimeError::OutOfMemory) {
        (void)trapRunTimeError([&] {
            host_.msgBox(
                QStringLiteral("This text is too big to copy to the clipboard: at most %1 MiB "
                               "can be copied back.\n\nNothing has been copied.")
                    .arg(kCopyLimitBytes >> 20),
                MsgExclamation, kTextCopy);
        });
    }
}

void HistoryBrowser::deletePicture() {
    (void)trapRunTimeError([&] {
        host_.beep();
        deleteFile(controls_.pictureList->file());
        controls_.pictureList->refresh();
        host_.msgBox(QStringLiteral("Image has been deleted!"), MsgInformation, kFileDeleted);
    });
}

// The names compare exactly, letter case included.
void HistoryBrowser::deleteText(Via via) {
    const QStringList protectedNames =
        via == Via::Button ? QStringList{kCounterFileName, kReadme} : QStringList{kCounterFileName};
    (void)trapRunTimeError([&] {
        host_.beep();
        const QString name = controls_.textList->fileName();
        if (protectedNames.contains(name, Qt::CaseSensitive)) {
            host_.msgBox(QStringLiteral("Sorry, this file is important and can not be deleted!"),
                         MsgExclamation, QStringLiteral("Important"));
            return;
        }
        deleteFile(controls_.textList->file());
        controls_.textList->refresh();
        host_.msgBox(QStringLiteral("Text file has been deleted!"), MsgInformation, kFileDeleted);
    });
}

}  // namespace brimlet
