#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <memory>

#include "files/AtomicFile.h"
#include "files/Files.h"

namespace brimlet {

// A text that arrives in pieces (a clipboard transfer, from whatever
// source), checked as UTF-8 as it comes. Up to kHeldBytes it is held in
// memory; a longer one goes, as it arrives, to a staged file in the capture
// folder (a hidden temporary name, removed unless published), so memory
// never holds a large text whole. Only the start stays in memory then, for
// the viewer. One trailing NUL byte is no part of the text.
//
// Nothing here knows where the pieces come from; it is used by one thread
// at a time.
class SpooledText {
  public:
    // Texts up to this size stay in memory; a longer one goes to a file.
    static constexpr qsizetype kHeldBytes = qsizetype(4) << 20;
    // The start kept of a text that went to a file: more than the viewer
    // shows of a text that long (kTextHeadBytes).
    static constexpr qsizetype kStartBytes = kTextHeadBytes;

    // The file, if one is needed, is made in `folder`.
    explicit SpooledText(FolderHandle folder);

    // Takes the next piece. False once the text is not valid UTF-8: nothing
    // further is taken. A failed write to the file raises.
    bool append(QByteArrayView piece);
    // The text has ended: false when it is not valid UTF-8 (it ends inside
    // a character). A text that went to a file gets CR LF after it and is
    // synced, ready to be published.
    bool finish();

    // Whether the text went to a file.
    bool spooled() const { return file_ != nullptr; }
    // Once finished: the whole text, or, of one that went to a file, its
    // first kStartBytes bytes (which may end inside a character).
    const QByteArray& held() const { return held_; }
    // The text's length as a QString would hold it (UTF-16 units).
    qsizetype utf16Length() const { return utf16Length_; }
    qint64 size() const { return size_; }
    // The staged file (the text, CR LF); only once spooled() and finished.
    StagedFile& file() { return *file_; }

  private:
    void take(QByteArrayView valid);
    void put(QByteArrayView bytes);

    FolderHandle folder_;
    std::unique_ptr<StagedFile> file_;
    QByteArrayList pieces_;  // while held in memory
    QByteArray held_;
    QByteArray carry_;  // the start of a character cut off by the end of a piece
    bool nulHeld_ = false;
    bool invalid_ = false;
    qsizetype utf16Length_ = 0;
    qint64 size_ = 0;
};

}  // namespace brimlet
