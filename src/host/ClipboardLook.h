#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "files/Files.h"

namespace brimlet {

class SpooledText;
class StagedFile;

// What the clipboard offered when last looked at, and the change count it
// was looked at in. While no change has been reported since, looking again
// would only ask the owner the same question.
struct ClipboardLook {
    quint64 generation = 0;
    bool bitmap = false;
    bool text = false;
    // Content already fetched while looking (through a reader). A null
    // picture is one that was offered but could not be read.
    std::optional<QImage> picture;
    // A text is kept as UTF-8 (the owner's own bytes when they are valid
    // UTF-8) and decoded only when asked for, after its file is written.
    std::optional<QByteArray> textUtf8;
    // A long text went to a file as it was read: textUtf8 holds its start.
    std::shared_ptr<SpooledText> spooled;
    // A picture decoded straight into its bitmap file (picture is then null).
    std::shared_ptr<StagedFile> pictureFile;
    // Through a reader of our own (X11 or Wayland's data-control): the copy
    // looked at, named by its owner and a moment at or after it took the
    // clipboard (on X11 the owner's window and a server time, so emptying
    // the clipboard as of that time empties this copy and never a later
    // one; through data-control both are the change that made the copy).
    bool throughReader = false;
    std::uint32_t owner = 0;
    std::uint32_t since = 0;
    // The owner did not answer in time (asked again at later ticks, with
    // more patience), or offered more than is taken in one go (tooBig:
    // skipped until the clipboard changes hands).
    bool stalled = false;
    bool tooBig = false;
    // The clipboard changed hands before the owner answered: what came may
    // be the next copy's, so it is looked at again.
    bool changedHands = false;
    // A copy read whole and not yet captured: it is captured even when the
    // clipboard has changed since.
    bool uncaptured = false;
};

// One copy on the clipboard as a reader of ours sees it: the types it
// offers, and its content in one type, each wait bounded by the reader.
class ClipboardSource {
  public:
    enum class Failure {
        None,
        Refused,       // the copy does not come in that type
        TimedOut,      // the owner did not answer in time
        TooBig,        // larger than the limit
        Broken,        // the reader's connection broke
        ChangedHands,  // the clipboard changed hands before the owner answered
        Stopped,       // the receiver of the pieces wanted no more
    };
    // For read(): as much as the reader takes in one transfer.
    static constexpr qsizetype kWhole = -1;
    // Takes each piece of a content as it arrives; false stops the transfer.
    using PieceSink = std::function<bool(QByteArrayView)>;

    virtual ~ClipboardSource() = default;
    // The content in `type`, up to `limit` bytes, or nothing (see failure()).
    virtual std::optional<QByteArray> read(const QByteArray& type, qsizetype limit) = 0;
    // The same, as much as one transfer brings, handed to `take` piece by
    // piece as the pieces arrive and never held whole; false when the
    // transfer failed or `take` stopped it (see failure()).
    virtual bool readInPieces(const QByteArray& type, const PieceSink& take) = 0;
    virtual Failure failure() const = 0;
    // Whether the last answer came from the copy whose types were listed.
    virtual bool answeredBySameCopy() const = 0;
    // The text form an answer for `type` came in (X11's TEXT may come as
    // any); the type itself elsewhere.
    virtual QByteArray answeredForm(const QByteArray& type) const { return type; }
};

// Types with a meaning of their own: a password manager's mark, and what
// file managers put on the clipboard for copied or cut files.
inline constexpr char kPasswordHintType[] = "x-kde-passwordManagerHint";
inline constexpr char kGnomeFilesType[] = "x-special/gnome-copied-files";
inline constexpr char kKdeCutType[] = "application/x-kde-cutselection";
inline constexpr char kUriListType[] = "text/uri-list";

// Whether a text offered beside copied files only names them: every line a
// path, a file URL, or one of the listed URLs, their paths or file names.
bool isFileList(const QByteArray& text, const QByteArrayList& uris);

// Every type a look asks about, in order: the secret's hint, the marks of
// copied files, pictures (in order of preference), then texts.
const QByteArrayList& wantedClipboardTypes();

// A look that gave up on its copy: a change of hands sends it to the next
// copy; anything else stalls it (too big: until the clipboard changes hands).
void giveUp(ClipboardLook& look, ClipboardSource::Failure failure);

// Looks at the copy that offers `offered` (of wantedClipboardTypes()) and
// fetches its content, so that taking it afterwards never waits: a picture
// wins; a secret marked by a password manager is never read further; copied
// files, and a text that only names them, are left to the file manager.
// An owner that does not answer, or offers more than one transfer may
// bring, marks the look stalled (and taken as an empty clipboard). With
// `spoolIn` (the capture folder), a long UTF-8 text goes to a file there as
// it is read, and a PNG is decoded straight into a bitmap file there.
void lookAtCopy(ClipboardSource& source, const QByteArrayList& offered,
                const std::optional<FolderHandle>& spoolIn, ClipboardLook& look);

}  // namespace brimlet
