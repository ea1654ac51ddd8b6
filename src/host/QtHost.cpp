#include "host/QtHost.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QImageReader>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "base/RuntimeError.h"
#include "files/Picture.h"
#include "files/SpooledText.h"
#include "host/x11/CompoundText.h"
#include "host/x11/XClipboardReader.h"

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

// What file managers put on the clipboard for copied or cut files: their
// own marks, or a URL list naming local files.
bool isCopiedFiles(const QMimeData& data) {
    if (data.hasFormat(kGnomeFiles) || data.hasFormat(kKdeCut)) return true;
    const QList<QUrl> urls = data.urls();
    return std::any_of(urls.cbegin(), urls.cend(),
                       [](const QUrl& url) { return url.isLocalFile(); });
}

// Whether a text offered beside copied files only names them: every line a
// path, a file URL, or one of the listed URLs, their paths or file names.
bool isFileList(const QByteArray& text, const QByteArrayList& uris) {
    QSet<QByteArray> names;
    for (const QByteArray& uri : uris) {
        const QUrl url = QUrl::fromEncoded(uri.trimmed());
        names << uri.trimmed() << url.toString().toUtf8() << url.toLocalFile().toUtf8()
              << url.fileName().toUtf8();
    }
    names.remove(QByteArray());
    for (const QByteArray& untrimmed : text.split('\n')) {
        const QByteArray line = untrimmed.trimmed();
        if (line.isEmpty() || line.startsWith('/') || line.startsWith("file:")) continue;
        if (!names.contains(line)) return false;
    }
    return true;
}

// Some programs end every text with a NUL byte, which is no part of the text.
QString withoutTrailingNul(QString text) {
    if (text.endsWith(QChar(0))) text.chop(1);
    return text;
}

QMessageBox::Icon iconForStyle(MsgStyle style) {
    switch (style) {
        case MsgCritical:
            return QMessageBox::Critical;
        case MsgExclamation:
            return QMessageBox::Warning;
        case MsgInformation:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
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
            stalledLooks_ = 0;
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
    // A copy left on the clipboard is no reason to keep the look once the
    // clipboard has changed.
    if (look_ && passesOver(*look_)) look_->uncaptured = false;
    if (changesReported_ && lookIsFresh() && look_->stalled && x_ &&
        look_->owner == stalledOwner_ && stalledLooks_ < kStalledLooksMax) {
        // The owner that did not answer is asked again, now with more patience.
        startLookThroughX();
        return false;
    }
    if (!changesReported_ || !lookIsFresh()) {
        // What this program put on the clipboard is answered from memory;
        // another program's, on X11, once the reader has looked.
        if (x_ && !QGuiApplication::clipboard()->ownsClipboard()) {
            startLookThroughX();
            return false;
        }
        look_ = lookThroughQt();
    }
    if (passesOver(*look_)) return false;
    return format == ClipFormat::Bitmap ? look_->bitmap : look_->text;
}

QtHost::Look QtHost::lookThroughQt() const {
    Look look;
    look.generation = generation_;
    const QMimeData* data = mimeData();
    if (data != nullptr && !isSecret(*data)) {
        // A picture wins, whatever is offered beside it (an image viewer
        // offers the picture's file too).
        look.bitmap = data->hasImage();
        // Plain text only: a list of URLs alone is not text, and a text
        // that only names copied files is left to the file manager.
        look.text = data->hasFormat(kTextPlain);
        if (look.text && isCopiedFiles(*data)) {
            QByteArrayList uris;
            for (const QUrl& url : data->urls()) uris << url.toEncoded();
            look.text = !isFileList(data->text().toUtf8(), uris);
        }
    }
    return look;
}

namespace {

// The least time a look as a whole may take (a large content that keeps
// coming earns more; see XClipboardReader).
constexpr std::chrono::milliseconds kLookTime(2000);

const QByteArrayList kTextTargets = {
    "UTF8_STRING", "text/plain;charset=utf-8", "COMPOUND_TEXT", "STRING", "TEXT", "text/plain"};

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

// A text form decoded to UTF-8 (the owner's own bytes when they are valid
// UTF-8), and whether it decoded cleanly. TEXT comes in the form the owner
// chose, named by the type of its answer.
DecodedText decodeText(const QByteArray& form, QByteArray bytes) {
    if (bytes.endsWith('\0')) bytes.chop(1);
    if (form == "COMPOUND_TEXT") return decodeCompoundText(bytes);
    if (form == "STRING") return {QString::fromLatin1(bytes).toUtf8(), true};
    if (form == "TEXT") {
        QStringDecoder local(QStringDecoder::System);
        const QString text = local.decode(bytes);
        return {text.toUtf8(), !local.hasError()};
    }
    if (bytes.isValidUtf8()) return {std::move(bytes), true};
    return {QString::fromUtf8(bytes).toUtf8(), false};
}

// The text forms that are UTF-8 by their name, which may be spooled as they
// are read. (What TEXT is, only its answer tells; the others are decoded.)
bool isUtf8Form(const QByteArray& target) {
    return target == "UTF8_STRING" || target == "text/plain;charset=utf-8";
}

// Reads a UTF-8 text form piece by piece into a spool in `folder`, so that
// a long text is never held whole. A null spool when it could not be
// spooled (not valid UTF-8 after all, or its file could not be written): it
// is then read the usual way. Nothing when the transfer failed.
std::optional<std::shared_ptr<SpooledText>> readSpooled(XClipboardReader& x,
                                                        const QByteArray& target,
                                                        const FolderHandle& folder) {
    auto spooled = std::make_shared<SpooledText>(folder);
    const bool read = x.readInPieces(target, [&](QByteArrayView piece) {
        try {
            return spooled->append(piece);
        } catch (const RuntimeError&) {
            return false;
        }
    });
    if (!read && x.failure() != XClipboardReader::Failure::Stopped) return std::nullopt;
    try {
        if (read && spooled->finish()) return spooled;
    } catch (const RuntimeError&) {
    }
    return std::shared_ptr<SpooledText>();
}

// Reads a PNG, decoding it into a staged bitmap file in `folder` while it
// arrives (`file`, where it could be). All its bytes, or nothing when the
// transfer failed.
std::optional<QByteArray> readPng(XClipboardReader& x, const FolderHandle& folder,
                                  std::unique_ptr<StagedFile>& file) {
    PngDecoding decoding(folder);
    const bool read = x.readInPieces("image/png", [&](QByteArrayView piece) {
        decoding.append(piece);
        return true;
    });
    QByteArray bytes;
    file = decoding.finish(bytes);
    if (read) return bytes;
    file.reset();
    return std::nullopt;
}

// Looks through the bounded reader and fetches the content at once, so that
// taking it afterwards never waits. An owner that does not answer within
// `patience`, or offers more than one transfer may bring, is marked stalled
// and taken as an empty clipboard. The look names the copy whose content it
// took. A long UTF-8 text goes to a spool in `spoolIn` as it is read.
void lookThroughX(XClipboardReader& x, std::uint32_t skipOwner, std::chrono::milliseconds patience,
                  const std::optional<FolderHandle>& spoolIn, ClipboardLook& look) {
    using Failure = XClipboardReader::Failure;
    // Several requests make a look: a patient one may take a few waits.
    x.beginLook(patience, std::max(kLookTime, 3 * patience));
    const XClipboardReader::Copy now = x.current();
    look.owner = now.owner;
    look.since = now.since;
    auto gaveUp = [&] {
        if (x.failure() == Failure::ChangedHands) {
            look.changedHands = true;  // the next copy is looked at instead
            return;
        }
        look.stalled = true;
        look.tooBig = x.failure() == Failure::TooBig;
    };
    auto unanswered = [&] {
        return x.failure() == Failure::TimedOut || x.failure() == Failure::ChangedHands;
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
        if (!hint && unanswered()) return gaveUp();
        // A hint that cannot be read may mark a secret: keep away from it.
        if (!hint || hint->trimmed() == "secret" || !sameCopy()) return;
    }
    // A picture wins, whatever is offered beside it (an image viewer offers
    // the picture's file too).
    bool unreadablePicture = false;
    for (const QByteArray& target : pictureTargets()) {
        if (!offered->contains(target)) continue;
        // A PNG is decoded while it arrives, straight into its file; one
        // that cannot be, or a disk that fails (and fails again, saying so,
        // when the capture is written), is decoded below as any picture.
        std::unique_ptr<StagedFile> file;
        auto bytes = spoolIn && target == "image/png" ? readPng(x, *spoolIn, file) : x.read(target);
        if (!bytes && failed()) return gaveUp();
        if (!bytes) continue;
        if (!sameCopy()) return;
        if (file) {
            look.bitmap = true;
            look.pictureFile = std::move(file);
            return;
        }
        QImage picture = decodePicture(*bytes);
        bytes.reset();
        if (picture.isNull()) {
            // Damaged, cut short, or larger than any picture is allowed.
            unreadablePicture = true;
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
    // Copied files are left to the file manager, and so is a text beside
    // them that only names them; links to web pages are text.
    bool copiedFiles =
        offered->contains(kGnomeFiles.toLatin1()) || offered->contains(kKdeCut.toLatin1());
    QByteArrayList uris;
    if (offered->contains(kUriList.toLatin1())) {
        const auto list = x.read(kUriList.toLatin1(), 1024 * 1024);
        if (!list && unanswered()) return gaveUp();
        if (!list || !sameCopy()) return;
        for (const QByteArray& line : list->split('\n')) {
            if (line.trimmed().startsWith("file:")) copiedFiles = true;
            if (!line.trimmed().isEmpty() && !line.startsWith('#')) uris << line.trimmed();
        }
    }
    // The first text form that decodes cleanly, or else the first one read.
    std::optional<QByteArray> text;
    for (const QByteArray& target : kTextTargets) {
        if (!offered->contains(target)) continue;
        if (spoolIn && !copiedFiles && isUtf8Form(target)) {
            const auto spooled = readSpooled(x, target, *spoolIn);
            if (!spooled && failed()) return gaveUp();
            if (!spooled) continue;
            if (!sameCopy()) return;
            if (*spooled) {
                look.text = true;
                look.textUtf8 = (*spooled)->held();
                if ((*spooled)->spooled()) look.spooled = *spooled;
                return;
            }
            // Not UTF-8 after all, or not written: read and decoded below.
        }
        auto bytes = x.read(target);
        if (!bytes && failed()) return gaveUp();
        if (!bytes) continue;
        if (!sameCopy()) return;
        QByteArray form = target;
        if (target == "TEXT") {
            const std::uint32_t type = x.answeredType();
            for (const char* named : {"UTF8_STRING", "COMPOUND_TEXT", "STRING"}) {
                if (type != 0 && type == x.atomOf(named)) form = named;
            }
        }
        DecodedText decoded = decodeText(form, std::move(*bytes));
        if (decoded.clean) {
            text = std::move(decoded.utf8);
            break;
        }
        if (!text) text = std::move(decoded.utf8);
    }
    if (!text || (copiedFiles && isFileList(*text, uris))) return;
    look.text = true;
    look.textUtf8 = std::move(text);
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
    // An owner that did not answer is asked again with more patience, and
    // skipped once it has had every chance.
    const bool givenUp = stalledLooks_ >= kStalledLooksMax;
    const std::uint32_t skipOwner = givenUp ? stalledOwner_ : 0;
    const std::chrono::milliseconds patience = kPatienceSteps[givenUp ? 0 : stalledLooks_];
    std::shared_ptr<XClipboardReader> reader = x_;
    QObject* answers = answers_.get();
    const std::optional<FolderHandle> spoolIn = spoolIn_;  // copied: read on the worker
    QMetaObject::invokeMethod(xWorker_, [=, this] {
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
            lookThroughX(*reader, skipOwner, patience, spoolIn, look);
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
    if (look.stalled) {
        if (look.owner != stalledOwner_) stalledLooks_ = 0;
        stalledOwner_ = look.owner;
        // What is too big stays too big: that copy is not asked for again.
        stalledLooks_ = look.tooBig ? kStalledLooksMax : stalledLooks_ + 1;
    }
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

void QtHost::spoolTextsIn(const FolderHandle& folder) {
    spoolIn_ = folder;
}

std::shared_ptr<SpooledText> QtHost::clipboardTakeSpooledText() {
    if (!(lookIsFresh() && look_->throughX)) return nullptr;
    return std::exchange(look_->spooled, nullptr);
}

std::shared_ptr<StagedFile> QtHost::clipboardTakeStagedPicture() {
    if (!(lookIsFresh() && look_->throughX)) return nullptr;
    return std::exchange(look_->pictureFile, nullptr);
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
    if (!changedSince && x_->currentOwner() == captured.owner) {
        stalledOwner_ = captured.owner;
        stalledLooks_ = kStalledLooksMax;
    }
    // Another program copied while this copy was read: look at it now.
    if (changedSince) startLookThroughX();
}

void QtHost::clipboardPassOver() {
    passedOver_ = generation_;
}

// The look stays, so the ticks that follow answer from it without asking
// the owner again.
void QtHost::clipboardLeaveCaptured() {
    if (!look_) {
        clipboardPassOver();
        return;
    }
    passedOver_ = std::max(passedOver_, look_->generation);
    if (look_->throughX) {
        leftOwner_ = look_->owner;
        leftSince_ = look_->since;
    }
    look_->uncaptured = false;
}

void QtHost::msgBox(const QString& prompt, MsgStyle style, const QString& title) {
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

// The desktop's opener is xdg-open (from xdg-utils) on most desktops; a
// failure says which document could not be opened and what would help.
void QtHost::openDocument(const QString& path) {
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return;
    const QString name = QFileInfo(path).fileName();
    const bool noOpener = QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
    const QString why = noOpener ? QStringLiteral("no program to open it was found")
                                 : QStringLiteral("the desktop did not start a program for it");
    QString sentence = QStringLiteral("\"%1\" cannot be opened: %2.").arg(name, why);
    if (noOpener) sentence += QStringLiteral(" The package xdg-utils provides one (xdg-open).");
    throw RuntimeError::pathFileAccess(path, why).explained(sentence);
}

void QtHost::addTrayIcon(QWidget* window, const QString& tip, TrayActivated activated) {
    if (tray_) return;
    tray_ = new QSystemTrayIcon(window->windowIcon(), window);
    tray_->setToolTip(tip);
    QObject::connect(tray_, &QSystemTrayIcon::activated, window, std::move(activated));
    tray_->show();
}

void QtHost::removeTrayIcon() {
    delete tray_;
}

bool QtHost::trayIconShown() {
    return tray_ && tray_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace brimlet
