#pragma once

#include <QString>
#include <QStringList>

#include "widgets/TextBox.h"

namespace brimlet {

class CaptureEngine;
class CaptureView;
class FileList;
class Host;
class PictureBox;
class RuntimeError;
struct FileHead;
struct FolderFile;

// The controls the history browser works on.
struct HistoryControls {
    FileList* pictureList;
    FileList* textList;
    PictureBox* pictureViewer;
    TextBox* textViewer;
};

// The two history lists and their viewers: showing a chosen entry, putting
// what a viewer shows back on the clipboard (which switches capturing off,
// so it is not captured again), and deleting the chosen entry.
class HistoryBrowser {
  public:
    // The button and the menu item of a command differ in their message,
    // and for texts in what they copy and what they refuse to delete.
    enum class Via { Button, Menu };

    HistoryBrowser(Host& host, CaptureEngine& capture, CaptureView& view,
                   const HistoryControls& controls);

    // The user chose an entry of a list: its file is shown in the viewer.
    void showChosenPicture();
    void showChosenText();

    // The button copies the picture viewer's picture or the text viewer's
    // text; the "File" > "Copy" menu items copy the picture viewer's picture
    // or the text last read from the text list.
    void copyPicture(Via via);
    void copyText(Via via);

    void deletePicture();
    // The button refuses the counter file and the readme, the menu item only
    // the counter file.
    void deleteText(Via via);

    // The text last read from the text list, its line ends made CR LF and
    // without the one CR LF that a capture file ends in, so that copying it
    // back gives what was copied. Of an entry too long to hold, only the
    // start is kept; the copy command reads the whole file again.
    const QString& loadedText() const { return loadedText_; }

    // The most of a long entry that "Copy Text" takes onto the clipboard; a
    // larger file is refused with a message before it is read.
    static constexpr qsizetype kCopyLimitBytes = qsizetype(512) << 20;

  private:
    void showStartOfLongEntry(const FolderFile& file, const FileHead& head);
    void reportUnreadableEntry(FileList* list, const QString& name, const RuntimeError& error);

    Host& host_;
    CaptureEngine& capture_;
    CaptureView& view_;
    HistoryControls controls_;
    QString loadedText_;
    TextBox::Whole loadedWhole_;  // set when the loaded entry was too long to hold
};

}  // namespace brimlet
