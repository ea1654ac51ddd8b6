#include "host/wayland/DataControlClipboard.h"

#include <QBuffer>
#include <QImageWriter>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <mutex>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace brimlet {

// The two protocols have the same requests and events in the same order:
// one set of calls serves both, with the interfaces of the one bound.
static_assert(EXT_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE ==
                  ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE &&
              EXT_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE ==
                  ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE &&
              EXT_DATA_CONTROL_MANAGER_V1_DESTROY == ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY &&
              EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION ==
                  ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION &&
              EXT_DATA_CONTROL_DEVICE_V1_DESTROY == ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY &&
              EXT_DATA_CONTROL_SOURCE_V1_OFFER == ZWLR_DATA_CONTROL_SOURCE_V1_OFFER &&
              EXT_DATA_CONTROL_SOURCE_V1_DESTROY == ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY &&
              EXT_DATA_CONTROL_OFFER_V1_RECEIVE == ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE &&
              EXT_DATA_CONTROL_OFFER_V1_DESTROY == ZWLR_DATA_CONTROL_OFFER_V1_DESTROY);

struct DataControlClipboard::Interfaces {
    const char* name;
    const char* protocol;
    const wl_interface* manager;
    const wl_interface* device;
    const wl_interface* source;
};

namespace {

using Self = DataControlClipboard;

const Self::Interfaces kExt = {
    "ext_data_control_manager_v1", "ext-data-control-v1", &ext_data_control_manager_v1_interface,
    &ext_data_control_device_v1_interface, &ext_data_control_source_v1_interface};
const Self::Interfaces kWlr = {"zwlr_data_control_manager_v1", "wlr-data-control-unstable-v1",
                               &zwlr_data_control_manager_v1_interface,
                               &zwlr_data_control_device_v1_interface,
                               &zwlr_data_control_source_v1_interface};

wl_proxy* proxy(void* object) {
    return static_cast<wl_proxy*>(object);
}

// A request without a new object; `destroy` for a destructor.
template <class... Args>
void request(wl_proxy* object, std::uint32_t opcode, bool destroy, Args... args) {
    wl_proxy_marshal_flags(object, opcode, nullptr, wl_proxy_get_version(object),
                           destroy ? WL_MARSHAL_FLAG_DESTROY : 0, args...);
}

// A pipe end that is closed on every path.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};

int msUntil(Self::Clock::time_point end) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Self::Clock::now()).count();
    // Short slices, so that cancel() is seen soon.
    return int(std::clamp<long long>(left, 0, 100));
}

// Writing to a reader that went away must fail, not end the program.
void ignoreBrokenPipes() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            ::signal(SIGPIPE, SIG_IGN);
        }
    });
}

void onGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    static_cast<Self*>(data)->globalAdded(name, interface, version);
}
void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

void onSyncDone(void* data, wl_callback*, std::uint32_t) {
    static_cast<Self*>(data)->syncDone();
}
const wl_callback_listener kSyncListener = {onSyncDone};

// The ext listeners serve the wlroots objects too: the same events with
// the same arguments.
void onDataOffer(void* data, ext_data_control_device_v1*, ext_data_control_offer_v1* offer) {
    static_cast<Self*>(data)->introduced(proxy(offer));
}
void onSelection(void* data, ext_data_control_device_v1*, ext_data_control_offer_v1* offer) {
    static_cast<Self*>(data)->selected(proxy(offer), false);
}
void onFinished(void* data, ext_data_control_device_v1*) {
    static_cast<Self*>(data)->finished();
}
void onPrimarySelection(void* data, ext_data_control_device_v1*, ext_data_control_offer_v1* offer) {
    static_cast<Self*>(data)->selected(proxy(offer), true);
}
const ext_data_control_device_v1_listener kDeviceListener = {onDataOffer, onSelection, onFinished,
                                                             onPrimarySelection};

void onOfferType(void* data, ext_data_control_offer_v1* offer, const char* type) {
    static_cast<Self*>(data)->offerType(proxy(offer), type);
}
const ext_data_control_offer_v1_listener kOfferListener = {onOfferType};

void onSend(void* data, ext_data_control_source_v1*, const char* type, std::int32_t fd) {
    static_cast<Self*>(data)->sendRequested(type, fd);
}
void onCancelled(void* data, ext_data_control_source_v1* source) {
    static_cast<Self*>(data)->sourceCancelled(proxy(source));
}
const ext_data_control_source_v1_listener kSourceListener = {onSend, onCancelled};

template <class Listener>
void listen(wl_proxy* object, const Listener& listener, Self* self) {
    wl_proxy_add_listener(
        object, reinterpret_cast<void (**)(void)>(const_cast<Listener*>(&listener)), self);
}

}  // namespace

DataControlClipboard::DataControlClipboard(std::chrono::milliseconds patience) {
    const Clock::time_point end = Clock::now() + patience;
    display_ = wl_display_connect(nullptr);
    if (display_ == nullptr) return;
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &kRegistryListener, this);
    if (!roundtrip(end) || seatName_ == 0 || (extName_ == 0 && wlrName_ == 0)) return;
    interfaces_ = extName_ != 0 ? &kExt : &kWlr;
    // Version 1 of either: the clipboard alone (the wlroots form then sends
    // no primary selection).
    seat_ = static_cast<wl_seat*>(wl_registry_bind(registry_, seatName_, &wl_seat_interface, 1));
    manager_ = proxy(
        wl_registry_bind(registry_, extName_ != 0 ? extName_ : wlrName_, interfaces_->manager, 1));
    wl_proxy* device = wl_proxy_marshal_flags(manager_, EXT_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE,
                                              interfaces_->device, 1, 0, nullptr, seat_);
    if (device == nullptr) return;
    listen(device, kDeviceListener, this);
    device_ = device;
    // The first selection comes as the device is made.
    if (!roundtrip(end)) markBroken();
}

DataControlClipboard::~DataControlClipboard() {
    if (display_ == nullptr) return;
    for (auto& introduced : introduced_) destroyOffer(introduced.first);
    if (offer_ != nullptr) destroyOffer(offer_);
    destroySource();
    if (device_ != nullptr) request(device_, EXT_DATA_CONTROL_DEVICE_V1_DESTROY, true);
    if (manager_ != nullptr) request(manager_, EXT_DATA_CONTROL_MANAGER_V1_DESTROY, true);
    if (seat_ != nullptr) wl_seat_destroy(seat_);
    if (registry_ != nullptr) wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

const char* DataControlClipboard::protocolName() const {
    return interfaces_ != nullptr ? interfaces_->protocol : "";
}

int DataControlClipboard::fileDescriptor() const {
    return display_ != nullptr ? wl_display_get_fd(display_) : -1;
}

const QByteArray& DataControlClipboard::markPrefix() {
    static const QByteArray prefix = "application/x-brimlet-copy";
    return prefix;
}

void DataControlClipboard::globalAdded(std::uint32_t name, const char* interface, std::uint32_t) {
    const QByteArray named(interface);
    if (named == "wl_seat" && seatName_ == 0) seatName_ = name;
    if (named == kExt.name) extName_ = name;
    if (named == kWlr.name) wlrName_ = name;
}

void DataControlClipboard::markBroken() {
    broken_ = true;
}

bool DataControlClipboard::flush(Clock::time_point end) {
    while (wl_display_flush(display_) < 0) {
        if (errno != EAGAIN) return false;
        pollfd out{wl_display_get_fd(display_), POLLOUT, 0};
        if (Clock::now() >= end || cancelled_) return false;
        if (::poll(&out, 1, msUntil(end)) < 0 && errno != EINTR) return false;
    }
    return true;
}

// Returns once events were handled (Display), `fd` can be read, `end` has
// come or the connection broke.
DataControlClipboard::Woken DataControlClipboard::wait(int fd, Clock::time_point end) {
    if (display_ == nullptr || broken_) return Woken::Broken;
    for (;;) {
        int handled = 0;
        while (wl_display_prepare_read(display_) != 0) {
            const int n = wl_display_dispatch_pending(display_);
            if (n < 0) {
                markBroken();
                return Woken::Broken;
            }
            handled += n;
        }
        if (handled > 0) {
            wl_display_cancel_read(display_);
            return Woken::Display;
        }
        if (!flush(end)) {
            wl_display_cancel_read(display_);
            if (wl_display_get_error(display_) != 0 || errno != EAGAIN) markBroken();
            return broken_ ? Woken::Broken : Woken::Timeout;
        }
        pollfd polled[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {fd, POLLIN, 0}};
        const int ready = ::poll(polled, fd >= 0 ? 2 : 1, msUntil(end));
        if (ready > 0 && polled[0].revents != 0) {
            if (wl_display_read_events(display_) < 0) markBroken();
        } else {
            wl_display_cancel_read(display_);
        }
        if (!broken_) handled = wl_display_dispatch_pending(display_);
        if (handled < 0) markBroken();
        if (broken_ || cancelled_) return Woken::Broken;
        if (fd >= 0 && ready > 0 && polled[1].revents != 0) return Woken::Fd;
        if (handled > 0) return Woken::Display;
        if (Clock::now() >= end) return Woken::Timeout;
    }
}

bool DataControlClipboard::roundtrip(Clock::time_point end) {
    synced_ = false;
    wl_callback* sync = wl_display_sync(display_);
    wl_callback_add_listener(sync, &kSyncListener, this);
    Woken woken = Woken::Display;
    while (!synced_ && (woken = wait(-1, end)) == Woken::Display) {
    }
    wl_callback_destroy(sync);
    return synced_;
}

bool DataControlClipboard::settle(std::chrono::milliseconds patience) {
    return isOpen() && roundtrip(Clock::now() + patience);
}

bool DataControlClipboard::drainEvents() {
    if (!isOpen()) return false;
    wait(-1, Clock::now());
    return !broken_;
}

bool DataControlClipboard::waitForEvents(std::chrono::milliseconds timeout) {
    if (isOpen()) wait(-1, Clock::now() + timeout);
    return !broken_;
}

void DataControlClipboard::destroyOffer(wl_proxy* offer) {
    request(offer, EXT_DATA_CONTROL_OFFER_V1_DESTROY, true);
}

void DataControlClipboard::introduced(wl_proxy* offer) {
    listen(offer, kOfferListener, this);
    // A compositor names each offer at once; one that does not gets no
    // more than a few kept.
    if (introduced_.size() >= 8) {
        destroyOffer(introduced_.front().first);
        introduced_.erase(introduced_.begin());
    }
    introduced_.emplace_back(offer, QByteArrayList());
}

void DataControlClipboard::offerType(wl_proxy* offer, const char* type) {
    for (auto& [introduced, types] : introduced_) {
        if (introduced == offer && types.size() < kMaxTypes) types << QByteArray(type);
    }
}

// Each offer the compositor introduced is named once, as the selection or
// the primary selection; any other is dropped with it, so none is left.
void DataControlClipboard::selected(wl_proxy* offer, bool primary) {
    QByteArrayList types;
    for (auto& [introduced, offered] : introduced_) {
        if (introduced == offer) {
            types = std::move(offered);
        } else {
            destroyOffer(introduced);
        }
    }
    introduced_.clear();
    if (primary) {
        if (offer != nullptr) destroyOffer(offer);
        return;
    }
    // What this program set or emptied was counted when it did so.
    const bool ours = offer != nullptr ? source_ != nullptr && types.contains(mark_) : clearing_;
    clearing_ = false;
    if (offer_ != nullptr) destroyOffer(offer_);
    offer_ = offer;
    types_ = std::move(types);
    own_ = ours && offer != nullptr;
    if (ours) return;
    ++changes_;
    ++foreignChanges_;
}

// What this program set or emptied is the selection at once: a look that
// follows never reads the copy it replaced.
void DataControlClipboard::replacedLocally(bool own) {
    if (offer_ != nullptr) destroyOffer(offer_);
    offer_ = nullptr;
    types_.clear();
    own_ = own;
    clearing_ = !own;
    ++changes_;
}

bool DataControlClipboard::selectionIsBrimlets() const {
    return std::any_of(types_.cbegin(), types_.cend(),
                       [](const QByteArray& type) { return type.startsWith(markPrefix()); });
}

bool DataControlClipboard::ownSelection() const {
    return own_ && source_ != nullptr;
}

void DataControlClipboard::beginLook(std::chrono::milliseconds patience,
                                     std::chrono::milliseconds lookTime) {
    patience_ = patience;
    lookTime_ = lookTime;
    lookStart_ = Clock::now();
    received_ = 0;
}

DataControlClipboard::Clock::time_point DataControlClipboard::lookEnd() const {
    return lookStart_ + lookTime_ + std::chrono::seconds(received_ / kBytesPerExtraSecond);
}

QByteArrayList DataControlClipboard::offered(const QByteArrayList& wanted) const {
    const QByteArrayList& types = ownSelection() ? ownTypes_ : types_;
    QByteArrayList found;
    for (const QByteArray& type : wanted) {
        if (types.contains(type)) found << type;
    }
    return found;
}

bool DataControlClipboard::startRead(const QByteArray& type) {
    failure_ = Failure::None;
    changeAtAnswer_ = changes_;
    if (!isOpen() || cancelled_) {
        failure_ = Failure::Broken;
        return false;
    }
    const QByteArrayList& types = ownSelection() ? ownTypes_ : types_;
    if ((!ownSelection() && offer_ == nullptr) || !types.contains(type)) {
        failure_ = Failure::Refused;
        return false;
    }
    return true;
}

std::optional<QByteArray> DataControlClipboard::ownContent(const QByteArray& type,
                                                           qsizetype limit) {
    QByteArray bytes = provide_(type);
    if (bytes.size() > limit) {
        failure_ = Failure::TooBig;
        return std::nullopt;
    }
    return bytes;
}

// The pieces are gathered in blocks of at least kBlock bytes and joined at
// the end, into one block of the right size: memory never holds much more
// than the content itself, however small the pieces an owner writes.
std::optional<QByteArray> DataControlClipboard::read(const QByteArray& type, qsizetype limit) {
    if (!startRead(type)) return std::nullopt;
    // Our own copy, from memory.
    if (ownSelection()) return ownContent(type, limit);
    constexpr qsizetype kBlock = 1024 * 1024;
    QByteArrayList blocks;
    qsizetype total = 0;
    const bool done = receive(type, limit, [&](QByteArrayView piece) {
        if (blocks.isEmpty() || blocks.back().size() + piece.size() > blocks.back().capacity()) {
            blocks << QByteArray();
            blocks.back().reserve(std::max(piece.size(), kBlock));
        }
        blocks.back().append(piece);
        total += piece.size();
        return true;
    });
    if (!done) return std::nullopt;
    if (blocks.size() == 1) return std::move(blocks.front());
    QByteArray whole;
    whole.reserve(total);
    for (QByteArray& block : blocks) {
        whole += block;
        block = QByteArray();
    }
    return whole;
}

bool DataControlClipboard::readInPieces(const QByteArray& type, const PieceSink& take,
                                        qsizetype limit) {
    if (!startRead(type)) return false;
    if (ownSelection()) {
        const auto bytes = ownContent(type, limit);
        if (!bytes) return false;
        if (take(*bytes)) return true;
        failure_ = Failure::Stopped;
        return false;
    }
    return receive(type, limit, take);
}

bool DataControlClipboard::receive(const QByteArray& type, qsizetype limit, const PieceSink& take) {
    // Only our end is non-blocking: the owner's end is an ordinary pipe, as
    // owners expect (one that gives up at the first full pipe would hand
    // over a text cut short).
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        failure_ = Failure::Broken;
        return false;
    }
    Fd in(ends[0]);
    if (::fcntl(in.get(), F_SETFL, O_NONBLOCK) != 0) {
        ::close(ends[1]);
        failure_ = Failure::Broken;
        return false;
    }
    {
        Fd out(ends[1]);  // the request carries a copy of it
        request(offer_, EXT_DATA_CONTROL_OFFER_V1_RECEIVE, false, type.constData(), out.get());
    }
    const quint64 asked = changes_;
    qsizetype total = 0;
    Clock::time_point lastProgress = Clock::now();
    for (;;) {
        const Woken woken = wait(in.get(), std::min(lastProgress + patience_, lookEnd()));
        if (woken == Woken::Broken) {
            failure_ = Failure::Broken;
            break;
        }
        if (woken == Woken::Timeout) {
            failure_ = changes_ != asked ? Failure::ChangedHands : Failure::TimedOut;
            break;
        }
        if (woken != Woken::Fd) continue;
        char chunk[65536];
        const ssize_t n = ::read(in.get(), chunk, sizeof chunk);
        if (n == 0) {
            changeAtAnswer_ = changes_;
            return true;
        }
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            failure_ = Failure::Broken;
            break;
        }
        if (total + n > limit) {
            failure_ = Failure::TooBig;
            break;
        }
        total += n;
        received_ += n;
        lastProgress = Clock::now();
        if (!take(QByteArrayView(chunk, n))) {
            failure_ = Failure::Stopped;
            break;
        }
    }
    changeAtAnswer_ = changes_;
    return false;
}

void DataControlClipboard::destroySource() {
    if (source_ != nullptr) request(source_, EXT_DATA_CONTROL_SOURCE_V1_DESTROY, true);
    source_ = nullptr;
    served_.clear();
}

void DataControlClipboard::setSelection(const QByteArrayList& types, Provider provide) {
    if (!isOpen()) return;
    wl_proxy* source =
        wl_proxy_marshal_flags(manager_, EXT_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE,
                               interfaces_->source, wl_proxy_get_version(manager_), 0, nullptr);
    if (source == nullptr) return;
    listen(source, kSourceListener, this);
    // The mark comes last: a reader that takes the first type takes the content.
    mark_ =
        markPrefix() + ";id=" + QByteArray::number(::getpid()) + "-" + QByteArray::number(++marks_);
    ownTypes_ = types;
    for (const QByteArray& type : types + QByteArrayList{mark_}) {
        request(source, EXT_DATA_CONTROL_SOURCE_V1_OFFER, false, type.constData());
    }
    request(device_, EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION, false, source);
    // The old source goes once the new one is the selection: the selection
    // is never empty in between.
    destroySource();
    source_ = source;
    provide_ = std::move(provide);
    replacedLocally(true);
    drainEvents();
}

void DataControlClipboard::clear() {
    if (!isOpen()) return;
    request(device_, EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION, false,
            static_cast<wl_proxy*>(nullptr));
    replacedLocally(false);
    drainEvents();
}

void DataControlClipboard::clearIfUnchangedSince(quint64 change) {
    // What the compositor has said so far: a copy it reports later is left.
    if (!isOpen() || !roundtrip(Clock::now() + std::chrono::milliseconds(500))) return;
    if (changes_ == change) clear();
}

void DataControlClipboard::sourceCancelled(wl_proxy* source) {
    if (source == source_) {
        destroySource();  // the selection that replaced it follows
        own_ = false;
    } else {
        request(source, EXT_DATA_CONTROL_SOURCE_V1_DESTROY, true);
    }
}

void DataControlClipboard::sendRequested(const char* type, int fd) {
    const Fd out(fd);
    if (!provide_ || !ownTypes_.contains(QByteArray(type))) return;
    serve(QByteArray(type), out.get());
}

// Writes our content to a reader, without waiting for it longer than two
// seconds at a time (and never longer than the content earns): a reader
// that does not read makes us give up, not hang.
void DataControlClipboard::serve(const QByteArray& type, int fd) {
    ignoreBrokenPipes();
    auto cached = served_.find(type);
    if (cached == served_.end()) cached = served_.insert(type, provide_(type));
    const QByteArray bytes = *cached;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(2) +
                                  std::chrono::seconds(bytes.size() / kBytesPerExtraSecond);
    qsizetype written = 0;
    Clock::time_point lastProgress = Clock::now();
    while (written < bytes.size() && !cancelled_) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0) {
            written += n;
            lastProgress = Clock::now();
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return;
        const Clock::time_point until = std::min(end, lastProgress + std::chrono::seconds(2));
        if (Clock::now() >= until) return;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, msUntil(until)) < 0 && errno != EINTR) return;
    }
}

QByteArrayList dataControlTextTypes() {
    return {"text/plain;charset=utf-8", "UTF8_STRING", "TEXT", "STRING", "text/plain"};
}

// PNG first, then every type Qt can write (as Qt's own clipboard offers a
// picture), each made only when a reader asks for it.
QByteArrayList dataControlPictureTypes() {
    static const QByteArrayList types = [] {
        QByteArrayList all = {"image/png"};
        for (const QByteArray& type : QImageWriter::supportedMimeTypes()) {
            if (!all.contains(type)) all << type;
        }
        return all << "application/x-qt-image";
    }();
    return types;
}

DataControlClipboard::Provider dataControlContent(const QString& text, bool hasText,
                                                  const QImage& picture) {
    return [text, hasText, picture](const QByteArray& type) {
        if (hasText && dataControlTextTypes().contains(type)) {
            return type == "STRING" ? text.toLatin1() : text.toUtf8();
        }
        if (picture.isNull() || !dataControlPictureTypes().contains(type)) return QByteArray();
        const QList<QByteArray> formats = QImageWriter::imageFormatsForMimeType(type);
        QByteArray encoded;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, formats.isEmpty() ? "PNG" : formats.first().constData());
        return encoded;
    };
}

int holdClipboardThroughDataControl(const QString& text, bool hasText, const QImage& picture,
                                    const std::function<void()>& ready) {
    DataControlClipboard clipboard;
    if (!clipboard.isOpen()) return 1;
    // Another program copied since Brimlet let go: that copy stays.
    if (clipboard.hasSelection() && !clipboard.selectionIsBrimlets()) return 0;
    QByteArrayList types;
    if (!picture.isNull()) types << dataControlPictureTypes();
    if (hasText) types << dataControlTextTypes();
    if (types.isEmpty()) return 1;
    clipboard.setSelection(types, dataControlContent(text, hasText, picture));
    if (!clipboard.settle(std::chrono::seconds(1)) || !clipboard.holdsSelection()) return 1;
    ready();
    // Until another program copies (our source is then cancelled) or the
    // compositor goes away.
    while (clipboard.holdsSelection() && clipboard.waitForEvents(std::chrono::seconds(5))) {
    }
    return 0;
}

}  // namespace brimlet
