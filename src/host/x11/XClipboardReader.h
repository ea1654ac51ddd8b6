#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QHash>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

struct xcb_connection_t;

namespace brimlet {

// Reads the X clipboard on a connection of its own, so that every wait for
// the clipboard's owner is bounded: an owner that does not answer in time
// (stopped, hung), answers without end or offers endless lists makes a read
// fail instead of freezing the program or eating its memory.
//
// Each request has a property of its own (from a small set used in turn),
// and a request given up on leaves its window behind: the reader moves to a
// new one, so a late answer or a further piece of an abandoned transfer can
// never be taken for the answer to a later request.
//
// Where the server has XFixes, the reader follows every change of owner on
// its own connection, so it knows the exact moment each copy was made and
// whether the clipboard changed hands before an owner answered.
//
// One thread reads; clearIfUnchangedSince(), clear(), currentOwner() and
// cancel() may be called from any thread.
class XClipboardReader {
  public:
    using Clock = std::chrono::steady_clock;

    // The most one transfer may bring; a larger content is given up.
    static constexpr qsizetype kMaxTransfer = qsizetype{512} * 1024 * 1024;
    // At most this many of the formats an owner offers are looked at.
    static constexpr int kMaxTargets = 1000;
    // A look gets its base time, and one second more for every this many
    // bytes it has received: a large content that flows keeps the look
    // going, a trickle does not.
    static constexpr qsizetype kBytesPerExtraSecond = qsizetype{8} * 1024 * 1024;

    enum class Failure {
        None,
        Refused,       // the owner does not offer the content in that format
        TimedOut,      // the owner did not answer in time, or the look ran out of time
        TooBig,        // the content is larger than the limit
        Broken,        // no connection, or it broke
        ChangedHands,  // the clipboard changed hands before the owner answered
        Stopped,       // the receiver of the pieces wanted no more
    };

    // Takes each piece of a content as it arrives; false stops the transfer.
    using PieceSink = std::function<bool(QByteArrayView)>;

    // One copy on the clipboard: its owner (0: none), the server time of
    // the moment it took the clipboard or, where that is not known, one
    // after it (0: the server did not answer), and which change of owner
    // made it (equal for requests answered by the same copy).
    struct Copy {
        std::uint32_t owner = 0;
        std::uint32_t since = 0;
        quint64 change = 0;
    };

    // Connects to the display of the environment; check isOpen().
    XClipboardReader();
    ~XClipboardReader();
    XClipboardReader(const XClipboardReader&) = delete;
    XClipboardReader& operator=(const XClipboardReader&) = delete;

    bool isOpen() const { return connection_ != nullptr; }
    int fileDescriptor() const;
    // Why the last request failed.
    Failure failure() const { return failure_; }

    // Starts one look at the clipboard: no wait for the owner is longer
    // than `patience`, and the look as a whole ends after `lookTime` (plus
    // the time its received bytes earn).
    void beginLook(std::chrono::milliseconds patience, std::chrono::milliseconds lookTime);

    // The copy on the clipboard now.
    Copy current();

    // Which of `wanted` the owner offers (in the order of `wanted`),
    // among the first kMaxTargets formats of its list; nothing when it did
    // not answer, an empty list when the clipboard is empty.
    std::optional<QByteArrayList> offered(const QByteArrayList& wanted);

    // The clipboard's content in one format, or nothing (see failure()). A
    // large content comes in pieces; `limit` caps the whole.
    std::optional<QByteArray> read(const QByteArray& target, qsizetype limit = kMaxTransfer);
    // The same handed to `take` piece by piece as the pieces arrive, never
    // held whole; false when the transfer failed or `take` stopped it.
    bool readInPieces(const QByteArray& target, const PieceSink& take,
                      qsizetype limit = kMaxTransfer);

    // The type the owner gave its last answer (TEXT may come as any text
    // form), and the atom of a name this program asked about.
    std::uint32_t answeredType() const { return answeredType_; }
    std::uint32_t atomOf(const QByteArray& name) const { return atoms_.value(name, 0); }

    // The copy that was on the clipboard when the last request reached the
    // server.
    const Copy& askedOf() const { return askedOf_; }
    // The change of owner that made the copy on the clipboard when the
    // answer to the last request had come. An owner answers from what it
    // holds when it answers, so an answer belongs to a copy only if no
    // change came between asking and answering.
    quint64 changeAtAnswer() const { return changeAtAnswer_; }

    // Handles the events that have arrived between looks; false once the
    // connection is broken.
    bool drainEvents();

    // Empties the clipboard unless it changed hands after server time
    // `time`: the server compares the times, so a later copy is never lost.
    void clearIfUnchangedSince(std::uint32_t time);
    // Empties the clipboard, whoever holds it.
    void clear();
    // The window that owns the clipboard now; asks only the X server.
    std::uint32_t currentOwner();
    // Ends every wait at once, for good (the program is ending).
    void cancel() { cancelled_ = true; }
    // Gives up on the request in progress: whatever its owner still sends
    // goes nowhere.
    void abandonRequest();

  private:
    std::uint32_t atom(const QByteArray& name);
    void createWindow();
    void watchOwnerChanges();
    void noteOwnerChange(const void* event);
    Clock::time_point deadline() const;
    template <class Match>
    bool waitForEvent(Clock::time_point end, Match&& match);
    std::uint32_t serverTime();
    Copy copyAt(std::uint32_t time);
    // Asks for the clipboard in `target` form; true with the property that
    // holds the answer, false when refused or not answered.
    bool request(std::uint32_t target, std::uint32_t* property);
    std::optional<QByteArray> takeProperty(std::uint32_t property, qsizetype limit, bool truncate,
                                           std::uint32_t* type);
    std::optional<QByteArray> transfer(const QByteArray& target, qsizetype limit, bool truncate);
    bool transfer(const QByteArray& target, qsizetype limit, bool truncate,
                  const std::function<bool(QByteArray&&)>& take);

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t visual_ = 0;
    std::uint32_t window_ = 0;
    std::uint32_t clipboard_ = 0;
    std::uint32_t incr_ = 0;
    std::uint32_t timeProperty_ = 0;
    std::uint32_t properties_[4] = {};
    unsigned nextProperty_ = 0;
    QHash<QByteArray, std::uint32_t> atoms_;  // only names this program asks for

    std::chrono::milliseconds patience_{400};
    Clock::time_point lookStart_;
    std::chrono::milliseconds lookTime_{2000};
    qsizetype received_ = 0;

    // The owner as XFixes last reported it, the moment it took the
    // clipboard (0 when not reported), and how many changes were reported.
    bool watching_ = false;
    std::uint8_t changeEvent_ = 0;
    std::uint32_t watcher_ = 0;
    std::uint32_t owner_ = 0;
    std::uint32_t ownerSince_ = 0;
    quint64 changes_ = 0;
    // Without XFixes: the owner last seen.
    std::uint32_t ownerSeen_ = 0;

    Failure failure_ = Failure::None;
    std::uint32_t answeredType_ = 0;
    Copy askedOf_;
    quint64 changeAtAnswer_ = 0;
    std::atomic<bool> cancelled_{false};
};

}  // namespace brimlet
