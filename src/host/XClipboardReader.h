#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <chrono>
#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace brimlet {

// Reads the X clipboard on a connection of its own, so that every wait for
// the clipboard's owner is bounded: an owner that does not answer in time
// (stopped, hung) makes a read fail instead of freezing the program.
class XClipboardReader {
  public:
    using Clock = std::chrono::steady_clock;

    // Connects to the display of the environment; check isOpen().
    XClipboardReader();
    ~XClipboardReader();
    XClipboardReader(const XClipboardReader&) = delete;
    XClipboardReader& operator=(const XClipboardReader&) = delete;

    bool isOpen() const { return connection_ != nullptr; }
    // Whether the last request failed because the owner did not answer in
    // time (rather than refusing the format).
    bool timedOut() const { return timedOut_; }

    // The window that owns the clipboard, 0 when none does. Asks only the
    // X server.
    std::uint32_t owner();

    // The formats (target names) the owner offers, or nothing when it did
    // not answer within `patience`.
    std::optional<QByteArrayList> targets(std::chrono::milliseconds patience);

    // The clipboard's content in one format, or nothing when the owner did
    // not answer or refused. A large content comes in pieces; `patience` is
    // the longest wait for any one of them.
    std::optional<QByteArray> read(const QByteArray& target, std::chrono::milliseconds patience);

  private:
    std::uint32_t atom(const QByteArray& name);
    QByteArray atomName(std::uint32_t atom);
    // Waits for the owner's answer; the property's type, or nothing.
    std::optional<std::uint32_t> requestAndWait(std::uint32_t target, Clock::time_point deadline);
    bool waitForPropertyChange(Clock::time_point deadline);
    std::optional<QByteArray> takeProperty(std::uint32_t* type);

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t window_ = 0;
    std::uint32_t clipboard_ = 0;
    std::uint32_t property_ = 0;
    std::uint32_t incr_ = 0;
    bool timedOut_ = false;
};

}  // namespace brimlet
