#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QHash>
#include <QImage>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct wl_display;
struct wl_proxy;
struct wl_registry;
struct wl_seat;

namespace brimlet {

// The Wayland clipboard through the data-control protocol (ext, or the
// older wlroots form), on a connection of its own: a clipboard manager's
// view that needs no window and no focus. Every wait is bounded: an owner
// that does not write in time, writes without end or offers endless lists
// makes a read fail instead of freezing the program or eating its memory.
//
// Each change of selection the compositor reports is counted once; a read
// answers for the copy that was the selection when it was asked, and
// changeAtAnswer() says whether the selection changed meanwhile.
//
// What this program puts on the clipboard is served from memory on the
// same thread, each request on a non-blocking pipe with a bounded wait, and
// recognized when it comes back as the selection (its own mark among the
// types), so it is never read through a pipe of ours.
//
// All calls from one thread, except cancel().
class DataControlClipboard {
  public:
    using Clock = std::chrono::steady_clock;
    // Gives the content in one type (the types it was offered with).
    using Provider = std::function<QByteArray(const QByteArray& type)>;

    // The same bounds as the X reader's.
    static constexpr qsizetype kMaxTransfer = qsizetype{512} * 1024 * 1024;
    static constexpr int kMaxTypes = 1000;
    static constexpr qsizetype kBytesPerExtraSecond = qsizetype{8} * 1024 * 1024;

    enum class Failure {
        None,
        Refused,       // the copy does not offer that type
        TimedOut,      // the owner did not write in time, or the look ran out of time
        TooBig,        // the content is larger than the limit
        Broken,        // no connection, or it broke
        ChangedHands,  // the selection changed before the owner had written
        Stopped,       // the receiver of the pieces wanted no more
    };
    // Takes each piece of a content as it arrives; false stops the transfer.
    using PieceSink = std::function<bool(QByteArrayView)>;

    // Connects to the compositor of the environment (WAYLAND_DISPLAY) and,
    // when it offers data-control, follows the first seat's selection
    // within `patience`; check isOpen().
    explicit DataControlClipboard(
        std::chrono::milliseconds patience = std::chrono::milliseconds(2000));
    ~DataControlClipboard();
    DataControlClipboard(const DataControlClipboard&) = delete;
    DataControlClipboard& operator=(const DataControlClipboard&) = delete;

    // Connected, and the compositor offers data-control.
    bool isOpen() const { return device_ != nullptr && !broken_; }
    // The connection broke after it was open (the compositor went away).
    bool isBroken() const { return broken_; }
    // "ext-data-control-v1" or "wlr-data-control-unstable-v1", or empty.
    const char* protocolName() const;
    int fileDescriptor() const;
    Failure failure() const { return failure_; }

    // Starts one look: no wait for the owner is longer than `patience`, and
    // the look as a whole ends after `lookTime` (plus the time its received
    // bytes earn).
    void beginLook(std::chrono::milliseconds patience, std::chrono::milliseconds lookTime);

    // The change that made the selection now (0: none seen yet), whether
    // there is one, and whether it is this program's own.
    quint64 change() const { return changes_; }
    // How many changes other programs made (ours are not counted).
    quint64 foreignChanges() const { return foreignChanges_; }
    bool hasSelection() const { return offer_ != nullptr || ownSelection(); }
    bool ownSelection() const;
    // Whether the selection is a copy Brimlet made (this run or another).
    bool selectionIsBrimlets() const;
    // Which of `wanted` the selection offers (in the order of `wanted`),
    // among its first kMaxTypes types; empty when nothing is selected.
    QByteArrayList offered(const QByteArrayList& wanted) const;
    // The selection's content in one type, or nothing (see failure()).
    std::optional<QByteArray> read(const QByteArray& type, qsizetype limit = kMaxTransfer);
    // The same handed to `take` piece by piece as the pieces arrive, never
    // held whole; false when the transfer failed or `take` stopped it.
    bool readInPieces(const QByteArray& type, const PieceSink& take,
                      qsizetype limit = kMaxTransfer);
    // The change that had made the selection when the last read ended.
    quint64 changeAtAnswer() const { return changeAtAnswer_; }

    // Handles the events that have arrived, serving requests for our own
    // content; false once the connection is broken.
    bool drainEvents();
    // Waits up to `patience` until the compositor has handled every request
    // sent so far (and we its answers); false when it did not in time.
    bool settle(std::chrono::milliseconds patience);
    // Waits up to `timeout` for events and handles those that came; false
    // once broken.
    bool waitForEvents(std::chrono::milliseconds timeout);

    // Makes `types` (with `provide` giving each) the selection.
    void setSelection(const QByteArrayList& types, Provider provide);
    // Empties the selection unless another program changed it since
    // `change` (as far as the compositor has told us).
    void clearIfUnchangedSince(quint64 change);
    // Empties the selection, whoever set it.
    void clear();
    // Whether our last setSelection is still the selection: false once the
    // compositor replaced it.
    bool holdsSelection() const { return source_ != nullptr; }
    // The type that marks every copy Brimlet puts on the clipboard.
    static const QByteArray& markPrefix();

    // Ends every wait at once, for good (the program is ending).
    void cancel() { cancelled_ = true; }

    // Called by the listeners.
    void introduced(wl_proxy* offer);
    void offerType(wl_proxy* offer, const char* type);
    void selected(wl_proxy* offer, bool primary);
    void finished() { broken_ = true; }
    void sendRequested(const char* type, int fd);
    void sourceCancelled(wl_proxy* source);
    void globalAdded(std::uint32_t name, const char* interface, std::uint32_t version);
    void syncDone() { synced_ = true; }

    // The interfaces of the protocol bound (ext or wlroots).
    struct Interfaces;

  private:
    bool roundtrip(Clock::time_point end);
    // Sends what is queued, waits until `fd` (or -1) can be read or
    // `end`, and handles the events that came; false when broken.
    enum class Woken { Fd, Display, Timeout, Broken };
    Woken wait(int fd, Clock::time_point end);
    bool flush(Clock::time_point end);
    void markBroken();
    void replacedLocally(bool own);
    void destroyOffer(wl_proxy* offer);
    void destroySource();
    Clock::time_point lookEnd() const;
    void serve(const QByteArray& type, int fd);
    // A read: whether `type` can be asked for at all (failure_ says why not);
    // our own copy's content; another's, through a pipe.
    bool startRead(const QByteArray& type);
    std::optional<QByteArray> ownContent(const QByteArray& type, qsizetype limit);
    bool receive(const QByteArray& type, qsizetype limit, const PieceSink& take);

    wl_display* display_ = nullptr;
    const Interfaces* interfaces_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    std::uint32_t seatName_ = 0, extName_ = 0, wlrName_ = 0;
    wl_proxy* manager_ = nullptr;
    wl_proxy* device_ = nullptr;
    bool synced_ = false;
    bool broken_ = false;

    // Offers introduced and not yet named as a selection, with their types;
    // the selection's offer and its types.
    std::vector<std::pair<wl_proxy*, QByteArrayList>> introduced_;
    wl_proxy* offer_ = nullptr;
    QByteArrayList types_;
    quint64 changes_ = 0;
    quint64 foreignChanges_ = 0;
    // Our own copy is the selection; we emptied it and the compositor has
    // not said so yet.
    bool own_ = false;
    bool clearing_ = false;

    // Our own copy on offer: its source, its mark, its types and content.
    wl_proxy* source_ = nullptr;
    QByteArray mark_;
    QByteArrayList ownTypes_;
    Provider provide_;
    QHash<QByteArray, QByteArray> served_;
    quint64 marks_ = 0;

    std::chrono::milliseconds patience_{400};
    Clock::time_point lookStart_;
    std::chrono::milliseconds lookTime_{2000};
    qsizetype received_ = 0;
    Failure failure_ = Failure::None;
    quint64 changeAtAnswer_ = 0;
    std::atomic<bool> cancelled_{false};
};

// Serves `text` and/or `picture` (PNG, BMP; either may be empty) through
// data-control until another program copies or the compositor goes away;
// for the holder that keeps Brimlet's copy after it ends. Takes the
// selection only when it is Brimlet's own or empty; `ready` is called once
// it is held. Returns the exit status.
int holdClipboardThroughDataControl(const QString& text, bool hasText, const QImage& picture,
                                    const std::function<void()>& ready);

// The types and content of a text or a picture, as offered on Wayland.
QByteArrayList dataControlTextTypes();
QByteArrayList dataControlPictureTypes();
DataControlClipboard::Provider dataControlContent(const QString& text, bool hasText,
                                                  const QImage& picture);

}  // namespace brimlet
