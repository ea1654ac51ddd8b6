#include "host/QtHost.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QImageReader>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <new>

#include "host/RuntimeError.h"
#include "host/TrayNotifyEvent.h"
#include "host/TrayRecord.h"

namespace brimlet {

namespace {

const QString kTextPlain = QStringLiteral("text/plain");
const QString kPasswordHint = QStringLiteral("x-kde-passwordManagerHint");
// What file managers put on the clipboard for copied or cut files.
const QString kGnomeFiles = QStringLiteral("x-special/gnome-copied-files");
const QString kKdeCut = QStringLiteral("application/x-kde-cutselection");
const QString kUriList = QStringLiteral("text/uri-list");

// Pictures up to 16384 x 16384 at four bytes a pixel may be read (Qt's own
// limit of 128 MiB refuses a camera's picture); a larger one is refused
// before any memory is taken for it.
constexpr int kPictureAllocationLimitMiB = 16384 * 16384 * 4 / (1024 * 1024);

// Password managers mark what they copy; a secret is never written down.
bool isSecret(const QMimeData& data) {
    return data.hasFormat(kPasswordHint) && data.data(kPasswordHint).trimmed() == "secret";
}

// Copied files are left to the file manager: neither their names nor a
// picture of them is captured.
bool isCopiedFiles(const QMimeData& data) {
    if (data.hasFormat(kGnomeFiles) || data.hasFormat(kKdeCut)) return true;
    const QList<QUrl> urls = data.urls();
    return std::any_of(urls.cbegin(), urls.cend(),
                       [](const QUrl& url) { return url.isLocalFile(); });
}

// Some programs end every text with a NUL byte, which is no part of the text.
QString withoutTrailingNul(QString text) {
    if (text.endsWith(QChar(0))) text.chop(1);
    return text;
}

QMessageBox::Icon iconForStyle(int style) {
    switch (style & 0x70) {
        case MsgCritical:
            return QMessageBox::Critical;
        case 32:
            return QMessageBox::Question;
        case MsgExclamation:
            return QMessageBox::Warning;
        case MsgInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

QtHost::QtHost() {
    // Applies to pictures from the clipboard and from files alike.
    QImageReader::setAllocationLimit(kPictureAllocationLimitMiB);
    // X servers report every change of selection owner (XFixes), and the
    // offscreen clipboard lives in this process.
    const QString platform = QGuiApplication::platformName();
    changesReported_ = platform == QLatin1String("xcb") || platform == QLatin1String("offscreen");
    if (platform == QLatin1String("xcb")) {
        x_ = std::make_shared<XClipboardReader>();
        if (x_->isOpen()) {
            xThread_ = std::make_unique<QThread>();
            xThread_->setObjectName(QStringLiteral("clipboard reader"));
            xWorker_ = new QObject;
            xWorker_->moveToThread(xThread_.get());
            answers_ = std::make_unique<QObject>();
            QObject::connect(xThread_.get(), &QThread::finished, xWorker_, &QObject::deleteLater);
            xThread_->start();
            // Between looks, the reports of changes are taken as they come.
            QMetaObject::invokeMethod(xWorker_, [reader = x_, worker = xWorker_] {
                auto* notifier =
                    new QSocketNotifier(reader->fileDescriptor(), QSocketNotifier::Read, worker);
                QObject::connect(notifier, &QSocketNotifier::activated, worker, [reader, notifier] {
                    if (!reader->drainEvents()) notifier->setEnabled(false);
                });
            });
        } else {
            x_.reset();
        }
    }
    clipboardConnection_ =
        QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [this] {
            ++generation_;
            if (changingClipboard_) return;
            stalledOwner_ = 0;  // another program copied: ask again
            if (changed_) changed_();
        });
}

QtHost::~QtHost() {
    QObject::disconnect(clipboardConnection_);
    if (xThread_) {
        x_->cancel();  // a look in progress ends at its next wait
        xThread_->quit();
        xThread_->wait();  // the worker is deleted as its thread finishes
    }
}

// The platform may have no data at all (an empty clipboard): null then.
const QMimeData* QtHost::mimeData() {
    return QGuiApplication::clipboard()->mimeData();
}

bool QtHost::clipboardHasFormat(ClipFormat format) {
    if (!changesReported_ || !lookIsFresh()) {
        // What this program put on the clipboard is answered from memory;
        // another program's, on X11, once the reader has looked.
        if (x_ && !QGuiApplication::clipboard()->ownsClipboard()) {
            startLookThroughX();
            return false;
        }
        look_ = lookThroughQt();
    }
    return format == ClipFormat::Bitmap ? look_->bitmap : look_->text;
}

QtHost::Look QtHost::lookThroughQt() const {
    Look look;
    look.generation = generation_;
    const QMimeData* data = mimeData();
    if (data != nullptr && !isSecret(*data) && !isCopiedFiles(*data)) {
        look.bitmap = data->hasImage();
        // Plain text only: a list of URLs alone is not text.
        look.text = data->hasFormat(kTextPlain);
    }
    return look;
}

namespace {

// How long the owner may take to answer one request, and a look as a whole
// (a large content that keeps coming earns more; see XClipboardReader).
constexpr std::chrono::milliseconds kPatience(400);
constexpr std::chrono::milliseconds kLookTime(2000);

const QByteArrayList kTextTargets = {"UTF8_STRING", "text/plain;charset=utf-8", "STRING", "TEXT",
                                     "text/plain"};

// Picture formats in order of preference, then any other Qt can read.
const QByteArrayList& pictureTargets() {
    static const QByteArrayList targets = [] {
        QByteArrayList wanted = {"image/png",  "image/bmp",  "image/x-bmp", "image/jpeg",
                                 "image/webp", "image/tiff", "image/gif"};
        for (const QByteArray& type : QImageReader::supportedMimeTypes()) {
            if (!wanted.contains(type)) wanted << type;
        }
        return wanted;
    }();
    return targets;
}

// Every format a look asks about.
const QByteArrayList& wantedTargets() {
    static const QByteArrayList targets = [] {
        QByteArrayList wanted = {kPasswordHint.toLatin1(), kGnomeFiles.toLatin1(),
                                 kKdeCut.toLatin1(), kUriList.toLatin1()};
        wanted << pictureTargets() << kTextTargets;
        return wanted;
    }();
    return targets;
}

// Takes a text as UTF-8: the owner's own bytes when they are valid UTF-8,
// otherwise decoded from the target's encoding and converted.
void takeText(const QByteArray& target, QByteArray bytes, ClipboardLook& look) {
    if (bytes.endsWith('\0')) bytes.chop(1);
    const bool utf8 = target != "STRING" && target != "TEXT";
    if (utf8 && bytes.isValidUtf8()) {
        look.textUtf8 = std::move(bytes);
        return;
    }
    const QString text = target == "STRING" ? QString::fromLatin1(bytes)
                         : target == "TEXT" ? QString::fromLocal8Bit(bytes)
                                            : QString::fromUtf8(bytes);
    look.textUtf8 = text.toUtf8();
}

// Looks through the bounded reader and fetches the content at once, so that
// taking it afterwards never waits. An owner that does not answer in time,
// or offers more than one transfer may bring, is marked stalled and taken as
// an empty clipboard. The look names the copy whose content it took.
void lookThroughX(XClipboardReader& x, std::uint32_t skipOwner, ClipboardLook& look) {
    using Failure = XClipboardReader::Failure;
    x.beginLook(kPatience, kLookTime);
    const XClipboardReader::Copy now = x.current();
    look.owner = now.owner;
    look.since = now.since;
    auto gaveUp = [&] {
        look.stalled = true;
        look.tooBig = x.failure() == Failure::TooBig;
    };
    if (now.since == 0 && x.failure() != Failure::None) return gaveUp();
    if (look.owner == 0 || look.owner == skipOwner) return;
    // Each format the owner refuses is passed over; one it does not answer
    // for ends the look.
    auto failed = [&] { return x.failure() != Failure::Refused; };
    const auto offered = x.offered(wantedTargets());
    if (!offered) return gaveUp();
    const XClipboardReader::Copy listed = x.askedOf();
    look.owner = listed.owner;
    look.since = listed.since;
    if (look.owner == 0 || look.owner == skipOwner) return;
    // Every answer must come from the copy whose list was read (its secret
    // hint and its files included): when the clipboard changed hands in
    // between, look again.
    auto sameCopy = [&] {
        if (x.changeAtAnswer() == listed.change) return true;
        look.changedHands = true;
        return false;
    };
    if (offered->contains(kPasswordHint.toLatin1())) {
        const auto hint = x.read(kPasswordHint.toLatin1(), 4096);
        if (!hint && x.failure() == Failure::TimedOut) return gaveUp();
        // A hint that cannot be read may mark a secret: keep away from it.
        if (!hint || hint->trimmed() == "secret" || !sameCopy()) return;
    }
    if (offered->contains(kGnomeFiles.toLatin1()) || offered->contains(kKdeCut.toLatin1())) return;
    if (offered->contains(kUriList.toLatin1())) {
        const auto list = x.read(kUriList.toLatin1(), 1024 * 1024);
        if (!list && x.failure() == Failure::TimedOut) return gaveUp();
        // Links to web pages are text; a list naming files is copied files.
        if (!list || !sameCopy()) return;
        for (const QByteArray& line : list->split('\n')) {
            if (line.trimmed().startsWith("file:")) return;
        }
    }
    bool unreadablePicture = false;
    for (const QByteArray& target : pictureTargets()) {
        if (!offered->contains(target)) continue;
        auto bytes = x.read(target);
        if (!bytes && failed()) return gaveUp();
        if (!bytes) continue;
        if (!sameCopy()) return;
        QImage picture = QImage::fromData(*bytes);
        bytes.reset();
        if (picture.isNull()) {
            unreadablePicture = true;  // damaged, or larger than any picture is allowed
            continue;
        }
        look.bitmap = true;
        look.picture = std::move(picture);
        return;
    }
    if (unreadablePicture) {
        // Offered as a picture and not readable: its capture fails and says so.
        look.bitmap = true;
        look.picture = QImage();
        return;
    }
    for (const QByteArray& target : kTextTargets) {
        if (!offered->contains(target)) continue;
        auto bytes = x.read(target);
        if (!bytes && failed()) return gaveUp();
        if (!bytes) continue;
        if (!sameCopy()) return;
        look.text = true;
        takeText(target, std::move(*bytes), look);
        return;
    }
}

// A look that gave up on its owner (out of memory: too big for us).
ClipboardLook gaveUpLook(quint64 generation, std::uint32_t owner, bool tooBig) {
    ClipboardLook look;
    look.generation = generation;
    look.throughX = true;
    look.owner = owner;
    look.stalled = true;
    look.tooBig = tooBig;
    return look;
}

}  // namespace

void QtHost::startLookThroughX() {
    if (lookInFlight_) return;  // one at a time; a stale answer starts the next
    lookInFlight_ = true;
    const quint64 generation = generation_;
    const std::uint32_t skipOwner = stalledOwner_;
    std::shared_ptr<XClipboardReader> reader = x_;
    QObject* answers = answers_.get();
    QMetaObject::invokeMethod(xWorker_, [this, reader, generation, skipOwner, answers] {
        // Nothing may escape this thread: whatever goes wrong, the look
        // comes back (as one that gave up) and the next can start.
        auto answer = [&](ClipboardLook look) {
            QMetaObject::invokeMethod(
                answers,
                [this, look = std::move(look)]() mutable { lookedThroughX(std::move(look)); },
                Qt::QueuedConnection);
        };
        ClipboardLook look;
        look.generation = generation;
        look.throughX = true;
        try {
            lookThroughX(*reader, skipOwner, look);
        } catch (const std::bad_alloc&) {
            reader->abandonRequest();
            look = gaveUpLook(generation, look.owner, true);
        } catch (...) {
            reader->abandonRequest();
            look = gaveUpLook(generation, look.owner, false);
        }
        try {
            answer(std::move(look));
        } catch (...) {
            try {
                answer(gaveUpLook(generation, 0, false));
            } catch (...) {
            }
        }
    });
}

void QtHost::lookedThroughX(Look look) {
    lookInFlight_ = false;
    if (look.generation < ownChange_) {
        // This program emptied or set the clipboard since the look started:
        // what it read is no longer there to capture.
        startLookThroughX();
        return;
    }
    if (look.tooBig) reportProblem(RuntimeError::outOfMemory());
    if (look.bitmap || look.text) {
        // A copy that was read whole is a copy the user made: it is kept
        // even if another program has copied since (that copy comes next).
        look.uncaptured = true;
        look_ = std::move(look);
        if (changed_) changed_();
        return;
    }
    if (look.changedHands || look.generation != generation_) {
        startLookThroughX();  // the clipboard changed meanwhile
        return;
    }
    if (look.stalled) stalledOwner_ = look.owner;
    look_ = std::move(look);
}

// Shown from the event loop, never in the middle of the host's own work.
void QtHost::reportProblem(const RuntimeError& error) {
    if (!problem_) return;
    QTimer::singleShot(0, answers_.get(), [this, error] {
        if (problem_) problem_(error);
    });
}

// A change made here is not reported to the handler, and whatever was looked
// at before it is stale.
template <class Change>
void QtHost::changeClipboard(Change&& change) {
    changingClipboard_ = true;
    change();
    changingClipboard_ = false;
    ++generation_;
    ownChange_ = generation_;
    if (look_) look_->uncaptured = false;
}

void QtHost::onClipboardChanged(std::function<void()> handler) {
    changed_ = std::move(handler);
}

void QtHost::onClipboardProblem(std::function<void(const RuntimeError&)> handler) {
    problem_ = std::move(handler);
}

QImage QtHost::clipboardGetPicture() {
    if (lookIsFresh() && look_->throughX) {
        // Never asks the owner again: what the look could not read, no one can.
        if (!look_->picture || look_->picture->isNull()) {
            throw RuntimeError::invalidPicture(QStringLiteral("the clipboard's picture"));
        }
        return *look_->picture;
    }
    const QMimeData* data = mimeData();
    QImage picture = data ? qvariant_cast<QImage>(data->imageData()) : QImage();
    if (picture.isNull()) {
        throw RuntimeError::invalidPicture(QStringLiteral("the clipboard's picture"));
    }
    return picture;
}

QString QtHost::clipboardGetText() {
    if (lookIsFresh() && look_->throughX) {
        return QString::fromUtf8(look_->textUtf8.value_or(QByteArray()));
    }
    const QMimeData* data = mimeData();
    return data ? withoutTrailingNul(data->text()) : QString();
}

QByteArray QtHost::clipboardGetTextUtf8() {
    if (lookIsFresh() && look_->throughX) return look_->textUtf8.value_or(QByteArray());
    return clipboardGetText().toUtf8();
}

void QtHost::clipboardSetPicture(const QImage& picture) {
    if (picture.isNull()) throw RuntimeError::cannotOpenClipboard();
    changeClipboard([&] { QGuiApplication::clipboard()->setImage(picture); });
}

void QtHost::clipboardSetText(const QString& text) {
    changeClipboard([&] { QGuiApplication::clipboard()->setText(text); });
}

// Whoever holds the clipboard: the server's current time wins over any
// copy's, where Qt's own last-known time may be older than the copy.
void QtHost::clipboardClear() {
    changeClipboard([this] {
        QGuiApplication::clipboard()->clear();
        if (x_) x_->clear();
    });
}

void QtHost::clipboardClearCaptured() {
    if (!(lookIsFresh() && look_->throughX && x_)) {
        changeClipboard([] { QGuiApplication::clipboard()->clear(); });
        return;
    }
    const Look captured = std::move(*look_);
    look_.reset();
    const bool changedSince = captured.generation != generation_;
    changeClipboard([&] { x_->clearIfUnchangedSince(captured.since); });
    // An owner whose copy could not be emptied (it gave a wrong time) is not
    // read again until the clipboard changes hands: its copy is captured.
    if (!changedSince && x_->currentOwner() == captured.owner) stalledOwner_ = captured.owner;
    // Another program copied while this copy was read: look at it now.
    if (changedSince) startLookThroughX();
}

void QtHost::msgBox(const QString& prompt, int style, const QString& title) {
    QMessageBox box(iconForStyle(style), title, prompt, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

bool QtHost::msgBoxYesNo(const QString& prompt, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, prompt, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtHost::beep() {
    QApplication::beep();
}

void QtHost::bringToFront(QWidget* window) {
    window->raise();
    window->activateWindow();
    // A window that is being shown again can only be activated once it is
    // mapped: ask again when the events of showing it are through.
    QTimer::singleShot(0, window, [window] {
        if (!window->isVisible()) return;
        window->raise();
        window->activateWindow();
    });
}

void QtHost::popupMenu(QMenu* menu) {
    menu->exec(QCursor::pos());
}

void QtHost::openDocument(const QString& path) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        throw RuntimeError::pathFileAccess(path, QStringLiteral("no program opens this document"));
    }
}

// The tray reports what the user did as mouse messages: left release,
// left double-click, right release. Qt reports a left click on X11 when the
// button goes down, not up; it stands for the release all the same, so the
// window comes back on the click as it does elsewhere.
bool QtHost::addTrayIcon(const TrayRecord& record) {
    QWidget* window = QWidget::find(static_cast<WId>(record.window));
    if (window == nullptr || tray_) return false;
    tray_ = new QSystemTrayIcon(window->windowIcon(), window);
    tray_->setToolTip(record.tipText());
    QObject::connect(tray_, &QSystemTrayIcon::activated, window,
                     [window](QSystemTrayIcon::ActivationReason reason) {
                         const int code = reason == QSystemTrayIcon::Trigger ? kLeftUp
                                          : reason == QSystemTrayIcon::DoubleClick
                                              ? kLeftDoubleClick
                                          : reason == QSystemTrayIcon::Context     ? kRightUp
                                          : reason == QSystemTrayIcon::MiddleClick ? kMiddleUp
                                                                                   : kMouseMove;
                         QCoreApplication::postEvent(window, new TrayNotifyEvent(code));
                     });
    tray_->show();
    return true;
}

bool QtHost::removeTrayIcon(const TrayRecord& /*record*/) {
    if (!tray_) return false;
    delete tray_;
    return true;
}

bool QtHost::trayIconShown() {
    return tray_ && tray_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace brimlet
