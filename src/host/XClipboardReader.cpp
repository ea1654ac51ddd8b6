#include "host/XClipboardReader.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <QHash>
#include <cstdlib>
#include <memory>

namespace brimlet {

namespace {

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
Reply<T> reply(T* r) {
    return Reply<T>(r, &std::free);
}

int remainingMs(XClipboardReader::Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - XClipboardReader::Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
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
    window_ = xcb_generate_id(c);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK, &events);
    clipboard_ = atom("CLIPBOARD");
    property_ = atom("BRIMLET_CLIPBOARD");
    incr_ = atom("INCR");
}

XClipboardReader::~XClipboardReader() {
    if (connection_ != nullptr) xcb_disconnect(connection_);
}

std::uint32_t XClipboardReader::atom(const QByteArray& name) {
    auto r = reply(xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.constData()),
        nullptr));
    return r ? r->atom : static_cast<std::uint32_t>(XCB_ATOM_NONE);
}

QByteArray XClipboardReader::atomName(std::uint32_t atom) {
    static QHash<std::uint32_t, QByteArray> names;
    if (auto it = names.constFind(atom); it != names.constEnd()) return *it;
    auto r =
        reply(xcb_get_atom_name_reply(connection_, xcb_get_atom_name(connection_, atom), nullptr));
    if (!r) return {};
    QByteArray name(xcb_get_atom_name_name(r.get()), xcb_get_atom_name_name_length(r.get()));
    names.insert(atom, name);
    return name;
}

std::uint32_t XClipboardReader::owner() {
    if (!isOpen()) return 0;
    auto r = reply(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, clipboard_), nullptr));
    return r ? r->owner : 0;
}

// Asks the owner to put the clipboard in `target` form into our property and
// waits for its notice, handling only the events of this connection.
std::optional<std::uint32_t> XClipboardReader::requestAndWait(std::uint32_t target,
                                                              Clock::time_point deadline) {
    timedOut_ = false;
    xcb_delete_property(connection_, window_, property_);
    xcb_convert_selection(connection_, window_, clipboard_, target, property_, XCB_CURRENT_TIME);
    xcb_flush(connection_);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            const auto kind = event->response_type & ~0x80;
            std::optional<std::uint32_t> answer;
            bool done = false;
            if (kind == XCB_SELECTION_NOTIFY) {
                const auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
                if (notify->requestor == window_ && notify->selection == clipboard_) {
                    done = true;
                    if (notify->property != XCB_ATOM_NONE) answer = notify->property;
                }
            }
            std::free(event);
            if (done) return answer;
        }
        if (xcb_connection_has_error(connection_)) return std::nullopt;
        pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
        const int wait = remainingMs(deadline);
        if (wait == 0 || ::poll(&fd, 1, wait) <= 0) {
            timedOut_ = true;
            return std::nullopt;
        }
    }
}

bool XClipboardReader::waitForPropertyChange(Clock::time_point deadline) {
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            const auto kind = event->response_type & ~0x80;
            bool newValue = false;
            if (kind == XCB_PROPERTY_NOTIFY) {
                const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                newValue = notify->window == window_ && notify->atom == property_ &&
                           notify->state == XCB_PROPERTY_NEW_VALUE;
            }
            std::free(event);
            if (newValue) return true;
        }
        if (xcb_connection_has_error(connection_)) return false;
        pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
        const int wait = remainingMs(deadline);
        if (wait == 0 || ::poll(&fd, 1, wait) <= 0) {
            timedOut_ = true;
            return false;
        }
    }
}

// Reads and deletes our property in one go (deleting it tells an owner that
// sends in pieces to send the next).
std::optional<QByteArray> XClipboardReader::takeProperty(std::uint32_t* type) {
    QByteArray data;
    uint32_t offset = 0;
    for (;;) {
        auto r = reply(
            xcb_get_property_reply(connection_,
                                   xcb_get_property(connection_, 0, window_, property_,
                                                    XCB_GET_PROPERTY_TYPE_ANY, offset, 1 << 20),
                                   nullptr));
        if (!r) return std::nullopt;
        *type = r->type;
        const int length = xcb_get_property_value_length(r.get());
        data.append(static_cast<const char*>(xcb_get_property_value(r.get())), length);
        offset += static_cast<uint32_t>(length / 4);
        if (r->bytes_after == 0) break;
    }
    xcb_delete_property(connection_, window_, property_);
    xcb_flush(connection_);
    return data;
}

std::optional<QByteArrayList> XClipboardReader::targets(std::chrono::milliseconds patience) {
    if (!isOpen()) return std::nullopt;
    if (!requestAndWait(atom("TARGETS"), Clock::now() + patience)) return std::nullopt;
    std::uint32_t type = 0;
    const auto data = takeProperty(&type);
    if (!data) return std::nullopt;
    QByteArrayList names;
    const auto* atoms = reinterpret_cast<const std::uint32_t*>(data->constData());
    for (qsizetype i = 0; i < data->size() / 4; ++i) names << atomName(atoms[i]);
    return names;
}

std::optional<QByteArray> XClipboardReader::read(const QByteArray& target,
                                                 std::chrono::milliseconds patience) {
    if (!isOpen()) return std::nullopt;
    if (!requestAndWait(atom(target), Clock::now() + patience)) return std::nullopt;
    std::uint32_t type = 0;
    auto data = takeProperty(&type);
    if (!data || type != incr_) return data;
    // In pieces: each piece arrives as a new value of the property; an
    // empty one ends the transfer.
    QByteArray whole;
    for (;;) {
        if (!waitForPropertyChange(Clock::now() + patience)) return std::nullopt;
        auto piece = takeProperty(&type);
        if (!piece) return std::nullopt;
        if (type == XCB_ATOM_NONE) continue;  // an earlier notice; no piece yet
        if (piece->isEmpty()) return whole;
        whole += *piece;
    }
}

}  // namespace brimlet
