// A clipboard owner for the end-to-end tests that misbehaves on request, in
// raw xcb so that every answer is under its control: it answers late, sends
// a content in pieces without end, offers a huge list of formats, or takes
// the clipboard again and again in a flood. Prints "owned" once it holds the
// clipboard, "sending" when it starts to send a content in pieces, and
// "flooded" after the last copy of a flood; ends a second
// after it lost the clipboard (serving transfers in progress meanwhile), or
// after a minute.
//
// usage: hostile_owner [options] TARGET=DATA...
//   DATA            the content in that format: literal bytes, or @FILE
//   --late MS       answer every request MS late
//   --endless       send every content in pieces without end
//   --chunk BYTES   contents larger than this go in pieces (default 256 KiB)
//   --pace MS       wait MS before each piece
//   --junk N        offer N more formats (distinct names) after the real ones
//   --timestamp     answer TIMESTAMP with the time the clipboard was taken
//   --nul           end every content with a NUL byte
//   --flood N MS    take the clipboard N times, MS apart, each time with the
//                   contents followed by " " and the copy's number
//   --secret-odd    mark every copy with an odd number as a password
//                   manager's secret (x-kde-passwordManagerHint)

#include <poll.h>
#include <xcb/xcb.h>

#include <QByteArray>
#include <QFile>
#include <QList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Options {
    int lateMs = 0;
    bool endless = false;
    qsizetype chunk = 256 * 1024;
    int paceMs = 0;
    int junk = 0;
    bool timestamp = false;
    bool nul = false;
    int floodCount = 0;
    int floodMs = 0;
    bool secretOdd = false;
    std::vector<std::pair<QByteArray, QByteArray>> contents;  // target name, bytes
};

// A content sent in pieces: the requestor's property, what is left.
struct Transfer {
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t type;
    QByteArray rest;
    bool endless;
    Clock::time_point due;  // when the next piece may go
    bool waitingForDelete = true;
};

struct LateAnswer {
    Clock::time_point due;
    xcb_selection_request_event_t request;
};

class Owner {
  public:
    explicit Owner(Options options) : o_(std::move(options)) {}

    int run() {
        c_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c_)) return 2;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        window_ = xcb_generate_id(c_);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK,
                          &mask);
        clipboard_ = atom("CLIPBOARD");
        targets_ = atom("TARGETS");
        timestampAtom_ = atom("TIMESTAMP");
        incr_ = atom("INCR");
        if (o_.secretOdd) o_.contents.emplace_back("x-kde-passwordManagerHint", QByteArray());
        for (const auto& [name, bytes] : o_.contents) contentAtoms_.push_back(atom(name));
        internJunk();

        takeClipboard(0);
        std::puts("owned");
        std::fflush(stdout);
        int copy = 0;
        auto nextCopy = Clock::now() + milliseconds(o_.floodMs);
        const auto giveUp = Clock::now() + std::chrono::seconds(60);
        for (;;) {
            const auto now = Clock::now();
            if (now > giveUp) return 0;
            if (lostAt_ && now > *lostAt_ + std::chrono::seconds(1)) return 0;
            if (copy + 1 < o_.floodCount && now >= nextCopy) {
                takeClipboard(++copy);
                nextCopy += milliseconds(o_.floodMs);
                if (copy + 1 == o_.floodCount) {
                    std::puts("flooded");
                    std::fflush(stdout);
                }
            }
            serveDue(now);
            xcb_flush(c_);
            pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
            ::poll(&fd, 1, 2);
            while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
                handle(event);
                std::free(event);
            }
            if (xcb_connection_has_error(c_)) return 3;
        }
    }

  private:
    xcb_atom_t atom(const QByteArray& name) {
        auto* r = xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(name.size()), name.constData()),
            nullptr);
        const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }

    void internJunk() {
        std::vector<xcb_intern_atom_cookie_t> cookies;
        cookies.reserve(static_cast<size_t>(o_.junk));
        for (int i = 0; i < o_.junk; ++i) {
            const QByteArray name = "BRIMLET_TEST_JUNK_" + QByteArray::number(i);
            cookies.push_back(
                xcb_intern_atom(c_, 0, static_cast<uint16_t>(name.size()), name.constData()));
        }
        for (const auto& cookie : cookies) {
            auto* r = xcb_intern_atom_reply(c_, cookie, nullptr);
            if (r) junkAtoms_.push_back(r->atom);
            std::free(r);
        }
    }

    // A real server time: the time of a zero-length append to our window.
    xcb_timestamp_t serverTime() {
        xcb_change_property(c_, XCB_PROP_MODE_APPEND, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            0, nullptr);
        xcb_flush(c_);
        for (;;) {
            xcb_generic_event_t* event = xcb_wait_for_event(c_);
            if (event == nullptr) return XCB_CURRENT_TIME;
            if ((event->response_type & ~0x80) == XCB_PROPERTY_NOTIFY) {
                const auto* n = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (n->window == window_ && n->atom == XCB_ATOM_WM_NAME) {
                    const xcb_timestamp_t t = n->time;
                    std::free(event);
                    return t;
                }
            }
            handle(event);
            std::free(event);
        }
    }

    void takeClipboard(int copy) {
        copy_ = copy;
        acquired_ = serverTime();
        xcb_set_selection_owner(c_, window_, clipboard_, acquired_);
        xcb_flush(c_);
        lostAt_.reset();
    }

    QByteArray contentFor(size_t index) const {
        if (o_.contents[index].first == "x-kde-passwordManagerHint") {
            return copy_ % 2 == 1 ? "secret" : "public";
        }
        QByteArray bytes = o_.contents[index].second;
        if (o_.floodCount > 0) bytes += " " + QByteArray::number(copy_);
        if (o_.nul) bytes += '\0';
        return bytes;
    }

    void handle(xcb_generic_event_t* event) {
        switch (event->response_type & ~0x80) {
            case 0: {  // an error: a requestor window that went away
                const auto* e = reinterpret_cast<xcb_generic_error_t*>(event);
                transfers_.erase(std::remove_if(transfers_.begin(), transfers_.end(),
                                                [&](const Transfer& t) {
                                                    return t.requestor == e->resource_id;
                                                }),
                                 transfers_.end());
                break;
            }
            case XCB_SELECTION_CLEAR:
                lostAt_ = Clock::now();
                break;
            case XCB_SELECTION_REQUEST: {
                const auto* r = reinterpret_cast<xcb_selection_request_event_t*>(event);
                if (o_.lateMs > 0) {
                    late_.push_back({Clock::now() + milliseconds(o_.lateMs), *r});
                } else {
                    answer(*r);
                }
                break;
            }
            case XCB_PROPERTY_NOTIFY: {
                const auto* n = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (n->state != XCB_PROPERTY_DELETE) break;
                for (Transfer& t : transfers_) {
                    if (t.requestor == n->window && t.property == n->atom && t.waitingForDelete) {
                        t.waitingForDelete = false;
                        t.due = Clock::now() + milliseconds(o_.paceMs);
                    }
                }
                break;
            }
            default:
                break;
        }
    }

    void serveDue(Clock::time_point now) {
        for (auto it = late_.begin(); it != late_.end();) {
            if (it->due <= now) {
                answer(it->request);
                it = late_.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = transfers_.begin(); it != transfers_.end();) {
            if (it->waitingForDelete || it->due > now) {
                ++it;
                continue;
            }
            QByteArray piece;
            if (it->endless) {
                piece = QByteArray(static_cast<qsizetype>(o_.chunk), 'e');
            } else {
                piece = it->rest.left(o_.chunk);
                it->rest.remove(0, piece.size());
            }
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, it->requestor, it->property, it->type, 8,
                                static_cast<uint32_t>(piece.size()), piece.constData());
            if (piece.isEmpty()) {
                it = transfers_.erase(it);  // the empty piece ends the transfer
            } else {
                it->waitingForDelete = true;
                ++it;
            }
        }
    }

    void notify(const xcb_selection_request_event_t& r, xcb_atom_t property) {
        xcb_selection_notify_event_t n{};
        n.response_type = XCB_SELECTION_NOTIFY;
        n.time = r.time;
        n.requestor = r.requestor;
        n.selection = r.selection;
        n.target = r.target;
        n.property = property;
        xcb_send_event(c_, 0, r.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<char*>(&n));
    }

    void answer(const xcb_selection_request_event_t& r) {
        const xcb_atom_t property = r.property == XCB_ATOM_NONE ? r.target : r.property;
        if (r.target == targets_) {
            std::vector<xcb_atom_t> list{targets_};
            if (o_.timestamp) list.push_back(timestampAtom_);
            list.insert(list.end(), contentAtoms_.begin(), contentAtoms_.end());
            list.insert(list.end(), junkAtoms_.begin(), junkAtoms_.end());
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, r.requestor, property, XCB_ATOM_ATOM, 32,
                                static_cast<uint32_t>(list.size()), list.data());
            notify(r, property);
            return;
        }
        if (o_.timestamp && r.target == timestampAtom_) {
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, r.requestor, property, XCB_ATOM_INTEGER,
                                32, 1, &acquired_);
            notify(r, property);
            return;
        }
        const auto found = std::find(contentAtoms_.begin(), contentAtoms_.end(), r.target);
        if (found == contentAtoms_.end()) {
            notify(r, XCB_ATOM_NONE);
            return;
        }
        const QByteArray bytes = contentFor(static_cast<size_t>(found - contentAtoms_.begin()));
        if (o_.endless || bytes.size() > o_.chunk) {
            const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(c_, r.requestor, XCB_CW_EVENT_MASK, &events);
            const uint32_t size = o_.endless ? 0u : static_cast<uint32_t>(bytes.size());
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, r.requestor, property, incr_, 32, 1,
                                &size);
            transfers_.push_back(
                {r.requestor, property, r.target, bytes, o_.endless, Clock::now(), true});
            std::puts("sending");
            std::fflush(stdout);
        } else {
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, r.requestor, property, r.target, 8,
                                static_cast<uint32_t>(bytes.size()), bytes.constData());
        }
        notify(r, property);
    }

    Options o_;
    xcb_connection_t* c_ = nullptr;
    xcb_window_t window_ = 0;
    xcb_atom_t clipboard_ = 0, targets_ = 0, timestampAtom_ = 0, incr_ = 0;
    std::vector<xcb_atom_t> contentAtoms_;
    std::vector<xcb_atom_t> junkAtoms_;
    xcb_timestamp_t acquired_ = 0;
    int copy_ = 0;
    std::optional<Clock::time_point> lostAt_;
    std::vector<LateAnswer> late_;
    std::vector<Transfer> transfers_;
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto number = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : 0; };
        if (arg == "--late") {
            o.lateMs = number();
        } else if (arg == "--endless") {
            o.endless = true;
        } else if (arg == "--chunk") {
            o.chunk = number();
        } else if (arg == "--pace") {
            o.paceMs = number();
        } else if (arg == "--junk") {
            o.junk = number();
        } else if (arg == "--timestamp") {
            o.timestamp = true;
        } else if (arg == "--nul") {
            o.nul = true;
        } else if (arg == "--secret-odd") {
            o.secretOdd = true;
        } else if (arg == "--flood") {
            o.floodCount = number();
            o.floodMs = number();
        } else {
            const QByteArray pair(argv[i]);
            const qsizetype eq = pair.indexOf('=');
            if (eq <= 0) return 2;
            QByteArray data = pair.mid(eq + 1);
            if (data.startsWith('@')) {
                QFile file(QString::fromLocal8Bit(data.mid(1)));
                if (!file.open(QIODevice::ReadOnly)) return 2;
                data = file.readAll();
            }
            o.contents.emplace_back(pair.left(eq), data);
        }
    }
    return Owner(std::move(o)).run();
}
