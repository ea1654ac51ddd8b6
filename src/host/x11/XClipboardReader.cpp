#include "host/x11/XClipboardReader.h"

#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <QSet>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "host/x11/Xcb.h"

namespace brimlet {

namespace {

using xcb::reply;

// The longest single sleep of a wait: cancel() is noticed within it, and so
// is an event that a request on another thread took off the socket.
constexpr int kSliceMs = 50;

// A property is read in parts of at most this many 32-bit units (4 MiB).
constexpr std::uint32_t kPartUnits = 1u << 20;

int eventKind(const xcb_generic_event_t* event) {
    return event->response_type & ~0x80;
}

}  // namespace

XClipboardReader::XClipboardReader() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    connection_ = c;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    root_ = screen->root;
    visual_ = screen->root_visual;
    createWindow();
    clipboard_ = atom("CLIPBOARD");
    watchOwnerChanges();
    incr_ = atom("INCR");
    timeProperty_ = atom("BRIMLET_TIME");
    for (unsigned i = 0; i < std::size(properties_); ++i) {
        properties_[i] = atom("BRIMLET_CLIPBOARD_" + QByteArray::number(i));
    }
}

XClipboardReader::~XClipboardReader() {
    if (connection_ != nullptr) xcb_disconnect(connection_);
}

std::uint32_t XClipboardReader::atom(const QByteArray& name) {
    if (auto it = atoms_.constFind(name); it != atoms_.constEnd()) return *it;
    const xcb_atom_t found = xcb::atom(connection_, name);
    if (found != XCB_ATOM_NONE) atoms_.insert(name, found);
    return found;
}

int XClipboardReader::fileDescriptor() const {
    return isOpen() ? xcb_get_file_descriptor(connection_) : -1;
}

// Asks XFixes to report every change of the clipboard's owner to a window
// of the reader's that lives as long as it does.
void XClipboardReader::watchOwnerChanges() {
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(connection_, &xcb_xfixes_id);
    if (extension == nullptr || !extension->present) return;
    xcb_generic_error_t* error = nullptr;
    auto version = reply(xcb_xfixes_query_version_reply(
        connection_, xcb_xfixes_query_version(connection_, 5, 0), &error));
    std::free(error);
    if (!version || error != nullptr) return;
    watcher_ = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, watcher_, root_, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, visual_, 0, nullptr);
    error = xcb_request_check(connection_,
                              xcb_xfixes_select_selection_input_checked(
                                  connection_, watcher_, clipboard_,
                                  XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE));
    if (error != nullptr) {
        std::free(error);
        return;
    }
    watching_ = true;
    changeEvent_ = extension->first_event + XCB_XFIXES_SELECTION_NOTIFY;
    // The owner of the moment; whoever comes next is reported.
    owner_ = currentOwner();
    ownerSince_ = 0;
}

void XClipboardReader::noteOwnerChange(const void* event) {
    const auto* notify = static_cast<const xcb_xfixes_selection_notify_event_t*>(event);
    if (!watching_ || (notify->response_type & 0x7f) != changeEvent_) return;
    if (notify->selection != clipboard_) return;
    owner_ = notify->owner;
    ownerSince_ = notify->selection_timestamp;
    ++changes_;
}

bool XClipboardReader::drainEvents() {
    if (!isOpen()) return false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        noteOwnerChange(event);
        std::free(event);
    }
    return !xcb_connection_has_error(connection_);
}

void XClipboardReader::createWindow() {
    window_ = xcb_generate_id(connection_);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, root_, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, visual_, XCB_CW_EVENT_MASK, &events);
}

// The owner of a request given up on may still answer it, or send further
// pieces: they go to a window that no longer exists.
void XClipboardReader::abandonRequest() {
    xcb_destroy_window(connection_, window_);
    createWindow();
    xcb_flush(connection_);
}

void XClipboardReader::beginLook(std::chrono::milliseconds patience,
                                 std::chrono::milliseconds lookTime) {
    patience_ = patience;
    lookTime_ = lookTime;
    lookStart_ = Clock::now();
    received_ = 0;
}

XClipboardReader::Clock::time_point XClipboardReader::deadline() const {
    const std::chrono::milliseconds earned(received_ * 1000 / kBytesPerExtraSecond);
    return std::min(Clock::now() + patience_, lookStart_ + lookTime_ + earned);
}

// Handles the events of this connection until `match` takes one, before
// `end`. Every event it does not take is stale and dropped (changes of
// owner are noted first).
template <class Match>
bool XClipboardReader::waitForEvent(Clock::time_point end, Match&& match) {
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            noteOwnerChange(event);
            const bool matched = match(event);
            std::free(event);
            if (matched) return true;
        }
        if (xcb_connection_has_error(connection_)) {
            failure_ = Failure::Broken;
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (cancelled_ || left <= 0) {
            failure_ = Failure::TimedOut;
            return false;
        }
        pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(std::min<long long>(left, kSliceMs)));
    }
}

// A real server time: the time of a zero-length append to our window. Its
// notice comes after the reports of every change the server made before,
// so they have all been noted once it is here.
std::uint32_t XClipboardReader::serverTime() {
    xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, timeProperty_, XCB_ATOM_INTEGER,
                        32, 0, nullptr);
    xcb_flush(connection_);
    std::uint32_t time = 0;
    waitForEvent(Clock::now() + patience_, [&](const xcb_generic_event_t* event) {
        if (eventKind(event) != XCB_PROPERTY_NOTIFY) return false;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->window != window_ || notify->atom != timeProperty_) return false;
        time = notify->time;
        return true;
    });
    return time;
}

// The copy on the clipboard as of server time `time`, all reports of
// changes made before it having been noted.
XClipboardReader::Copy XClipboardReader::copyAt(std::uint32_t time) {
    if (watching_) return {owner_, ownerSince_ != 0 ? ownerSince_ : time, changes_};
    // Without reports: the owner asked for just after, and the time, which
    // is not before it took the clipboard.
    const std::uint32_t owner = currentOwner();
    if (owner != ownerSeen_) {
        ownerSeen_ = owner;
        ++changes_;
    }
    return {owner, time, changes_};
}

XClipboardReader::Copy XClipboardReader::current() {
    failure_ = Failure::None;
    if (!isOpen()) {
        failure_ = Failure::Broken;
        return {};
    }
    const std::uint32_t now = serverTime();
    if (now == 0) {
        abandonRequest();  // its notice may still come
        return {};
    }
    return copyAt(now);
}

std::uint32_t XClipboardReader::currentOwner() {
    return isOpen() ? xcb::selectionOwner(connection_, clipboard_) : 0;
}

void XClipboardReader::clearIfUnchangedSince(std::uint32_t time) {
    if (!isOpen() || time == XCB_CURRENT_TIME) return;
    xcb_set_selection_owner(connection_, XCB_NONE, clipboard_, time);
    xcb_flush(connection_);
}

void XClipboardReader::clear() {
    if (!isOpen()) return;
    xcb_set_selection_owner(connection_, XCB_NONE, clipboard_, XCB_CURRENT_TIME);
    xcb_flush(connection_);
}

// Asks the owner to put the clipboard in `target` form into a property of
// this request's own and waits for its notice. A zero-length append right
// behind the request marks the moment the server handled it, and so which
// copy was asked; one more once the answer is here tells whether the
// clipboard changed hands meanwhile.
bool XClipboardReader::request(std::uint32_t target, std::uint32_t* property) {
    const std::uint32_t asked = properties_[nextProperty_++ % std::size(properties_)];
    xcb_delete_property(connection_, window_, asked);
    xcb_convert_selection(connection_, window_, clipboard_, target, asked, XCB_CURRENT_TIME);
    xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, timeProperty_, XCB_ATOM_INTEGER,
                        32, 0, nullptr);
    xcb_flush(connection_);
    bool marked = false;
    bool answered = false;
    bool changedHands = false;
    std::uint32_t answer = XCB_ATOM_NONE;
    const bool done = waitForEvent(deadline(), [&](const xcb_generic_event_t* event) {
        // Once the clipboard has changed hands, whatever the owner asked
        // answers is not wanted: a long wait for a slow owner ends at once.
        if (marked && watching_ && changes_ != askedOf_.change) {
            changedHands = true;
            return true;
        }
        if (eventKind(event) == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (marked || notify->window != window_ || notify->atom != timeProperty_) return false;
            marked = true;
            askedOf_ = copyAt(notify->time);
            return answered;
        }
        if (eventKind(event) != XCB_SELECTION_NOTIFY || answered) return false;
        const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
        if (notify->requestor != window_ || notify->selection != clipboard_) return false;
        if (notify->property == asked) {
            answer = asked;
        } else if (notify->property != XCB_ATOM_NONE || notify->target != target) {
            return false;
        }
        answered = true;
        return marked;
    });
    if (!done || changedHands) {
        if (changedHands) failure_ = Failure::ChangedHands;
        abandonRequest();
        return false;
    }
    const std::uint32_t answeredAt = serverTime();
    changeAtAnswer_ = answeredAt != 0 ? copyAt(answeredAt).change : ~quint64{0};
    failure_ = Failure::None;
    if (answer == XCB_ATOM_NONE) {
        failure_ = Failure::Refused;
        return false;
    }
    *property = answer;
    return true;
}

// Reads and deletes the property (deleting it tells an owner that sends in
// pieces to send the next). More than `limit` bytes fail, or with
// `truncate` are cut off.
std::optional<QByteArray> XClipboardReader::takeProperty(std::uint32_t property, qsizetype limit,
                                                         bool truncate, std::uint32_t* type) {
    QByteArray data;
    std::uint32_t offset = 0;
    for (;;) {
        std::uint32_t units = kPartUnits;
        if (truncate) {
            units = static_cast<std::uint32_t>(
                std::min<qsizetype>(units, (limit - data.size() + 3) / 4));
        }
        auto r =
            reply(xcb_get_property_reply(connection_,
                                         xcb_get_property(connection_, 0, window_, property,
                                                          XCB_GET_PROPERTY_TYPE_ANY, offset, units),
                                         nullptr));
        if (!r) {
            failure_ = Failure::Broken;
            return std::nullopt;
        }
        *type = r->type;
        const int length = xcb_get_property_value_length(r.get());
        if (!truncate && data.size() + length + qsizetype{r->bytes_after} > limit) {
            failure_ = Failure::TooBig;
            return std::nullopt;
        }
        data.append(static_cast<const char*>(xcb_get_property_value(r.get())), length);
        offset += static_cast<std::uint32_t>(length / 4);
        if (r->bytes_after == 0 || length == 0 || (truncate && data.size() >= limit)) break;
    }
    if (data.size() > limit) data.truncate(limit);
    xcb_delete_property(connection_, window_, property);
    xcb_flush(connection_);
    received_ += data.size();
    return data;
}

// Joins the pieces at the end, into one block of the right size, so memory
// never holds much more than the content itself; a content in one piece is
// taken as it came.
std::optional<QByteArray> XClipboardReader::transfer(const QByteArray& target, qsizetype limit,
                                                     bool truncate) {
    QByteArrayList pieces;
    qsizetype total = 0;
    const bool done = transfer(target, limit, truncate, [&](QByteArray&& piece) {
        total += piece.size();
        pieces << std::move(piece);
        return true;
    });
    if (!done) return std::nullopt;
    if (pieces.size() == 1) return std::move(pieces.front());
    QByteArray whole;
    whole.reserve(total);
    for (QByteArray& piece : pieces) {
        whole += piece;
        piece = QByteArray();
    }
    return whole;
}

bool XClipboardReader::transfer(const QByteArray& target, qsizetype limit, bool truncate,
                                const std::function<bool(QByteArray&&)>& take) {
    failure_ = Failure::None;
    if (!isOpen()) {
        failure_ = Failure::Broken;
        return false;
    }
    std::uint32_t property = 0;
    if (!request(atom(target), &property)) return false;
    std::uint32_t type = 0;
    auto data = takeProperty(property, limit, truncate, &type);
    if (!data) {
        abandonRequest();
        return false;
    }
    answeredType_ = type;
    auto stop = [&] {
        abandonRequest();
        failure_ = Failure::Stopped;
        return false;
    };
    if (type != incr_) return take(std::move(*data)) || stop();
    // In pieces: each piece arrives as a new value of the property; an
    // empty one ends the transfer.
    qsizetype total = 0;
    for (;;) {
        const bool arrived = waitForEvent(deadline(), [&](const xcb_generic_event_t* event) {
            if (eventKind(event) != XCB_PROPERTY_NOTIFY) return false;
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            return notify->window == window_ && notify->atom == property &&
                   notify->state == XCB_PROPERTY_NEW_VALUE;
        });
        if (!arrived) {
            abandonRequest();
            return false;
        }
        auto piece = takeProperty(property, limit - total, truncate, &type);
        if (!piece) {
            abandonRequest();
            return false;
        }
        if (type == XCB_ATOM_NONE) continue;  // an earlier notice; no piece yet
        answeredType_ = type;
        if (piece->isEmpty()) return true;
        total += piece->size();
        if (!take(std::move(*piece))) return stop();
        if (truncate && total >= limit) {
            abandonRequest();
            return true;
        }
    }
}

std::optional<QByteArrayList> XClipboardReader::offered(const QByteArrayList& wanted) {
    failure_ = Failure::None;
    if (!isOpen()) {
        failure_ = Failure::Broken;
        return std::nullopt;
    }
    // The names this program looks for, asked for all at once; an owner's
    // own names are never asked for.
    std::vector<std::pair<QByteArray, xcb_intern_atom_cookie_t>> unknown;
    for (const QByteArray& name : wanted) {
        if (atoms_.contains(name)) continue;
        unknown.emplace_back(
            name,
            xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.constData()));
    }
    for (const auto& [name, cookie] : unknown) {
        auto r = reply(xcb_intern_atom_reply(connection_, cookie, nullptr));
        if (r) atoms_.insert(name, r->atom);
    }
    const auto list = transfer("TARGETS", qsizetype{kMaxTargets} * 4, true);
    if (!list && failure_ == Failure::Refused) return QByteArrayList();
    if (!list) return std::nullopt;
    QSet<std::uint32_t> targets;
    for (qsizetype i = 0; i + 4 <= list->size(); i += 4) {
        std::uint32_t target = 0;
        std::memcpy(&target, list->constData() + i, 4);
        targets.insert(target);
    }
    QByteArrayList found;
    for (const QByteArray& name : wanted) {
        const std::uint32_t a = atoms_.value(name, XCB_ATOM_NONE);
        if (a != XCB_ATOM_NONE && targets.contains(a)) found << name;
    }
    return found;
}

std::optional<QByteArray> XClipboardReader::read(const QByteArray& target, qsizetype limit) {
    return transfer(target, limit, false);
}

bool XClipboardReader::readInPieces(const QByteArray& target, const PieceSink& take,
                                    qsizetype limit) {
    return transfer(target, limit, false, [&](QByteArray&& piece) { return take(piece); });
}

}  // namespace brimlet
